// The link doctor against a stand-in window: what it shows through LinkDoctorHost and what it asks
// of the window, without the real one.
#include "qt/window/link_doctor.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <utility>

#include "qt/platform/qt_platform.h"
#include "qt/ports/qt_comm_port.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_store.h"

namespace cat {
namespace {

class StandInWindow : public LinkDoctorHost {
public:
    int PortNumber() const override { return port; }
    std::string SpeedText() const override { return "9600"; }
    std::string ProtocolText() const override { return "ICOM"; }
    std::vector<int> SpeedChoices() const override { return {4800, 9600}; }
    bool LinkTicked() const override { return ticked; }
    void ReleaseOpen() override { ticked = false; }
    void ReopenWith(const LinkSettingsChange& change) override { reopened.push_back(change); }
    void ShowStatus(const QString& shownBrief, bool shownProblem,
                    const QString& shownWhole) override {
        brief = shownBrief;
        problem = shownProblem;
        whole = shownWhole;
    }
    void ShowReadingStale(bool stale) override { staleShown.push_back(stale); }
    QRect Frame() const override { return QRect(100, 100, 240, 257); }

    int port = 1;
    bool ticked = false;
    std::vector<LinkSettingsChange> reopened;
    QString brief;
    bool problem = false;
    QString whole;
    std::vector<bool> staleShown;
};

class LinkDoctorTest : public ::testing::Test {
protected:
    StandInWindow window;
    test::MemoryStore store;
    QtCommPort port{store};
    QtClock clock;
    doctor::LinkWatch watch{port, clock};
    test::FakeWorld world;
    test::Unwatched unwatched;
    Link link{world.platform, unwatched};
    LinkDoctor doctor{window, link, port, watch};
};

// The status line gets the brief, whether it is a problem, and the whole with its advice; the
// reading is greyed once while nothing vouches for it, not again at every tick.
TEST_F(LinkDoctorTest, StatusAndStaleReadingReachTheWindow) {
    EXPECT_EQ(window.brief, "Closed");
    EXPECT_FALSE(window.problem);
    EXPECT_EQ(window.staleShown, std::vector<bool>{true});

    link.State().protocol = Protocol::None;
    doctor.Opened();
    EXPECT_EQ(window.brief, "Choose a protocol first");
    EXPECT_TRUE(window.problem);
    EXPECT_TRUE(window.whole.contains('\n')) << "the advice follows the text on its own line";
    for (int tick = 0; tick < 5; ++tick) doctor.Update();
    EXPECT_EQ(window.staleShown, std::vector<bool>{true});

    doctor.Closed();
    EXPECT_EQ(window.brief, "Closed");
    EXPECT_FALSE(window.problem);
}

// Find radio needs the port to itself: it releases Open and holds polling while it runs. When the
// scan cannot even start (no port chosen), polling must come back, or the window would stop
// polling for good.
TEST_F(LinkDoctorTest, FindRadioThatCannotStartGivesPollingBack) {
    window.ticked = true;
    window.port = 0;
    world.timer.SetEnabled(true);
    doctor.FindRadio();
    EXPECT_FALSE(window.ticked);
    EXPECT_FALSE(doctor.Scanning());
    EXPECT_TRUE(world.timer.Enabled());
    auto* state = doctor.Details()->findChild<QLabel*>("scanState");
    ASSERT_NE(state, nullptr);
    EXPECT_FALSE(state->text().isEmpty()) << "the panel says why no scan runs";
}

}  // namespace
}  // namespace cat
