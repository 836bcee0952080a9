// What a synchronous reader pays on the Qt serial port: the FT-817 exchange waits up to 0.30 s
// for a five-byte reply, and every receive pass asks how many bytes are waiting. Figures are
// process CPU time (all threads, including Qt's) next to wall time; a pseudo-terminal whose
// other end stays silent stands in for a radio that does not answer.
#include <benchmark/benchmark.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "qt/ports/qt_comm_port.h"
#include "qt/platform/qt_settings_store.h"
#include "tests/support/raw_pty.h"

namespace {

using namespace std::chrono_literals;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A pseudo-terminal mapped as Com 1 in a throw-away settings file, and the port open on it.
class Link {
public:
    Link() {
        std::string name;
        master_ = cat::test::OpenRawPty(name);
        if (master_ < 0) return;
        store_ = std::make_unique<cat::QtSettingsStore>(dir_.filePath(QStringLiteral("cat.ini")));
        store_->Write("Ports", "Com1", name);
        port_ = std::make_unique<cat::QtCommPort>(*store_);
        port_->SelectPort(1);
        port_->SetLineSettings(cat::RequireLineSettings("9600,n,8,2"));
        port_->SetHandshake(cat::Handshake::None);
        port_->Open();
    }
    ~Link() {
        port_.reset();
        if (master_ >= 0) ::close(master_);
    }
    bool Ok() const { return port_ && port_->IsOpen(); }
    cat::QtCommPort& Port() { return *port_; }
    void Reply(const std::string& bytes) {
        if (::write(master_, bytes.data(), bytes.size()) < 0) std::perror("write");
    }

private:
    QTemporaryDir dir_;
    int master_ = -1;
    std::unique_ptr<cat::QtSettingsStore> store_;
    std::unique_ptr<cat::QtCommPort> port_;
};

void TimedOutWait(benchmark::State& state) {
    Link link;
    if (!link.Ok()) return state.SkipWithError("no pseudo-terminal");
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(link.Port().WaitForInput(5, 300ms));
    state.counters["process_cpu_ms_per_wait"] = benchmark::Counter(
        (ProcessCpuSeconds() - cpuStart) * 1e3, benchmark::Counter::kAvgIterations);
}
BENCHMARK(TimedOutWait)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);

void AnsweredWait(benchmark::State& state) {
    Link link;
    if (!link.Ok()) return state.SkipWithError("no pseudo-terminal");
    const std::string reply("\x00\x14\x07\x40\x01", 5);
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        std::thread radio([&] {
            std::this_thread::sleep_for(20ms);
            link.Reply(reply);
        });
        benchmark::DoNotOptimize(link.Port().WaitForInput(5, 300ms));
        radio.join();
        state.PauseTiming();
        link.Port().ReadAll();
        state.ResumeTiming();
    }
    state.counters["process_cpu_ms_per_wait"] = benchmark::Counter(
        (ProcessCpuSeconds() - cpuStart) * 1e3, benchmark::Counter::kAvgIterations);
}
BENCHMARK(AnsweredWait)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);

void BytesWaitingSilent(benchmark::State& state) {
    Link link;
    if (!link.Ok()) return state.SkipWithError("no pseudo-terminal");
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(link.Port().BytesWaiting());
    state.counters["process_cpu_us_per_call"] = benchmark::Counter(
        (ProcessCpuSeconds() - cpuStart) * 1e6, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BytesWaitingSilent)->Unit(benchmark::kMicrosecond);

void BytesWaitingWithBytesThere(benchmark::State& state) {
    Link link;
    if (!link.Ok()) return state.SkipWithError("no pseudo-terminal");
    link.Reply("IF00014074000     +00000000002000000 ;");
    std::this_thread::sleep_for(20ms);
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(link.Port().BytesWaiting());
    state.counters["process_cpu_us_per_call"] = benchmark::Counter(
        (ProcessCpuSeconds() - cpuStart) * 1e6, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BytesWaitingWithBytesThere)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // The port's notifiers need an application object, though nothing here runs its loop.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
