// Transmit safety end to end, through catlink --doctor: radiosim serves its radio as a network
// serial port that carries DTR and RTS, wired to its transmitter as an interface would be, and
// reports every change of its transmit state.

#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "tests/support/radiosim_process.h"
#include "tests/support/rigctld_process.h"

namespace {

class TransmitSafety : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }
    QString Ini() const { return home.filePath("CAT/CAT.ini"); }
    // The stored setup: list entry `type` on Com 3 at 9600 baud, address 94, with `ports`
    // entries ("Com3.RTS" -> "on").
    void Store(const char* type, const QMap<QString, QString>& ports = {}) {
        QSettings ini(Ini(), QSettings::IniFormat);
        ini.setValue("Setup/Type", type);
        ini.setValue("Setup/Speed", "1");
        ini.setValue("Setup/ComPort", "2");
        ini.setValue("Setup/Address", "94");
        for (auto it = ports.begin(); it != ports.end(); ++it)
            ini.setValue("Ports/" + it.key(), it.value());
    }
    void StartDoctor(QProcess& p, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path());
        p.setProcessEnvironment(env);
        p.start(CATLINK_PATH, QStringList{"--doctor"} + args);
        ASSERT_TRUE(p.waitForStarted());
    }
    QString Finish(QProcess& p) {
        if (p.state() != QProcess::NotRunning && !p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "catlink --doctor did not end";
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QTemporaryDir home;
};

// A radio keyed by a line the port raises at open is found, the line named, and the radio is
// back in receive before the doctor goes on; a radio that is not keyed by any line is said to
// be so; one that is not keyed is left alone.
TEST_F(TransmitSafety, TheLineThatKeysTheRadioAtOpenIsNamedAndDropped) {
    struct Row {
        const char* name;
        const char* type;  // protocol list entry: 0 ICOM, 1 Kenwood, 2 FT-817, 3 Yaesu
        QStringList radio;
        QMap<QString, QString> ports;
        const char* says;  // nullptr: no transmit finding at all
    };
    const Row rows[] = {
        {"icom_dtr",
         "0",
         {"--model", "ic7300", "--address", "94", "--ptt", "dtr"},
         {},
         "transmit: DTR keys this radio: set Com3.DTR=off"},
        {"kenwood_rts_raised_by_its_entry",
         "1",
         {"--model", "ts590s", "--ptt", "rts"},
         {{"Com3.RTS", "on"}, {"Com3.Handshake", "none"}},
         "transmit: RTS keys this radio: set Com3.RTS=off"},
        // A Kenwood link at 9600 baud uses RTS/CTS, which keeps RTS up: not ours to drop.
        {"kenwood_rts_held_by_flow_control",
         "1",
         {"--model", "ts590s", "--ptt", "rts"},
         {},
         "transmit: The radio went to transmit when the port opened: RTS/CTS holds RTS up"},
        {"ft817_dtr",
         "2",
         {"--model", "ft817", "--ptt", "dtr"},
         {},
         "transmit: DTR keys this radio: set Com3.DTR=off"},
        {"yaesu_rts",
         "3",
         {"--model", "ft991a", "--ptt", "rts"},
         {{"Com3.RTS", "on"}, {"Com3.Handshake", "none"}},
         "transmit: RTS keys this radio: set Com3.RTS=off"},
        {"pressed_ptt_is_no_line",
         "1",
         {"--model", "ts590s", "--keyed"},
         {{"Com3.Handshake", "none"}},
         "transmit: The radio went to transmit when the port opened, not by RTS or DTR"},
        {"rts_wired_and_low",
         "0",
         {"--model", "ic7300", "--address", "94", "--ptt", "rts"},
         {},
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Store(row.type, row.ports);
        cat::test::Radiosim radio(Ini(), 3, QStringList{"--rfc2217", "0"} + row.radio);
        ASSERT_TRUE(radio.Started());
        QProcess doctor;
        StartDoctor(doctor, {});
        const QString out = Finish(doctor);
        if (row.says) {
            EXPECT_TRUE(out.contains(row.says)) << out.toStdString();
        } else {
            EXPECT_FALSE(out.contains("transmit:")) << out.toStdString();
        }
        EXPECT_TRUE(out.contains("verdict: answering")) << out.toStdString();
        // What the doctor found is printed with its times; the figures for the notes.
        for (const QString& line : out.split('\n'))
            if (line.startsWith("transmit:")) std::printf("%s: %s\n", row.name, qPrintable(line));
        // The radio hears the connection close a moment after the doctor has ended.
        const auto lastTransmit = [&] {
            const QStringList said = radio.Lines().filter("transmit ");
            return said.value(said.size() - 1);
        };
        if (!row.radio.contains("--keyed"))
            (void)QTest::qWaitFor([&] { return lastTransmit() == "transmit off"; }, 3000);
        const QStringList lines = radio.Lines();
        if (!row.radio.contains("--keyed")) {
            EXPECT_EQ(lastTransmit(), "transmit off") << lines.join('\n').toStdString();
        }
        EXPECT_EQ(radio.CountStartingWith("write "), 0) << lines.join('\n').toStdString();
        QSettings(Ini(), QSettings::IniFormat).remove("Ports");
    }
}

// radiosim's times of the transmitter's first keying and its release after it, and whether the
// release came while the program still had the port (before radiosim's "close").
struct Keying {
    std::optional<double> on, off;
    bool releasedWhileConnected = false;
    double Seconds() const { return on && off ? *off - *on : -1; }
};

Keying KeyingOf(cat::test::Radiosim& radio, const QString& on) {
    const QStringList lines = radio.Lines();
    Keying k;
    const int keyed = static_cast<int>(lines.indexOf(on));
    if (keyed < 0) return k;
    k.on = radio.TimeOf(on);
    const int off = static_cast<int>(lines.indexOf("transmit off", keyed));
    if (off < 0) return k;
    k.off = radio.TimeOf("transmit off", keyed);
    const int closed = static_cast<int>(lines.indexOf("close", keyed));
    k.releasedWhileConnected = closed < 0 || off < closed;
    return k;
}

// Waits until radiosim has received bytes that hold `hex` ("1c 00 fd").
bool HasRead(cat::test::Radiosim& radio, const char* hex) {
    return QTest::qWaitFor([&] { return !radio.Lines().filter("rx ").filter(hex).isEmpty(); },
                           8000);
}

// The index of the lines as the program set them on connecting: the last "lines" after the
// connection's own raise ("lines dtr on rts on") and before any setting of the line or any byte;
// -1 when a setting or a byte came first.
int LinesSetFirst(const QStringList& lines) {
    const int raised = static_cast<int>(lines.indexOf("lines dtr on rts on"));
    int set = -1;
    for (int i = raised + 1; raised >= 0 && i < lines.size(); ++i) {
        if (lines[i].startsWith("line ") || lines[i].startsWith("rx ")) break;
        if (lines[i].startsWith("lines ")) set = i;
    }
    return set;
}

// The radios of the late first reading, each keyed at open by the line it names.
struct LateRow {
    const char* name;
    const char* type;
    QStringList radio;
    QMap<QString, QString> ports;
    const char* firstRead;  // hex of the read the radio ignores; nullptr: read only once awake
    const char* says;
};
const LateRow kLateRows[] = {
    {"icom_dtr",
     "0",
     {"--model", "ic7300", "--address", "94", "--ptt", "dtr"},
     {},
     "1c 00 fd",
     "transmit: DTR keys this radio: set Com3.DTR=off"},
    {"kenwood_dtr",
     "1",
     {"--model", "ts590s", "--ptt", "dtr"},
     {},
     "49 46 3b",
     "transmit: DTR keys this radio: set Com3.DTR=off"},
    // A Yaesu link reads TX; only from a radio that has answered its ID; as a Yaesu.
    {"yaesu_dtr",
     "3",
     {"--model", "ft991a", "--ptt", "dtr"},
     {},
     "49 44 3b",
     "transmit: DTR keys this radio: set Com3.DTR=off"},
    {"ft817_dtr",
     "2",
     {"--model", "ft817", "--ptt", "dtr"},
     {},
     nullptr,
     "transmit: DTR keys this radio: set Com3.DTR=off"},
    {"kenwood_rts",
     "1",
     {"--model", "ts590s", "--ptt", "rts"},
     {{"Com3.RTS", "on"}, {"Com3.Handshake", "none"}},
     "49 46 3b",
     "transmit: RTS keys this radio: set Com3.RTS=off"},
    {"icom_rts",
     "0",
     {"--model", "ic7300", "--address", "94", "--ptt", "rts"},
     {{"Com3.RTS", "on"}},
     "1c 00 fd",
     "transmit: RTS keys this radio: set Com3.RTS=off"},
};

// A radio keyed by a line at open whose first transmit reading comes late (it says nothing to
// the read at open, then wakes up) still has the line searched and named, and is released while
// the link is up: the late "transmitting" is no operator's.
TEST_F(TransmitSafety, ALateFirstReadingStillNamesTheLineThatKeysTheRadio) {
    for (const LateRow& row : kLateRows) {
        SCOPED_TRACE(row.name);
        Store(row.type, row.ports);
        cat::test::Radiosim radio(Ini(), 3, QStringList{"--rfc2217", "0", "--silent"} + row.radio);
        ASSERT_TRUE(radio.Started());
        QProcess doctor;
        StartDoctor(doctor, {});
        // The radio wakes once it has let the read at open go by.
        if (row.firstRead) {
            EXPECT_TRUE(HasRead(radio, row.firstRead)) << radio.Lines().join('\n').toStdString();
        } else {
            QTest::qWait(1200);
        }
        radio.Control("silent off");
        const QString out = Finish(doctor);
        EXPECT_TRUE(out.contains(row.says)) << out.toStdString();
        EXPECT_FALSE(out.contains("not keyed by this program")) << out.toStdString();
        const QString line = QString(row.says).contains("DTR") ? "dtr" : "rts";
        const Keying k = KeyingOf(radio, "transmit on (" + line + ")");
        EXPECT_TRUE(k.releasedWhileConnected) << radio.Lines().join('\n').toStdString();
        for (const QString& l : out.split('\n'))
            if (l.startsWith("transmit:"))
                std::printf("%s: keyed %.3f s by radiosim; %s\n", row.name, k.Seconds(),
                            qPrintable(l.section('(', -1)));
        EXPECT_EQ(radio.CountStartingWith("write "), 0) << radio.Lines().join('\n').toStdString();
        QSettings(Ini(), QSettings::IniFormat).remove("Ports");
    }
}

// The far end raised both lines as the connection came; the program's first act is to set them,
// before the port's speed and before any byte for the radio, so that a radio keyed from the line
// is released at once.
TEST_F(TransmitSafety, TheLinesAreTheFirstThingANetworkPortSets) {
    struct Row {
        const char* name;
        const char* type;
        QStringList radio;
        QMap<QString, QString> ports;
        const char* set;  // the lines as the program sets them
    };
    const Row rows[] = {
        {"icom_rts",
         "0",
         {"--model", "ic7300", "--address", "94", "--ptt", "rts"},
         {},
         "lines dtr on rts off"},
        {"kenwood_rts",
         "1",
         {"--model", "ts590s", "--ptt", "rts"},
         {{"Com3.Handshake", "none"}},
         "lines dtr on rts off"},
        {"yaesu_rts",
         "3",
         {"--model", "ft991a", "--ptt", "rts"},
         {{"Com3.Handshake", "none"}},
         "lines dtr on rts off"},
        {"ft817_rts", "2", {"--model", "ft817", "--ptt", "rts"}, {}, "lines dtr on rts off"},
        {"icom_dtr_kept_low",
         "0",
         {"--model", "ic7300", "--address", "94", "--ptt", "dtr"},
         {{"Com3.DTR", "off"}},
         "lines dtr off rts off"},
        // RTS/CTS holds RTS: the program sets DTR alone.
        {"yaesu_dtr_kept_low",
         "3",
         {"--model", "ft991a", "--ptt", "dtr"},
         {{"Com3.DTR", "off"}},
         "lines dtr off rts on"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Store(row.type, row.ports);
        cat::test::Radiosim radio(Ini(), 3, QStringList{"--rfc2217", "0"} + row.radio);
        ASSERT_TRUE(radio.Started());
        QProcess doctor;
        StartDoctor(doctor, {});
        const QString out = Finish(doctor);
        const QStringList lines = radio.Lines();
        const int set = LinesSetFirst(lines);
        ASSERT_GE(set, 0) << lines.join('\n').toStdString();
        EXPECT_EQ(lines[set], row.set) << lines.join('\n').toStdString();
        const QString wired = row.radio.last();
        const Keying k = KeyingOf(radio, "transmit on (" + wired + ")");
        EXPECT_TRUE(k.releasedWhileConnected) << lines.join('\n').toStdString();
        const std::optional<double> open = radio.TimeOf("open");
        const std::optional<double> setAt = radio.TimeOf(lines[set], set);
        if (open && setAt)
            std::printf("%s: lines set %.1f ms after the connect, keyed %.1f ms\n", row.name,
                        (*setAt - *open) * 1000, k.Seconds() * 1000);
        EXPECT_TRUE(out.contains("verdict: answering")) << out.toStdString();
        QSettings(Ini(), QSettings::IniFormat).remove("Ports");
    }
}

// A text radio keeps the five-byte check's bytes up to its next ";": emptied before the first
// command, no command of the link reaches it behind them, on a serial port and a network one.
TEST_F(TransmitSafety, NoCommandReachesATextRadioBehindTheChecksBytes) {
    struct Row {
        const char* name;
        const char* type;
        QStringList radio;
    };
    const Row rows[] = {
        {"kenwood_serial", "1", {"--model", "ts590s"}},
        {"yaesu_serial", "3", {"--model", "ft991a"}},
        {"kenwood_network", "1", {"--rfc2217", "0", "--model", "ts590s"}},
        {"yaesu_network", "3", {"--rfc2217", "0", "--model", "ft991a"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Store(row.type, {{"Com3.Handshake", "none"}});
        cat::test::Radiosim radio(Ini(), 3, row.radio);
        ASSERT_TRUE(radio.Started());
        QProcess doctor;
        StartDoctor(doctor, {});
        const QString out = Finish(doctor);
        const QStringList unknown = radio.Lines().filter("unknown ");
        // The check's bytes and the lone ";" that ends them, at most.
        EXPECT_LE(unknown.size(), 1) << unknown.join('\n').toStdString();
        for (const QString& line : unknown)
            for (const char* command : {"IF;", "ID;", "TX;", "FA;", "MD0;", "MD;"})
                EXPECT_FALSE(line.endsWith(command)) << line.toStdString();
        EXPECT_TRUE(out.contains("verdict: answering")) << out.toStdString();
        EXPECT_EQ(radio.CountStartingWith("write "), 0) << radio.Lines().join('\n').toStdString();
    }
}

// The operator's PTT test by each way: keyed while asked, back in receive after, and nothing
// else changed on the radio.
TEST_F(TransmitSafety, ThePttTestKeysByEachWayAndUnkeys) {
    struct Row {
        const char* name;
        const char* type;
        QStringList radio;
        QMap<QString, QString> ports;
        const char* way;
        const char* keyedBy;  // radiosim's word for what keyed it
    };
    const Row rows[] = {
        {"cat_icom", "0", {"--model", "ic7300", "--address", "94"}, {}, "cat", "cat"},
        {"cat_kenwood", "1", {"--model", "ts590s"}, {}, "cat", "cat"},
        {"cat_ft817", "2", {"--model", "ft817"}, {}, "cat", "cat"},
        {"cat_yaesu", "3", {"--model", "ft991a"}, {}, "cat", "cat"},
        {"rts",
         "1",
         {"--model", "ts590s", "--ptt", "rts"},
         {{"Com3.Handshake", "none"}},
         "rts",
         "rts"},
        {"dtr_kept_low_at_open",
         "3",
         {"--model", "ft991a", "--ptt", "dtr"},
         {{"Com3.DTR", "off"}},
         "dtr",
         "dtr"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Store(row.type, row.ports);
        cat::test::Radiosim radio(Ini(), 3, QStringList{"--rfc2217", "0"} + row.radio);
        ASSERT_TRUE(radio.Started());
        QProcess doctor;
        StartDoctor(doctor, {"--ptt", row.way, "--ptt-seconds", "0.5"});
        const QString out = Finish(doctor);
        EXPECT_EQ(doctor.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("ptt: before receive, while keyed transmit, after receive"))
            << out.toStdString();
        for (const QString& line : out.split('\n'))
            if (line.startsWith("ptt: back")) std::printf("%s: %s\n", row.name, qPrintable(line));
        const QStringList lines = radio.Lines();
        EXPECT_TRUE(lines.contains(QString("transmit on (%1)").arg(row.keyedBy)))
            << lines.join('\n').toStdString();
        EXPECT_EQ(lines.filter("transmit ").last(), "transmit off")
            << lines.join('\n').toStdString();
        // A CAT key is the one command that changes the radio; nothing else is written.
        const int catWrites = QString(row.way) == "cat" ? 2 : 0;
        EXPECT_EQ(radio.CountStartingWith("write "), catWrites) << lines.join('\n').toStdString();
        QSettings(Ini(), QSettings::IniFormat).remove("Ports");
    }
}

// The ways a keyed test can end early: the program is asked to stop (the unkey goes out first),
// it crashes (its last write is the CAT unkey, for every family and through either server), it
// is killed outright (the line drops with the connection).
TEST_F(TransmitSafety, AKeyedTestUnkeysWhenTheProgramEndsEarly) {
    enum class Through { Port, Flrig, Rigctld };
    struct Row {
        const char* name;
        const char* type;
        QStringList radio;
        QMap<QString, QString> ports;
        const char* way;
        int signal;
        Through through = Through::Port;
    };
    const QMap<QString, QString> none{{"Com3.Handshake", "none"}};
    const QMap<QString, QString> dtrLow{{"Com3.Handshake", "none"}, {"Com3.DTR", "off"}};
    const QStringList ts590s{"--model", "ts590s"};
    const Row rows[] = {
        {"sigterm_cat", "1", ts590s, none, "cat", SIGTERM},
        {"sigint_rts", "1", ts590s + QStringList{"--ptt", "rts"}, none, "rts", SIGINT},
        {"killed_rts", "1", ts590s + QStringList{"--ptt", "rts"}, none, "rts", SIGKILL},
        {"crash_cat_kenwood", "1", ts590s, none, "cat", SIGABRT},
        {"crash_cat_icom", "0", {"--model", "ic7300", "--address", "94"}, none, "cat", SIGSEGV},
        {"crash_cat_ft817", "2", {"--model", "ft817"}, none, "cat", SIGABRT},
        {"crash_cat_yaesu", "3", {"--model", "ft991a"}, none, "cat", SIGSEGV},
        {"crash_rts", "1", ts590s + QStringList{"--ptt", "rts"}, none, "rts", SIGSEGV},
        {"crash_dtr", "3", {"--model", "ft991a", "--ptt", "dtr"}, dtrLow, "dtr", SIGABRT},
        {"crash_cat_flrig", "1", {"--model", "ic7300"}, none, "cat", SIGSEGV, Through::Flrig},
        {"crash_cat_rigctld", "1", ts590s, none, "cat", SIGABRT, Through::Rigctld},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.through == Through::Rigctld && cat::test::Rigctld::Binary().isEmpty()) continue;
        Store(row.type, row.ports);
        const QString device = home.filePath("radio");
        const QStringList serve = row.through == Through::Port    ? QStringList{"--rfc2217", "0"}
                                  : row.through == Through::Flrig ? QStringList{"--flrig", "0"}
                                                                  : QStringList{"--link", device};
        cat::test::Radiosim radio(Ini(), 3, serve + row.radio);
        ASSERT_TRUE(radio.Started());
        std::optional<cat::test::Rigctld> server;
        if (row.through == Through::Rigctld) {
            server.emplace(QStringList{"-m", "2031", "-r", device});
            ASSERT_TRUE(server->Started()) << server->Output().toStdString();
            QSettings(Ini(), QSettings::IniFormat).setValue("Ports/Com3", server->Address());
        }
        QProcess doctor;
        StartDoctor(doctor, {"--ptt", row.way, "--ptt-seconds", "5"});
        // Opening the port raised the lines for a moment: the keying that counts is the test's.
        QString out;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                out += QString::fromUtf8(doctor.readAllStandardOutput());
                return out.contains("ptt: keying");
            },
            15000))
            << out.toStdString();
        ASSERT_TRUE(radio.WaitForLine(QString("transmit on (%1)").arg(row.way), 3000))
            << radio.Lines().join('\n').toStdString();
        QTest::qWait(300);
        radio.Forget();
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        ::kill(static_cast<pid_t>(doctor.processId()), row.signal);
        EXPECT_TRUE(radio.WaitForLine("transmit off", 3000))
            << radio.Lines().join('\n').toStdString();
        std::printf("%s: back in receive %lld ms after the signal\n", row.name,
                    static_cast<long long>(sinceSignal.elapsed()));
        out += Finish(doctor);
        if (row.signal == SIGTERM || row.signal == SIGINT) {
            EXPECT_TRUE(out.contains("ptt: ended early")) << out.toStdString();
        }
        QSettings(Ini(), QSettings::IniFormat).remove("Ports");
    }
}

}  // namespace
