// Find my radio: the plan, what counts as a radio in each protocol's answer, and a whole scan of a
// port with a radio behind it at some speed and address.

#include "doctor/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/session_state.h"
#include "tests/support/fakes.h"

namespace cat::doctor {
namespace {

using test::Bytes;

const std::vector<int> kSpeeds = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

TEST(ScanPlan, TriesTheChoiceFirstThenEveryProtocolAtEverySpeedOnce) {
    const std::vector<Probe> plan = ScanPlan(kSpeeds, kKenwood, 57600);
    ASSERT_FALSE(plan.empty());
    EXPECT_EQ(plan[0].protocolCode, kKenwood);
    EXPECT_EQ(plan[0].speed, 57600);
    for (std::int16_t protocol : {kICOM, kKenwood, kFT817})
        for (int speed : kSpeeds) {
            const auto tried = std::count_if(plan.begin(), plan.end(), [&](const Probe& p) {
                return p.protocolCode == protocol && p.speed == speed;
            });
            // ICOM asks every radio for its address, then the factory addresses, in two probes.
            EXPECT_EQ(tried, protocol == kICOM ? 2 : 1) << protocol << " at " << speed;
        }
}

// Nothing that can make a radio transmit ever leaves: the FT-817 keys up on opcode 08 wherever
// a byte of it falls in its count of five, a Kenwood radio on TX, an ICOM radio on 1C 00 01.
TEST(ScanPlan, SendsNothingThatMakesARadioTransmit) {
    for (const Probe& p : ScanPlan(kSpeeds, kICOM, 9600)) {
        EXPECT_EQ(p.bytes.find('\x08'), std::string::npos) << test::ToHex(p.bytes);
        EXPECT_EQ(p.bytes.find("TX"), std::string::npos) << p.bytes;
        EXPECT_EQ(p.bytes.find("\x1C"), std::string::npos) << test::ToHex(p.bytes);
    }
}

struct JudgeRow {
    const char* name;
    std::int16_t protocol;
    std::string received;
    bool found;
    std::string described = "";
};

TEST(ScanJudge, TakesOnlyAnAnswerOfTheProbesProtocol) {
    const JudgeRow rows[] = {
        {"IcomAnswersWhichAddress", kICOM, Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x19, 0x00, 0x94, 0xFD}),
         true, "ICOM radio at address 94 (IC-7300), 19200 baud"},
        {"IcomAnswersItsFrequency", kICOM,
         Bytes({0xFE, 0xFE, 0xE0, 0x3A, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD}), true,
         "ICOM radio at address 3A, 19200 baud"},
        {"OurOwnEchoIsNoRadio", kICOM, Bytes({0xFE, 0xFE, 0x00, 0xE0, 0x19, 0x00, 0xFD}), false},
        {"FrameForAnotherControllerIsNotAnAnswer", kICOM,
         Bytes({0xFE, 0xFE, 0xE1, 0x94, 0x19, 0x00, 0x94, 0xFD}), false},
        {"FrequencyThatIsNoBcdIsNoise", kICOM,
         Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x03, 0x0A, 0x40, 0x07, 0x14, 0x00, 0xFD}), false},
        {"KenwoodIdentity", kKenwood, "ID021;", true, "Kenwood radio (TS-590S), 19200 baud"},
        {"KenwoodRefusalIsStillAKenwood", kKenwood, "?;", true, "Kenwood radio, 19200 baud"},
        {"KenwoodEchoIsNoRadio", kKenwood, "ID;", false},
        {"Ft817Reading", kFT817, Bytes({0x01, 0x40, 0x74, 0x00, 0x01}), true,
         "FT-817 radio, 19200 baud"},
        {"Ft817EchoIsNoRadio", kFT817, Bytes({0x00, 0x00, 0x00, 0x00, 0x03}), false},
        {"Ft817NoiseIsNoRadio", kFT817, Bytes({0x9A, 0x3C, 0xF1, 0x0E, 0x77}), false},
        {"NothingIsNothing", kICOM, "", false},
    };
    for (const JudgeRow& row : rows) {
        SCOPED_TRACE(row.name);
        const auto plan = ScanPlan(kSpeeds, row.protocol, 19200);
        const auto found = Judge(plan[0], row.received);
        ASSERT_EQ(found.has_value(), row.found);
        if (found) EXPECT_EQ(Describe(*found), row.described);
    }
}

// A radio behind the port: it answers what its protocol asks at its own speed, and turns
// everything at any other speed into noise.
struct RadioBehind {
    std::int16_t protocol;
    int speed;
    std::string answer;  // to any probe of its protocol
};

class ScanRun : public ::testing::Test {
protected:
    std::optional<Found> Scan(const RadioBehind& radio, std::int16_t chosen, int chosenSpeed) {
        world.port.responder = [&](const std::string& sent) -> std::string {
            const std::string& line = world.port.settings;
            const int speed = std::stoi(line.substr(0, line.find(',')));
            const bool itsLanguage = (radio.protocol == kICOM && sent[0] == '\xFE') ||
                                     (radio.protocol == kKenwood && sent == "ID;") ||
                                     (radio.protocol == kFT817 && sent.size() == 5 && sent[0] == 0);
            if (speed != radio.speed) return Bytes({0x9A, 0x3C, 0xF1});
            return itsLanguage ? radio.answer : std::string();
        };
        Scanner scanner(world.port, ScanPlan(kSpeeds, chosen, chosenSpeed));
        double now = 0;
        for (int steps = 0; steps < 500; ++steps) {
            const auto wait = scanner.Step(now);
            if (!wait) break;
            now += *wait;
        }
        EXPECT_TRUE(scanner.Over());
        EXPECT_FALSE(world.port.open) << "the scan leaves the port closed";
        elapsed = now;
        probes = scanner.ProbesDone();
        return scanner.Result();
    }
    test::FakeWorld world;
    double elapsed = 0;
    std::size_t probes = 0;
};

TEST_F(ScanRun, FindsEachRadioAtItsSpeedAndTellsWhatItIs) {
    const std::pair<RadioBehind, std::string> radios[] = {
        {{kICOM, 1200, Bytes({0xFE, 0xFE, 0xE0, 0xA4, 0x19, 0x00, 0xA4, 0xFD})},
         "ICOM radio at address A4 (IC-705), 1200 baud"},
        {{kKenwood, 115200, "ID024;"}, "Kenwood radio (TS-890S), 115200 baud"},
        {{kFT817, 38400, Bytes({0x14, 0x43, 0x00, 0x00, 0x08})}, "FT-817 radio, 38400 baud"},
    };
    for (const auto& [radio, described] : radios) {
        SCOPED_TRACE(described);
        const auto found = Scan(radio, kICOM, 9600);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(Describe(*found), described);
    }
}

TEST_F(ScanRun, NoRadioAnywhereEndsAfterEveryProbe) {
    const auto found = Scan({kICOM, 300, ""}, kICOM, 9600);
    EXPECT_FALSE(found.has_value());
    EXPECT_EQ(probes, ScanPlan(kSpeeds, kICOM, 9600).size());
}

TEST_F(ScanRun, APortThatWillNotOpenEndsTheScanWithItsReason) {
    world.port.FailOn(test::FakeCommPort::Op::SetPortOpen, 8010, "Com 3 was not found.");
    Scanner scanner(world.port, ScanPlan(kSpeeds, kICOM, 9600));
    EXPECT_FALSE(scanner.Step(0).has_value());
    EXPECT_EQ(scanner.Failure(), "Com 3 was not found.");
}

}  // namespace
}  // namespace cat::doctor
