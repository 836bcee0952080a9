// How the line analyzer copes with a flood: random bytes of 1, 16 and 100 MB, handed over in the
// 64 KiB pieces a busy port delivers, for each radio family. Prints the time and the process's
// peak memory; asserts nothing.
//
//   analyzer_flood_bench [--megabytes N ...]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "doctor/line_analyzer.h"
#include "protocols/families.h"

namespace {

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> sizes;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--megabytes") == 0) sizes.push_back(std::stoul(argv[i + 1]));
    if (sizes.empty()) sizes = {1, 16, 100};
    constexpr std::size_t kPiece = 64 * 1024;
    // A few random pieces made beforehand, so that the time is the analyzer's, not the generator's.
    std::mt19937 random(42);
    std::vector<std::string> pieces(16, std::string(kPiece, '\0'));
    for (std::string& piece : pieces)
        for (char& c : piece) c = static_cast<char>(random() & 0xFF);
    std::printf("%-8s %6s %10s %12s %14s\n", "family", "MB", "seconds", "units kept",
                "peak RSS MiB");
    for (const cat::RadioFamily* family : cat::Families()) {
        for (const std::size_t mb : sizes) {
            cat::doctor::LineAnalyzer line(family->Code(), "5E");
            line.Sent(0, family->Probes().front());
            const auto start = std::chrono::steady_clock::now();
            const std::size_t count = mb * 1024 * 1024 / kPiece;
            for (std::size_t i = 0; i < count; ++i)
                line.Received(0.001 * static_cast<double>(i), pieces[(i * 7 + mb) % pieces.size()]);
            line.Settle(1e9);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%-8s %6zu %10.3f %12zu %14.1f\n", std::string(family->Name()).c_str(), mb,
                        seconds, line.Units().size(), PeakKiB() / 1024.0);
            std::fflush(stdout);
        }
    }
    return 0;
}
