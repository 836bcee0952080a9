// How long a radio transmits unasked when the port's open keys it, and how exactly the PTT test
// keys and unkeys. The real window and catlink --doctor against radiosim served as a network
// port whose DTR or RTS reaches its transmitter; radiosim's report lines are timed as they come.
// Prints figures, asserts nothing.
//
//   transmit_bench [--radiosim PATH] [--catlink PATH] [--rounds N]
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/window/transmit_safety.h"
#include "tools/radiosim/report_time.h"

namespace {

using namespace cat::bench;

QString g_radiosim;
QString g_catlink;

// radiosim on Com 3 as an RFC 2217 port, each report line stamped with when it came.
class TimedRadio {
public:
    TimedRadio(const QString& ini, const QStringList& options) {
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { Take(); });
        clock_.start();
        process_.start(g_radiosim,
                       QStringList{"--rfc2217", "0", "--settings", ini, "--com", "3"} + options);
        started_ =
            process_.waitForStarted(5000) && RunUntil([this] { return !lines_.empty(); }, 5000);
    }
    ~TimedRadio() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
    }
    bool Started() const { return started_; }
    double Now() const { return clock_.nsecsElapsed() / 1e6; }
    // When `line` came after `from` ms, or -1.
    double When(const QString& line, double from = 0) {
        Take();
        for (const auto& [at, text] : lines_)
            if (at >= from && text == line) return at;
        return -1;
    }

private:
    void Take() {
        while (process_.canReadLine()) {
            std::string line = process_.readLine().trimmed().toStdString();
            radiosim::TakeTime(line);
            lines_.emplace_back(Now(), QString::fromStdString(line));
        }
    }
    QProcess process_;
    QElapsedTimer clock_;
    std::vector<std::pair<double, QString>> lines_;
    bool started_ = false;
};

struct AtOpen {
    double named = -1;  // ms from the click on Open to the status line naming the line
    double keyed = -1;  // ms the radio transmitted, from the open's raise to the drop
};

AtOpen KeyedAtOpen(const char* protocol, const QStringList& radioOptions) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    TimedRadio radio(ini, radioOptions + QStringList{"--ptt", "dtr"});
    AtOpen result;
    if (!radio.Started()) return result;
    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    ChooseLink(w, ListText(protocol), 3, "9600", "94");
    bool named = false;
    QObject::connect(&w.Transmit(), &cat::TransmitSafety::Alert, [&] { named = true; });
    const double click = radio.Now();
    OpenButton(w)->click();
    if (RunUntil([&] { return named; }, 5000)) result.named = radio.Now() - click;
    RunFor(200);
    const double on = radio.When("transmit on (dtr)", click);
    const double off = radio.When("transmit off", click);
    if (on >= 0 && off >= 0) result.keyed = off - on;
    ReleaseOpen(w);
    return result;
}

struct Keying {
    double keyed = -1;  // ms between radiosim's transmit on and off
    double back = -1;   // ms from the unkey to the doctor's read of receive
};

Keying PttTest(const char* way) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT/CAT.ini");
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue("Setup/Type", "1");
        s.setValue("Setup/Speed", "1");
        s.setValue("Setup/ComPort", "2");
        s.setValue("Ports/Com3.Handshake", "none");
        s.setValue("Ports/Com3.DTR", "off");
    }
    TimedRadio radio(ini, {"--model", "ts590s", "--ptt", QString(way) == "dtr" ? "dtr" : "rts"});
    Keying result;
    if (!radio.Started()) return result;
    QProcess doctor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.path());
    doctor.setProcessEnvironment(env);
    const double start = radio.Now();
    doctor.start(g_catlink, {"--doctor", "--ptt", way, "--ptt-seconds", "1"});
    RunUntil([&] { return doctor.state() == QProcess::NotRunning; }, 30000);
    RunFor(100);
    const double on = radio.When(QString("transmit on (%1)").arg(way), start + 100);
    const double off = on < 0 ? -1 : radio.When("transmit off", on);
    if (off >= 0) result.keyed = off - on;
    for (const QString& line : QString::fromUtf8(doctor.readAllStandardOutput()).split('\n'))
        if (line.startsWith("ptt: back in receive "))
            result.back = line.section(' ', 4, 4).toDouble();
    return result;
}

void PrintKeyedAtOpen(int rounds) {
    struct Row {
        const char* name;
        const char* protocol;
        QStringList radio;
    };
    const Row rows[] = {
        {"ICOM (IC-7300)", "icom", {"--model", "ic7300", "--address", "94"}},
        {"Kenwood (TS-590S)", "kenwood", {"--model", "ts590s"}},
        {"FT-817", "ft817", {"--model", "ft817"}},
        {"Yaesu (FT-991A)", "yaesu", {"--model", "ft991a"}},
    };
    std::printf("a radio keyed by DTR as the port opens, ms (median, max of %d):\n", rounds);
    std::printf("  %-20s %22s %22s\n", "", "click to line named", "radio transmitting");
    for (const Row& row : rows) {
        std::vector<double> named, keyed;
        for (int r = 0; r < rounds; ++r) {
            const AtOpen a = KeyedAtOpen(row.protocol, row.radio);
            named.push_back(a.named);
            keyed.push_back(a.keyed);
        }
        const Summary n = Summarise(named), k = Summarise(keyed);
        std::printf("  %-20s %13.0f %8.0f %13.0f %8.0f\n", row.name, n.median, n.max, k.median,
                    k.max);
        std::fflush(stdout);
    }
}

void PrintPttTests(int rounds) {
    std::printf("\nthe PTT test for 1000 ms on a TS-590S, ms (median, max of %d):\n", rounds);
    std::printf("  %-6s %22s %22s\n", "by", "radio transmitting", "unkey to receive read");
    for (const char* way : {"cat", "rts", "dtr"}) {
        std::vector<double> keyed, back;
        for (int r = 0; r < rounds; ++r) {
            const Keying k = PttTest(way);
            keyed.push_back(k.keyed);
            back.push_back(k.back);
        }
        const Summary k = Summarise(keyed), b = Summarise(back);
        std::printf("  %-6s %13.0f %8.0f %13.0f %8.0f\n", way, k.median, k.max, b.median, b.max);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const Arguments arguments(argc, argv);
    if (!arguments.Understood("transmit_bench [--radiosim PATH] [--catlink PATH] [--rounds N]"))
        return 2;
    g_radiosim = RadiosimPath(arguments);
    g_catlink = QString::fromStdString(arguments.Text("--catlink", CATLINK_DEFAULT));
    const int rounds = std::max(1, arguments.Number("--rounds", 5));
    PrintKeyedAtOpen(rounds);
    PrintPttTests(rounds);
    return 0;
}
