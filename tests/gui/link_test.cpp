// Ticking "Open" in the real window, against a pseudo-terminal, a port that is not there yet and
// a file that is no serial port.
#include <QFile>
#include <QTest>

#include "qt/ports/replug_watch.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

class LinkTest : public WindowTest {
protected:
    static std::vector<bool> SetupEnabled(MainWindow& w) {
        return {ProtocolList(w)->isEnabled(), SpeedList(w)->isEnabled(), PortList(w)->isEnabled(),
                AddressBox(w)->isEnabled()};
    }
};

TEST_F(LinkTest, OpenOnAMappedPtyOpensItAndDisablesTheSetup) {
    Radiosim radio(IniPath(), 1, {"--protocol", "icom"});
    ASSERT_TRUE(radio.Started());
    MainWindow& w = Start();
    w.show();
    ChooseLink(w, "ICOM", 1, "9600", "5e");
    EXPECT_TRUE(PortList(w)->toolTip().contains(radio.Pty()))
        << PortList(w)->toolTip().toStdString();
    OpenButton(w)->click();
    EXPECT_TRUE(OpenButton(w)->isChecked());
    EXPECT_TRUE(PortIsOpen(w));
    EXPECT_TRUE(PollingTimer(w)->isActive());
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, false));
    EXPECT_EQ(w.State().radioAddress, "5E");
    EXPECT_TRUE(radio.WaitForLine("open"));

    OpenButton(w)->click();
    EXPECT_FALSE(PortIsOpen(w));
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, true));
    EXPECT_TRUE(PollingTimer(w)->isActive()) << "closing keeps the timer";
    EXPECT_EQ(w.State().protocol, Protocol::Icom) << "closing keeps the protocol";
}

TEST_F(LinkTest, AbsentDeviceIsWaitedForAndTheLinkOpensWhenItIsPluggedIn) {
    const QString device = dir_.filePath("radio");
    MapPort(32, device);
    MainWindow& w = Start();
    w.show();
    ChooseLink(w, "ICOM", 32, "9600", "5e");
    OpenButton(w)->click();  // the box watcher fails the test if an error box comes up
    EXPECT_TRUE(OpenButton(w)->isChecked());
    EXPECT_FALSE(PortIsOpen(w));
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, false)) << "a waiting link is a ticked link";
    EXPECT_EQ(w.Replug().Status().state, LinkState::WaitingForDevice);
    EXPECT_EQ(w.Replug().Status().device, device.toStdString());
    EXPECT_NE(w.Replug().Status().detail.find("was not found"), std::string::npos);

    Radiosim radio(IniPath(), 1, {"--protocol", "icom", "--link", device});
    ASSERT_TRUE(radio.Started());
    EXPECT_TRUE(QTest::qWaitFor([&] { return PortIsOpen(w); }, 5000));
    EXPECT_EQ(w.Replug().Status().state, LinkState::Open);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == "14.074.00 USB"; }, 8000))
        << Reading(w)->text().toStdString();

    OpenButton(w)->click();
    EXPECT_EQ(w.Replug().Status().state, LinkState::Closed);
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, true));
}

TEST_F(LinkTest, PortThatIsNoSerialDeviceShowsTheErrorBoxAndKeepsTheSetupEnabled) {
    const QString notADevice = dir_.filePath("not-a-device");
    QFile file(notADevice);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    MapPort(32, notADevice);
    MainWindow& w = Start();
    w.show();
    ChooseLink(w, "Kenwood", 32, "9600", "5e");
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    const bool shown = WithModalBox([&] { OpenButton(w)->click(); },
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
    EXPECT_TRUE(OpenButton(w)->isChecked()) << "the box stays ticked after a failed open";
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, true));
    EXPECT_FALSE(PortIsOpen(w));
    EXPECT_EQ(w.State().protocol, Protocol::Kenwood);
    EXPECT_EQ(w.Replug().Status().state, LinkState::Closed) << "nothing waits for a wrong device";

    OpenButton(w)->click();  // unticking runs the close path: harmless, controls stay enabled
    EXPECT_FALSE(OpenButton(w)->isChecked());
    EXPECT_EQ(SetupEnabled(w), std::vector<bool>(4, true));
}

TEST_F(LinkTest, BadIcomAddressIsRefusedWithABoxAndThePortStaysClosed) {
    Radiosim radio(IniPath(), 1, {"--protocol", "icom"});
    ASSERT_TRUE(radio.Started());
    MainWindow& w = Start();
    ChooseLink(w, "ICOM", 1, "9600", "5e");
    AddressBox(w)->setText("5G");
    QString text;
    ASSERT_TRUE(WithModalBox([&] { OpenButton(w)->click(); },
                             [&](QMessageBox& box) { text = box.text(); }));
    EXPECT_TRUE(text.startsWith("Error ")) << text.toStdString();
    EXPECT_TRUE(text.contains("two hexadecimal digits")) << text.toStdString();
    EXPECT_FALSE(PortIsOpen(w));
}

}  // namespace
}  // namespace cat
