// radiosim against an outside controller: Hamlib's rigctl reads and sets frequency and mode
// through radiosim playing a real model, over the stable path --link gives it. rigctl knows
// these radios from their makers' references as radiosim does, so agreement here says both read
// the references alike.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/radiosim_runner.h"

namespace {

using cat::test::RadiosimRunner;
using Clock = std::chrono::steady_clock;

std::string FindRigctl() {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/rigctl";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Runs the peer to its end, at most `seconds`; its standard output, or nullopt if it overran or
// failed.
std::optional<std::string> RunPeer(const std::string& program, std::vector<std::string> args,
                                   int seconds) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    for (bool open = spawned == 0; open;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fd{out[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[1024];
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        open = got > 0;
        if (open) text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    if (spawned != 0) return std::nullopt;
    // Its output has ended; its exit follows within the same bound.
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return std::nullopt;
        }
        ::poll(nullptr, 0, 5);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
}

TEST(RigctlPeer, ReadsAndSetsFrequencyAndModeOfEachModel) {
    const std::string rigctl = FindRigctl();
    if (rigctl.empty()) GTEST_SKIP() << "rigctl not installed (Debian package libhamlib-utils)";
    struct Row {
        const char* model;
        const char* hamlib_model;  // rigctl -m
        const char* speed;         // one the radio's menu offers
    };
    const Row rows[] = {
        {"ic7300", "3073", "19200"},
        {"ts590s", "2031", "9600"},
        {"ft817", "1020", "4800"},
        {"ft991a", "1035", "38400"},
        {"k3", "2029", "38400"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        const std::string link = (std::filesystem::temp_directory_path() /
                                  ("radiosim-peer-" + std::to_string(::getpid()) + row.model))
                                     .string();
        // radiosim runs at the speed given: a rigctl at any other speed would get noise.
        RadiosimRunner sim({"--model", row.model, "--speed", row.speed, "--link", link});
        ASSERT_TRUE(sim.Started()) << "radiosim did not start";
        const auto output = RunPeer(rigctl,
                                    {"-m", row.hamlib_model, "-r", link, "-s", row.speed, "f", "F",
                                     "7074000", "f", "m", "M", "CW", "0", "m"},
                                    15);
        ASSERT_TRUE(output.has_value()) << "rigctl failed or overran\n" << sim.Transcript();
        std::vector<std::string> lines;
        std::istringstream text(*output);
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        // f, f after F, m (mode and passband), m after M.
        ASSERT_EQ(lines.size(), 6u) << *output;
        EXPECT_EQ(lines[0], "14074000");
        EXPECT_EQ(lines[1], "7074000");
        EXPECT_EQ(lines[2], "USB");
        EXPECT_EQ(lines[4], "CW");
        EXPECT_TRUE(sim.AwaitLine("freq 7074000")) << sim.Transcript();
        EXPECT_TRUE(sim.AwaitLine("mode CW")) << sim.Transcript();
        // The speed rigctl set arrived at the pty.
        const std::string line = std::string("line ") + row.speed + " ";
        EXPECT_TRUE(std::any_of(sim.Lines().begin(), sim.Lines().end(), [&](const std::string& l) {
            return l.rfind(line, 0) == 0;
        })) << sim.Transcript();
    }
}

}  // namespace
