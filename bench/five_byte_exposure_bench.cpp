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
#include "protocols/families.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/window/main_window.h"
#include "shell/startup.h"
#include "tests/support/window_controls.h"

namespace {

using namespace cat::bench;
using namespace cat::test;

struct Options {
    int seconds = 60;
    QString radioSpeed = "4800";
    QStringList families;
    QStringList speeds;
    QString radiosim;
};

// radiosim's report lines "write ft817 lock on (00 00 00 00 00)", counted by what they did.
void Run(const QString& family, const QString& speed, const Options& o) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    Radio radio(o.radiosim,
                {"--model", "ft817", "--speed", o.radioSpeed, "--settings", ini, "--com", "1"});
    if (!RadioStarted(radio, family + " at " + speed)) return;
    std::map<QString, int> writes;
    int total = 0;
    QProcess& reports = radio.Process();
    QObject::connect(&reports, &QProcess::readyReadStandardOutput, [&] {
        while (reports.canReadLine()) {
            const QString line = QString::fromUtf8(reports.readLine()).trimmed();
            if (!line.startsWith("write ")) continue;
            ++total;
            ++writes[line.section(' ', 2).section(" (", 0, 0)];
        }
    });

    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    ChooseLink(w, family, 1, speed);
    OpenButton(w)->click();
    RunFor(o.seconds * 1000);
    ReleaseOpen(w);
    RunFor(300);  // the last writes are reported
    radio.Stop();

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
    const Arguments arguments(argc, argv);
    if (!arguments.Understood("five_byte_exposure_bench [--seconds N] [--radio-speed BAUD] "
                              "[--family NAME]... [--speed BAUD]... [--radiosim PATH]"))
        return 2;
    Options o;
    o.seconds = arguments.Number("--seconds", o.seconds);
    o.radioSpeed = QString::fromStdString(arguments.Text("--radio-speed", "4800"));
    for (const std::string& family : arguments.Values("--family", {}))
        o.families << QString::fromStdString(family);
    for (const std::string& speed : arguments.Values("--speed", {}))
        o.speeds << QString::fromStdString(speed);
    o.radiosim = RadiosimPath(arguments);
    if (o.families.isEmpty())
        for (const cat::RadioFamily* family : cat::Families())
            if (!family->Record().countsInFives)
                o.families << QString::fromUtf8(family->Name().data(), family->Name().size());
    if (o.speeds.isEmpty())
        for (const auto entry : cat::kSpeedEntries)
            o.speeds << QString::fromUtf8(entry.data(), entry.size());
    for (const QString& family : o.families)
        for (const QString& speed : o.speeds) Run(family, speed, o);
    return 0;
}
