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
        const QStringList lines = radio.Lines();
        if (!row.radio.contains("--keyed")) {
            EXPECT_EQ(lines.filter("transmit ").value(lines.filter("transmit ").size() - 1),
                      "transmit off")
                << lines.join('\n').toStdString();
        }
        EXPECT_EQ(radio.CountStartingWith("write "), 0) << lines.join('\n').toStdString();
        QSettings(Ini(), QSettings::IniFormat).remove("Ports");
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
