// The parts of the file layer that need no platform call.
#include "text/File.h"

#include <cerrno>
#include <new>

namespace text {

Status ReadWholeFile(const std::string& path, std::string& contents, std::size_t limit) {
    contents.clear();
    File file;
    if (Status opened = file.Open(path); !opened)
        return opened;
    if (file.Size() > limit)
        return Status::FromErrno(EFBIG);
    try {
        contents.resize(static_cast<std::size_t>(file.Size()));
    } catch (const std::bad_alloc&) {
        return Status::FromErrno(ENOMEM);
    }
    std::size_t filled = 0;
    for (;;) {
        std::size_t got = 0;
        if (Status read = file.Read(contents.data() + filled, contents.size() - filled, got); !read) {
            contents.clear();
            return read;
        }
        if (got == 0)
            break;
        filled += got;
    }
    contents.resize(filled); // cut short since it was opened: what is left
    return Status::Ok();
}

} // namespace text
