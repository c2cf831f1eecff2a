// The desktop opener on Linux and other free desktops: xdg-open, started without a shell (the target is one
// argument and is never interpreted), its exit status mapped onto the shell's error codes.
#include "shell/OpenDocument.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>

#include "text/Ansi.h"

extern char** environ;

namespace shell {

namespace {

constexpr const char* kDefaultOpener = "xdg-open";
constexpr const char* kOpenerVariable = "BRINDLEMAR_OPENER";

// The program that opens documents: BRINDLEMAR_OPENER when set and not empty (a site's own opener, or a
// test's), else xdg-open found on PATH.
const char* OpenerProgram() {
    const char* opener = std::getenv(kOpenerVariable);
    return opener != nullptr && *opener != '\0' ? opener : kDefaultOpener;
}

// A failure to start the opener.
int FromSpawnError(int error) {
    switch (error) {
    case ENOMEM:
        return kOutOfMemory;
    case EAGAIN:
    case EMFILE:
    case ENFILE:
        return kOutOfResources;
    default:
        // ENOENT (no opener installed), EACCES, ENOEXEC...: there is nothing that could open the document.
        return kNoAssociation;
    }
}

// xdg-open's exit status: 0 success, 1 bad command line, 2 file not found, 3 a required tool is missing,
// 4 the action failed, 5 no permission to read the file.
int FromExitStatus(int status) {
    if (!WIFEXITED(status))
        return kNoAssociation; // killed by a signal: nothing was opened
    switch (WEXITSTATUS(status)) {
    case 0:
        return kHandedOver;
    case 1: // the opener could not take the target as a file or address
    case 2:
        return kFileNotFound;
    case 5:
        return kAccessDenied;
    default: // 3, 4 and whatever else a site's opener gives: no application took the document
        return kNoAssociation;
    }
}

// The opener's spawn settings, released on every path.
class SpawnSettings {
public:
    SpawnSettings() {
        actionsOk_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        attributesOk_ = ::posix_spawnattr_init(&attributes_) == 0;
    }
    ~SpawnSettings() {
        if (actionsOk_)
            ::posix_spawn_file_actions_destroy(&actions_);
        if (attributesOk_)
            ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // No terminal I/O for the opener; default signal handling and an empty signal mask whatever this
    // process has set up; a process group of its own, so a Ctrl-C meant for this program does not reach
    // the browser it started. Gives the errno value of a failure, 0 when all is set.
    int Prepare() {
        if (!actionsOk_ || !attributesOk_)
            return ENOMEM;
        sigset_t defaults;
        sigset_t mask;
        ::sigfillset(&defaults);
        ::sigdelset(&defaults, SIGKILL);
        ::sigdelset(&defaults, SIGSTOP);
        ::sigemptyset(&mask);
        const int steps[] = {
            ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0),
            ::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0),
            ::posix_spawn_file_actions_adddup2(&actions_, 1, 2),
            ::posix_spawnattr_setsigdefault(&attributes_, &defaults),
            ::posix_spawnattr_setsigmask(&attributes_, &mask),
            ::posix_spawnattr_setpgroup(&attributes_, 0),
            ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                                         POSIX_SPAWN_SETPGROUP),
        };
        for (int step : steps)
            if (step != 0)
                return step;
        return 0;
    }

    const posix_spawn_file_actions_t* Actions() const { return &actions_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
    bool actionsOk_ = false;
    bool attributesOk_ = false;
};

void Pause(std::chrono::milliseconds duration) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count();
    timespec request{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (::nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}

// Waits for an opener that is still running after the hand-over time, so it leaves no zombie behind.
// A detached thread of this file's own: it only waits, touches nothing else and ends with the opener.
void ReapWhenDone(pid_t pid) {
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the finished opener stays a zombie until this program ends.
    }
}

// Waits up to handOverAfter for the opener to end; its answer, or kHandedOver while it still runs.
int AwaitOpener(pid_t pid, std::chrono::milliseconds handOverAfter) {
    const auto deadline = std::chrono::steady_clock::now() + handOverAfter;
    auto step = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return FromExitStatus(status);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return kHandedOver; // ECHILD: children are reaped for us (SIGCHLD ignored), the answer is lost
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            // Some desktops' openers run as long as the application they started: take it as handed over.
            ReapWhenDone(pid);
            return kHandedOver;
        }
        Pause(std::min(step, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                                 std::chrono::milliseconds(1)));
        step = std::min(step * 2, std::chrono::milliseconds(50));
    }
}

} // namespace

int ShellOpen(std::string_view target, std::chrono::milliseconds handOverAfter) {
    // Nothing to open, or a target that cannot be passed whole as one argument.
    if (target.empty() || target.find('\0') != std::string_view::npos)
        return kFileNotFound;
    try {
        // The desktop takes its arguments in UTF-8; the target is held as ANSI text.
        std::string argument = text::AnsiToUtf8(target);
        std::string program = OpenerProgram();
        SpawnSettings settings;
        if (const int error = settings.Prepare(); error != 0)
            return FromSpawnError(error);
        char* argv[] = {program.data(), argument.data(), nullptr};
        pid_t pid = 0;
        const int error =
            ::posix_spawnp(&pid, program.c_str(), settings.Actions(), settings.Attributes(), argv, environ);
        if (error != 0)
            return FromSpawnError(error);
        return AwaitOpener(pid, handOverAfter);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

} // namespace shell
