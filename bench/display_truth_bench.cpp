// Does the display ever show what the radio did not say? The real window polls radiosim through a
// fault for a while, and every text the display takes is checked against what the radio holds.
// Prints figures; asserts nothing.
//
//   display_truth_bench [--fault garble|echo|speed] [--protocol icom|kenwood|ft817|all]
//                       [--seconds N] [--radiosim PATH]
//
//   garble  every answer is noise of the same length: nothing may ever be shown
//   speed   the radio runs at 4800 baud, the program at 9600: the same
//   echo    an interface that echoes every byte: only the radio's real values may be shown, and
//           a turn of its dial must still show within two poll periods
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "bench/bench_support.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/window/main_window.h"
#include "tests/support/window_controls.h"

namespace {

using namespace cat::bench;
using namespace cat::test;

struct Options {
    QString fault = "garble";
    int seconds = 600;
    QString radiosim;
};

// Every text the display takes, against what the radio holds.
struct TruthCheck {
    QString truth = "14.074.00";  // every display text must start with the radio's frequency
    int changes = 0;
    int untrue = 0;
    QStringList untrueTexts;

    void Saw(const QString& text, bool echoFault) {
        ++changes;
        const bool allowed = echoFault && text.startsWith(truth);
        if (text.isEmpty() || allowed) return;
        ++untrue;
        if (untrueTexts.size() < 5) untrueTexts << text;
    }
};

struct DialTurns {
    int turns = 0;
    double worstMs = 0;
    double seconds = 0;  // the run's length as it came out
};

// For the run's length: with an echoing interface the dial turns every few seconds and the
// display is timed; otherwise the program just polls through the fault.
DialTurns Watch(const QWidget& w, Radio& radio, TruthCheck& check, int period, const Options& o) {
    DialTurns dial;
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < o.seconds * 1000LL) {
        if (o.fault != "echo") {
            QTest::qWait(1000);
            continue;
        }
        QTest::qWait(3000 + dial.turns * 37 % period);
        const bool low = dial.turns % 2 == 0;
        check.truth = low ? " 7.074.00" : "14.074.00";
        QElapsedTimer t;
        t.start();
        radio.Control(low ? "freq 7.074" : "freq 14.074");
        if (QTest::qWaitFor([&] { return Reading(w)->text().startsWith(check.truth); }, 10000))
            dial.worstMs = std::max(dial.worstMs, t.nsecsElapsed() / 1e6);
        ++dial.turns;
    }
    dial.seconds = wall.elapsed() / 1000.0;
    return dial;
}

void Run(const QString& protocol, const Options& o) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    QStringList args = {"--protocol", protocol, "--settings", ini, "--com", "1", "--quiet"};
    if (o.fault == "garble") args << "--garble";
    if (o.fault == "echo") args << "--echo";
    if (o.fault == "speed")
        args << "--speed"
             << "4800";
    Radio radio(o.radiosim, args);
    if (!RadioStarted(radio, protocol)) return;
    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    TruthCheck check;
    QObject::connect(Reading(w), &QLineEdit::textChanged,
                     [&](const QString& text) { check.Saw(text, o.fault == "echo"); });
    OpenLinkOn(w, ListText(protocol), 1);
    if (!PortIsOpen(w)) {
        std::printf("%s: the port did not open\n", qPrintable(protocol));
        return;
    }
    const int period = protocol == "icom" ? 2000 : protocol == "kenwood" ? 250 : 100;
    const DialTurns dial = Watch(w, radio, check, period, o);
    std::printf("%-8s %-6s %5.0f s: %d display changes, %d showing what the radio did not say",
                qPrintable(protocol), qPrintable(o.fault), dial.seconds, check.changes,
                check.untrue);
    if (!check.untrueTexts.isEmpty())
        std::printf(" (%s)", qPrintable(check.untrueTexts.join(", ")));
    if (dial.turns > 0)
        std::printf("; %d dial turns, worst turn-to-display %.0f ms (poll period %d ms)",
                    dial.turns, dial.worstMs, period);
    std::printf("\n");
    std::fflush(stdout);
    Teardown(w, radio);
}

}  // namespace

int main(int argc, char** argv) {
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const Arguments arguments(argc, argv);
    if (!arguments.Understood("display_truth_bench [--fault garble|echo|speed] "
                              "[--protocol icom|kenwood|ft817|all] [--seconds N] "
                              "[--radiosim PATH]"))
        return 2;
    Options o;
    o.fault = QString::fromStdString(arguments.Text("--fault", o.fault.toStdString()));
    o.seconds = arguments.Number("--seconds", o.seconds);
    o.radiosim = RadiosimPath(arguments);
    for (const QString& protocol : Protocols(arguments, {"icom", "kenwood", "ft817"}))
        Run(protocol, o);
    return 0;
}
