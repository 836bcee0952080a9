// SIGTERM to the end of the program with a link open, as at logout or a service stop: the
// signal handler, the window closing, the event loop ending and the port closing, measured in
// the program's own process. The signal falls at a random moment of the poll cycle. Cases: each
// protocol on a local pseudo-terminal, with a radio that answers and with one that is silent
// (the FT-817 exchange then waits for its reply on every tick), and through ser2net.
// Asserts nothing.
//
//   exit_bench [--runs N] [--local-only] [--radiosim PATH]
#include <signal.h>

#include <QApplication>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <thread>

#include "bench/bench_support.h"
#include "qt/program/close_on_signal.h"
#include "qt/platform/qt_settings_store.h"
#include "tests/support/ser2net_process.h"

namespace {

using namespace cat::bench;

struct Case {
    const char* protocol;
    const char* listText;
    bool silent;
    bool remote;
};

// One run: the window with its link open, SIGTERM after `delayMs`, the time to the window gone.
double OneRun(const Case& c, const QString& radiosim, int delayMs, bool* opened) {
    QTemporaryDir dir;
    const QString link = dir.filePath("radio");
    const QString ini = dir.filePath("CAT.ini");
    Radio radio(radiosim, c.protocol, link, c.silent ? QStringList{"--silent"} : QStringList{});
    std::unique_ptr<cat::test::Ser2net> ser2net;
    QString address = link;
    if (c.remote) {
        ser2net = std::make_unique<cat::test::Ser2net>(link, dir.path());
        address = ser2net->Rfc2217Address();
    }
    QSettings(ini, QSettings::IniFormat).setValue("Ports/Com5", address);
    cat::QtSettingsStore store(ini);
    auto w = std::make_unique<cat::MainWindow>(store);
    w->show();
    OpenLinkOn(*w, c.listText, 5);
    *opened = RunUntil([&] { return PortIsOpen(*w); }, 8000);
    RunFor(1500);  // polling in full swing

    std::atomic<long long> signalled{0};
    double ms = -1;
    {
        cat::CloseOnSignal closeOnSignal(*w);
        std::thread sender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            signalled = Clock::now().time_since_epoch().count();
            ::kill(::getpid(), SIGTERM);
        });
        QApplication::exec();
        w.reset();  // the port closes with the window, as when main() returns
        sender.join();
        ms = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch() -
                                                       Clock::duration(signalled.load()))
                 .count();
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const Arguments arguments(argc, argv, {"--local-only"});
    if (!arguments.Understood("exit_bench [--runs N] [--local-only] [--radiosim PATH]")) return 2;
    const int runs = arguments.Number("--runs", 8);
    const bool localOnly = arguments.Flag("--local-only");
    const QString radiosim = RadiosimPath(arguments);
    const Case cases[] = {
        {"icom", "ICOM", false, false},      {"kenwood", "Kenwood", false, false},
        {"ft817", "FT-817", false, false},   {"icom", "ICOM", true, false},
        {"kenwood", "Kenwood", true, false}, {"ft817", "FT-817", true, false},
        {"icom", "ICOM", false, true},       {"kenwood", "Kenwood", false, true},
        {"ft817", "FT-817", false, true},    {"ft817", "FT-817", true, true},
    };
    const bool remote = !localOnly && !cat::test::Ser2net::Binary().isEmpty();
    QRandomGenerator random(15);
    for (const Case& c : cases) {
        if (c.remote && !remote) continue;
        std::vector<double> ms;
        int opened = 0;
        for (int i = 0; i < runs; ++i) {
            bool open = false;
            const double t = OneRun(c, radiosim, static_cast<int>(random.bounded(300)), &open);
            opened += open ? 1 : 0;
            if (t >= 0) ms.push_back(t);
        }
        const Summary s = Summarise(ms);
        std::printf(
            "%-8s %-7s %-13s SIGTERM to window gone, port closed: mean %.0f ms, max %.0f ms "
            "(%d runs, link open in %d)\n",
            c.protocol, c.silent ? "silent" : "answers", c.remote ? "ser2net" : "local pty", s.mean,
            s.max, s.count, opened);
        std::fflush(stdout);
    }
    return 0;
}
