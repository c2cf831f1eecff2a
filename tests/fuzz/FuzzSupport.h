// Helpers for the fuzz targets: a private scratch directory for the files a target writes, and a reader
// that cuts one fuzz input into several parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzz {

// A directory of this process, created once (under /dev/shm when it exists, to spare the disk).
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string path = base + "/brindlemar-fuzz-" + std::to_string(getpid());
        mkdir(path.c_str(), 0700);
        return path;
    }();
    return dir;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Cuts the input at a separator byte sequence that a fuzzer finds easily ("\xff\x01").
class Parts {
public:
    Parts(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}
    std::string_view Next() {
        const auto cut = rest_.find("\xff\x01");
        std::string_view part = rest_.substr(0, cut);
        done_ = cut == std::string_view::npos;
        rest_ = done_ ? std::string_view() : rest_.substr(cut + 2);
        return part;
    }
    // Whether the last part has been given out (every later Next() gives an empty part).
    bool Done() const { return done_; }

private:
    std::string_view rest_;
    bool done_ = false;
};

} // namespace fuzz
