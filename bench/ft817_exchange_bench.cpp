// Process CPU time of one FT-817 exchange that times out: the radio end of a pseudo-terminal
// stays silent, so every poll waits its full 0.30 s. The wait blocks in the port, so the CPU
// figure should be a tiny fraction of the wall time.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "core/platform.h"
#include "core/session_state.h"
#include "core/settings_store.h"
#include "qt/serial_port.h"
#include "protocols/ft817/ft817.h"

namespace {

class MemoryStore : public cat::SettingsStore {
public:
    std::map<std::string, std::string> values;
    std::optional<std::string> Read(const std::string& group, const std::string& key) override {
        auto it = values.find(group + "/" + key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void Write(const std::string& group, const std::string& key,
               const std::string& value) override {
        values[group + "/" + key] = value;
    }
    bool Sync() override { return true; }
};

class LocalClock : public cat::Clock {
public:
    float SecondsSinceMidnight() override {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
        localtime_r(&seconds, &local);
        const auto fraction = now - std::chrono::system_clock::from_time_t(seconds);
        return static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec +
                                  std::chrono::duration<double>(fraction).count());
    }
};

class ThreadPause : public cat::Pause {
public:
    void Sleep(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

class NoMessages : public cat::MessageBoxes {
public:
    void Critical(const std::string&) override {}
    void Information(const std::string&, const std::string&) override {}
};

class NoTimer : public cat::PollTimer {
public:
    void SetEnabled(bool) override {}
    bool Enabled() const override { return false; }
};

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
    MemoryStore store;
    store.Write("Ports", "Com1", radio.device);
    cat::QtCommPort port(store);
    port.SetCommPort(1);
    port.SetInputMode(1);
    port.SetSettings("9600,n,8,2");
    port.SetHandshaking(0);
    port.SetPortOpen(true);

    LocalClock clock;
    ThreadPause pause;
    NoMessages messages;
    NoTimer timer;
    cat::Platform platform{port, clock, pause, messages, timer};
    cat::SessionState session;
    session.ProtocolCode = cat::kFT817;
    session.CurFreq = 14.074;

    for (auto _ : state) {
        cat::Poll817(session, platform);
        state.PauseTiming();
        radio.Drain();
        state.ResumeTiming();
    }
    if (session.CurFreq != 14.074) state.SkipWithError("a silent radio changed the frequency");
    port.SetPortOpen(false);
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
