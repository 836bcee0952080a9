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
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "bench/bench_support.h"
#include "qt/frmcat.h"
#include "qt/qt_settings_store.h"

namespace {

struct Options {
    QString fault = "garble";
    QStringList protocols = {"icom", "kenwood", "ft817"};
    int seconds = 600;
    QString radiosim = QStringLiteral(RADIOSIM_DEFAULT);
};

void Run(const QString& protocol, const Options& o) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    QProcess radio;
    QStringList args = {"--protocol", protocol, "--settings", ini, "--com", "1", "--quiet"};
    if (o.fault == "garble") args << "--garble";
    if (o.fault == "echo") args << "--echo";
    if (o.fault == "speed")
        args << "--speed"
             << "4800";
    radio.start(o.radiosim, args);
    if (!radio.waitForStarted(5000) || !radio.waitForReadyRead(5000)) {
        std::printf("%s: radiosim did not start\n", qPrintable(protocol));
        return;
    }
    radio.readAllStandardOutput();

    cat::QtSettingsStore store(ini);
    cat::frmCAT w(store);
    w.show();

    // What the radio holds; every display text must start with its frequency.
    QString truth = "14.074.00";
    int changes = 0;
    int untrue = 0;
    QStringList untrueTexts;
    QObject::connect(w.txtFreq, &QLineEdit::textChanged, [&](const QString& text) {
        ++changes;
        const bool allowed = o.fault == "echo" && text.startsWith(truth);
        if (!text.isEmpty() && !allowed) {
            ++untrue;
            if (untrueTexts.size() < 5) untrueTexts << text;
        }
    });
    cat::bench::OpenLinkOn(w,
                           w.cboSelect->itemText(protocol == "icom"      ? 0
                                                 : protocol == "kenwood" ? 1
                                                                         : 2),
                           1);
    if (!w.Port().IsOpen()) {
        std::printf("%s: the port did not open\n", qPrintable(protocol));
        return;
    }

    double worstMs = 0;
    int turns = 0;
    QElapsedTimer wall;
    wall.start();
    const int period = protocol == "icom" ? 2000 : protocol == "kenwood" ? 250 : 100;
    while (wall.elapsed() < o.seconds * 1000LL) {
        if (o.fault != "echo") {
            QTest::qWait(1000);
            continue;
        }
        // Turn the dial every few seconds and time the display.
        QTest::qWait(3000 + turns * 37 % period);
        const bool low = turns % 2 == 0;
        truth = low ? " 7.074.00" : "14.074.00";
        QElapsedTimer t;
        t.start();
        radio.write(low ? "freq 7.074\n" : "freq 14.074\n");
        if (QTest::qWaitFor([&] { return w.txtFreq->text().startsWith(truth); }, 10000))
            worstMs = std::max(worstMs, t.nsecsElapsed() / 1e6);
        ++turns;
    }

    std::printf("%-8s %-6s %5.0f s: %d display changes, %d showing what the radio did not say",
                qPrintable(protocol), qPrintable(o.fault), wall.elapsed() / 1000.0, changes,
                untrue);
    if (!untrueTexts.isEmpty()) std::printf(" (%s)", qPrintable(untrueTexts.join(", ")));
    if (turns > 0)
        std::printf("; %d dial turns, worst turn-to-display %.0f ms (poll period %d ms)", turns,
                    worstMs, period);
    std::printf("\n");
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
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--fault") o.fault = args[i + 1];
        if (args[i] == "--protocol" && args[i + 1] != "all") o.protocols = {args[i + 1]};
        if (args[i] == "--seconds") o.seconds = args[i + 1].toInt();
        if (args[i] == "--radiosim") o.radiosim = args[i + 1];
    }
    for (const QString& protocol : o.protocols) Run(protocol, o);
    return 0;
}
