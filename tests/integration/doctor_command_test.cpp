// catlink --doctor on a terminal with no display: the verdict and the traffic on standard output,
// and an exit status a script can act on.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/doctor_process.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/ser2net_process.h"

namespace {

using Outcome = cat::test::DoctorOutcome;

class DoctorCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        cat::test::StoreIcomSetup(home.path(), "5E");
    }
    QString Ini() const { return home.filePath("CAT/CAT.ini"); }
    Outcome Doctor(const QStringList& args, int ms = 30000, bool asNobody = false) {
        return cat::test::RunDoctor(home.path(), args, ms, asNobody);
    }
    QTemporaryDir home;
};

TEST_F(DoctorCommand, ARadioThatAnswersEndsWellAndShowsTheTraffic) {
    cat::test::Radiosim radio(Ini(), 1, {"--protocol", "icom"});
    ASSERT_TRUE(radio.Started());
    const Outcome run = Doctor({});
    EXPECT_EQ(run.status, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("verdict: answering")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("fe fe e0 5e 03 00 40 07 14 00 fd")) << run.out.toStdString();
    EXPECT_FALSE(QSettings(Ini(), QSettings::IniFormat).contains("Setup/Top"))
        << "--doctor wrote the settings";
}

// The link is ICOM at 5E and 9600 baud. The scan finds the radio at other settings, and the one
// verdict line, printed after it, says what differs and the fix.
struct ElsewhereRow {
    const char* name;
    QStringList radio;
    const char* found;
    const char* verdict;  // the verdict line and the brief under it
    const char* fix;
    const char* never;  // what no line may say
};

void PrintTo(const ElsewhereRow& row, std::ostream* out) { *out << row.name; }

class RadioElsewhere : public DoctorCommand, public ::testing::WithParamInterface<ElsewhereRow> {};

TEST_P(RadioElsewhere, TheVerdictLineSaysWhatTheScanFoundDiffers) {
    const ElsewhereRow& row = GetParam();
    cat::test::Radiosim radio(Ini(), 2, row.radio);
    ASSERT_TRUE(radio.Started());
    const Outcome run = Doctor({"Com 2"}, 60000);
    const std::string out = run.out.toStdString();
    // The link as set up read no frequency: a radio found elsewhere does not make it work.
    EXPECT_EQ(run.status, 1) << out;
    EXPECT_EQ(run.out.count("verdict: "), 1) << out;
    const qsizetype found = run.out.indexOf(row.found);
    EXPECT_GE(found, 0) << out;
    EXPECT_GT(run.out.indexOf(row.verdict), found) << out;
    EXPECT_TRUE(run.out.contains(row.fix)) << out;
    EXPECT_FALSE(run.out.contains(row.never)) << out;
    EXPECT_EQ(radio.CountStartingWith("write "), 0) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RadioElsewhere,
    ::testing::Values(
        // No address read: the frequency read at its own address finds it.
        ElsewhereRow{"AnotherAddress",
                     {"--protocol", "icom", "--address", "94"},
                     "found: IC-7300 at 94 answers at 9600 baud",
                     "verdict: other-address\n  Radio at 94, not 5E",
                     "Try: Use address 94;",
                     "no-reply"},
        ElsewhereRow{"AnotherSpeed",
                     {"--model", "ic7300", "--address", "5E", "--speed", "19200"},
                     "found: IC-718 at 5E answers at 19200 baud",
                     "verdict: other-speed\n  Radio at 19200 baud, not 9600",
                     "Try: Use 19200 baud;",
                     "garbled"},
        // It answers 60 ms after each read, as a busy radio may: the scan waits out its
        // listening time.
        ElsewhereRow{"AnotherFamilyAndSpeed",
                     {"--model", "ts590s", "--speed", "115200", "--delay", "60"},
                     "found: Kenwood TS-590S answers at 115200 baud",
                     "verdict: other-protocol\n  Radio speaks Kenwood",
                     "Try: Use the protocol Kenwood and 115200 baud;",
                     "garbled"},
        // Every address of the train answers: no model is named from the addresses.
        ElsewhereRow{"EveryAddress",
                     {"--protocol", "icom", "--any-address", "--speed", "19200"},
                     "found: ICOM radio (answers every address) answers at 19200 baud",
                     "verdict: other-speed\n  Radio at 19200 baud, not 9600",
                     "Try: Use 19200 baud;",
                     "IC-7"}),
    [](const auto& instance) { return std::string(instance.param.name); });

// The radios of today, each with the protocol a new user might pick for it: read where the
// program reads them, named where it does not, and never changed by what the doctor sends.
TEST_F(DoctorCommand, TodaysRadiosAreReadOrNamedAndNeverChanged) {
    struct Row {
        const char* type;  // the stored list position
        QStringList radio;
        int status;
        const char* says;
    };
    const Row rows[] = {
        {"3", {"--model", "ft991a"}, 0, "verdict: answering"},
        {"1", {"--model", "ft991a"}, 1, "This is a Yaesu radio: choose Yaesu"},
        {"1", {"--model", "qmx"}, 0, "verdict: answering"},
        {"1", {"--model", "sdr"}, 0, "verdict: answering"},
        {"1", {"--model", "k3"}, 0, "verdict: answering"},
        {"0",
         {"--model", "ft817", "--speed", "9600"},
         1,
         "found: Yaesu FT-817, FT-818, FT-857 or FT-897 (five-byte commands) answers at 9600 baud"},
        // Faster than the link: found before the first ICOM byte, which would reach it as its own
        // commands.
        {"0",
         {"--model", "ft818", "--speed", "38400"},
         1,
         "This is an FT-817 radio at 38400 baud: choose FT-817"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.radio.join(' ').toStdString() + " as list entry " + row.type);
        QSettings(Ini(), QSettings::IniFormat).setValue("Setup/Type", row.type);
        cat::test::Radiosim radio(Ini(), 1, row.radio);
        ASSERT_TRUE(radio.Started());
        const Outcome run = Doctor({});
        EXPECT_EQ(run.status, row.status) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(row.says)) << run.out.toStdString();
        radio.Control("ping done");
        ASSERT_TRUE(radio.WaitForLine("pong done"));
        EXPECT_EQ(radio.CountStartingWith("write "), 0) << radio.Lines().join('\n').toStdString();
    }
}

// A first run with no protocol stored: a verdict that says so, then the scan finds the radio; the
// link as stored reads nothing, so the status is 1.
TEST_F(DoctorCommand, WithNoProtocolStoredTheVerdictSaysSoAndTheScanFindsTheRadio) {
    QSettings(Ini(), QSettings::IniFormat).remove("Setup/Type");
    cat::test::Radiosim radio(Ini(), 1, {"--model", "ic7300"});
    ASSERT_TRUE(radio.Started());
    const Outcome run = Doctor({});
    EXPECT_EQ(run.status, 1) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("verdict: no-protocol")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("found: IC-7300")) << run.out.toStdString();
}

// Every run prints one verdict line, and its verdict and the exit status agree: 0 is
// "answering" and nothing else is. A port given by its path is called by it, never "Com 1".
TEST_F(DoctorCommand, TheVerdictLineIsAlwaysThereAndAgreesWithTheStatus) {
    const struct {
        const char* name;
        const char* type;  // the stored protocol's list position; nullptr: none stored
        QStringList radio;
        bool byPath;  // PORT given as the pty's path
        const char* verdict;
        int status;
        const char* never;  // text no line may hold
    } rows[] = {
        {"answering", "0", {}, false, "answering", 0, "verdict: no-reply"},
        {"refusing_radio_by_its_path", "0", {"--refuse"}, true, "refuses", 1, "Com 1"},
        // It stops a quarter second after the first bytes reach it, before the check for a
        // five-byte radio is over (the probe's listening takes 0.3 s): never "answering".
        {"radio_that_stops_after_a_quarter_second",
         "0",
         {"--stop-after", "0.25"},
         false,
         "no-reply",
         1,
         "verdict: answering"},
        // The scan finds it, at other settings: the link as stored still reads nothing.
        {"no_protocol_stored",
         nullptr,
         {"--model", "ic7300"},
         false,
         "no-protocol",
         1,
         "verdict: answering"},
        // No bus carries Kenwood's commands: the echo is the interface's.
        {"kenwood_echo_only",
         "1",
         {"--protocol", "kenwood", "--echo-only"},
         false,
         "echo-only",
         1,
         "CI-V"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QSettings ini(Ini(), QSettings::IniFormat);
        if (row.type) {
            ini.setValue("Setup/Type", row.type);
        } else {
            ini.remove("Setup/Type");
        }
        ini.sync();
        cat::test::Radiosim radio(Ini(), 1, row.radio);
        ASSERT_TRUE(radio.Started());
        const Outcome run = Doctor(row.byPath ? QStringList{radio.Pty()} : QStringList{});
        const QString out = run.out;
        EXPECT_EQ(out.count("verdict: "), 1) << out.toStdString();
        EXPECT_TRUE(out.contains(QString("verdict: %1\n").arg(row.verdict))) << out.toStdString();
        EXPECT_EQ(run.status, row.status) << out.toStdString();
        EXPECT_EQ(run.status == 0, out.contains("verdict: answering\n")) << out.toStdString();
        EXPECT_FALSE(out.contains(row.never)) << out.toStdString();
    }
}

TEST_F(DoctorCommand, NoRadioAnywhereEndsWithOne) {
    cat::test::Radiosim radio(Ini(), 1, {"--protocol", "ft817", "--silent"});
    ASSERT_TRUE(radio.Started());
    const Outcome run = Doctor({radio.Pty()});
    EXPECT_EQ(run.status, 1) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("found: nothing")) << run.out.toStdString();
}

TEST_F(DoctorCommand, ARadioOnTheNetworkIsHeardThroughSer2net) {
    SKIP_WITHOUT_SER2NET();
    const QString device = home.filePath("radio");
    cat::test::Radiosim radio(Ini(), 3, {"--protocol", "icom", "--link", device});
    ASSERT_TRUE(radio.Started());
    cat::test::Ser2net ser2net(device, home.path());
    ASSERT_TRUE(ser2net.Started()) << ser2net.Output().toStdString();
    for (const QString& address : {ser2net.Rfc2217Address(), ser2net.RawAddress()}) {
        SCOPED_TRACE(address.toStdString());
        // ser2net serves one client at a time and takes a moment to let the last one go: a
        // far end still busy is what the doctor reports then, so ask again shortly.
        Outcome run = Doctor({address});
        for (int i = 0; i < 5 && run.out.contains("verdict: port-error"); ++i) {
            QTest::qWait(500);
            run = Doctor({address});
        }
        EXPECT_EQ(run.status, 0) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("verdict: answering")) << run.out.toStdString();
    }
}

// A device the user may not open: the verdict says so and gives the command, with the user's
// name in it.
TEST_F(DoctorCommand, ADeviceTheUserMayNotUseNamesTheCommandThatGrantsIt) {
    cat::test::Radiosim radio(Ini(), 1, {"--protocol", "icom"});
    ASSERT_TRUE(radio.Started());
    const std::string pty = radio.Pty().toStdString();
    ASSERT_EQ(::chmod(pty.c_str(), 0600), 0);
    if (::getuid() != 0) {
        ASSERT_EQ(::chmod(pty.c_str(), 0), 0);
    }
    // nobody reads the settings in the test's home folder.
    ASSERT_EQ(::chmod(QFile::encodeName(home.path()).constData(), 0755), 0);
    const passwd* user = ::getuid() == 0 ? ::getpwnam("nobody") : ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    const Outcome run = Doctor({radio.Pty()}, 30000, true);
    EXPECT_EQ(run.status, 2) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("verdict: no-permission")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QString("sudo adduser %1 dialout").arg(user->pw_name)))
        << run.out.toStdString();
}

TEST_F(DoctorCommand, APortThatIsNotThereEndsWithTwo) {
    const Outcome run = Doctor({home.filePath("no-such-adapter")});
    EXPECT_EQ(run.status, 2) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("verdict: device-missing")) << run.out.toStdString();
    // The port is the path given, not whatever Com 1 is.
    EXPECT_FALSE(run.out.contains("Com 1")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(home.filePath("no-such-adapter") + " does not exist. "))
        << run.out.toStdString();
}

}  // namespace
