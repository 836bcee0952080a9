// Replug recovery of the whole program: the real window polls radiosim through a link to its
// pseudo-terminal; removing the link is the adapter unplugged, re-creating it the adapter back.
// While the device is away the radio's dial moves, so the first reading after the replug is known
// to be live. Prints, per protocol, the time from the device re-appearing to that first live
// reading and the CPU the program uses while it waits. Asserts nothing.
//
//   replug_bench [--protocol icom|kenwood|ft817|all] [--cycles N] [--wait-seconds S]
//                [--radiosim PATH]
#include <unistd.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

#include "bench/bench_support.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/ports/replug_watch.h"

namespace {

using namespace cat::bench;

struct Options {
    int cycles = 10;
    int waitSeconds = 5;
    QString radiosim;
};

void Run(const QString& protocol, const Options& o) {
    QTemporaryDir dir;
    const QString link = dir.filePath("radio");
    const QString ini = dir.filePath("CAT.ini");
    QSettings(ini, QSettings::IniFormat).setValue("Ports/Com7", link);
    Radio radio(o.radiosim, protocol, link);
    if (!RadioStarted(radio, protocol)) return;
    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    OpenLinkOn(w, ListText(protocol), 7);
    if (!RunUntil([&] { return Reading(w)->text().startsWith("14.074.00"); }, 10000)) {
        std::printf("%s: no first reading\n", qPrintable(protocol));
        return;
    }

    const QByteArray linkPath = link.toLocal8Bit();
    const QByteArray ptyPath = radio.Pty().toLocal8Bit();
    std::vector<double> recovery;
    double waitingCpu = 0;
    double waitingWall = 0;
    int lost = 0;
    for (int i = 0; i < o.cycles; ++i) {
        ::unlink(linkPath.constData());
        if (!RunUntil([&] { return !PortIsOpen(w); }, 3000)) continue;
        ++lost;
        const int khz = 100 + i;  // the dial moves while the adapter is away: 7.100, 7.101, ...
        radio.Control("freq 7." + QByteArray::number(khz));
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        RunFor(o.waitSeconds * 1000);
        waitingCpu += CpuSeconds() - cpu0;
        waitingWall += MsSince(wall0) / 1000.0;

        const QString shown = QString(" 7.%1.00").arg(khz);
        const auto back = Clock::now();
        if (::symlink(ptyPath.constData(), linkPath.constData()) != 0) break;
        if (RunUntil([&] { return Reading(w)->text().startsWith(shown); }, 10000))
            recovery.push_back(MsSince(back));
    }
    const Summary s = Summarise(recovery);
    std::printf(
        "%-8s %d unplugs, %d live again: re-appearing to first live reading mean %.0f ms, min "
        "%.0f, max %.0f; CPU while waiting %.2f%% of one core over %.0f s\n",
        qPrintable(protocol), lost, s.count, s.mean, s.min, s.max,
        waitingWall > 0 ? 100.0 * waitingCpu / waitingWall : 0.0, waitingWall);
    std::fflush(stdout);
    Teardown(w, radio);
}

}  // namespace

int main(int argc, char** argv) {
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const Arguments arguments(argc, argv);
    if (!arguments.Understood("replug_bench [--protocol icom|kenwood|ft817|all] [--cycles N] "
                              "[--wait-seconds S] [--radiosim PATH]"))
        return 2;
    Options o;
    o.cycles = arguments.Number("--cycles", o.cycles);
    o.waitSeconds = arguments.Number("--wait-seconds", o.waitSeconds);
    o.radiosim = RadiosimPath(arguments);
    for (const QString& protocol : Protocols(arguments, {"icom", "kenwood", "ft817"}))
        Run(protocol, o);
    return 0;
}
