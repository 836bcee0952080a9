// Unplug and replug under a running link, end to end: the real window polls radiosim through a
// path that is a link to its pseudo-terminal; removing the link is the adapter vanishing,
// re-creating it the adapter coming back, and stopping radiosim the radio going off. Each time
// the port closes at once, "Open" stays ticked, and the link reopens and reads the radio again.
#include <unistd.h>

#include <QFile>
#include <QTest>

#include "qt/ports/replug_watch.h"
#include "tests/support/radio_families.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

class ReplugTest : public test::WindowTest, public ::testing::WithParamInterface<FamilyRow> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        device = dir_.filePath("radio");
        MapPort(7, device);
    }

    std::unique_ptr<Radiosim> StartRadio() {
        // radiosim writes its own pty under Com 1; the window opens Com 7, the link.
        auto radio = std::make_unique<Radiosim>(
            IniPath(), 1, QStringList{"--protocol", GetParam().radiosim, "--link", device});
        EXPECT_TRUE(radio->Started());
        return radio;
    }
    MainWindow& OpenWindow() {
        MainWindow& w = Start();
        w.show();
        ChooseLink(w, GetParam().listText, 7);
        OpenButton(w)->click();
        return w;
    }
    bool Waiting(MainWindow& w) {
        return QTest::qWaitFor(
            [&] {
                return w.Replug().Status().state == LinkState::WaitingForDevice && !PortIsOpen(w);
            },
            3000);
    }
    bool Reopened(MainWindow& w) {
        return QTest::qWaitFor(
            [&] { return w.Replug().Status().state == LinkState::Open && PortIsOpen(w); }, 5000);
    }

    QString device;
};

TEST_P(ReplugTest, UnplugAndReplugManyTimesKeepsTheLinkLive) {
    auto radio = StartRadio();
    MainWindow& w = OpenWindow();
    ASSERT_TRUE(PortIsOpen(w));
    ASSERT_TRUE(ReadingFollows(w, *radio, 10)) << Reading(w)->text().toStdString();
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
        EXPECT_TRUE(OpenButton(w)->isChecked());
        ASSERT_EQ(::symlink(pty.constData(), link.constData()), 0);
        ASSERT_TRUE(Reopened(w)) << "replug " << i;
        ASSERT_TRUE(ReadingFollows(w, *radio, 10 + i))
            << "replug " << i << ": " << Reading(w)->text().toStdString();
    }
    EXPECT_EQ(lost, kReplugs);
    EXPECT_EQ(reopened, kReplugs);

    // What the program sets still reaches the radio.
    radio->Forget();
    FrequencyEntry(w)->setText("10.136");
    SetButton(w)->click();
    EXPECT_TRUE(radio->WaitForLine("freq 10136000"));
}

TEST_P(ReplugTest, RadioOffAndOnAgainReopensOnTheNewDeviceUntilUnticked) {
    auto radio = StartRadio();
    MainWindow& w = OpenWindow();
    ASSERT_TRUE(ReadingFollows(w, *radio, 20)) << Reading(w)->text().toStdString();
    for (int i = 1; i <= 2; ++i) {
        radio->Stop();  // the pty hangs up and radiosim removes its link
        ASSERT_TRUE(Waiting(w)) << "off " << i;
        radio = StartRadio();  // a new pty behind the same link
        ASSERT_TRUE(Reopened(w)) << "on " << i;
        ASSERT_TRUE(ReadingFollows(w, *radio, 20 + i))
            << "on " << i << ": " << Reading(w)->text().toStdString();
    }
    radio->Stop();
    ASSERT_TRUE(Waiting(w));
    OpenButton(w)->click();  // unticked while waiting: nothing waits any more
    EXPECT_EQ(w.Replug().Status().state, LinkState::Closed);
    radio = StartRadio();
    QTest::qWait(500);  // time enough for a reopen that must not happen
    EXPECT_FALSE(PortIsOpen(w));
}

INSTANTIATE_TEST_SUITE_P(Protocols, ReplugTest, ::testing::ValuesIn(kFamilyRows),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat
