// A radio on the network against the same radio on the local pseudo-terminal: ser2net publishes
// radiosim's pty on loopback as RFC 2217 and as raw TCP. Prints the round trip of an ICOM poll
// (frequency request out, 11-byte reply in) through each, the CPU the window uses while it polls
// through ser2net, and while it waits for a far end that went away. Asserts nothing.
//
//   remote_bench [--polls N] [--seconds S] [--radiosim PATH]
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

#include "bench/bench_support.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/ports/replug_watch.h"
#include "qt/ports/qt_comm_port.h"
#include "tests/support/memory_store.h"
#include "tests/support/ser2net_process.h"

namespace {

using namespace cat::bench;

const std::string kIcomPoll = {'\xfe', '\xfe', '\x5e', '\xe0', '\x03', '\xfd'};

// Round trips of the poll through Com 5 mapped to `address`.
void RoundTrips(const char* what, const QString& address, int polls) {
    cat::test::MemoryStore store;
    store.Write("Ports", "Com5", address.toStdString());
    cat::QtCommPort port(store);
    port.SelectPort(5);
    port.SetLineSettings(cat::RequireLineSettings("9600,n,8,2"));
    port.SetHandshake(cat::Handshake::None);
    // ser2net frees its device a moment after the last connection: try again for a while.
    for (int attempt = 0; !port.IsOpen() && attempt < 20; ++attempt) {
        try {
            port.Open();
        } catch (const cat::CatError& e) {
            if (attempt == 19) std::printf("%s: %s\n", what, e.what());
            RunFor(200);
        }
    }
    if (!port.IsOpen()) return;
    std::vector<double> ms;
    for (int i = 0; i < polls; ++i) {
        const auto start = Clock::now();
        port.Write(kIcomPoll);
        if (port.WaitForInput(11, std::chrono::milliseconds(1000)) >= 11)
            ms.push_back(MsSince(start));
        port.ReadAll();
    }
    const Summary s = Summarise(ms);
    std::printf(
        "%-22s ICOM poll round trip over %d polls: median %.2f ms, 90%% %.2f ms, max %.2f ms\n",
        what, s.count, s.median, s.p90, s.max);
    port.Close();
    RunFor(300);  // ser2net lets the device go
}

// The program's CPU share, in per cent of one core, over `seconds` of its event loop.
double CpuShare(int seconds) {
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    RunFor(seconds * 1000);
    return 100.0 * (CpuSeconds() - cpu0) / (MsSince(wall0) / 1000.0);
}

struct Figures {
    int polls = 200;
    int seconds = 10;
    QString radiosim;
};

// The window on Com 5 mapped to `address`: its CPU while it polls, while it waits for a far end
// that went away, and the time to the first live reading once that end is back on `khz`.
void WindowThrough(const QString& address, const QString& ini, const QString& link,
                   std::unique_ptr<Radio>& radio, int khz, const Figures& f) {
    QSettings(ini, QSettings::IniFormat).setValue("Ports/Com5", address);
    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    OpenLinkOn(w, "ICOM", 5);
    if (!RunUntil([&] { return !Reading(w)->text().isEmpty(); }, 10000)) {
        std::printf("%s: the window shows no reading\n", qPrintable(address));
        return;
    }
    const double connected = CpuShare(f.seconds);
    radio->Stop();  // the far end's radio goes away; ser2net drops the connection
    RunUntil([&] { return !PortIsOpen(w); }, 5000);
    const double waiting = CpuShare(f.seconds);
    // The radio comes back on another frequency: the first reading of it is a live one.
    const auto back = Clock::now();
    radio = std::make_unique<Radio>(f.radiosim, "icom", link,
                                    QStringList{"--freq", QString("7.%1").arg(khz)});
    const QString shown = QString(" 7.%1.00").arg(khz);
    const bool live = RunUntil([&] { return Reading(w)->text().startsWith(shown); }, 10000);
    std::printf(
        "%s: CPU while polling ICOM through it %.2f%% of one core; while waiting for "
        "it to come back %.2f%% (%d s each); far end back to first live reading "
        "%s ms\n",
        qPrintable(address.section(':', 0, 0)), connected, waiting, f.seconds,
        live ? qPrintable(QString::number(MsSince(back), 'f', 0)) : "(none in 10 s)");
    ReleaseOpen(w);
    RunFor(300);
}

}  // namespace

int main(int argc, char** argv) {
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const Arguments arguments(argc, argv);
    if (!arguments.Understood("remote_bench [--polls N] [--seconds S] [--radiosim PATH]")) return 2;
    const Figures f{arguments.Number("--polls", 200), arguments.Number("--seconds", 10),
                    RadiosimPath(arguments)};
    if (cat::test::Ser2net::Binary().isEmpty()) {
        std::printf("ser2net is not installed (Debian package ser2net)\n");
        return 0;
    }
    QTemporaryDir dir;
    const QString link = dir.filePath("radio");
    auto radio = std::make_unique<Radio>(f.radiosim, "icom", link);
    // The local figure first: ser2net, once started, opens the device too when it checks in.
    RoundTrips("local pseudo-terminal", link, f.polls);
    cat::test::Ser2net ser2net(link, dir.path());
    if (!radio->Started() || !ser2net.Started()) {
        std::printf("radiosim or ser2net did not start\n");
        return 1;
    }
    RoundTrips("ser2net RFC 2217", ser2net.Rfc2217Address(), f.polls);
    RoundTrips("ser2net raw TCP", ser2net.RawAddress(), f.polls);
    int khz = 120;
    for (const QString& address : {ser2net.Rfc2217Address(), ser2net.RawAddress()})
        WindowThrough(address, dir.filePath("CAT.ini"), link, radio, ++khz, f);
    return 0;
}
