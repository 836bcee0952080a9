#pragma once

// radiosim as a child process, driven through POSIX calls only: its standard input for control
// lines, its standard output for report lines. The one driver every test of radiosim uses; the
// window's tests reach it through radiosim_process.h. Every wait is bounded.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/radiosim/report_time.h"

extern char** environ;

namespace cat::test {

class RadiosimRunner {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPatience{5000};

    // Starts radiosim with these options and waits for its first line, "pty PATH" or, with
    // --rfc2217, "rfc2217 HOST:PORT" (with --flrig, "flrig HOST:PORT").
    explicit RadiosimRunner(std::vector<std::string> args,
                            const std::string& path = RADIOSIM_PATH) {
        int to_child[2];
        int from_child[2];
        if (::pipe2(to_child, O_CLOEXEC) != 0) return;
        if (::pipe2(from_child, O_CLOEXEC) != 0) {
            ::close(to_child[0]);
            ::close(to_child[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, to_child[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, from_child[1], STDOUT_FILENO);
        args.insert(args.begin(), path);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(to_child[0]);
        ::close(from_child[1]);
        control_ = to_child[1];
        report_ = from_child[0];
        ::fcntl(report_, F_SETFL, O_NONBLOCK);
        const auto deadline = Clock::now() + kPatience;
        while (lines_.empty() && Clock::now() < deadline && Pump(Left(deadline))) {
        }
        if (!lines_.empty() && lines_.front().rfind("pty ", 0) == 0) {
            pty_path_ = lines_.front().substr(4);
            DropFirstLine();
        } else if (!lines_.empty() && lines_.front().rfind("rfc2217 ", 0) == 0) {
            address_ = lines_.front().substr(8);
            DropFirstLine();
        } else if (!lines_.empty() && lines_.front().rfind("flrig ", 0) == 0) {
            address_ = lines_.front().substr(6);
            DropFirstLine();
        }
    }

    ~RadiosimRunner() {
        if (control_ >= 0) ::close(control_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (report_ >= 0) ::close(report_);
    }

    RadiosimRunner(const RadiosimRunner&) = delete;
    RadiosimRunner& operator=(const RadiosimRunner&) = delete;

    bool Started() const { return !pty_path_.empty() || !address_.empty(); }
    const std::string& PtyPath() const { return pty_path_; }
    // "127.0.0.1:40123" when serving RFC 2217; empty on a pty.
    const std::string& Address() const { return address_; }
    pid_t Pid() const { return pid_; }
    // For an event loop that wants to know when report lines wait.
    int ReportFd() const { return report_; }

    // Takes in what radiosim has printed, waiting up to `timeout_ms` for something; false when
    // nothing came.
    bool Pump(int timeout_ms = 0) {
        if (report_ < 0) return false;
        pollfd fd{report_, POLLIN, 0};
        if (::poll(&fd, 1, timeout_ms) <= 0) return false;
        char buffer[4096];
        const ssize_t got = ::read(report_, buffer, sizeof buffer);
        if (got <= 0) return false;
        text_.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = text_.find('\n')) != std::string::npos;) {
            std::string line = text_.substr(0, end);
            text_.erase(0, end + 1);
            times_.push_back(radiosim::TakeTime(line));
            lines_.push_back(std::move(line));
        }
        return true;
    }

    // Every report line after the first, in order, without its time.
    const std::vector<std::string>& Lines() const { return lines_; }
    // The time radiosim gave line `index` (seconds on its own clock); nothing for an untimed one.
    std::optional<double> Time(std::size_t index) const {
        return index < times_.size() ? times_[index] : std::nullopt;
    }

    // Waits for this exact line after the last one awaited; later waits continue after it.
    bool AwaitLine(const std::string& wanted, std::chrono::milliseconds patience = kPatience) {
        const auto deadline = Clock::now() + patience;
        for (;;) {
            const auto found =
                std::find(lines_.begin() + static_cast<long>(cursor_), lines_.end(), wanted);
            if (found != lines_.end()) {
                cursor_ = static_cast<std::size_t>(found - lines_.begin()) + 1;
                return true;
            }
            if (Clock::now() >= deadline) return false;
            Pump(Left(deadline));
        }
    }

    void Control(const std::string& line) {
        const std::string text = line + "\n";
        if (control_ >= 0) (void)!::write(control_, text.data(), text.size());
    }

    void CloseControl() {
        if (control_ >= 0) ::close(control_);
        control_ = -1;
    }

    // After this, everything radiosim read before has been handled and written to the pty.
    bool Settle() {
        const std::string tag = "settle" + std::to_string(++pings_);
        Control("ping " + tag);
        return AwaitLine("pong " + tag);
    }

    std::string Transcript() const {
        std::string text = "radiosim said:\n";
        for (const std::string& line : lines_) text += "  " + line + "\n";
        return text;
    }

    // Sends the signal and reaps; the status as waitpid gives it, -1 if it would not end.
    int Stop(int signal = SIGTERM) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, signal);
        return Reap();
    }

    // The exit status of a radiosim that ends by itself (a refused start), -1 if it does not.
    int Reap() {
        const auto deadline = Clock::now() + kPatience;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        return status;
    }

private:
    void DropFirstLine() {
        lines_.erase(lines_.begin());
        times_.erase(times_.begin());
    }
    static int Left(Clock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

    pid_t pid_ = -1;
    int control_ = -1;
    int report_ = -1;
    std::string pty_path_;
    std::string address_;
    std::string text_;
    std::vector<std::string> lines_;
    std::vector<std::optional<double>> times_;
    std::size_t cursor_ = 0;
    int pings_ = 0;
};

}  // namespace cat::test
