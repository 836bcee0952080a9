// A radio behind a rig-sharing server, end to end. The real rigctld with its dummy radio, and with
// radiosim playing an ICOM and a Kenwood model on a pseudo-terminal that rigctld holds; radiosim
// playing flrig, with its radio behind it. The window and catlink --doctor read and set through
// the server; radiosim's report shows what reached the radio.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "qt/ports/replug_watch.h"
#include "qt/window/link_doctor.h"
#include "tests/support/doctor_process.h"
#include "tests/support/radio_families.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/rigctld_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

using Outcome = DoctorOutcome;

// catlink --doctor PORT; the stored setup is an ICOM link, which a server's port overrides.
Outcome Doctor(const QTemporaryDir& home, const QString& port) {
    QSettings ini(home.filePath("CAT/CAT.ini"), QSettings::IniFormat);
    ini.setValue("Setup/Type", "0");
    ini.setValue("Setup/Speed", "1");
    ini.sync();
    return RunDoctor(home.path(), {port}, 40000);
}

// What radiosim reported as changes of the radio ("write civ 25 00 ..."), in order.
QStringList Writes(Radiosim& radio) {
    QStringList writes;
    for (const QString& line : radio.Lines())
        if (line.startsWith("write ")) writes << line;
    return writes;
}

TEST(RigctldDoctor, ReadsTheDummyRadioThroughTheServer) {
    SKIP_WITHOUT_RIGCTLD();
    QTemporaryDir home;
    Rigctld server({"-m", "1"});
    ASSERT_TRUE(server.Started()) << server.Output().toStdString();
    const Outcome run = Doctor(home, server.Address());
    const std::string out = run.out.toStdString();
    EXPECT_EQ(run.status, 0) << out;
    EXPECT_TRUE(run.out.contains("verdict: answering")) << out;
    EXPECT_TRUE(run.out.contains("rigctld at 127.0.0.1:" + QString::number(server.Port()))) << out;
    EXPECT_TRUE(run.out.contains("+f\\n+m\\n")) << out;
    EXPECT_TRUE(run.out.contains("frequency: 145.000000 MHz")) << out;
    EXPECT_TRUE(run.out.contains("display: 145.000.0 FM")) << out;
    EXPECT_TRUE(run.out.contains("server: Hamlib Dummy, backend version")) << out;
    // The scan's probes would reach the server as commands of its own.
    EXPECT_FALSE(run.out.contains("probes")) << out;
}

TEST(RigctldDoctor, NothingListeningIsAPortError) {
    QTemporaryDir home;
    const Outcome run =
        Doctor(home, QStringLiteral("rigctld://127.0.0.1:%1").arg(Ser2net::FreePort()));
    EXPECT_EQ(run.status, 2) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("verdict: no-server")) << run.out.toStdString();
}

// rigctld on a radio that never answers: the server's own link fails. An ICOM backend says so in
// each answer; a Kenwood backend closes the connection instead. Either way the radio behind it
// is not reached.
struct SilentRow {
    const char* name;
    QStringList radio;   // radiosim's model
    QStringList server;  // rigctld's model, speed and timeouts
    const char* said;    // what the verdict's text gives as the reason
    QString serversOwn;  // the one change rigctld itself sends to a radio that does not answer
};

void PrintTo(const SilentRow& row, std::ostream* out) { *out << row.name; }

class RigctldSilentRadio : public ::testing::TestWithParam<SilentRow> {};

TEST_P(RigctldSilentRadio, IsTheServersFailureNotTheNetworks) {
    SKIP_WITHOUT_RIGCTLD();
    const SilentRow& row = GetParam();
    QTemporaryDir home;
    Radiosim radio(home.filePath("radiosim.ini"), 1,
                   row.radio + QStringList{"--silent", "--link", home.filePath("radio")});
    ASSERT_TRUE(radio.Started());
    Rigctld server(row.server + QStringList{"-r", home.filePath("radio")});
    ASSERT_TRUE(server.Started()) << server.Output().toStdString();
    radio.Forget();
    const Outcome run = Doctor(home, server.Address());
    const std::string out = run.out.toStdString();
    EXPECT_EQ(run.status, 1) << out;
    EXPECT_TRUE(run.out.contains("verdict: server-radio-fails")) << out;
    EXPECT_TRUE(run.out.contains(row.said)) << out;
    EXPECT_FALSE(run.out.contains("on the network")) << out;
    // The doctor asked for reads only; what reached the radio is the server's own.
    const QStringList writes = Writes(radio);
    EXPECT_EQ(writes.count(row.serversOwn), writes.size()) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RigctldSilentRadio,
    ::testing::Values(
        // The server, finding no answer, selects VFO A (07 00) again and again.
        SilentRow{"IcomShortTimeouts",
                  {"--model", "ic7300"},
                  {"-m", "3073", "-s", "19200", "-C", "timeout=100,retry=0"},
                  "RPRT -5: communication timed out",
                  "write civ 07 00"},
        SilentRow{"IcomServerDefaults",
                  {"--model", "ic7300"},
                  {"-m", "3073", "-s", "19200"},
                  "RPRT -5: communication timed out",
                  "write civ 07 00"},
        // A Kenwood backend answers nothing: it closes the connection, after about 8 s with
        // short timeouts and 18 s with its defaults.
        SilentRow{"KenwoodShortTimeouts",
                  {"--model", "ts590s"},
                  {"-m", "2031", "-s", "9600", "-C", "timeout=100,retry=0"},
                  "then closed the connection",
                  ""},
        SilentRow{"KenwoodServerDefaults",
                  {"--model", "ts590s"},
                  {"-m", "2031", "-s", "9600"},
                  "then closed the connection",
                  ""}),
    [](const auto& instance) { return std::string(instance.param.name); });

// ---- the window through the server --------------------------------------------------------

class RigctldWindow : public WindowTest {
protected:
    void SetUp() override {
        SKIP_WITHOUT_RIGCTLD();
        WindowTest::SetUp();
    }
    // Com 5 leads to the server; the protocol list shows what it showed (the server's port
    // chooses the language).
    MainWindow& OpenThrough(const Rigctld& server) {
        MapPort(5, server.Address());
        MainWindow& w = Start();
        w.show();
        ChooseLink(w, "ICOM", 5);
        OpenButton(w)->click();
        return w;
    }
    // As a pick from the drop-down list delivers it.
    static void PickMode(MainWindow& w, const QString& mode) {
        const int index = ModeList(w)->findText(mode);
        ModeList(w)->setCurrentIndex(index);
        emit ModeList(w)->activated(index);
    }
    static bool Shows(MainWindow& w, const QString& reading) {
        return QTest::qWaitFor([&] { return Reading(w)->text() == reading; }, 8000);
    }
};

TEST_F(RigctldWindow, ReadsSetsAndRidesOutTheServerGoingAway) {
    Rigctld server({"-m", "1"});
    ASSERT_TRUE(server.Started()) << server.Output().toStdString();
    MainWindow& w = OpenThrough(server);
    ASSERT_TRUE(Shows(w, "145.000.0 FM")) << Reading(w)->text().toStdString();
    FrequencyEntry(w)->setText("7.074");
    SetButton(w)->click();
    PickMode(w, "CW");
    // Read back through the server: the dummy radio keeps what was set.
    ASSERT_TRUE(Shows(w, " 7.074.00 CW")) << Reading(w)->text().toStdString();

    for (int i = 1; i <= 2; ++i) {
        server.Stop();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return w.Replug().Status().state == LinkState::WaitingForDevice; }, 5000))
            << "stop " << i;
        EXPECT_TRUE(OpenButton(w)->isChecked());
        ASSERT_TRUE(server.Start()) << "start " << i;
        // A new server's dummy radio starts where the dummy always starts.
        ASSERT_TRUE(Shows(w, "145.000.0 FM"))
            << "start " << i << ": " << Reading(w)->text().toStdString() << " "
            << w.Replug().Status().detail;
        FrequencyEntry(w)->setText(QStringLiteral("14.07%1").arg(i));
        SetButton(w)->click();
        ASSERT_TRUE(Shows(w, QStringLiteral("14.07%1.00 FM").arg(i)));
    }
}

TEST_F(RigctldWindow, FindRadioLeavesTheServerAndTheLinkAlone) {
    Rigctld server({"-m", "1"});
    ASSERT_TRUE(server.Started()) << server.Output().toStdString();
    MainWindow& w = OpenThrough(server);
    ASSERT_TRUE(Shows(w, "145.000.0 FM")) << Reading(w)->text().toStdString();
    w.Doctor().ShowDetails();
    w.Doctor().FindRadio();
    EXPECT_FALSE(w.Doctor().Scanning());
    EXPECT_EQ(w.Doctor().Details()->findChild<QLabel*>("scanState")->text(),
              "Find radio does not probe a rig-sharing server: its own settings choose the radio.");
    EXPECT_TRUE(OpenButton(w)->isChecked());
    EXPECT_TRUE(PortIsOpen(w));
}

// A server that gives up on its silent radio closes the connection: the status line says the
// server cannot reach its radio, and keeps saying it while the link reconnects and waits.
TEST_F(RigctldWindow, AServerThatDropsTheLinkForItsRadioIsSaidSoOnTheStatusLine) {
    const QString device = dir_.filePath("radio");
    Radiosim radio(dir_.filePath("radiosim.ini"), 1,
                   {"--model", "ts590s", "--silent", "--link", device});
    ASSERT_TRUE(radio.Started());
    Rigctld server({"-m", "2031", "-r", device, "-s", "9600", "-C", "timeout=100,retry=0"});
    ASSERT_TRUE(server.Started()) << server.Output().toStdString();
    MainWindow& w = OpenThrough(server);
    const auto said = [&] { return StatusLine(w)->text().contains("rigctld: radio not reached"); };
    ASSERT_TRUE(QTest::qWaitFor(said, 20000)) << StatusLine(w)->text().toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Replug().Status().state == LinkState::Open && PortIsOpen(w); }, 5000));
    for (int i = 0; i < 30; ++i) {
        QTest::qWait(100);
        ASSERT_TRUE(said()) << "after the reconnect: " << StatusLine(w)->text().toStdString();
    }
}

struct ModelRow {
    const char* name;
    QStringList radiosim;
    QStringList rigctld;
    QStringList writes;  // what radiosim reports our set commands changed
};

void PrintTo(const ModelRow& row, std::ostream* out) { *out << row.name; }

class RigctldRadio : public RigctldWindow, public ::testing::WithParamInterface<ModelRow> {};

TEST_P(RigctldRadio, ReadsAndSetsOnlyWhatWasAsked) {
    const ModelRow& row = GetParam();
    const QString device = dir_.filePath("radio");
    Radiosim radio(dir_.filePath("radiosim.ini"), 1, row.radiosim + QStringList{"--link", device});
    ASSERT_TRUE(radio.Started());
    Rigctld server(row.rigctld + QStringList{"-r", device});
    ASSERT_TRUE(server.Started()) << server.Output().toStdString();
    // rigctld's own start is its business (an ICOM model moves the dial 100 Hz and back and
    // selects VFO A); from here on, every change comes from the operator.
    QTest::qWait(300);
    radio.Forget();
    MainWindow& w = OpenThrough(server);
    ASSERT_TRUE(ReadingFollows(w, radio, 30))
        << Reading(w)->text().toStdString() << " | " << StatusLine(w)->text().toStdString() << " | "
        << radio.Lines().join("\n").toStdString();
    EXPECT_EQ(Writes(radio), QStringList{}) << "the link changed the radio by itself";

    FrequencyEntry(w)->setText("21.074");
    SetButton(w)->click();
    EXPECT_TRUE(radio.WaitForLine("freq 21074000"));
    PickMode(w, "CW");
    EXPECT_TRUE(radio.WaitForLine("mode CW"));
    ASSERT_TRUE(Shows(w, "21.074.00 CW")) << Reading(w)->text().toStdString();
    EXPECT_EQ(Writes(radio), row.writes);
}

INSTANTIATE_TEST_SUITE_P(
    Models, RigctldRadio,
    ::testing::Values(ModelRow{"Ic7300",
                               {"--model", "ic7300", "--speed", "19200"},
                               {"-m", "3073", "-s", "19200"},
                               // Frequency of the selected VFO (25 00) in packed decimal, then the
                               // mode CW (26 00 03) with the filter the radio had (01).
                               {"write civ 25 00 00 40 07 21 00", "write civ 26 00 03 00 01"}},
                      ModelRow{"Ts590s",
                               {"--model", "ts590s", "--speed", "9600"},
                               {"-m", "2031", "-s", "9600"},
                               {"write kenwood FA00021074000;", "write kenwood MD3;"}}),
    [](const auto& instance) { return std::string(instance.param.name); });

// ---- flrig ---------------------------------------------------------------------------------

TEST(FlrigDoctor, ReadsThroughFlrigOrSaysItHasNoTransceiver) {
    const struct {
        const char* name;
        QStringList radio;
        int status;
        QStringList said;
    } rows[] = {
        {"with an IC-7300",
         {"--model", "ic7300"},
         0,
         {"verdict: answering", "display: 14.074.00 USB", "server: flrig 1.4.7 with IC-7300"}},
        // A slow link or a busy flrig: each answer in two halves half a second apart.
        {"with answers in halves",
         {"--model", "ic7300", "--split", "500"},
         0,
         {"verdict: answering", "frequency: 14.074000 MHz"}},
        {"without a transceiver",
         {"--model", "ic7300", "--silent"},
         1,
         {"verdict: server-radio-fails", "flrig: radio not reached", "flrig has no transceiver"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir home;
        Radiosim radio(home.filePath("radiosim.ini"), 1, QStringList{"--flrig", "0"} + row.radio);
        ASSERT_TRUE(radio.Started());
        const Outcome run = Doctor(home, "flrig://" + radio.Address());
        const std::string out = run.out.toStdString();
        EXPECT_EQ(run.status, row.status) << out;
        for (const QString& said : row.said) EXPECT_TRUE(run.out.contains(said)) << out;
        EXPECT_EQ(Writes(radio), QStringList()) << out;
    }
}

class FlrigWindow : public RigctldWindow {
protected:
    void SetUp() override { WindowTest::SetUp(); }
};

TEST_F(FlrigWindow, ReadsSetsAndRidesOutFlrigGoingAway) {
    auto radio =
        std::make_unique<Radiosim>(IniPath(), 9, QStringList{"--flrig", "0", "--model", "ic7300"});
    ASSERT_TRUE(radio->Started());
    const QString address = "flrig://" + radio->Address();
    MapPort(5, address);
    MainWindow& w = Start();
    w.show();
    ChooseLink(w, "ICOM", 5);
    OpenButton(w)->click();
    ASSERT_TRUE(Shows(w, "14.074.00 USB")) << Reading(w)->text().toStdString();
    FrequencyEntry(w)->setText("7.074");
    SetButton(w)->click();
    PickMode(w, "CW");
    ASSERT_TRUE(Shows(w, " 7.074.00 CW")) << Reading(w)->text().toStdString();
    // The traffic names the server's address, not a line speed it does not use.
    w.Doctor().ShowDetails();
    EXPECT_TRUE(w.Doctor().Details()->findChild<QPlainTextEdit*>("monitor")->toPlainText().contains(
        "--- flrig on Com 5 (" + address + ") ---"));
    EXPECT_EQ(Writes(*radio),
              QStringList({"write flrig rig.set_vfo 7074000.0", "write flrig rig.set_mode CW"}));

    // flrig closed under the live link: the link waits, and comes back with flrig.
    radio.reset();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Replug().Status().state == LinkState::WaitingForDevice; }, 5000));
    radio = std::make_unique<Radiosim>(
        IniPath(), 9,
        QStringList{"--flrig", address.mid(address.indexOf("//") + 2), "--model", "ic7300"});
    ASSERT_TRUE(radio->Started());
    ASSERT_TRUE(Shows(w, "14.074.00 USB")) << Reading(w)->text().toStdString();
}

}  // namespace
}  // namespace cat
