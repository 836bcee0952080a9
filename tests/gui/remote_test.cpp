// A radio on the network, end to end: ser2net publishes radiosim's pseudo-terminal on loopback as
// RFC 2217 and as raw TCP, and the real window reads and sets the radio through it, then rides
// out the far end going away and coming back.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QTest>
#include <tuple>

#include "qt/ports/replug_watch.h"
#include "tests/support/radio_families.h"
#include "tests/support/ser2net_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

// A family over ser2net, as RFC 2217 (the line's settings travel) or as raw TCP (they do not).
using Row = std::tuple<FamilyRow, bool>;

class RemoteRadioTest : public test::WindowTest, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SER2NET();
        WindowTest::SetUp();
        device = dir_.filePath("radio");
        radio = StartRadio();
        ser2net = std::make_unique<test::Ser2net>(device, dir_.path());
        ASSERT_TRUE(ser2net->Started()) << ser2net->Output().toStdString();
        MapPort(5, Rfc2217() ? ser2net->Rfc2217Address() : ser2net->RawAddress());
    }

    std::unique_ptr<Radiosim> StartRadio() {
        auto r = std::make_unique<Radiosim>(
            dir_.filePath("radiosim.ini"), 1,
            QStringList{"--protocol", Family().radiosim, "--link", device});
        EXPECT_TRUE(r->Started());
        return r;
    }
    const FamilyRow& Family() const { return std::get<0>(GetParam()); }
    bool Rfc2217() const { return std::get<1>(GetParam()); }
    speed_t PtySpeed() {
        termios t{};
        const int fd =
            ::open(radio->Pty().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || ::tcgetattr(fd, &t) != 0) ADD_FAILURE() << "cannot read the pty's line";
        if (fd >= 0) ::close(fd);
        return cfgetospeed(&t);
    }

    QString device;
    std::unique_ptr<Radiosim> radio;
    std::unique_ptr<test::Ser2net> ser2net;
};

TEST_P(RemoteRadioTest, ReadsSetsAndRidesOutTheFarEndGoingAway) {
    MainWindow& w = Start();
    w.show();
    ChooseLink(w, Family().listText, 5, "38400");
    // ser2net's device may still be busy from the helper's check that it listens: a ticked link
    // waits for it like for any far end that is not ready.
    OpenButton(w)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return PortIsOpen(w); }, 5000)) << w.Replug().Status().detail;
    ASSERT_TRUE(ReadingFollows(w, *radio, 30)) << Reading(w)->text().toStdString();
    if (Rfc2217()) {
        EXPECT_EQ(PtySpeed(), static_cast<speed_t>(B38400));
    }

    FrequencyEntry(w)->setText("21.074");
    SetButton(w)->click();
    EXPECT_TRUE(radio->WaitForLine("freq 21074000"));

    for (int i = 1; i <= 2; ++i) {
        radio->Stop();  // ser2net loses its device and drops the connection
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return w.Replug().Status().state == LinkState::WaitingForDevice; }, 5000))
            << "drop " << i;
        EXPECT_FALSE(PortIsOpen(w));
        EXPECT_TRUE(OpenButton(w)->isChecked());
        radio = StartRadio();
        ASSERT_TRUE(QTest::qWaitFor([&] { return PortIsOpen(w); }, 8000))
            << "return " << i << ": " << w.Replug().Status().detail;
        ASSERT_TRUE(ReadingFollows(w, *radio, 30 + i))
            << "return " << i << ": " << Reading(w)->text().toStdString();
        if (Rfc2217()) {
            EXPECT_EQ(PtySpeed(), static_cast<speed_t>(B38400));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Ser2net, RemoteRadioTest,
                         ::testing::Combine(::testing::ValuesIn(kFamilyRows), ::testing::Bool()),
                         [](const auto& instance) {
                             return std::string(std::get<0>(instance.param).name) +
                                    (std::get<1>(instance.param) ? "Rfc2217" : "RawTcp");
                         });

}  // namespace
}  // namespace cat
