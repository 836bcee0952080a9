// Start-up time and peak memory of the program beside a bare Qt window holding the same widgets
// (bare_window), in one run on one X server, so both meet the same machine load. Prints medians,
// asserts nothing.
//
//   startup_bench [--rounds N] [--catlink PATH]... [--bare PATH]
//
// Each --catlink is measured (two builds side by side: before and after a change); without one,
// the program built beside this benchmark.
// Starts its own Xvfb. "Visible" is the moment the X server maps the program's top-level window,
// seen as a MapNotify on the root window; the peak is the process's VmHWM half a second later,
// when the first paint is long done.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_arguments.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Stop(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

long PeakKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Waits until a top-level window is mapped; false after the limit.
bool WaitForMap(xcb_connection_t* x, Clock::time_point limit) {
    const int fd = xcb_get_file_descriptor(x);
    while (Clock::now() < limit) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
            const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
            std::free(event);
            if (mapped) return true;
        }
        fd_set read;
        FD_ZERO(&read);
        FD_SET(fd, &read);
        timeval tick{0, 2000};
        select(fd + 1, &read, nullptr, nullptr, &tick);
    }
    return false;
}

struct Sample {
    double ms;
    long peakKiB;
};

std::optional<Sample> Measure(xcb_connection_t* x, const std::string& program,
                              const std::string& display) {
    char scratch[] = "/tmp/startup-bench.XXXXXX";
    if (!mkdtemp(scratch)) return std::nullopt;
    const std::string home = scratch;
    // Drain what earlier rounds left, so the next MapNotify is this program's.
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) std::free(event);

    const auto start = Clock::now();
    const pid_t pid = Spawn({program}, {"DISPLAY=" + display, "HOME=" + home,
                                        "XDG_CONFIG_HOME=" + home, "QT_QPA_PLATFORM=xcb"});
    if (pid < 0) return std::nullopt;
    const bool mapped = WaitForMap(x, start + 20s);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::this_thread::sleep_for(500ms);
    const long peak = PeakKiB(pid);
    Stop(pid);
    std::filesystem::remove_all(home);
    if (!mapped) return std::nullopt;
    return Sample{ms, peak};
}

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Waits up to five seconds for the X server on `display`; nothing when none answers.
xcb_connection_t* ConnectTo(const std::string& display) {
    for (int tries = 0; tries < 100; ++tries) {
        std::this_thread::sleep_for(50ms);
        xcb_connection_t* x = xcb_connect(display.c_str(), nullptr);
        if (!xcb_connection_has_error(x)) return x;
        xcb_disconnect(x);
    }
    return nullptr;
}

struct Program {
    std::string name;  // as the table shows it
    std::string path;
    std::vector<double> ms;
    std::vector<long> peakKiB;
};

// `rounds` starts of each, the order turned by one each round so that none always follows another.
void MeasureRounds(xcb_connection_t* x, const std::string& display, int rounds,
                   std::vector<Program>& programs) {
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t turn = 0; turn < programs.size(); ++turn) {
            Program& program = programs[(turn + static_cast<std::size_t>(round)) % programs.size()];
            const auto sample = Measure(x, program.path, display);
            if (!sample) {
                std::printf("%s did not show a window\n", program.name.c_str());
                continue;
            }
            program.ms.push_back(sample->ms);
            program.peakKiB.push_back(sample->peakKiB);
        }
    }
}

// The last program is the bare window every other is compared with.
void PrintMedians(int rounds, const std::vector<Program>& programs) {
    const Program& bare = programs.back();
    const double bMs = Median(bare.ms);
    const long bKiB = Median(bare.peakKiB);
    std::printf("start-up to a mapped window, medians of %d rounds (Xvfb)\n", rounds);
    std::printf("%10s %14s %8s %12s  %s\n", "time (ms)", "peak RSS (MiB)", "ratio", "over bare",
                "program");
    for (const Program& p : programs) {
        const double ms = Median(p.ms);
        const long kiB = Median(p.peakKiB);
        std::printf("%10.1f %14.1f %7.2fx %+8.1f MiB  %s\n", ms, kiB / 1024.0, ms / bMs,
                    (kiB - bKiB) / 1024.0, p.name.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const cat::bench::Arguments arguments(argc, argv);
    if (!arguments.Understood("startup_bench [--rounds N] [--catlink PATH]... [--bare PATH]"))
        return 2;
    const int rounds = std::max(1, arguments.Number("--rounds", 9));
    std::vector<Program> programs;
    const std::vector<std::string> builds = arguments.Values("--catlink", {CATLINK_DEFAULT});
    for (const std::string& path : builds)
        programs.push_back({builds.size() > 1 ? path : "catlink", path, {}, {}});
    programs.push_back({"bare window", arguments.Text("--bare", BARE_WINDOW_DEFAULT), {}, {}});

    const std::string display = ":" + std::to_string(90 + getpid() % 9);
    const pid_t server =
        Spawn({"Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {});
    if (server < 0) {
        std::printf("Xvfb could not be started (Debian package xvfb)\n");
        return 1;
    }
    xcb_connection_t* x = ConnectTo(display);
    if (!x) {
        std::printf("no X server on %s\n", display.c_str());
        Stop(server);
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    // One unmeasured start of each warms the file cache for all alike.
    for (const Program& program : programs) Measure(x, program.path, display);
    MeasureRounds(x, display, rounds, programs);
    xcb_disconnect(x);
    Stop(server);
    for (const Program& program : programs)
        if (program.ms.empty()) return 1;
    PrintMedians(rounds, programs);
    return 0;
}
