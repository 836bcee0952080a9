// The link doctor in the real window: each fault on the line, played by radiosim (or by the port
// itself), for each protocol it can happen with, and what the status line then says.

#include <QProcess>
#include <QTest>
#include <functional>

#include "core/session_state.h"
#include "doctor/diagnosis.h"
#include "qt/ports/replug_watch.h"
#include "qt/window/link_doctor.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

using doctor::VerdictKind;

struct FaultRow {
    const char* name;
    const char* protocol;  // the window's choice
    QStringList radio;     // radiosim's options; empty: no radiosim at all
    VerdictKind verdict;
    const char* says = "";  // in the status line's tooltip (the whole text)
    const char* speed = "9600";
    std::function<void()> meanwhile = nullptr;  // done to the radio once the link is open
};

std::ostream& operator<<(std::ostream& os, const FaultRow& row) { return os << row.name; }

class DoctorTest : public test::WindowTest, public ::testing::WithParamInterface<FaultRow> {
protected:
    // The verdict the window shows within `ms`, or the last one it showed: the caller compares
    // it, so a wait that ran out reads as the verdict that was there instead.
    VerdictKind Shows(MainWindow& w, VerdictKind wanted, int ms = 6000) {
        [[maybe_unused]] const bool seen =
            QTest::qWaitFor([&] { return w.Doctor().Current().kind == wanted; }, ms);
        return w.Doctor().Current().kind;
    }
    void Open(MainWindow& w, const char* protocol, const char* speed) {
        w.show();
        ProtocolList(w)->setCurrentIndex(ProtocolList(w)->findText(QString::fromLatin1(protocol)));
        PortList(w)->setCurrentIndex(0);
        SpeedList(w)->setCurrentText(QString::fromLatin1(speed));
        AddressBox(w)->setText("5E");
        OpenButton(w)->click();
    }
    std::unique_ptr<Radiosim> radio;
};

TEST_P(DoctorTest, StatusLineNamesTheFault) {
    const FaultRow& row = GetParam();
    if (row.radio.isEmpty()) {
        Stored("ComPort", "0");
        QSettings(IniPath(), QSettings::IniFormat)
            .setValue("Ports/Com1", dir_.filePath("no-such-adapter"));
    } else {
        // A path of its own, as a USB adapter's by-id name is: "LINK" stands for it.
        QStringList options = row.radio;
        const QString link = dir_.filePath("adapter");
        options.replaceInStrings("LINK", link);
        radio = std::make_unique<Radiosim>(IniPath(), 1, options);
        ASSERT_TRUE(radio->Started());
        if (options.contains(link))
            QSettings(IniPath(), QSettings::IniFormat).setValue("Ports/Com1", link);
    }
    MainWindow& w = Start();
    if (row.radio.isEmpty()) {
        // A ticked link waits for a device that is not there; the status line says what is wrong.
        Open(w, row.protocol, row.speed);
        ASSERT_EQ(w.Replug().Status().state, LinkState::WaitingForDevice);
    } else {
        Open(w, row.protocol, row.speed);
        ASSERT_TRUE(PortIsOpen(w));
    }
    if (row.meanwhile) row.meanwhile();
    if (QString(row.name).startsWith("Vanished")) radio->Stop();

    EXPECT_EQ(Shows(w, row.verdict), row.verdict) << StatusLine(w)->toolTip().toStdString();
    EXPECT_TRUE(StatusLine(w)->toolTip().contains(QString::fromUtf8(row.says)))
        << StatusLine(w)->toolTip().toStdString();
    EXPECT_FALSE(StatusLine(w)->text().isEmpty());
}

// clang-format off
const FaultRow kFaults[] = {
    {"MissingIcom", "ICOM", {}, VerdictKind::DeviceMissing, "opens by itself when it appears"},
    {"MissingKenwood", "Kenwood", {}, VerdictKind::DeviceMissing, "Serial devices present now"},
    {"MissingFt817", "FT-817", {}, VerdictKind::DeviceMissing, "no-such-adapter"},
    {"SilentIcom", "ICOM", {"--protocol", "icom", "--silent"}, VerdictKind::NoReply, "CI-V"},
    {"SilentKenwood", "Kenwood", {"--protocol", "kenwood", "--silent"}, VerdictKind::NoReply},
    {"SilentFt817", "FT-817", {"--protocol", "ft817", "--silent"}, VerdictKind::NoReply, "menu 14"},
    {"EchoOnlyIcom", "ICOM", {"--protocol", "icom", "--echo-only"}, VerdictKind::EchoOnly},
    {"EchoOnlyKenwood", "Kenwood", {"--protocol", "kenwood", "--echo-only"}, VerdictKind::EchoOnly},
    {"EchoOnlyFt817", "FT-817", {"--protocol", "ft817", "--echo-only"}, VerdictKind::EchoOnly},
    {"OtherAddressIcom", "ICOM", {"--model", "ic7300"}, VerdictKind::OtherAddress,
     "address 94, not 5E"},
    {"GarbledIcom", "ICOM", {"--protocol", "icom", "--garble"}, VerdictKind::Garbled},
    {"GarbledKenwood", "Kenwood", {"--protocol", "kenwood", "--garble"}, VerdictKind::Garbled},
    {"GarbledFt817", "FT-817", {"--protocol", "ft817", "--garble"}, VerdictKind::Garbled},
    // At another speed no ";" of the link's reaches the radio whole: it never takes a command
    // and never answers, as a real one does.
    {"WrongSpeedKenwood", "Kenwood", {"--protocol", "kenwood", "--speed", "4800"},
     VerdictKind::NoReply, "Nothing comes back"},
    // A Kenwood radio keeps another family's reads in its buffer, waiting for a ";" they never
    // carry: it says nothing, as a real one does (Find radio names it).
    {"KenwoodRadioForIcom", "ICOM", {"--protocol", "kenwood"}, VerdictKind::NoReply,
     "Nothing comes back"},
    {"KenwoodRadioForFt817", "FT-817", {"--protocol", "kenwood"}, VerdictKind::NoReply,
     "Nothing comes back"},
    {"RefusesKenwood", "Kenwood", {"--protocol", "kenwood", "--refuse"}, VerdictKind::Refuses,
     "?;"},
    {"RefusesIcom", "ICOM", {"--protocol", "icom", "--refuse"}, VerdictKind::Refuses, "NG"},
    {"CtsLowKenwood", "Kenwood", {"--protocol", "kenwood", "--cts-low"},
     VerdictKind::OutputBlocked, "RTS/CTS"},
    // The ICOM and Kenwood links first look for a five-byte radio (about half a second at 9600):
    // the radio stops after it has answered their own reads.
    {"StoppedIcom", "ICOM", {"--protocol", "icom", "--stop-after", "1.5"}, VerdictKind::Stopped},
    {"StoppedKenwood", "Kenwood", {"--protocol", "kenwood", "--stop-after", "1.5"},
     VerdictKind::Stopped},
    {"StoppedFt817", "FT-817", {"--protocol", "ft817", "--stop-after", "0.5"},
     VerdictKind::Stopped},
    {"VanishedIcom", "ICOM", {"--protocol", "icom"}, VerdictKind::Vanished, "unplugged"},
    {"VanishedKenwood", "Kenwood", {"--protocol", "kenwood"}, VerdictKind::Vanished},
    {"VanishedFt817", "FT-817", {"--protocol", "ft817"}, VerdictKind::Vanished},
    {"VanishedAdapterIsWaitedFor", "Kenwood", {"--protocol", "kenwood", "--link", "LINK"},
     VerdictKind::Vanished, "reopens by itself when it is back"},
    {"AnswersIcom", "ICOM", {"--protocol", "icom"}, VerdictKind::Answering, "at address 5E"},
    {"AnswersKenwood", "Kenwood", {"--protocol", "kenwood"}, VerdictKind::Answering},
    {"AnswersFt817", "FT-817", {"--protocol", "ft817"}, VerdictKind::Answering},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Faults, DoctorTest, ::testing::ValuesIn(kFaults),
                         [](const auto& instance) { return std::string(instance.param.name); });

class DoctorWindowTest : public test::WindowTest {};

TEST_F(DoctorWindowTest, NoProtocolChosenSaysToChooseOne) {
    Radiosim radio(IniPath(), 1, {"--protocol", "icom"});
    ASSERT_TRUE(radio.Started());
    MainWindow& w = Start();
    w.show();
    PortList(w)->setCurrentIndex(0);
    OpenButton(w)->click();
    EXPECT_EQ(w.Doctor().Current().kind, VerdictKind::NoProtocol);
    EXPECT_TRUE(StatusLine(w)->text().contains("Choose a protocol"));
}

// The display keeps the radio's last values when it stops answering, but greyed, so nobody takes
// an old frequency for a live one; the same once the link is closed.
TEST_F(DoctorWindowTest, OldValuesLookOld) {
    Radiosim radio(IniPath(), 1, {"--protocol", "kenwood", "--stop-after", "1"});
    ASSERT_TRUE(radio.Started());
    MainWindow& w = Start();
    w.show();
    ProtocolList(w)->setCurrentText("Kenwood");
    PortList(w)->setCurrentIndex(0);
    SpeedList(w)->setCurrentText("9600");
    OpenButton(w)->click();
    const auto textColour = [&] { return Reading(w)->palette().color(QPalette::Text); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == "14.074.00 USB"; }, 5000));
    // The reading shows as it comes, and looks live once the doctor is sure the radio answers.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.Doctor().Current().kind == VerdictKind::Answering; }, 3000));
    const QColor live = textColour();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.Doctor().Current().kind == VerdictKind::Stopped; }, 6000));
    EXPECT_EQ(Reading(w)->text(), "14.074.00 USB");
    EXPECT_NE(textColour(), live);
    OpenButton(w)->click();
    EXPECT_EQ(w.Doctor().Current().kind, VerdictKind::Closed);
    EXPECT_NE(textColour(), live);
}

// Find radio, from the details panel: the radio is at another speed and address than chosen; the
// scan names it, and using what it found brings the link up. The radio answers 60 ms after each
// read, as a busy one may: the scan waits out its listening time.
TEST_F(DoctorWindowTest, FindRadioFindsItAndItsSettingsBringTheLinkUp) {
    Radiosim radio(IniPath(), 1, {"--model", "ic705", "--speed", "19200", "--delay", "60"});
    ASSERT_TRUE(radio.Started());
    MainWindow& w = Start();
    w.show();
    ProtocolList(w)->setCurrentText("Kenwood");
    PortList(w)->setCurrentIndex(0);
    SpeedList(w)->setCurrentText("4800");
    w.Doctor().ShowDetails();
    w.Doctor().FindRadio();
    ASSERT_TRUE(w.Doctor().Scanning());
    auto* state = w.Doctor().Details()->findChild<QLabel*>("scanState");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Doctor().Scanning(); }, 20000));
    EXPECT_EQ(state->text(), "Found: IC-705 or Xiegu X6100 at A4 answers at 19200 baud.");
    auto* apply = w.Doctor().Details()->findChild<QPushButton*>("applyFound");
    ASSERT_TRUE(apply->isVisible());
    apply->click();
    EXPECT_EQ(ProtocolList(w)->currentText(), "ICOM");
    EXPECT_EQ(SpeedList(w)->currentText(), "19200");
    EXPECT_EQ(AddressBox(w)->text(), "A4");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return w.Doctor().Current().kind == VerdictKind::Answering; }, 6000));
}

TEST_F(DoctorWindowTest, CancelStopsTheScanAtOnce) {
    Radiosim radio(IniPath(), 1, {"--protocol", "icom", "--silent"});
    ASSERT_TRUE(radio.Started());
    MainWindow& w = Start();
    w.show();
    PortList(w)->setCurrentIndex(0);
    w.Doctor().FindRadio();
    QTest::qWait(300);
    w.Doctor().CancelScan();
    EXPECT_FALSE(w.Doctor().Scanning());
    EXPECT_FALSE(PortIsOpen(w));
}

}  // namespace
}  // namespace cat
