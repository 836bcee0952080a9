// How the line analyzer copes with a flood: random bytes of 1, 16 and 100 MB, handed over in the
// 64 KiB pieces a busy port delivers, for each radio family. Prints the time and the process's
// peak memory. Then the rig-sharing servers' readers, in the doctor's analyzer and in the live
// link's receive pass, under what a hostile far end sends them: answer headers that never end,
// one line without its end, random bytes, in 4 KiB pieces as a network delivers them. Then the
// whole program: `catlink --doctor` on a loopback port that sends the random bursts, with its
// time and peak memory. Asserts nothing.
//
//   analyzer_flood_bench [--megabytes N ...] [--server-megabytes N ...] [--catlink PATH]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_arguments.h"
#include "doctor/line_analyzer.h"
#include "protocols/families.h"
#include "protocols/flrig/xml_rpc.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback_listener.h"

namespace {

// The peak so far is forgotten, so that each row's peak is its own.
void ForgetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Serves one connection on loopback with `bytes` of the pieces, then closes it.
class BurstServer {
public:
    BurstServer(const std::vector<std::string>& pieces, std::size_t bytes) {
        listener_ = cat::test::ListenOnLoopback(port_);
        thread_ = std::thread([this, &pieces, bytes] {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            for (std::size_t sent = 0, i = 0; sent < bytes; sent += pieces[i].size(), ++i %= 16)
                if (::send(client, pieces[i].data(), pieces[i].size(), MSG_NOSIGNAL) <= 0) break;
            ::close(client);
        });
    }
    ~BurstServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// catlink --doctor on Com 5, mapped to the burst: seconds and the child's peak memory in MiB.
std::pair<double, double> DoctorUnderBurst(const std::string& catlink,
                                           const std::vector<std::string>& pieces,
                                           std::size_t bytes) {
    BurstServer server(pieces, bytes);
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("flood-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home / "config/CAT");
    std::ofstream(home / "config/CAT/CAT.ini")
        << "[Setup]\nType=1\nComPort=4\n[Ports]\nCom5=tcp://127.0.0.1:" << server.Port() << "\n";
    const auto start = std::chrono::steady_clock::now();
    std::fflush(stdout);  // or the child's copy of the buffer is printed twice
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        ::execl(catlink.c_str(), catlink.c_str(), "--doctor", "Com 5", nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove_all(home);
    return {seconds, usage.ru_maxrss / 1024.0};
}

// What a hostile far end sends a server's reader, `bytes` of it.
struct ServerFlood {
    const char* name;
    std::string pattern;  // repeated; empty: random bytes
};

std::string FloodPiece(const ServerFlood& flood, std::size_t size, std::mt19937& random) {
    std::string piece(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        piece[i] = flood.pattern.empty() ? static_cast<char>(random() & 0xFF)
                                         : flood.pattern[i % flood.pattern.size()];
    return piece;
}

// Seconds the analyzer (`link` false) or the live link's receive pass takes for `bytes` of the
// flood, handed over in 4 KiB pieces.
double ServerReaderSeconds(const cat::RadioFamily& family, const ServerFlood& flood,
                           std::size_t bytes, bool link) {
    constexpr std::size_t kPiece = 4096;
    std::mt19937 random(7);
    // A pattern's pieces all look alike when the piece holds it whole a number of times.
    const std::string piece = FloodPiece(flood, kPiece, random);
    cat::doctor::LineAnalyzer line(family.Id(), "00");
    line.Sent(0, family.Id() == cat::Protocol::Flrig ? cat::flrig::Request("rig.get_vfo") : "+f\n");
    cat::SessionState state;
    state.protocol = family.Id();
    cat::test::FakeCommPort port;
    port.open = true;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0, i = 0; at < bytes; at += kPiece, ++i) {
        if (link) {
            port.Arrive(piece);
            family.Receive(state, port);
        } else {
            line.Received(0.001 * static_cast<double>(i), piece);
        }
    }
    line.Settle(1e9);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintServerFigures(const std::vector<double>& sizes) {
    const ServerFlood floods[] = {
        {"headers", ""}, {"one line", std::string(1, 'x')}, {"random", ""}};
    std::printf("\n%-8s %-10s %8s %18s %18s\n", "server", "flood", "MB", "analyzer s / MiB",
                "receive s / MiB");
    for (const auto protocol : {cat::Protocol::Rigctld, cat::Protocol::Flrig}) {
        const cat::RadioFamily& family = *cat::FamilyFor(protocol);
        for (ServerFlood flood : floods) {
            // rigctld's answers start with a header line, flrig's with a status line.
            if (std::string(flood.name) == "headers")
                flood.pattern = protocol == cat::Protocol::Rigctld ? "a:\n" : "HTTP/1.1 200 OK\r\n";
            for (const double mb : sizes) {
                const auto bytes = static_cast<std::size_t>(mb * 1024 * 1024);
                ForgetPeak();
                const double analyzer = ServerReaderSeconds(family, flood, bytes, false);
                const double analyzerPeak = PeakKiB() / 1024.0;
                ForgetPeak();
                const double link = ServerReaderSeconds(family, flood, bytes, true);
                std::printf("%-8s %-10s %8.1f %10.3f / %5.1f %10.3f / %5.1f\n",
                            std::string(family.Name()).c_str(), flood.name, mb, analyzer,
                            analyzerPeak, link, PeakKiB() / 1024.0);
                std::fflush(stdout);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const cat::bench::Arguments arguments(argc, argv);
    if (!arguments.Understood("analyzer_flood_bench [--megabytes N]... [--server-megabytes N]... "
                              "[--catlink PATH]"))
        return 2;
    std::vector<std::size_t> sizes;
    for (const std::string& mb : arguments.Values("--megabytes", {"1", "16", "100"}))
        sizes.push_back(std::stoul(mb));
    const std::string catlink = arguments.Text("--catlink", CATLINK_DEFAULT);
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
            cat::doctor::LineAnalyzer line(family->Id(), "5E");
            line.Sent(0, family->Record().identityReads.front());
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
    std::vector<double> serverSizes;
    for (const std::string& mb : arguments.Values("--server-megabytes", {"0.2", "1", "10"}))
        serverSizes.push_back(std::stod(mb));
    PrintServerFigures(serverSizes);
    // The doctor listens for its two seconds and ends; what it has not read by then stays unread.
    std::printf("\ncatlink --doctor, Kenwood, on a port that sends a burst and closes:\n");
    std::printf("%6s %10s %14s\n", "MB", "seconds", "peak RSS MiB");
    for (const std::size_t mb : sizes) {
        const auto [seconds, peak] = DoctorUnderBurst(catlink, pieces, mb * 1024 * 1024);
        std::printf("%6zu %10.2f %14.1f\n", mb, seconds, peak);
        std::fflush(stdout);
    }
    return 0;
}
