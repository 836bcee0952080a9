// How fast the link doctor names each fault: the time from ticking Open (or from the fault) to
// the status line's verdict, for every fault radiosim can play and every protocol, and how long
// Find radio takes. Drives the real window offscreen; prints figures, asserts nothing.
//
//   doctor_bench [--radiosim PATH] [--rounds N]
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "doctor/diagnosis.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/window/link_doctor.h"
#include "qt/window/main_window.h"
#include "tests/support/window_controls.h"

namespace {

using namespace cat::bench;
using namespace cat::test;

using cat::doctor::VerdictKind;

QString g_radiosim;

struct Fault {
    const char* name;
    QStringList options;  // radiosim's, beside --protocol
    VerdictKind verdict;
    double faultAfter = 0;  // seconds after Open that the fault begins; timed from then
    bool noRadio = false;   // no radiosim: Com 1 leads to a device that is not there
};

// radiosim on Com 1 of the settings at `ini`.
std::unique_ptr<Radio> StartRadio(const QString& ini, QStringList options) {
    options << "--settings" << ini << "--com"
            << "1"
            << "--quiet";
    return std::make_unique<Radio>(g_radiosim, options);
}

// Milliseconds to the verdict, or -1 when it did not come within 10 s.
double TimeToVerdict(const char* protocol, const Fault& f) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    QSettings(ini, QSettings::IniFormat).setValue("Ports/Com1", dir.filePath("no-such-adapter"));
    std::unique_ptr<Radio> radio;
    if (!f.noRadio) {
        QStringList options = f.options;
        if (!options.contains("--model")) options = QStringList{"--protocol", protocol} + options;
        radio = StartRadio(ini, options);
        if (!radio->Started()) return -1;
    }
    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    ChooseLink(w, ListText(protocol), 1);
    QElapsedTimer t;
    // The port's own error box is dismissed as soon as it is up; the time runs from the click.
    QTimer dismiss;
    QObject::connect(&dismiss, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    dismiss.start(5);
    t.start();
    OpenButton(w)->click();
    const bool seen =
        QTest::qWaitFor([&] { return w.Doctor().Current().kind == f.verdict; }, 10000);
    return seen ? t.nsecsElapsed() / 1e6 - f.faultAfter * 1000 : -1;
}

double TimeToFind(const QStringList& radioOptions, const char* chosen, const char* speed,
                  QString* said) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    const auto radio = StartRadio(ini, radioOptions);
    if (!radio->Started()) return -1;
    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    ChooseLink(w, chosen, 1, speed, AddressBox(w)->text());
    w.Doctor().ShowDetails();
    QElapsedTimer t;
    t.start();
    w.Doctor().FindRadio();
    const bool over = QTest::qWaitFor([&] { return !w.Doctor().Scanning(); }, 60000);
    const double ms = over ? t.nsecsElapsed() / 1e6 : -1;  // -1: the scan did not end
    *said = w.Doctor().Details()->findChild<QLabel*>("scanState")->text();
    return ms;
}

// The median of `rounds` times to the verdict; negative when it never came.
double MedianTime(const char* protocol, const Fault& fault, int rounds) {
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) times.push_back(TimeToVerdict(protocol, fault));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void PrintFaultVerdicts(int rounds) {
    const Fault faults[] = {
        {"device missing", {}, VerdictKind::DeviceMissing, 0, true},
        {"nothing comes back", {"--silent"}, VerdictKind::NoReply},
        {"only our own echo", {"--echo-only"}, VerdictKind::EchoOnly},
        {"another CI-V address",
         {"--address", "94", "--model", "ic7300"},
         VerdictKind::OtherAddress},
        {"bytes that form no reply", {"--garble"}, VerdictKind::Garbled},
        {"text radio refuses (?;)", {"--refuse"}, VerdictKind::Refuses},
        {"output held (CTS low)", {"--cts-low"}, VerdictKind::OutputBlocked},
        {"radio stopped answering", {"--stop-after", "2"}, VerdictKind::Stopped, 2.0},
        {"the radio answers", {}, VerdictKind::Answering},
    };
    const char* protocols[] = {"icom", "kenwood", "ft817", "yaesu"};
    std::printf("time to the verdict, ms (median of %d): from Open, or from the fault\n", rounds);
    std::printf("%-26s %9s %9s %9s %9s\n", "fault", "ICOM", "Kenwood", "FT-817", "Yaesu");
    for (const Fault& f : faults) {
        std::printf("%-26s", f.name);
        for (const char* p : protocols) {
            const bool icomOnly = QString(f.name).contains("CI-V");
            const bool textOnly = QString(f.name).contains("?;") || QString(f.name).contains("CTS");
            const bool text = QString(p) == "kenwood" || QString(p) == "yaesu";
            if ((icomOnly && QString(p) != "icom") || (textOnly && !text)) {
                std::printf(" %9s", "-");
                continue;
            }
            Fault row = f;
            if (icomOnly) row.options = {"--model", "ic7300"};
            const double median = MedianTime(p, row, rounds);
            if (median < 0)
                std::printf(" %9s", "never");
            else
                std::printf(" %9.0f", median);
            std::fflush(stdout);
        }
        std::printf("\n");
    }
}

void PrintTodaysRadios(int rounds) {
    // The radios of today, on a link chosen for them or for a neighbour family.
    struct Today {
        const char* name;
        const char* chosen;
        QStringList radio;
        VerdictKind verdict;
    };
    const Today today[] = {
        {"FT-991A on a Yaesu link", "Yaesu", {"--model", "ft991a"}, VerdictKind::Answering},
        {"FTDX101D on a Yaesu link", "Yaesu", {"--model", "ftdx101d"}, VerdictKind::Answering},
        {"FT-991A on a Kenwood link", "Kenwood", {"--model", "ft991a"}, VerdictKind::OtherProtocol},
        {"TS-590S on a Yaesu link", "Yaesu", {"--model", "ts590s"}, VerdictKind::OtherProtocol},
        {"K3 on a Kenwood link", "Kenwood", {"--model", "k3"}, VerdictKind::Answering},
        {"QMX on a Kenwood link", "Kenwood", {"--model", "qmx"}, VerdictKind::Answering},
        {"SDR program on a Kenwood link", "Kenwood", {"--model", "sdr"}, VerdictKind::Answering},
        {"IC-705 on ICOM, address 5E", "ICOM", {"--model", "ic705"}, VerdictKind::OtherAddress},
    };
    std::printf("\ntoday's radios, ms from Open to the verdict (median of %d):\n", rounds);
    for (const Today& t : today) {
        const double median = MedianTime(t.chosen, Fault{t.name, t.radio, t.verdict}, rounds);
        std::printf("  %-36s %7.0f\n", t.name, median);
        std::fflush(stdout);
    }
}

void PrintFindRadio() {
    struct Scan {
        const char* name;
        QStringList radio;
        const char* chosen;
        const char* speed;
    };
    const Scan scans[] = {
        {"IC-7300 at its 19200 baud, 94",
         {"--model", "ic7300", "--speed", "19200"},
         "Kenwood",
         "4800"},
        {"TS-590S at its 9600 baud", {"--model", "ts590s", "--speed", "9600"}, "ICOM", "19200"},
        {"FT-817 at its 4800 baud", {"--model", "ft817", "--speed", "4800"}, "ICOM", "19200"},
        {"IC-7300 at the last speed tried, address 3A",
         {"--model", "ic7300", "--address", "3A", "--speed", "57600"},
         "Kenwood",
         "9600"},
        {"FT-991A at 4800 baud", {"--model", "ft991a", "--speed", "4800"}, "ICOM", "19200"},
        {"FT-891 at 4800 baud", {"--model", "ft891", "--speed", "4800"}, "ICOM", "19200"},
        {"FT-710 at 4800 baud", {"--model", "ft710", "--speed", "4800"}, "ICOM", "19200"},
        {"FTDX10 at 4800 baud", {"--model", "ftdx10", "--speed", "4800"}, "ICOM", "19200"},
        {"FTDX101D at 4800 baud", {"--model", "ftdx101d", "--speed", "4800"}, "ICOM", "19200"},
        {"K3 at 38400 baud", {"--model", "k3", "--speed", "38400"}, "ICOM", "19200"},
        {"KX3 at 38400 baud", {"--model", "kx3", "--speed", "38400"}, "ICOM", "19200"},
        {"K4 at 38400 baud", {"--model", "k4", "--speed", "38400"}, "ICOM", "19200"},
        {"QMX at 9600 baud", {"--model", "qmx", "--speed", "9600"}, "ICOM", "19200"},
        {"SDR program at 9600 baud", {"--model", "sdr", "--speed", "9600"}, "ICOM", "19200"},
        {"no radio at all", {"--protocol", "icom", "--silent"}, "ICOM", "9600"},
    };
    std::printf("\nFind radio, ms from the click to the answer:\n");
    for (const Scan& s : scans) {
        QString said;
        const double ms = TimeToFind(s.radio, s.chosen, s.speed, &said);
        std::printf("  %-36s %7.0f  %s\n", s.name, ms, qPrintable(said));
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const Arguments arguments(argc, argv);
    if (!arguments.Understood("doctor_bench [--radiosim PATH] [--rounds N]")) return 2;
    g_radiosim = RadiosimPath(arguments);
    const int rounds = std::max(1, arguments.Number("--rounds", 3));
    PrintFaultVerdicts(rounds);
    PrintTodaysRadios(rounds);
    PrintFindRadio();
    return 0;
}
