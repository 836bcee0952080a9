// Ticking "Open" in the real window, against a pseudo-terminal, a port that is not there yet and
// a file that is no serial port.
#include <QFile>
#include <QTest>

#include "qt/replug_watch.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using test::Radiosim;
using test::WindowTest;

class LinkTest : public WindowTest {
protected:
    void Choose(frmCAT& w, const QString& protocol, int comIndex, const QString& speed = "9600") {
        w.cboSelect->setCurrentText(protocol);
        w.cboCom->setCurrentIndex(comIndex);
        w.cboSpeed->setCurrentText(speed);
        w.txtAddress->setText("5e");
    }
    static std::vector<bool> SetupEnabled(frmCAT& w) {
        return {w.cboSelect->isEnabled(), w.cboSpeed->isEnabled(), w.cboCom->isEnabled(),
                w.txtAddress->isEnabled()};
    }
};

TEST_F(LinkTest, OpenOnAMappedPtyOpensItAndDisablesTheSetup) {
    Radiosim radio(IniPath(), 1, {"--protocol", "icom"});
    ASSERT_TRUE(radio.Started());
    frmCAT& w = Start();
    w.show();
    Choose(w, "ICOM", 0);
    EXPECT_TRUE(w.cboCom->toolTip().contains(radio.Pty())) << w.cboCom->toolTip().toStdString();
    w.chkOpen->click();
    EXPECT_TRUE(w.chkOpen->isChecked());
    EXPECT_TRUE(w.Port().IsOpen());
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, false));
    EXPECT_EQ(w.State().RadioAddr, "5E");
    EXPECT_TRUE(radio.WaitForLine("open"));

    w.chkOpen->click();
    EXPECT_FALSE(w.Port().IsOpen());
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, true));
    EXPECT_TRUE(w.Timer1->isActive()) << "closing keeps the timer";
    EXPECT_EQ(w.State().ProtocolCode, 200) << "closing keeps the protocol";
}

TEST_F(LinkTest, AbsentDeviceIsWaitedForAndTheLinkOpensWhenItIsPluggedIn) {
    const QString device = dir_.filePath("radio");
    QSettings ini(IniPath(), QSettings::IniFormat);
    ini.setValue("Ports/Com32", device);
    ini.sync();
    frmCAT& w = Start();
    w.show();
    Choose(w, "ICOM", 31);
    w.chkOpen->click();  // the box watcher fails the test if an error box comes up
    EXPECT_TRUE(w.chkOpen->isChecked());
    EXPECT_FALSE(w.Port().IsOpen());
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, false)) << "a waiting link is a ticked link";
    EXPECT_EQ(w.Replug().Status().state, LinkState::WaitingForDevice);
    EXPECT_EQ(w.Replug().Status().device, device.toStdString());
    EXPECT_NE(w.Replug().Status().detail.find("was not found"), std::string::npos);

    Radiosim radio(IniPath(), 1, {"--protocol", "icom", "--link", device});
    ASSERT_TRUE(radio.Started());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Port().IsOpen(); }, 5000));
    EXPECT_EQ(w.Replug().Status().state, LinkState::Open);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.txtFreq->text() == "14.074.00 USB"; }, 8000))
        << w.txtFreq->text().toStdString();

    w.chkOpen->click();
    EXPECT_EQ(w.Replug().Status().state, LinkState::Closed);
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, true));
}

TEST_F(LinkTest, PortThatIsNoSerialDeviceShowsTheErrorBoxAndKeepsTheSetupEnabled) {
    const QString notADevice = dir_.filePath("not-a-device");
    QFile file(notADevice);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QSettings ini(IniPath(), QSettings::IniFormat);
    ini.setValue("Ports/Com32", notADevice);
    ini.sync();
    frmCAT& w = Start();
    w.show();
    Choose(w, "Kenwood", 31);
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    const bool shown = WithModalBox([&] { w.chkOpen->click(); },
                                    [&](QMessageBox& box) {
                                        title = box.windowTitle();
                                        text = box.text();
                                        icon = box.icon();
                                    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(title, "CAT");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(text.startsWith("Error ")) << text.toStdString();
    EXPECT_TRUE(text.contains(" : ")) << text.toStdString();
    EXPECT_TRUE(text.contains("not-a-device")) << "the message names the device";
    EXPECT_TRUE(w.chkOpen->isChecked()) << "the box stays ticked after a failed open";
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, true));
    EXPECT_FALSE(w.Port().IsOpen());
    EXPECT_EQ(w.State().ProtocolCode, 100);
    EXPECT_EQ(w.Replug().Status().state, LinkState::Closed) << "nothing waits for a wrong device";

    w.chkOpen->click();  // unticking runs the close path: harmless, controls stay enabled
    EXPECT_FALSE(w.chkOpen->isChecked());
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, true));
}

TEST_F(LinkTest, BadIcomAddressIsRefusedWithABoxAndThePortStaysClosed) {
    Radiosim radio(IniPath(), 1, {"--protocol", "icom"});
    ASSERT_TRUE(radio.Started());
    frmCAT& w = Start();
    Choose(w, "ICOM", 0);
    w.txtAddress->setText("5G");
    QString text;
    ASSERT_TRUE(
        WithModalBox([&] { w.chkOpen->click(); }, [&](QMessageBox& box) { text = box.text(); }));
    EXPECT_TRUE(text.startsWith("Error ")) << text.toStdString();
    EXPECT_TRUE(text.contains("two hexadecimal digits")) << text.toStdString();
    EXPECT_FALSE(w.Port().IsOpen());
}

}  // namespace
}  // namespace cat
