#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <deque>
#include <string>

#include "protocols/ft817/ft817.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using std::chrono::milliseconds;
using test::Bytes;
using test::FakeClock;
using test::FakeCommPort;
using test::FakeMessages;
using test::FakePause;
using test::FakeTimer;
using test::ToHex;

const std::string kReadCommand = Bytes({0x00, 0x00, 0x00, 0x00, 0x03});

// Counts every reading of the port's count, so a wait that spins shows up as thousands of calls.
class CountingPort : public FakeCommPort {
public:
    using FakeCommPort::FakeCommPort;
    int countReads = 0;
    int waitCalls = 0;
    int BytesWaiting() override {
        // A wait that never ends would hang the test; fail it and let the port break instead.
        if (++countReads > 1000) {
            ADD_FAILURE() << "the wait keeps polling the count";
            throw CatError(8012, "runaway wait");
        }
        return FakeCommPort::BytesWaiting();
    }
    int WaitForInput(int count, milliseconds timeout) override {
        if (++waitCalls > 1000) {
            ADD_FAILURE() << "the wait never ends";
            throw CatError(8012, "runaway wait");
        }
        return FakeCommPort::WaitForInput(count, timeout);
    }
};

struct World {
    World() { port.open = true; }
    FakeClock clock;
    CountingPort port{&clock};
    FakePause pause{clock};
    FakeMessages messages;
    FakeTimer timer;
    Platform platform{port, clock, pause, messages, timer};
};

using Exchange = Ft817Reply;

Exchange Exchange817(World& world, std::int16_t expected = 5, std::int16_t param = 0,
                     std::int16_t opcode = 3) {
    return Ft817Exchange(world.platform, expected, param, opcode);
}

std::string DataHex(const Exchange& e) {
    std::string bytes;
    for (auto d : e.bytes) bytes.push_back(static_cast<char>(d));
    return ToHex(bytes);
}

milliseconds TotalWait(const FakeCommPort& port) {
    milliseconds total{0};
    for (auto w : port.waits) total += w;
    return total;
}

TEST(Ft817Exchange, SendsTheReadCommandAndTakesTheFiveByteReply) {
    World world;
    world.port.replies.push_back(Bytes({0x01, 0x42, 0x34, 0x56, 0x01}));

    const Exchange e = Exchange817(world);

    ASSERT_EQ(world.port.writes.size(), 1u);
    EXPECT_EQ(world.port.writes[0], kReadCommand) << ToHex(world.port.writes[0]);
    EXPECT_EQ(e.count, 5);
    EXPECT_EQ(DataHex(e), "01 42 34 56 01");
    EXPECT_EQ(world.port.waiting, "");
}

TEST(Ft817Exchange, StaleBytesAreDiscardedBeforeTheCommandGoesOut) {
    World world;
    world.port.Arrive(Bytes({0xFF, 0x01, 0x02}));
    world.port.responder = [&](const std::string&) {
        EXPECT_EQ(world.port.waiting, "") << "stale bytes still waiting when the command went out";
        return Bytes({0x00, 0x70, 0x00, 0x00, 0x03});
    };

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 5);
    EXPECT_EQ(DataHex(e), "00 70 00 00 03");
}

TEST(Ft817Exchange, ReplyArrivingInPiecesIsCollectedWithinTheLimit) {
    World world;
    world.port.responder = [&](const std::string&) {
        world.port.arrivals = {Bytes({0x43, 0x95}), Bytes({0x00}), Bytes({0x00, 0x88})};
        return std::string();
    };

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 5);
    EXPECT_EQ(DataHex(e), "43 95 00 00 88");
}

TEST(Ft817Exchange, FourBytesOnlyTimeOutAndAreDiscarded) {
    World world;
    world.port.replies.push_back(Bytes({0x01, 0x42, 0x34, 0x56}));

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 4);
    EXPECT_EQ(DataHex(e), "00 00 00 00 00");
    EXPECT_EQ(world.port.waiting, "");
    EXPECT_GE(world.clock.now, 0.29);
}

TEST(Ft817Exchange, TenBytesWaitingTakeTheFirstFiveAndReportTen) {
    World world;
    world.port.replies.push_back(
        Bytes({0x01, 0x42, 0x34, 0x56, 0x01, 0x01, 0x42, 0x34, 0x56, 0x01}));

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 10);
    EXPECT_EQ(DataHex(e), "01 42 34 56 01");
    EXPECT_EQ(world.port.waiting, "");
}

TEST(Ft817Exchange, TheEchoOfTheCommandIsSkippedWhetherTheReplyCameWithItOrAfter) {
    const std::string reply = Bytes({0x01, 0x42, 0x34, 0x56, 0x01});
    for (bool together : {true, false}) {
        SCOPED_TRACE(together ? "echo and reply in one piece" : "reply after the echo");
        World world;
        world.port.responder = [&](const std::string& sent) {
            if (together) return sent + reply;
            world.port.arrivals = {reply};
            return sent;
        };

        const Exchange e = Exchange817(world);

        EXPECT_EQ(e.count, 5);
        EXPECT_EQ(DataHex(e), "01 42 34 56 01");
    }
}

TEST(Ft817Exchange, AnEchoWithNoReplyBehindItIsNoReply) {
    World world;
    world.port.responder = [](const std::string& sent) { return sent; };

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 0);
    EXPECT_EQ(DataHex(e), "00 00 00 00 00");
}

TEST(Ft817Exchange, SilentRadioIsAwaitedByBlockingNotBySpinning) {
    World world;

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 0);
    EXPECT_EQ(DataHex(e), "00 00 00 00 00");
    ASSERT_FALSE(world.port.waits.empty());
    for (auto w : world.port.waits) EXPECT_LE(w.count(), 300);
    EXPECT_GE(TotalWait(world.port).count(), 299);
    EXPECT_LE(TotalWait(world.port).count(), 300);
    EXPECT_LE(world.port.countReads, 4);
}

TEST(Ft817Exchange, LimitGrowsByTenMillisecondsPerExpectedByte) {
    World world;

    Exchange817(world, 15);

    EXPECT_GE(TotalWait(world.port).count(), 399);
    EXPECT_LE(TotalWait(world.port).count(), 400);
}

TEST(Ft817Exchange, ClosedPortTimesOutAtOnceWithNothingSentOrSpun) {
    World world;
    world.port.open = false;

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 0);
    EXPECT_EQ(DataHex(e), "00 00 00 00 00");
    EXPECT_TRUE(world.port.writes.empty());
    EXPECT_LE(world.port.countReads, 2);
    EXPECT_EQ(world.port.waitCalls, 1);
}

TEST(Ft817Exchange, FailingWaitCountsAsElapsedInsteadOfSpinning) {
    World world;
    world.port.FailOn(FakeCommPort::Op::WaitForInput);

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 0);
    EXPECT_EQ(world.port.waitCalls, 1);
    EXPECT_LE(world.port.countReads, 2);
}

TEST(Ft817Exchange, FailingOutputStillWaitsOutTheLimitQuietly) {
    World world;
    world.port.FailOn(FakeCommPort::Op::Write);

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 0);
    EXPECT_GE(TotalWait(world.port).count(), 299);
}

TEST(Ft817Exchange, InputShorterThanItsCountReportsOnlyTheBytesThatCameBack) {
    World world;
    world.port.replies.push_back(Bytes({0x01, 0x42, 0x34, 0x56, 0x01}));
    world.port.inputShortBy = 2;

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 3);
    EXPECT_EQ(DataHex(e), "01 42 34 00 00");
}

TEST(Ft817Exchange, FailingInputReportsNoBytesRatherThanAReplyOfZeros) {
    World world;
    world.port.replies.push_back(Bytes({0x01, 0x42, 0x34, 0x56, 0x01}));
    world.port.FailOn(FakeCommPort::Op::ReadAll);

    const Exchange e = Exchange817(world);

    EXPECT_EQ(e.count, 0);
    EXPECT_EQ(DataHex(e), "00 00 00 00 00");
}

TEST(Ft817Exchange, ParameterThatIsNoByteIsNotSent) {
    World world;

    Exchange817(world, 5, 0x100, 3);

    EXPECT_TRUE(world.port.writes.empty());
}

}  // namespace
}  // namespace cat
