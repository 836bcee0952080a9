// The whole program against the virtual radio: the real window, the real serial port, a pty and
// radiosim, one group per protocol.
#include <QTest>

#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

class LiveRadioTest : public test::WindowTest {
protected:
    // Starts radiosim on Com 1 and the window, and ticks "Open" with the given protocol.
    MainWindow& OpenWith(const QString& protocol, const QStringList& radioOptions) {
        radio = std::make_unique<Radiosim>(IniPath(), 1, radioOptions);
        EXPECT_TRUE(radio->Started());
        MainWindow& w = Start();
        w.show();
        ProtocolList(w)->setCurrentText(protocol);
        PortList(w)->setCurrentIndex(0);
        SpeedList(w)->setCurrentText("9600");
        AddressBox(w)->setText("5E");
        OpenButton(w)->click();
        return w;
    }
    bool Shows(MainWindow& w, const QString& text, int ms = 8000) {
        return QTest::qWaitFor([&] { return Reading(w)->text() == text; }, ms);
    }
    void Set(MainWindow& w, const QString& mhz) {
        FrequencyEntry(w)->setText(mhz);
        SetButton(w)->click();
    }
    void PickMode(MainWindow& w, int index) {
        ModeList(w)->setCurrentIndex(index);
        emit ModeList(w)->activated(index);  // what a pick from the drop-down list delivers
    }
    // radiosim has handled everything it was sent before this call.
    void Settle() {
        radio->Control("ping settle");
        ASSERT_TRUE(radio->WaitForLine("pong settle"));
    }

    std::unique_ptr<Radiosim> radio;
};

TEST_F(LiveRadioTest, IcomShowsSetsAndFollows) {
    MainWindow& w = OpenWith("ICOM", {"--protocol", "icom", "--address", "5E"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, "14.074.00 USB")) << Reading(w)->text().toStdString();
    Set(w, "7.074");
    EXPECT_TRUE(radio->WaitForLine("freq 7074000"));
    EXPECT_TRUE(Shows(w, " 7.074.00 USB")) << Reading(w)->text().toStdString();
    Set(w, "144.3");
    EXPECT_TRUE(radio->WaitForLine("freq 144300000"));
    EXPECT_TRUE(Shows(w, "144.300.0 USB")) << Reading(w)->text().toStdString();
}

TEST_F(LiveRadioTest, IcomModesFromTheList) {
    MainWindow& w = OpenWith("ICOM", {"--protocol", "icom"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    const char* modes[] = {"LSB", "USB", "CW", "AM", "FM", "FSK"};
    for (int i = 0; i < 6; ++i) {
        radio->Forget();
        PickMode(w, i);
        EXPECT_TRUE(radio->WaitForLine(QString("mode ") + modes[i])) << modes[i];
    }
    EXPECT_TRUE(Shows(w, "14.074.00 FSK")) << Reading(w)->text().toStdString();
    radio->Forget();
    PickMode(w, 6);  // PKT has no CI-V mode: nothing goes out
    Settle();
    EXPECT_EQ(radio->CountStartingWith("rx fe fe 5e e0 06"), 0);
    EXPECT_EQ(radio->CountStartingWith("mode"), 0);
}

TEST_F(LiveRadioTest, IcomThroughAnEchoingBusWithAnnouncements) {
    MainWindow& w = OpenWith("ICOM", {"--protocol", "icom", "--echo", "--transceive", "--freq",
                                      "3.5655", "--mode", "LSB"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, " 3.565.50 LSB")) << Reading(w)->text().toStdString();
    // The operator turns the radio's dial; the announcement arrives between two polls.
    radio->Control("freq 21.074");
    EXPECT_TRUE(Shows(w, "21.074.00 LSB", 1500)) << "an announcement shows before the next poll";
    radio->Control("mode CW");
    EXPECT_TRUE(Shows(w, "21.074.00 CW", 1500)) << Reading(w)->text().toStdString() << "\n"
                                                << radio->Lines().join("\n").toStdString();
}

TEST_F(LiveRadioTest, KenwoodShowsSetsAndFollows) {
    MainWindow& w =
        OpenWith("Kenwood", {"--protocol", "kenwood", "--freq", "7.074", "--mode", "CW"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, " 7.074.00 CW")) << Reading(w)->text().toStdString();
    Set(w, "14.074");
    EXPECT_TRUE(radio->WaitForLine("freq 14074000"));
    EXPECT_TRUE(Shows(w, "14.074.00 CW"));
    const char* modes[] = {"LSB", "USB", "CW", "AM", "FM", "FSK"};
    for (int i = 0; i < 6; ++i) {
        PickMode(w, i);
        EXPECT_TRUE(radio->WaitForLine(QString("mode ") + modes[i])) << modes[i];
    }
    radio->Forget();
    PickMode(w, 6);
    Settle();
    EXPECT_EQ(radio->CountStartingWith("rx 4d 44"), 0) << "PKT sends no MD command";
}

// A radio of today speaking Yaesu's own text commands: read, set, and named modes both ways; and
// nothing the link sends on its own changes it.
TEST_F(LiveRadioTest, YaesuShowsSetsAndFollows) {
    MainWindow& w = OpenWith("Yaesu", {"--model", "ft991a", "--freq", "7.074", "--mode", "CW"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, " 7.074.00 CW")) << Reading(w)->text().toStdString();
    EXPECT_EQ(radio->CountStartingWith("write "), 0) << "polls changed the radio";
    Set(w, "14.074");
    EXPECT_TRUE(radio->WaitForLine("freq 14074000"));
    EXPECT_TRUE(Shows(w, "14.074.00 CW"));
    const char* modes[] = {"LSB", "USB", "CW", "AM", "FM", "FSK"};
    for (int i = 0; i < 6; ++i) {
        PickMode(w, i);
        EXPECT_TRUE(radio->WaitForLine(QString("mode ") + modes[i])) << modes[i];
        EXPECT_TRUE(Shows(w, QString("14.074.00 ") + modes[i])) << modes[i];
    }
    radio->Control("freq 21.074");
    EXPECT_TRUE(Shows(w, "21.074.00 FSK"));
}

TEST_F(LiveRadioTest, KenwoodReplyInPiecesIsAssembled) {
    MainWindow& w = OpenWith("Kenwood", {"--protocol", "kenwood", "--silent"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    const QByteArray reply = "IF00010136000" + QByteArray(16, '0') + "1" + QByteArray(7, '0') + ";";
    auto hex = [](const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex(' ')); };
    // Once the link polls: what comes before is the line's check for a five-byte radio's.
    ASSERT_TRUE(radio->WaitForLine("rx 49 46 3b"));
    radio->Control("send " + hex(reply.left(20)));
    QTest::qWait(300);
    EXPECT_EQ(Reading(w)->text(), "") << "half a reply changes nothing";
    radio->Control("send " + hex(reply.mid(20)));
    EXPECT_TRUE(Shows(w, "10.136.00 LSB")) << Reading(w)->text().toStdString();
}

TEST_F(LiveRadioTest, Ft817ShowsSetsAndFollows) {
    MainWindow& w = OpenWith("FT-817", {"--protocol", "ft817", "--freq", "144.3", "--mode", "FM"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, "144.300.0 FM")) << Reading(w)->text().toStdString();
    Set(w, "7.074");
    EXPECT_TRUE(radio->WaitForLine("freq 7074000"));
    EXPECT_TRUE(Shows(w, " 7.074.00 FM"));
    const char* modes[] = {"LSB", "USB", "CW", "AM", "FM", "FSK", "PKT"};
    for (int i = 0; i < 7; ++i) {
        PickMode(w, i);
        EXPECT_TRUE(radio->WaitForLine(QString("mode ") + modes[i])) << modes[i];
    }
}

// The display shows only what the radio said: through an echoing interface the FT-817 is read
// past its own echoed command, a mode the list has no name for shows no mode, and a Kenwood
// status whose frequency is not digits is no reading.
TEST_F(LiveRadioTest, Ft817BehindAnEchoingInterfaceIsRead) {
    MainWindow& w = OpenWith("FT-817", {"--protocol", "ft817", "--echo", "--freq", "7.074"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    EXPECT_TRUE(Shows(w, " 7.074.00 USB")) << Reading(w)->text().toStdString();
}

TEST_F(LiveRadioTest, IcomModeWithoutANameShowsNoMode) {
    MainWindow& w = OpenWith("ICOM", {"--protocol", "icom"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, "14.074.00 USB")) << Reading(w)->text().toStdString();
    // A mode announcement with no mode byte, between two polls.
    radio->Control("send fe fe 00 5e 01 fd");
    EXPECT_TRUE(Shows(w, "14.074.00", 1500)) << Reading(w)->text().toStdString();
}

TEST_F(LiveRadioTest, KenwoodStatusWithAFrequencyThatIsNotDigitsIsNoReading) {
    MainWindow& w = OpenWith("Kenwood", {"--protocol", "kenwood", "--silent"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    auto hex = [](const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex(' ')); };
    const QByteArray tail = QByteArray(16, '0') + "2" + QByteArray(7, '0') + ";";
    ASSERT_TRUE(radio->WaitForLine("rx 49 46 3b"));  // the link polls: its line check is over
    radio->Control("send " + hex("IF0001407abcd" + tail));
    radio->Control("send " + hex("IF   14.07400" + tail));
    Settle();
    QTest::qWait(300);
    EXPECT_EQ(Reading(w)->text(), "");
    radio->Control("send " + hex("IF00014074000" + tail));
    EXPECT_TRUE(Shows(w, "14.074.00 USB")) << Reading(w)->text().toStdString();
}

TEST_F(LiveRadioTest, SilentRadioNeverHangsAndTheDisplayStaysEmpty) {
    MainWindow& w = OpenWith("FT-817", {"--protocol", "ft817", "--silent"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    int ticks = 0;
    QObject::connect(PollingTimer(w), &QTimer::timeout, [&] { ++ticks; });
    QTest::qWait(2000);
    // Each tick waits its bounded 0.30 s for a reply that never comes, then the next one runs.
    EXPECT_GE(ticks, 3);
    EXPECT_GE(radio->CountStartingWith("rx 00 00 00 00 03"), 3);
    EXPECT_EQ(Reading(w)->text(), "");
    EXPECT_FALSE(w.State().busy);
}

TEST_F(LiveRadioTest, ClosingTheLinkKeepsTheDisplay) {
    MainWindow& w = OpenWith("FT-817", {"--protocol", "ft817"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, "14.074.00 USB"));
    OpenButton(w)->click();
    EXPECT_FALSE(PortIsOpen(w));
    QTest::qWait(400);
    EXPECT_EQ(Reading(w)->text(), "14.074.00 USB");
}

TEST_F(LiveRadioTest, PtyClosedUnderARunningLinkIsSurvived) {
    MainWindow& w = OpenWith("Kenwood", {"--protocol", "kenwood"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, "14.074.00 USB"));
    radio->Stop();  // the device disappears, as an unplugged adapter does
    int ticks = 0;
    QObject::connect(PollingTimer(w), &QTimer::timeout, [&] { ++ticks; });
    QTest::qWait(1000);
    EXPECT_GE(ticks, 3) << "the program goes on";
    EXPECT_FALSE(PortIsOpen(w));
    EXPECT_EQ(Reading(w)->text(), "14.074.00 USB");
    OpenButton(w)->click();  // the operator unticks: harmless
    EXPECT_FALSE(OpenButton(w)->isChecked());
    EXPECT_TRUE(PortList(w)->isEnabled());
}

TEST_F(LiveRadioTest, MinimisedWindowSendsNothing) {
    MainWindow& w = OpenWith("Kenwood", {"--protocol", "kenwood"});
    ASSERT_TRUE(PortIsOpen(w)) << "the link did not open";
    ASSERT_TRUE(Shows(w, "14.074.00 USB"));
    w.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMinimized(); }, 2000));
    Settle();
    radio->Forget();
    QTest::qWait(800);
    Settle();
    EXPECT_EQ(radio->CountStartingWith("rx"), 0) << radio->Lines().join("\n").toStdString();
    w.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(radio->WaitForLine("rx 49 46 3b")) << "polling resumes after a restore";
}

}  // namespace
}  // namespace cat
