// The library server program run as a child process for the tests, its request log read line by line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

extern char** environ;

namespace library_test {

// The library server program, started with the given arguments and stopped (SIGTERM) at the end.
class ServerProcess {
public:
    // quiet: the program's error output (usage texts) is discarded.
    explicit ServerProcess(std::vector<std::string> args, bool quiet = false) {
        args.insert(args.begin(), BRINDLEMAR_LIBRARY_SERVER);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        if (quiet)
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        output_ = pipeFds[0];
        if (spawned != 0)
            pid_ = -1;
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // The next line the program printed, waiting at most 20 s; "" at the end of its output.
    std::string NextLine() {
        for (;;) {
            const std::size_t newline = pending_.find('\n');
            if (newline != std::string::npos) {
                std::string line = pending_.substr(0, newline);
                pending_.erase(0, newline + 1);
                return line;
            }
            pollfd p{output_, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0)
                return {};
            char buffer[4096];
            const ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n <= 0)
                return {};
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Reads the "listening on 127.0.0.1:PORT ..." line; -1 if the program said something else.
    int Port() {
        if (port_ < 0) {
            const std::string line = NextLine();
            const std::string lead = "listening on 127.0.0.1:";
            if (line.rfind(lead, 0) == 0)
                port_ = std::stoi(line.substr(lead.size()));
        }
        return port_;
    }
    std::string Host() { return "127.0.0.1:" + std::to_string(Port()); }

    // Stops the program and gives its exit code.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    int port_ = -1;
    std::string pending_;
};

} // namespace library_test
