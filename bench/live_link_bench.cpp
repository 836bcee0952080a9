// Figures of the whole program polling radiosim: CPU share, resident memory over time, and the
// delay from the radio's dial turning to the display showing it. Prints figures; asserts nothing.
//
//   live_link_bench [--protocol icom|kenwood|ft817|yaesu|all] [--seconds N] [--silent] [--details]
//                   [--radiosim PATH]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "bench/bench_support.h"
#include "qt/frmcat.h"
#include "qt/link_doctor.h"
#include "qt/qt_settings_store.h"

namespace {

long ResidentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

struct Options {
    QStringList protocols = {"icom", "kenwood", "ft817", "yaesu"};
    int seconds = 60;
    bool silent = false;
    bool details = false;  // with the link doctor's panel open, the traffic scrolling in it
    QString radiosim = QStringLiteral(RADIOSIM_DEFAULT);
};

void Run(const QString& protocol, const Options& o) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    QProcess radio;
    QStringList args = {"--protocol", protocol, "--settings", ini, "--com", "1", "--quiet"};
    if (o.silent) args << "--silent";
    radio.start(o.radiosim, args);
    if (!radio.waitForStarted(5000) || !radio.waitForReadyRead(5000)) {
        std::printf("%s: radiosim did not start\n", qPrintable(protocol));
        return;
    }
    radio.readAllStandardOutput();

    cat::QtSettingsStore store(ini);
    cat::frmCAT w(store);
    w.show();
    const QString listText = protocol == "icom"      ? "ICOM"
                             : protocol == "kenwood" ? "Kenwood"
                             : protocol == "yaesu"   ? "Yaesu"
                                                     : "FT-817";
    cat::bench::OpenLinkOn(w, listText, 1);
    if (o.details) w.Doctor().ShowDetails();
    if (!w.Port().IsOpen()) {
        std::printf("%s: the port did not open\n", qPrintable(protocol));
        return;
    }

    // Delay from the dial to the display, for a few frequencies in turn.
    const std::pair<const char*, const char*> steps[] = {
        {"7.074", " 7.074.00"},  {"21.074", "21.074.00"}, {"3.5655", " 3.565.50"},
        {"28.074", "28.074.00"}, {"14.074", "14.074.00"}, {"10.136", "10.136.00"}};
    double worst = 0;
    double total = 0;
    int measured = 0;
    if (!o.silent) {
        QTest::qWait(2500);  // the first poll of every protocol is in
        // Changes fall at random points of the poll cycle, as an operator's would.
        QRandomGenerator random(817);
        const int period = protocol == "icom" ? 2000 : protocol == "kenwood" ? 250 : 100;
        for (const auto& [mhz, shown] : steps) {
            QTest::qWait(static_cast<int>(random.bounded(period)));
            QElapsedTimer t;
            t.start();
            radio.write(QByteArray("freq ") + mhz + "\n");
            const bool seen = QTest::qWaitFor(
                [&, s = shown] { return w.txtFreq->text().startsWith(QLatin1String(s)); }, 10000);
            const double ms = t.nsecsElapsed() / 1e6;
            if (!seen) continue;
            worst = std::max(worst, ms);
            total += ms;
            ++measured;
        }
    }

    const long rssStart = ResidentKiB();
    const double cpuStart = cat::bench::CpuSeconds();
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
    const double cpu = cat::bench::CpuSeconds() - cpuStart;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    std::printf(
        "%-8s%s: CPU %.2f%% of one core over %.0f s; resident %ld KiB at start, %ld KiB at "
        "end, peak %ld KiB",
        qPrintable(protocol),
        o.silent    ? " (silent radio)"
        : o.details ? " (details open)"
                    : "",
        100.0 * cpu / elapsed, elapsed, rssStart, ResidentKiB(), rssPeak);
    if (measured > 0)
        std::printf("; dial-to-display delay mean %.0f ms, worst %.0f ms over %d changes",
                    total / measured, worst, measured);
    std::printf("; display \"%s\"\n", qPrintable(w.txtFreq->text()));
    std::fflush(stdout);
    w.chkOpen->click();
    radio.terminate();
    radio.waitForFinished(5000);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--protocol" && i + 1 < args.size()) {
            const QString p = args[++i];
            if (p != "all") o.protocols = {p};
        } else if (args[i] == "--seconds" && i + 1 < args.size()) {
            o.seconds = args[++i].toInt();
        } else if (args[i] == "--silent") {
            o.silent = true;
        } else if (args[i] == "--details") {
            o.details = true;
        } else if (args[i] == "--radiosim" && i + 1 < args.size()) {
            o.radiosim = args[++i];
        } else {
            std::fprintf(stderr,
                         "usage: live_link_bench [--protocol icom|kenwood|ft817|all] [--seconds N] "
                         "[--silent] [--details] [--radiosim PATH]\n");
            return 2;
        }
    }
    for (const QString& protocol : o.protocols) Run(protocol, o);
    return 0;
}
