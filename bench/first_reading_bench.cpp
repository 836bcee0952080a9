// How soon the first reading comes after the open, on a port met for the first time and on one
// where the same radio answered before, and how closely the display follows the dial, for two or
// more builds side by side on this machine. Each build runs its own catlink --doctor against its
// own radiosim, and its own live_link_bench. Prints figures, asserts nothing.
//
//   first_reading_bench --build DIR [--build DIR]... [--rounds N] [--seconds S] [--radio TEXT]
//
// --seconds is how long live_link_bench measures the CPU share (0: no live-link figures);
// --radio keeps the radios whose row names hold TEXT ("IC-7300", "115200").
//
// A build folder holds catlink, tools/radiosim/catlink-radiosim and bench/live_link_bench.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <tuple>
#include <vector>

#include "bench/bench_support.h"
#include "bench/made_up_device.h"
#include "protocols/families.h"
#include "shell/startup.h"

namespace {

using namespace cat::bench;

struct Build {
    QString dir;
    QString Catlink() const { return dir + "/catlink"; }
    QString Radiosim() const { return dir + "/tools/radiosim/catlink-radiosim"; }
    QString LiveLinkBench() const { return dir + "/bench/live_link_bench"; }
};

struct Row {
    const char* name;
    const char* model;  // radiosim's
    int baud;
    const char* family;   // the protocol list's caption
    const char* address;  // ICOM's; the others ignore it
    const char* serial;   // the made-up adapter's, as the radio's own USB port names itself
};

constexpr std::array<Row, 6> kRows{{
    // Each family at a speed its radios run at; the IC-7300 and TS-590S at a slow and a fast one.
    {"IC-7300 at 19200", "ic7300", 19200, "ICOM", "94", "IC-7300 03001234"},
    {"IC-7300 at 9600", "ic7300", 9600, "ICOM", "94", "IC-7300 03001234"},
    {"TS-590S at 9600", "ts590s", 9600, "Kenwood", "5E", "TS-590S 1234"},
    {"TS-590S at 115200", "ts590s", 115200, "Kenwood", "5E", "TS-590S 1234"},
    {"FT-991A at 38400", "ft991a", 38400, "Yaesu", "5E", "FT-991A 00A1B2C3"},
    // 4800: the FT-817's CAT RATE (menu 14) from the factory, from memory.
    {"FT-817 at 4800", "ft817", 4800, "FT-817", "5E", "FT-817 4N012345"},
}};

// What a user's session would hand the program, with everything it keeps under `home`.
QProcessEnvironment HomeEnvironment(const QString& home, const QString& systemRoot) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME",
                             "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
        env.remove(name);
    env.insert("HOME", home);
    if (!systemRoot.isEmpty()) env.insert("CAT_SYSTEM_ROOT", systemRoot);
    return env;
}

// The setup as the window stores it: the family's list position, the speed both as a position in
// the former speed list (-1 where that list lacks it) and as the rate, Com 1.
void StoreSetup(const QString& ini, const Row& row) {
    const std::string baud = std::to_string(row.baud);
    int former = -1;
    for (std::size_t i = 0; i < cat::kFormerSpeedEntries.size(); ++i)
        if (cat::kFormerSpeedEntries[i] == baud) former = static_cast<int>(i);
    QSettings s(ini, QSettings::IniFormat);
    s.setValue("Setup/Type", cat::ListPosition(*cat::FamilyNamed(row.family)));
    s.setValue("Setup/Speed", former);
    s.setValue("Setup/Baud", QString::number(row.baud));
    s.setValue("Setup/ComPort", 0);
    s.setValue("Setup/Address", row.address);
}

// radiosim on its pty, each report line stamped with when it came: the radio's side of the
// timing, which starts where the program opens the port.
class TimedRadio {
public:
    TimedRadio(const QString& radiosim, const QStringList& options) {
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { Take(); });
        clock_.start();
        process_.start(radiosim, options);
        if (process_.waitForStarted(5000) && RunUntil([this] { return !lines_.empty(); }, 5000))
            pty_ = lines_.front().second.mid(4);
    }
    ~TimedRadio() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(2000);
    }
    QString Pty() const { return pty_; }
    double Now() const { return clock_.nsecsElapsed() / 1e6; }
    // The lines that came after `from` ms, with when each came.
    std::vector<std::pair<double, QString>> Since(double from) {
        Take();
        std::vector<std::pair<double, QString>> since;
        for (const auto& line : lines_)
            if (line.first >= from) since.push_back(line);
        return since;
    }

private:
    void Take() {
        while (process_.canReadLine())
            lines_.emplace_back(Now(), QString::fromUtf8(process_.readLine()).trimmed());
    }
    QProcess process_;
    QElapsedTimer clock_;
    std::vector<std::pair<double, QString>> lines_;
    QString pty_;
};

struct DoctorRun {
    double stamped = -1;   // the doctor's own time of the first reading, s "from the open"
    double fromOpen = -1;  // s from the port's open to the radio sending that reply
    QString output;
};

// The replies up to the first one whose note carries a frequency, in the doctor's traffic
// ("1.269 <  fe fe e0 94 03 ... fd   read frequency: 14.074000 MHz"), counting those that were
// no reply ("<!") and leaving out echo ("<e"); 0 when no reply carried one. Its stamp into
// `stamped`.
int RepliesToFirstReading(const QString& doctorOutput, double* stamped) {
    static const QRegularExpression reply(R"(^\s*(\d+\.\d+) <[ !] )");
    int replies = 0;
    for (const QString& line : doctorOutput.split('\n')) {
        const QRegularExpressionMatch m = reply.match(line);
        if (!m.hasMatch()) continue;
        ++replies;
        if (line.contains(QLatin1String("<  ")) && line.contains(QLatin1String(" MHz"))) {
            *stamped = m.captured(1).toDouble();
            return replies;
        }
    }
    return 0;
}

// When, after the port's first open, radiosim sent its `n`th answer ("tx"); -1 when it did not.
// The open is radiosim's "open" line, or the line settings the program makes at once, should
// radiosim have missed a close and open in quick succession.
double AnswerAfterOpen(const std::vector<std::pair<double, QString>>& lines, int n) {
    double openedAt = -1;
    for (const auto& [at, line] : lines) {
        if (openedAt < 0 &&
            (line.startsWith(QLatin1String("open")) || line.startsWith(QLatin1String("line "))))
            openedAt = at;
        if (openedAt >= 0 && line.startsWith(QLatin1String("tx ")) && --n == 0)
            return (at - openedAt) / 1000;
    }
    return -1;
}

DoctorRun RunDoctor(const Build& build, const QProcessEnvironment& env, TimedRadio& radio) {
    QProcess doctor;
    doctor.setProcessEnvironment(env);
    const double from = radio.Now();
    doctor.start(build.Catlink(), {"--doctor"});
    if (!RunUntil([&] { return doctor.state() == QProcess::NotRunning; }, 60000)) {
        doctor.kill();
        doctor.waitForFinished(2000);
    }
    RunFor(50);  // radiosim's last lines
    DoctorRun run;
    run.output = QString::fromUtf8(doctor.readAllStandardOutput());
    const int replies = RepliesToFirstReading(run.output, &run.stamped);
    if (replies > 0) run.fromOpen = AnswerAfterOpen(radio.Since(from), replies);
    return run;
}

struct Round {
    DoctorRun fresh;  // the port met for the first time
    DoctorRun known;  // the same port and radio, right after
    int changes = 0;  // radiosim's "write" lines: commands that asked the radio for a change
};

// One radio on a new pty in a home of its own: the doctor twice, with the made-up tree that gives
// the pty the radio's USB identity.
Round OneRound(const Build& build, const Row& row) {
    Round round;
    QTemporaryDir home;
    const QString ini = home.filePath(".config/CAT/CAT.ini");
    TimedRadio radio(build.Radiosim(), {"--model", row.model, "--speed", QString::number(row.baud),
                                        "--com", "1", "--settings", ini});
    if (radio.Pty().isEmpty()) return round;
    StoreSetup(ini, row);
    const QString root = home.filePath("system");
    UsbIdentity usb;
    usb.serial = row.serial;
    if (!MakeSystemRoot(root.toStdString(), radio.Pty().toStdString(), usb))
        std::printf("  (the made-up system tree under %s is incomplete)\n", qPrintable(root));
    const QProcessEnvironment env = HomeEnvironment(home.path(), root);
    round.fresh = RunDoctor(build, env, radio);
    round.known = RunDoctor(build, env, radio);
    for (const auto& line : radio.Since(0))
        if (line.second.startsWith(QLatin1String("write "))) ++round.changes;
    return round;
}

// Summarise's, with the median of an even count the mean of the middle two: of two rounds, the
// worst would otherwise be the median too.
Summary MedianAndWorst(std::vector<double> values) {
    Summary s = Summarise(values);
    if (s.count % 2 == 0 && s.count > 0) {
        std::sort(values.begin(), values.end());
        s.median = (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    }
    return s;
}

struct Figures {
    const Row* row = nullptr;
    Summary fresh, known;                // s from the port's open, by radiosim's clock
    Summary freshStamped, knownStamped;  // the doctor's own stamps
    int unread = 0;                      // runs without a reading radiosim's clock could time
    int changes = 0;
    QString lastKnownTraffic;
};

Figures MeasureRow(const Build& build, const Row& row, int rounds) {
    std::vector<double> fresh, known, freshStamped, knownStamped;
    Figures f;
    f.row = &row;
    for (int r = 0; r < rounds; ++r) {
        const Round round = OneRound(build, row);
        for (const auto& [run, into, stamps] : {std::tuple{&round.fresh, &fresh, &freshStamped},
                                                {&round.known, &known, &knownStamped}}) {
            if (run->fromOpen < 0) ++f.unread;
            if (run->fromOpen >= 0) into->push_back(run->fromOpen);
            if (run->stamped >= 0) stamps->push_back(run->stamped);
        }
        f.changes += round.changes;
        f.lastKnownTraffic = round.known.output;
    }
    f.fresh = MedianAndWorst(fresh);
    f.known = MedianAndWorst(known);
    f.freshStamped = MedianAndWorst(freshStamped);
    f.knownStamped = MedianAndWorst(knownStamped);
    return f;
}

// "0.815 / 0.830", or "none" without a reading.
QString MedianWorst(const Summary& s) {
    if (s.count == 0) return QStringLiteral("none");
    return QString::asprintf("%.3f / %.3f", s.median, s.max);
}

// ---- The live link: live_link_bench of the same build ----------------------------------------

struct Live {
    bool ran = false;
    double mean = -1, worst = -1, cpu = -1;  // ms, ms, % of one core
    int changes = 0;
};

struct LiveRow {
    const char* name;
    const char* protocol;  // live_link_bench's
    QStringList radio;     // radiosim options beyond the protocol; empty for none
};

const std::array<LiveRow, 5>& LiveRows() {
    static const std::array<LiveRow, 5> rows{{
        {"ICOM", "icom", {}},
        {"ICOM, transceive on", "icom", {"--transceive"}},
        {"Kenwood", "kenwood", {}},
        {"FT-817", "ft817", {}},
        {"Yaesu", "yaesu", {}},
    }};
    return rows;
}

// Whether `program` offers `option`: its usage line, printed for an option it does not know,
// names each one it takes as "[--name ".
bool Offers(const QString& program, const QString& option) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(program, {"--no-such-option", "0"});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardError()).contains("[" + option + " ");
}

// The figures of live_link_bench's line, as every build of it prints them:
// "icom    : CPU 0.52% of one core over 5 s; ...; dial-to-display delay mean 812 ms, worst
// 1790 ms over 6 changes; display ...".
Live ParseLive(const QString& output) {
    static const QRegularExpression cpu(R"(CPU ([\d.]+)% of one core)");
    static const QRegularExpression dial(
        R"(dial-to-display delay mean (\d+) ms, worst (\d+) ms over (\d+) changes)");
    Live live;
    const QRegularExpressionMatch c = cpu.match(output);
    const QRegularExpressionMatch d = dial.match(output);
    live.ran = c.hasMatch();
    if (c.hasMatch()) live.cpu = c.captured(1).toDouble();
    if (d.hasMatch()) {
        live.mean = d.captured(1).toDouble();
        live.worst = d.captured(2).toDouble();
        live.changes = d.captured(3).toInt();
    }
    return live;
}

Live RunLive(const Build& build, const LiveRow& row, int seconds, bool moreSteps) {
    QStringList args{"--protocol", row.protocol,    "--seconds", QString::number(seconds),
                     "--radiosim", build.Radiosim()};
    for (const QString& option : row.radio) args << "--radiosim-option" << option;
    if (moreSteps)
        args << "--steps"
             << "6";
    QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = HomeEnvironment(home.path(), {});
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(build.LiveLinkBench(), args);
    if (!p.waitForFinished(180000)) p.kill();
    p.waitForFinished(2000);
    return ParseLive(QString::fromUtf8(p.readAllStandardOutput()));
}

// Each row's figures, or none ("n/a") where the build's live_link_bench cannot run it.
std::vector<Live> MeasureLive(const Build& build, int seconds) {
    const bool radioOptions = Offers(build.LiveLinkBench(), "--radiosim-option");
    const bool moreSteps = Offers(build.LiveLinkBench(), "--steps");
    std::vector<Live> figures;
    for (const LiveRow& row : LiveRows()) {
        if (seconds == 0 || (!row.radio.isEmpty() && !radioOptions)) {
            figures.push_back({});
            continue;
        }
        figures.push_back(RunLive(build, row, seconds, moreSteps));
    }
    return figures;
}

QString Ms(double ms) { return ms < 0 ? QStringLiteral("n/a") : QString::number(ms, 'f', 0); }
QString Percent(double p) { return p < 0 ? QStringLiteral("n/a") : QString::number(p, 'f', 2); }

// ---- The tables --------------------------------------------------------------------------------

struct BuildFigures {
    Build build;
    std::vector<Figures> rows;
    std::vector<Live> live;
};

// The second run's traffic of the first row, where the time to the reading goes.
void PrintTraffic(const QString& output) {
    for (const QString& line : output.split('\n')) {
        if (line.startsWith("scan:") || line.startsWith("verdict:")) break;
        if (line.contains(" > ") || line.contains(" <")) std::printf("    %s\n", qPrintable(line));
    }
}

void PrintBuild(const BuildFigures& b, int rounds) {
    std::printf("\n== %s\n", qPrintable(b.build.dir));
    std::printf(
        "first reading, s from the port's open to the radio's reply (median / worst of %d),"
        "\nand the doctor's own stamp of it (median):\n",
        rounds);
    std::printf("  %-20s %-16s %-16s %-15s %s\n", "radio", "new port", "known port",
                "stamped new/known", "notes");
    for (const Figures& f : b.rows) {
        QString notes;
        if (f.unread) notes += QString("%1 runs read nothing; ").arg(f.unread);
        if (f.changes) notes += QString("%1 commands asked for a change!").arg(f.changes);
        const QString stamped =
            QString::asprintf("%.3f / %.3f", f.freshStamped.median, f.knownStamped.median);
        std::printf("  %-20s %-16s %-16s %-17s %s\n", f.row->name, qPrintable(MedianWorst(f.fresh)),
                    qPrintable(MedianWorst(f.known)), qPrintable(stamped), qPrintable(notes));
    }
    std::printf("dial to display, ms, and CPU while polling (live_link_bench):\n");
    std::printf("  %-20s %8s %8s %8s %8s\n", "protocol", "mean", "worst", "changes", "CPU %");
    for (std::size_t i = 0; i < LiveRows().size(); ++i) {
        const Live& l = b.live[i];
        std::printf("  %-20s %8s %8s %8s %8s\n", LiveRows()[i].name, qPrintable(Ms(l.mean)),
                    qPrintable(Ms(l.worst)), l.ran ? qPrintable(QString::number(l.changes)) : "n/a",
                    qPrintable(Percent(l.cpu)));
    }
    if (b.rows.empty()) return;
    std::printf("%s, the second run's traffic:\n", b.rows[0].row->name);
    PrintTraffic(b.rows[0].lastKnownTraffic);
    std::fflush(stdout);
}

// One line per figure, a column per build, beside the goal.
void PrintSummary(const std::vector<BuildFigures>& builds) {
    std::printf("\n== side by side (first reading: median s; dial: worst ms; CPU: %% of a core)\n");
    std::printf("  %-34s %-9s", "figure", "goal");
    for (std::size_t b = 0; b < builds.size(); ++b)
        std::printf(" %12s", qPrintable(QString("build %1").arg(b + 1)));
    std::printf("\n");
    const auto line = [&](const QString& what, const char* goal, auto value) {
        std::printf("  %-34s %-9s", qPrintable(what), goal);
        for (const BuildFigures& b : builds) std::printf(" %12s", qPrintable(value(b)));
        std::printf("\n");
    };
    const auto seconds = [](const Summary& s) {
        return s.count ? QString::number(s.median, 'f', 3) : QStringLiteral("none");
    };
    for (std::size_t i = 0; i < builds.front().rows.size(); ++i) {
        const char* name = builds.front().rows[i].row->name;
        line(QString("%1, new port").arg(name), "<= 0.8",
             [&](const BuildFigures& b) { return seconds(b.rows[i].fresh); });
        line(QString("%1, known port").arg(name), "<= 0.3",
             [&](const BuildFigures& b) { return seconds(b.rows[i].known); });
    }
    for (std::size_t i = 0; i < LiveRows().size(); ++i) {
        line(QString("dial, %1").arg(LiveRows()[i].name), "<= 300",
             [&](const BuildFigures& b) { return Ms(b.live[i].worst); });
        line(QString("CPU, %1").arg(LiveRows()[i].name), "< 1",
             [&](const BuildFigures& b) { return Percent(b.live[i].cpu); });
    }
    for (std::size_t b = 0; b < builds.size(); ++b)
        std::printf("  build %zu: %s\n", b + 1, qPrintable(builds[b].build.dir));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Arguments arguments(argc, argv);
    const std::string usage =
        "first_reading_bench --build DIR [--build DIR]... [--rounds N] [--seconds S] "
        "[--radio TEXT]";
    if (!arguments.Understood(usage)) return 2;
    const int rounds = std::max(1, arguments.Number("--rounds", 2));
    const int seconds = std::max(0, arguments.Number("--seconds", 2));
    std::vector<BuildFigures> builds;
    for (const std::string& dir : arguments.Values("--build", {})) {
        BuildFigures b{{QDir(QString::fromStdString(dir)).absolutePath()}, {}, {}};
        for (const Row& row : kRows)
            if (QString(row.name).contains(QString::fromStdString(arguments.Text("--radio", ""))))
                b.rows.push_back(MeasureRow(b.build, row, rounds));
        b.live = MeasureLive(b.build, seconds);
        PrintBuild(b, rounds);
        builds.push_back(std::move(b));
    }
    if (builds.empty()) {
        std::fprintf(stderr, "no --build given\nusage: %s\n", usage.c_str());
        return 2;
    }
    PrintSummary(builds);
    return 0;
}
