// Process CPU time of one FT-817 exchange that times out: the radio end of a pseudo-terminal
// stays silent, so every poll waits its full 0.30 s. The wait blocks in the port, so the CPU
// figure should be a tiny fraction of the wall time.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/session_state.h"
#include "protocols/ft817/ft817.h"
#include "qt/ports/qt_comm_port.h"
#include "qt/platform/qt_platform.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_store.h"

namespace {

// The radio's end of the line: it reads nothing back and answers nothing.
struct SilentRadio {
    SilentRadio() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            std::perror("pseudo-terminal");
            std::exit(1);
        }
        device = ptsname(master);
    }
    ~SilentRadio() { close(master); }
    // Keeps the commands from filling the terminal's buffer over many exchanges.
    void Drain() {
        char scrap[256];
        while (read(master, scrap, sizeof scrap) > 0) {
        }
    }
    int master = -1;
    std::string device;
};

void BM_Ft817TimedOutExchange(benchmark::State& state) {
    SilentRadio radio;
    cat::test::MemoryStore store;
    store.Write("Ports", "Com1", radio.device);
    cat::QtCommPort port(store);
    port.SelectPort(1);
    port.SetLineSettings(cat::RequireLineSettings("9600,n,8,2"));
    port.SetHandshake(cat::Handshake::None);
    port.Open();

    cat::QtClock clock;
    cat::QtPause pause;
    cat::test::FakeMessages messages;
    cat::test::FakeTimer timer;
    cat::Platform platform{port, clock, pause, messages, timer};
    cat::SessionState session;
    session.protocol = cat::Protocol::Ft817;
    session.frequencyHz = 14'074'000;

    for (auto _ : state) {
        cat::PollFt817(session, platform);
        state.PauseTiming();
        radio.Drain();
        state.ResumeTiming();
    }
    if (session.frequencyHz != 14'074'000)
        state.SkipWithError("a silent radio changed the frequency");
    port.Close();
}
BENCHMARK(BM_Ft817TimedOutExchange)
    ->Iterations(12)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
