// The link across unplug and replug, as sequences of events against a shell that records what it
// was asked to do and fails opens as scripted.
#include "link/link_supervisor.h"

#include <gtest/gtest.h>

#include <deque>

#include "core/cat_error.h"
#include "core/comm_errors.h"

namespace cat {
namespace {

const int kAbsent = CommErrorNumber(CommFault::DeviceNotFound);
const int kRefused = CommErrorNumber(CommFault::ConnectionRefused);
const int kNotAllowed = CommErrorNumber(CommFault::PermissionDenied);

class FakeShell : public LinkShell {
public:
    std::deque<int> failures;  // error numbers for the next opens; 0 opens
    int opens = 0;
    bool open = false;
    bool watching = false;

    void OpenPort() override {
        ++opens;
        const int failure = failures.empty() ? 0 : failures.front();
        if (!failures.empty()) failures.pop_front();
        if (failure != 0) throw CatError(failure, "failure " + std::to_string(failure));
        open = true;
    }
    void ClosePort() override { open = false; }
    std::string Device() override { return "/dev/serial/by-id/usb-radio"; }
    void Watch(const std::string&) override { watching = true; }
    void StopWatching() override { watching = false; }
    void StatusChanged(const LinkStatus&) override {}
};

struct Row {
    const char* name;
    std::deque<int> failures;
    const char* events;  // t tick, u untick, l device lost, a device appeared
    LinkState state;
    WaitReason reason;
    int opens;
};

TEST(LinkSupervisor, FollowsTheDevice) {
    using S = LinkState;
    using R = WaitReason;
    const Row rows[] = {
        {"tick_opens", {}, "t", S::Open, R::None, 1},
        {"unplug_closes_and_waits", {}, "tl", S::WaitingForDevice, R::Lost, 1},
        {"replug_reopens", {}, "tla", S::Open, R::None, 2},
        {"many_replugs", {}, "tlalalala", S::Open, R::None, 5},
        {"lost_twice_closes_once", {}, "tll", S::WaitingForDevice, R::Lost, 1},
        {"untick_stops_waiting", {}, "tlua", S::Closed, R::None, 1},
        {"notices_after_untick_change_nothing", {}, "tula", S::Closed, R::None, 1},
        {"appeared_while_open_does_not_reopen", {}, "ta", S::Open, R::None, 1},
        {"absent_at_tick_waits", {kAbsent}, "t", S::WaitingForDevice, R::AbsentAtOpen, 1},
        {"absent_at_tick_opens_when_it_comes", {kAbsent}, "ta", S::Open, R::None, 2},
        {"far_end_not_up_yet_keeps_waiting",
         {kRefused, kRefused},
         "ta",
         S::WaitingForDevice,
         R::AbsentAtOpen,
         2},
        {"not_ready_after_replug_keeps_waiting",
         {0, kNotAllowed},
         "tla",
         S::WaitingForDevice,
         R::Lost,
         2},
        {"ready_on_the_next_notice", {0, kNotAllowed}, "tlaa", S::Open, R::None, 3},
    };
    for (const Row& row : rows) {
        FakeShell shell;
        shell.failures = row.failures;
        LinkSupervisor supervisor(shell);
        for (const char* e = row.events; *e; ++e) {
            if (*e == 't') supervisor.Ticked();
            if (*e == 'u') supervisor.Unticked();
            if (*e == 'l') supervisor.DeviceLost("unplugged");
            if (*e == 'a') supervisor.DeviceAppeared();
        }
        const LinkStatus& s = supervisor.Status();
        EXPECT_EQ(s.state, row.state) << row.name;
        EXPECT_EQ(s.reason, row.reason) << row.name;
        EXPECT_EQ(shell.opens, row.opens) << row.name;
        EXPECT_EQ(shell.open, row.state == S::Open) << row.name;
        EXPECT_EQ(shell.watching, row.state != S::Closed) << row.name;
        if (row.state != S::Closed) {
            EXPECT_EQ(s.device, "/dev/serial/by-id/usb-radio") << row.name;
        }
    }
}

TEST(LinkSupervisor, AFailureThatIsNoAbsenceIsRaisedAndNothingWaits) {
    FakeShell shell;
    shell.failures = {CommErrorNumber(CommFault::DeviceInUse)};
    LinkSupervisor supervisor(shell);
    EXPECT_THROW(supervisor.Ticked(), CatError);
    EXPECT_EQ(supervisor.Status().state, LinkState::Closed);
    EXPECT_FALSE(shell.watching);
}

TEST(LinkSupervisor, WaitingSaysWhyAndWithWhichError) {
    FakeShell shell;
    LinkSupervisor supervisor(shell);
    supervisor.Ticked();
    supervisor.DeviceLost("Com 3 (/dev/ttyUSB0) was unplugged");
    EXPECT_EQ(supervisor.Status().detail, "Com 3 (/dev/ttyUSB0) was unplugged");
    EXPECT_EQ(supervisor.Status().errorNumber, 0);
    shell.failures = {kNotAllowed};
    EXPECT_FALSE(supervisor.DeviceAppeared());
    EXPECT_EQ(supervisor.Status().detail, "failure " + std::to_string(kNotAllowed));
    EXPECT_EQ(supervisor.Status().errorNumber, kNotAllowed);
}

}  // namespace
}  // namespace cat
