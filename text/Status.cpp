#include "text/Status.h"

#include <system_error>

namespace text {

Status Status::FromErrno(int errorNumber) {
    return Fail(std::generic_category().message(errorNumber));
}

} // namespace text
