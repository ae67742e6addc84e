#pragma once
// A Python script run as a peer process: commands go to its stdin, its stdout is read as lines
// with a timeout. The process is told to quit, then killed if it has not ended within a second.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace beamlink::testing {

// The system interpreter, which has python3-serial; the first python3 on PATH may be another.
inline constexpr const char* kSystemPython = "/usr/bin/python3";

inline bool systemPythonHasPyserial() {
    return std::system("/usr/bin/python3 -c 'import serial.rfc2217' >/dev/null 2>&1") == 0;
}

class PythonPeer {
public:
    explicit PythonPeer(const std::vector<std::string>& args) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<std::string> argv = {kSystemPython, "-u"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (auto& a : argv) {
            raw.push_back(a.data());
        }
        raw.push_back(nullptr);
        int rc = posix_spawn(&pid_, kSystemPython, &actions, nullptr, raw.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
        if (rc != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + std::string(kSystemPython));
        }
    }

    ~PythonPeer() {
        command("quit");
        ::close(toChild_);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::close(fromChild_);
    }
    PythonPeer(const PythonPeer&) = delete;
    PythonPeer& operator=(const PythonPeer&) = delete;

    void command(const std::string& line) {
        std::string text = line + "\n";
        (void)!::write(toChild_, text.data(), text.size());
    }

    // The next line of output, or nothing when none comes in time.
    std::optional<std::string> nextLine(std::chrono::milliseconds timeout) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (auto at = pending_.find('\n'); at != std::string::npos) {
                std::string line = pending_.substr(0, at);
                pending_.erase(0, at + 1);
                seen_.push_back(line);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            pollfd p{fromChild_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
                return std::nullopt;
            }
            char buffer[4096];
            ssize_t n = ::read(fromChild_, buffer, sizeof buffer);
            if (n <= 0) {
                return std::nullopt;
            }
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Reads lines until one starts with prefix; that line, or nothing on timeout.
    std::optional<std::string> lineStartingWith(
        const std::string& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (auto line = nextLine(std::chrono::duration_cast<std::chrono::milliseconds>(
                   deadline - std::chrono::steady_clock::now()))) {
            if (line->rfind(prefix, 0) == 0) {
                return line;
            }
        }
        return std::nullopt;
    }

    // Every line read so far.
    const std::vector<std::string>& seen() const { return seen_; }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
    std::vector<std::string> seen_;
};

}  // namespace beamlink::testing
