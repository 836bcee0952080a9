// How long the host check takes on this machine: the time it adds to `catlink --doctor` and to an
// Open, which read it once each. Reads this system's /proc, /sys, /dev, /etc/group and udev rules;
// prints the median and the slowest of the rounds, and how many processes it read. Figures only.
//
//   build/bench/host_check_bench [--device /dev/ttyUSB0] [--rounds 50]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_arguments.h"
#include "shell/host_check.h"

int main(int argc, char** argv) {
    const cat::bench::Arguments arguments(argc, argv);
    if (!arguments.Understood("host_check_bench [--device /dev/ttyUSB0] [--rounds 50]")) return 2;
    const std::string device = arguments.Text("--device", "/dev/ttyS0");
    const int rounds = std::max(1, arguments.Number("--rounds", 50));
    std::size_t processes = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc"))
        processes +=
            entry.path().filename().string().find_first_not_of("0123456789") == std::string::npos;
    std::vector<double> ms;
    std::size_t findings = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        findings = cat::CheckHost(cat::ThisProcessView({device})).size();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "host check of %s: median %.2f ms, slowest %.2f ms over %d rounds "
        "(%zu processes, %zu findings; goal under 20 ms)\n",
        device.c_str(), ms[ms.size() / 2], ms.back(), rounds, processes, findings);
}
