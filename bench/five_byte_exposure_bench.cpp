// What the live link does to a five-byte radio (the virtual FT-817) when the operator chose another
// family or another speed: the window polls it for a while and radiosim reports every command
// that would have changed the radio. Prints figures; asserts nothing.
//
//   five_byte_exposure_bench [--seconds N] [--radio-speed BAUD] [--family NAME] [--speed BAUD]
//                            [--radiosim PATH]
//
// Without --family or --speed it runs every family of the list at every speed, one after another.
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <map>

#include "bench/bench_support.h"
#include "core/startup.h"
#include "protocols/families.h"
#include "qt/frmcat.h"
#include "qt/qt_settings_store.h"

namespace {

struct Options {
    int seconds = 60;
    QString radioSpeed = "4800";
    QStringList families;
    QStringList speeds;
    QString radiosim = QStringLiteral(RADIOSIM_DEFAULT);
};

// radiosim's report lines "write ft817 lock on (00 00 00 00 00)", counted by what they did.
void Run(const QString& family, const QString& speed, const Options& o) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    QProcess radio;
    radio.start(o.radiosim,
                {"--model", "ft817", "--speed", o.radioSpeed, "--settings", ini, "--com", "1"});
    if (!radio.waitForStarted(5000) || !radio.waitForReadyRead(5000)) {
        std::printf("radiosim did not start\n");
        return;
    }
    std::map<QString, int> writes;
    int total = 0;
    QObject::connect(&radio, &QProcess::readyReadStandardOutput, [&] {
        while (radio.canReadLine()) {
            const QString line = QString::fromUtf8(radio.readLine()).trimmed();
            if (!line.startsWith("write ")) continue;
            ++total;
            ++writes[line.section(' ', 2).section(" (", 0, 0)];
        }
    });

    cat::QtSettingsStore store(ini);
    cat::frmCAT w(store);
    w.show();
    w.cboSelect->setCurrentText(family);
    w.cboCom->setCurrentIndex(0);
    w.cboSpeed->setCurrentText(speed);
    w.txtAddress->setText("5E");
    w.chkOpen->click();
    cat::bench::RunFor(o.seconds * 1000);
    w.chkOpen->click();
    cat::bench::RunFor(300);
    radio.terminate();
    radio.waitForFinished(5000);

    QString kinds;
    for (const auto& [what, n] : writes) kinds += QStringLiteral("%1 x%2; ").arg(what).arg(n);
    std::printf("%-8s %6s baud -> FT-817 at %s: %4d changes in %d s (%.1f per minute)  %s\n",
                qPrintable(family), qPrintable(speed), qPrintable(o.radioSpeed), total, o.seconds,
                total * 60.0 / o.seconds, qPrintable(kinds));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--seconds") o.seconds = args[i + 1].toInt();
        if (args[i] == "--radio-speed") o.radioSpeed = args[i + 1];
        if (args[i] == "--family") o.families << args[i + 1];
        if (args[i] == "--speed") o.speeds << args[i + 1];
        if (args[i] == "--radiosim") o.radiosim = args[i + 1];
    }
    if (o.families.isEmpty())
        for (const cat::RadioFamily* family : cat::Families())
            if (family->SilenceBefore() == 0)
                o.families << QString::fromUtf8(family->Name().data(), family->Name().size());
    if (o.speeds.isEmpty())
        for (const auto entry : cat::kSpeedEntries)
            o.speeds << QString::fromUtf8(entry.data(), entry.size());
    for (const QString& family : o.families)
        for (const QString& speed : o.speeds) Run(family, speed, o);
    return 0;
}
