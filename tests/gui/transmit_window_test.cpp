// Transmit safety in the window, against radiosim serving its radio as a network serial port
// whose DTR and RTS reach its transmitter: a radio keyed by the open, and the PTT test.
#include <QApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QTest>

#include "doctor/diagnosis.h"
#include "qt/ports/last_words.h"
#include "qt/window/link_doctor.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

class TransmitWindowTest : public WindowTest {
protected:
    MainWindow& OpenWith(const QString& protocol, const QStringList& radioOptions) {
        radio =
            std::make_unique<Radiosim>(IniPath(), 3, QStringList{"--rfc2217", "0"} + radioOptions);
        EXPECT_TRUE(radio->Started());
        MainWindow& w = Start();
        w.show();
        ChooseLink(w, protocol, 3, "9600", "94");
        sinceOpen.start();
        OpenButton(w)->click();
        return w;
    }
    // The details panel, a window of its own.
    static QWidget* Details() {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == "linkDetails") return top;
        return nullptr;
    }
    template <typename T>
    static T* InDetails(const char* name) {
        QWidget* details = Details();
        return details ? details->findChild<T*>(name) : nullptr;
    }
    // Starts the PTT test by `way` for `seconds`, confirming the box, which must name the
    // frequency the radio transmits on.
    void TestPtt(MainWindow& w, int way, double seconds) {
        DetailsButton(w)->click();
        ASSERT_NE(InDetails<QPushButton>("testPtt"), nullptr);
        InDetails<QComboBox>("pttMethod")->setCurrentIndex(way);
        InDetails<QDoubleSpinBox>("pttSeconds")->setValue(seconds);
        const bool asked = WithModalBox([] { InDetails<QPushButton>("testPtt")->click(); },
                                        [](QMessageBox& box) {
                                            EXPECT_TRUE(box.text().contains("14.074.00"))
                                                << box.text().toStdString();
                                            for (QAbstractButton* b : box.buttons())
                                                if (b->text() == "Transmit") b->click();
                                        });
        ASSERT_TRUE(asked) << "no confirmation before keying";
    }

    std::unique_ptr<Radiosim> radio;
    QElapsedTimer sinceOpen;
};

TEST_F(TransmitWindowTest, ARadioKeyedByTheOpenIsNamedAndTheEntryWritten) {
    MainWindow& w = OpenWith("ICOM", {"--model", "ic7300", "--address", "94", "--ptt", "dtr"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return StatusLine(w)->text() == "! DTR keys this radio"; }, 5000))
        << StatusLine(w)->text().toStdString();
    std::printf("Open to the line named in the window: %lld ms\n",
                static_cast<long long>(sinceOpen.elapsed()));
    EXPECT_TRUE(StatusLine(w)->toolTip().contains("went to transmit when the port opened"));
    EXPECT_EQ(radio->Lines().filter("transmit ").last(), "transmit off");

    // The details came up with the button that writes the entry.
    QPushButton* write = InDetails<QPushButton>("writeLineEntry");
    ASSERT_NE(write, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return write->isVisible(); }, 2000));
    EXPECT_EQ(write->text(), "Set Com3.DTR=off");
    // The lines as the far port answered: DTR dropped, and radiosim's CTS and DSR up.
    QLabel* lines = InDetails<QLabel>("modemLines");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return lines->text() ==
                   QString::fromUtf8("DTR off · RTS off · CTS on · DSR on · DCD off");
        },
        3000))
        << lines->text().toStdString();
    write->click();
    EXPECT_EQ(QSettings(IniPath(), QSettings::IniFormat).value("Ports/Com3.DTR").toString(), "off");

    // Opened again, the port keeps DTR low: the radio stays in receive and the doctor's words
    // come back.
    OpenButton(w)->click();
    OpenButton(w)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == "14.074.00 USB"; }, 8000));
    QTest::qWait(1000);
    EXPECT_FALSE(StatusLine(w)->text().contains("keys this radio"))
        << StatusLine(w)->text().toStdString();
    EXPECT_EQ(radio->Lines().filter("transmit ").last(), "transmit off");
}

TEST_F(TransmitWindowTest, ThePttTestKeysByRtsAndTellsItWorked) {
    // An interface that keys by RTS does no RTS/CTS flow control.
    QSettings(IniPath(), QSettings::IniFormat).setValue("Ports/Com3.Handshake", "none");
    MainWindow& w = OpenWith("Kenwood", {"--model", "ts590s", "--ptt", "rts"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == "14.074.00 USB"; }, 8000));
    radio->Forget();
    TestPtt(w, 1, 0.5);
    QLabel* result = InDetails<QLabel>("pttResult");
    ASSERT_TRUE(QTest::qWaitFor([&] { return result->text().contains("worked"); }, 5000))
        << result->text().toStdString();
    EXPECT_TRUE(result->text().startsWith("Keying by RTS worked")) << result->text().toStdString();
    EXPECT_TRUE(result->text().contains("back in receive")) << result->text().toStdString();
    EXPECT_EQ(radio->Lines().filter("transmit "),
              (QStringList{"transmit on (rts)", "transmit off"}));
    // The poll carries on after the test.
    radio->Control("freq 7.074");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == " 7.074.00 USB"; }, 5000));
}

// Keyed by hand while the link runs: the status line says so while it lasts, and the lines are
// not touched.
TEST_F(TransmitWindowTest, ARadioKeyedLaterIsShownUntilItReceivesAgain) {
    QSettings(IniPath(), QSettings::IniFormat).setValue("Ports/Com3.Handshake", "none");
    MainWindow& w = OpenWith("Kenwood", {"--model", "ts590s", "--ptt", "rts"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == "14.074.00 USB"; }, 8000));
    // The reading shows as it comes; the line says the radio answers once the doctor is sure.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Doctor().Current().kind == doctor::VerdictKind::Answering; }, 3000));
    const QString normal = StatusLine(w)->text();
    radio->Forget();
    radio->Control("key on");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return StatusLine(w)->text() == "! Radio is transmitting"; }, 3000))
        << StatusLine(w)->text().toStdString();
    radio->Control("key off");
    EXPECT_TRUE(QTest::qWaitFor([&] { return StatusLine(w)->text() == normal; }, 3000))
        << StatusLine(w)->text().toStdString();
    EXPECT_EQ(radio->CountStartingWith("lines "), 0) << radio->Lines().join('\n').toStdString();
}

TEST_F(TransmitWindowTest, ClosingTheWindowUnkeysACatTest) {
    MainWindow& w = OpenWith("ICOM", {"--model", "ic7300", "--address", "94"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == "14.074.00 USB"; }, 8000));
    TestPtt(w, 0, 5.0);
    ASSERT_TRUE(radio->WaitForLine("transmit on (cat)", 3000));
    EXPECT_TRUE(LastWordsArmed()) << "a crash now would leave the radio keyed";
    QElapsedTimer sinceClose;
    sinceClose.start();
    CloseWindow();
    EXPECT_TRUE(radio->WaitForLine("transmit off", 1000));
    EXPECT_LT(sinceClose.elapsed(), 1000);
    EXPECT_FALSE(LastWordsArmed());
}

}  // namespace
}  // namespace cat
