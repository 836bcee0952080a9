// Figures of the whole program polling radiosim: CPU share, resident memory over time, and the
// delay from the radio's dial turning to the display showing it. Prints figures; asserts nothing.
//
//   live_link_bench [--protocol icom|kenwood|ft817|yaesu|all] [--seconds N] [--silent] [--details]
//                   [--radiosim PATH] [--radiosim-option OPTION]... [--steps N]
//
// --radiosim-option passes an option on to radiosim (--transceive); --steps turns the dial N times
// (6 when not given), each at a random point of the longest poll period.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "bench/bench_support.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/window/link_doctor.h"
#include "qt/window/main_window.h"
#include "tests/support/window_controls.h"

namespace {

using namespace cat::bench;
using namespace cat::test;

long ResidentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

struct Options {
    int seconds = 60;
    bool silent = false;
    bool details = false;  // with the link doctor's panel open, the traffic scrolling in it
    QString radiosim;
    QStringList radioOptions;  // radiosim's, beyond the protocol
    int steps = 6;
};

struct DialDelay {
    double worst = 0;
    double total = 0;
    int measured = 0;
};

// Delay from the dial to the display, for `count` frequencies in turn.
DialDelay MeasureDialDelay(const QWidget& w, Radio& radio, int count) {
    const std::pair<const char*, const char*> steps[] = {
        {"7.074", " 7.074.00"},  {"21.074", "21.074.00"}, {"3.5655", " 3.565.50"},
        {"28.074", "28.074.00"}, {"14.074", "14.074.00"}, {"10.136", "10.136.00"}};
    DialDelay delay;
    QTest::qWait(2500);  // the first poll of every protocol is in
    // Changes fall at random points of the poll cycle, as an operator's would: anywhere in the
    // longest period any protocol polls at (ICOM's two seconds), so that the worst case is met
    // whatever the period of this one.
    QRandomGenerator random(817);
    constexpr int kLongestPeriodMs = 2000;
    for (int i = 0; i < count; ++i) {
        const auto& [mhz, shown] = steps[i % std::size(steps)];
        QTest::qWait(static_cast<int>(random.bounded(kLongestPeriodMs)));
        QElapsedTimer t;
        t.start();
        radio.Control(QByteArray("freq ") + mhz);
        const bool seen = QTest::qWaitFor(
            [&, s = shown] { return Reading(w)->text().startsWith(QLatin1String(s)); }, 10000);
        const double ms = t.nsecsElapsed() / 1e6;
        if (!seen) continue;
        delay.worst = std::max(delay.worst, ms);
        delay.total += ms;
        ++delay.measured;
    }
    return delay;
}

// CPU share and resident memory over the run, printed with the dial delay.
void MeasureLoad(const QWidget& w, const QString& protocol, const Options& o,
                 const DialDelay& delay) {
    const long rssStart = ResidentKiB();
    const double cpuStart = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    long rssPeak = rssStart;
    for (int s = 0; s < o.seconds; ++s) {
        QTest::qWait(1000);
        rssPeak = std::max(rssPeak, ResidentKiB());
        if (o.seconds >= 120 && (s + 1) % 60 == 0)
            std::printf("  %s: after %3d s resident %ld KiB\n", qPrintable(protocol), s + 1,
                        ResidentKiB());
    }
    const double cpu = CpuSeconds() - cpuStart;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    std::printf(
        "%-8s%s: CPU %.2f%% of one core over %.0f s; resident %ld KiB at start, %ld KiB at "
        "end, peak %ld KiB",
        qPrintable(protocol),
        o.silent    ? " (silent radio)"
        : o.details ? " (details open)"
                    : "",
        100.0 * cpu / elapsed, elapsed, rssStart, ResidentKiB(), rssPeak);
    if (delay.measured > 0)
        std::printf("; dial-to-display delay mean %.0f ms, worst %.0f ms over %d changes",
                    delay.total / delay.measured, delay.worst, delay.measured);
    std::printf("; display \"%s\"\n", qPrintable(Reading(w)->text()));
    std::fflush(stdout);
}

void Run(const QString& protocol, const Options& o) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    QStringList args = {"--protocol", protocol, "--settings", ini, "--com", "1", "--quiet"};
    if (o.silent) args << "--silent";
    args << o.radioOptions;
    Radio radio(o.radiosim, args);
    if (!RadioStarted(radio, protocol)) return;
    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    OpenLinkOn(w, ListText(protocol), 1);
    if (o.details) w.Doctor().ShowDetails();
    if (!PortIsOpen(w)) {
        std::printf("%s: the port did not open\n", qPrintable(protocol));
        return;
    }
    const DialDelay delay = o.silent ? DialDelay{} : MeasureDialDelay(w, radio, o.steps);
    MeasureLoad(w, protocol, o, delay);
    Teardown(w, radio);
}

}  // namespace

int main(int argc, char** argv) {
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const Arguments arguments(argc, argv, {"--silent", "--details"});
    if (!arguments.Understood("live_link_bench [--protocol icom|kenwood|ft817|yaesu|all] "
                              "[--seconds N] [--silent] [--details] [--radiosim PATH] "
                              "[--radiosim-option OPTION]... [--steps N]"))
        return 2;
    Options o;
    o.seconds = arguments.Number("--seconds", o.seconds);
    o.silent = arguments.Flag("--silent");
    o.details = arguments.Flag("--details");
    o.radiosim = RadiosimPath(arguments);
    for (const std::string& option : arguments.Values("--radiosim-option", {}))
        o.radioOptions << QString::fromStdString(option);
    o.steps = std::max(1, arguments.Number("--steps", o.steps));
    for (const QString& protocol : Protocols(arguments, {"icom", "kenwood", "ft817", "yaesu"}))
        Run(protocol, o);
    return 0;
}
