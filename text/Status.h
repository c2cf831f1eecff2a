// Outcome of an operation whose failure a handler must show to the user. Low-level routines that never
// report (registry readers, the HTTP client, SplitField) do not use it; file operations do.
#pragma once

#include <string>
#include <utility>

namespace text {

// Success, or a failure with the platform's description of it (for example "No such file or directory").
// The handler adds its fixed lead text ("Unable to open log file. ") and shows the message.
struct [[nodiscard]] Status {
    bool ok = true;
    std::string description;

    static Status Ok() { return {}; }
    static Status Fail(std::string description) { return {false, std::move(description)}; }
    // The platform's description of an errno value.
    static Status FromErrno(int errorNumber);

    explicit operator bool() const { return ok; }
};

} // namespace text
