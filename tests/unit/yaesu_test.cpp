// Yaesu's text CAT: what the link reads out of each reply (the wire text names the row), and the
// bytes the set commands put on the wire, as the maker's CAT reference writes them.

#include "protocols/yaesu/yaesu.h"

#include <gtest/gtest.h>

#include <string>

#include "core/session_state.h"
#include "protocols/families.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

constexpr std::int64_t kFreqBefore = 3'500'000;
constexpr std::int16_t kModeBefore = 6;  // PKT
constexpr std::int16_t kNoMode = -1;

struct ReadRow {
    const char* wire;
    std::int64_t freq;  // hertz
    std::int16_t mode;
};

TEST(YaesuReceive, ReadsFrequencyAndModeFromEachReply) {
    const ReadRow rows[] = {
        {"FA014074000;", 14'074'000, kModeBefore},
        {"FA14074000;", 14'074'000, kModeBefore},  // eight digits: the FT-450D
        {"MD02;", kFreqBefore, 1},
        {"MD01;", kFreqBefore, 0},
        {"MD03;", kFreqBefore, 2},
        {"MD07;", kFreqBefore, 2},  // CW-L
        {"MD05;", kFreqBefore, 3},
        {"MD04;", kFreqBefore, 4},
        {"MD06;", kFreqBefore, 5},
        {"MD0C;", kFreqBefore, 6},  // DATA-USB
        {"MD0Z;", kFreqBefore, kNoMode},
        {"IF059014200000+000000700000;", 14'200'000, 2},
        {"FA014074000;MD02;", 14'074'000, 1},
        // Not Yaesu's, or no reading: nothing changes.
        {"FA00014074000;", kFreqBefore, kModeBefore},  // Kenwood's eleven digits
        {"FA1407400;", kFreqBefore, kModeBefore},
        {"IF00014074000     +00000000002000000 ;", kFreqBefore, kModeBefore},
        {"?;", kFreqBefore, kModeBefore},
        {"ID0670;", kFreqBefore, kModeBefore},
        {"fa014074000;", kFreqBefore, kModeBefore},
    };
    const RadioFamily& yaesu = YaesuFamily();
    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.wire);
        test::FakeWorld world;
        world.port.open = true;
        SessionState state;
        state.frequencyHz = kFreqBefore;
        state.mode = static_cast<ModeIndex>(kModeBefore);
        world.port.Arrive(row.wire);
        yaesu.Receive(state, world.port);
        EXPECT_EQ(state.frequencyHz, row.freq);
        EXPECT_EQ(test::ShownMode(state), row.mode);
        EXPECT_EQ(state.received, "");
    }
}

TEST(YaesuSend, PollsAndSetsWithTheRadiosOwnCommands) {
    const RadioFamily& yaesu = YaesuFamily();
    test::FakeWorld world;
    world.port.open = true;
    SessionState state;
    yaesu.Poll(state, world.platform);
    yaesu.SetFrequency(state, world.platform, 14'074'000);
    yaesu.SetMode(state, world.platform, ModeIndex::AM, false);
    yaesu.SetMode(state, world.platform, ModeIndex::PKT, false);
    yaesu.SetMode(state, world.platform, ModeIndex::CW, true);
    yaesu.SetMode(state, world.platform, ModeIndex::FSK, true);
    EXPECT_EQ(world.port.writes, (std::vector<std::string>{"FA;", "MD0;", "FA014074000;", "MD05;",
                                                           "MD0C;", "MD07;", "MD09;"}));
    EXPECT_EQ(FamilyAt(3), &yaesu);
    EXPECT_EQ(FamilyNamed("YAESU"), &yaesu);
}

}  // namespace
}  // namespace cat
