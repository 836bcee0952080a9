// Unplug and replug under a running link, end to end: the real window polls radiosim through a
// path that is a link to its pseudo-terminal; removing the link is the adapter vanishing,
// re-creating it the adapter coming back, and stopping radiosim the radio going off. Each time
// the port closes at once, "Open" stays ticked, and the link reopens and reads the radio again.
#include <unistd.h>

#include <QFile>
#include <QTest>

#include "qt/replug_watch.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using test::Radiosim;

struct Protocol {
    const char* name;
    const char* listText;
    const char* radiosim;
};

// Test names and failures show the row by its name.
void PrintTo(const Protocol& row, std::ostream* out) { *out << row.name; }

class ReplugTest : public test::WindowTest, public ::testing::WithParamInterface<Protocol> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        device = dir_.filePath("radio");
        QSettings ini(IniPath(), QSettings::IniFormat);
        ini.setValue("Ports/Com7", device);
    }

    std::unique_ptr<Radiosim> StartRadio() {
        // radiosim writes its own pty under Com 1; the window opens Com 7, the link.
        auto radio = std::make_unique<Radiosim>(
            IniPath(), 1, QStringList{"--protocol", GetParam().radiosim, "--link", device});
        EXPECT_TRUE(radio->Started());
        return radio;
    }
    frmCAT& OpenWindow() {
        frmCAT& w = Start();
        w.show();
        w.cboSelect->setCurrentText(GetParam().listText);
        w.cboCom->setCurrentIndex(6);
        w.cboSpeed->setCurrentText("9600");
        w.txtAddress->setText("5E");
        w.chkOpen->click();
        return w;
    }
    // The radio's dial moves and the display follows: the link is live, not showing old news.
    bool Follows(frmCAT& w, Radiosim& radio, int khz) {
        const QString mhz = QString::number(7000 + khz) + ".00";  // 7.0xx.00
        radio.Control(QString("freq 7.%1").arg(khz, 3, 10, QChar('0')));
        const QString shown = QString(" 7.%1.00").arg(khz, 3, 10, QChar('0'));
        return QTest::qWaitFor([&] { return w.txtFreq->text().startsWith(shown); }, 8000);
    }
    bool Waiting(frmCAT& w) {
        return QTest::qWaitFor(
            [&] {
                return w.Replug().Status().state == LinkState::WaitingForDevice &&
                       !w.Port().IsOpen();
            },
            3000);
    }
    bool Reopened(frmCAT& w) {
        return QTest::qWaitFor(
            [&] { return w.Replug().Status().state == LinkState::Open && w.Port().IsOpen(); },
            5000);
    }

    QString device;
};

TEST_P(ReplugTest, UnplugAndReplugManyTimesKeepsTheLinkLive) {
    auto radio = StartRadio();
    frmCAT& w = OpenWindow();
    ASSERT_TRUE(w.Port().IsOpen());
    ASSERT_TRUE(Follows(w, *radio, 10)) << w.txtFreq->text().toStdString();
    int lost = 0;
    int reopened = 0;
    QObject::connect(&w.Replug(), &ReplugWatch::DeviceLost, [&] { ++lost; });
    QObject::connect(&w.Replug(), &ReplugWatch::Reopened, [&] { ++reopened; });

    const QByteArray pty = radio->Pty().toLocal8Bit();
    const QByteArray link = device.toLocal8Bit();
    constexpr int kReplugs = 6;
    for (int i = 1; i <= kReplugs; ++i) {
        ASSERT_EQ(::unlink(link.constData()), 0);
        ASSERT_TRUE(Waiting(w)) << "unplug " << i;
        EXPECT_TRUE(w.chkOpen->isChecked());
        ASSERT_EQ(::symlink(pty.constData(), link.constData()), 0);
        ASSERT_TRUE(Reopened(w)) << "replug " << i;
        ASSERT_TRUE(Follows(w, *radio, 10 + i))
            << "replug " << i << ": " << w.txtFreq->text().toStdString();
    }
    EXPECT_EQ(lost, kReplugs);
    EXPECT_EQ(reopened, kReplugs);

    // What the program sets still reaches the radio.
    radio->Forget();
    w.txtFreqTRX->setText("10.136");
    w.cmdSet->click();
    EXPECT_TRUE(radio->WaitForLine("freq 10136000"));
}

TEST_P(ReplugTest, RadioOffAndOnAgainReopensOnTheNewDeviceUntilUnticked) {
    auto radio = StartRadio();
    frmCAT& w = OpenWindow();
    ASSERT_TRUE(Follows(w, *radio, 20)) << w.txtFreq->text().toStdString();
    for (int i = 1; i <= 2; ++i) {
        radio->Stop();  // the pty hangs up and radiosim removes its link
        ASSERT_TRUE(Waiting(w)) << "off " << i;
        radio = StartRadio();  // a new pty behind the same link
        ASSERT_TRUE(Reopened(w)) << "on " << i;
        ASSERT_TRUE(Follows(w, *radio, 20 + i))
            << "on " << i << ": " << w.txtFreq->text().toStdString();
    }
    radio->Stop();
    ASSERT_TRUE(Waiting(w));
    w.chkOpen->click();  // unticked while waiting: nothing waits any more
    EXPECT_EQ(w.Replug().Status().state, LinkState::Closed);
    radio = StartRadio();
    QTest::qWait(500);  // time enough for a reopen that must not happen
    EXPECT_FALSE(w.Port().IsOpen());
}

const Protocol kProtocols[] = {
    {"Icom", "ICOM", "icom"},
    {"Kenwood", "Kenwood", "kenwood"},
    {"Ft817", "FT-817", "ft817"},
};

INSTANTIATE_TEST_SUITE_P(Protocols, ReplugTest, ::testing::ValuesIn(kProtocols),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat
