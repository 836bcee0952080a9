// The link across unplug and replug, as sequences of events against a shell that records what it
// was asked to do and fails opens as scripted.
#include "link/link_supervisor.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "core/cat_error.h"
#include "core/comm_errors.h"

namespace cat {
namespace {

class FakeShell : public LinkShell {
public:
    std::deque<int> openFailures;  // error numbers for the next opens; 0 opens
    std::vector<std::string> calls;
    std::vector<LinkState> states;
    bool open = false;

    void OpenPort() override {
        calls.push_back("open");
        const int failure = openFailures.empty() ? 0 : openFailures.front();
        if (!openFailures.empty()) openFailures.pop_front();
        if (failure != 0) throw CatError(failure, "failure " + std::to_string(failure));
        open = true;
    }
    void ClosePort() override {
        calls.push_back("close");
        open = false;
    }
    std::string Device() override { return "/dev/serial/by-id/usb-radio"; }
    void Watch(const std::string& device) override { calls.push_back("watch " + device); }
    void StopWatching() override { calls.push_back("stop watching"); }
    void StatusChanged(const LinkStatus& status) override { states.push_back(status.state); }
};

const int kNotFound = CommErrorNumber(CommFault::DeviceNotFound);
const int kRefused = CommErrorNumber(CommFault::ConnectionRefused);
const int kInUse = CommErrorNumber(CommFault::DeviceInUse);
const int kPermission = CommErrorNumber(CommFault::PermissionDenied);

enum class Event { Tick, Untick, Lost, Appeared };

struct Row {
    const char* name;
    std::deque<int> openFailures;
    std::vector<Event> events;
    LinkState finalState;
    WaitReason finalReason;
    int opens;      // OpenPort calls
    bool portOpen;  // the shell's port at the end
    bool watching;  // the last watch call was not undone
};

class LinkSupervisorTest : public ::testing::TestWithParam<Row> {};

TEST_P(LinkSupervisorTest, FollowsTheDevice) {
    const Row& row = GetParam();
    FakeShell shell;
    shell.openFailures = row.openFailures;
    LinkSupervisor supervisor(shell);
    for (Event e : row.events) {
        switch (e) {
            case Event::Tick:
                supervisor.Ticked();
                break;
            case Event::Untick:
                supervisor.Unticked();
                break;
            case Event::Lost:
                supervisor.DeviceLost("unplugged");
                break;
            case Event::Appeared:
                supervisor.DeviceAppeared();
                break;
        }
    }
    EXPECT_EQ(supervisor.Status().state, row.finalState);
    EXPECT_EQ(supervisor.Status().reason, row.finalReason);
    EXPECT_EQ(std::count(shell.calls.begin(), shell.calls.end(), "open"), row.opens);
    EXPECT_EQ(shell.open, row.portOpen);
    std::string lastWatch;
    for (const auto& call : shell.calls)
        if (call.rfind("watch", 0) == 0 || call == "stop watching") lastWatch = call;
    EXPECT_EQ(lastWatch == "watch /dev/serial/by-id/usb-radio", row.watching);
    if (row.finalState != LinkState::Closed) {
        EXPECT_EQ(supervisor.Status().device, "/dev/serial/by-id/usb-radio");
    }
}

using E = Event;
const Row kRows[] = {
    {"TickOpensAndWatches", {}, {E::Tick}, LinkState::Open, WaitReason::None, 1, true, true},
    {"UnplugClosesAndWaits",
     {},
     {E::Tick, E::Lost},
     LinkState::WaitingForDevice,
     WaitReason::Lost,
     1,
     false,
     true},
    {"ReplugReopens",
     {},
     {E::Tick, E::Lost, E::Appeared},
     LinkState::Open,
     WaitReason::None,
     2,
     true,
     true},
    {"ManyReplugs",
     {},
     {E::Tick, E::Lost, E::Appeared, E::Lost, E::Appeared, E::Lost, E::Appeared},
     LinkState::Open,
     WaitReason::None,
     4,
     true,
     true},
    {"UntickStopsWaiting",
     {},
     {E::Tick, E::Lost, E::Untick, E::Appeared},
     LinkState::Closed,
     WaitReason::None,
     1,
     false,
     false},
    {"AbsentAtTickWaits",
     {kNotFound},
     {E::Tick},
     LinkState::WaitingForDevice,
     WaitReason::AbsentAtOpen,
     1,
     false,
     true},
    {"AbsentAtTickOpensWhenItComes",
     {kNotFound},
     {E::Tick, E::Appeared},
     LinkState::Open,
     WaitReason::None,
     2,
     true,
     true},
    {"FarEndNotUpYetWaits",
     {kRefused, kRefused},
     {E::Tick, E::Appeared},
     LinkState::WaitingForDevice,
     WaitReason::AbsentAtOpen,
     2,
     false,
     true},
    {"DeviceNotReadyAfterReplugKeepsWaiting",
     {0, kPermission},
     {E::Tick, E::Lost, E::Appeared},
     LinkState::WaitingForDevice,
     WaitReason::Lost,
     2,
     false,
     true},
    {"ReadyOnTheNextNotice",
     {0, kPermission},
     {E::Tick, E::Lost, E::Appeared, E::Appeared},
     LinkState::Open,
     WaitReason::None,
     3,
     true,
     true},
    {"LostTwiceClosesOnce",
     {},
     {E::Tick, E::Lost, E::Lost},
     LinkState::WaitingForDevice,
     WaitReason::Lost,
     1,
     false,
     true},
    {"AppearedWhileOpenDoesNotReopen",
     {},
     {E::Tick, E::Appeared},
     LinkState::Open,
     WaitReason::None,
     1,
     true,
     true},
    {"NoticesAfterUntickChangeNothing",
     {},
     {E::Tick, E::Untick, E::Lost, E::Appeared},
     LinkState::Closed,
     WaitReason::None,
     1,
     false,
     false},
};

INSTANTIATE_TEST_SUITE_P(Rows, LinkSupervisorTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LinkSupervisor, AFailureThatIsNotAbsenceIsRaisedAndNothingWaits) {
    FakeShell shell;
    shell.openFailures = {kInUse};
    LinkSupervisor supervisor(shell);
    try {
        supervisor.Ticked();
        ADD_FAILURE() << "the open's failure must reach the caller";
    } catch (const CatError& e) {
        EXPECT_EQ(e.Number(), kInUse);
    }
    EXPECT_EQ(supervisor.Status().state, LinkState::Closed);
    EXPECT_EQ(shell.calls.back(), "stop watching");
}

TEST(LinkSupervisor, WaitingSaysWhyInTheOperatorsWords) {
    FakeShell shell;
    LinkSupervisor supervisor(shell);
    supervisor.Ticked();
    supervisor.DeviceLost("Com 3 (/dev/ttyUSB0) was unplugged");
    EXPECT_EQ(supervisor.Status().detail, "Com 3 (/dev/ttyUSB0) was unplugged");
    shell.openFailures = {kPermission};
    EXPECT_FALSE(supervisor.DeviceAppeared());
    EXPECT_EQ(supervisor.Status().detail, "failure " + std::to_string(kPermission));
    EXPECT_EQ(shell.states, (std::vector<LinkState>{LinkState::Open, LinkState::WaitingForDevice,
                                                    LinkState::WaitingForDevice}));
}

}  // namespace
}  // namespace cat
