// Find my radio: the plan (what goes out, in which order), what counts as a radio in each family's
// answer, and whole scans of a port with a radio behind it at some speed.

#include "doctor/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "protocols/families.h"
#include "protocols/ft817/ft817_codes.h"
#include "tests/support/fakes.h"

namespace cat::doctor {
namespace {

using test::Bytes;

const std::vector<int> kSpeeds = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

bool Speaks(const Probe& p, Protocol family) {
    return std::any_of(p.families.begin(), p.families.end(),
                       [&](const RadioFamily* f) { return f->Id() == family; });
}

// A radio that frames by count must hear nothing of another family before its own probes, at any
// choice the operator made: bytes at a wrong speed reach it re-sampled and get executed.
TEST(ScanPlan, TheFiveByteRadioIsAskedFirstFastestFirstAfterASilence) {
    for (const Protocol chosen :
         {Protocol::Icom, Protocol::Kenwood, Protocol::Ft817, Protocol::Yaesu, Protocol::None}) {
        for (const int speed : {4800, 9600, 115200}) {
            const std::vector<Probe> plan = ScanPlan(kSpeeds, chosen, speed);
            ASSERT_GE(plan.size(), 3u);
            std::vector<int> ft817Speeds;
            for (std::size_t i = 0; i < 3; ++i) {
                EXPECT_TRUE(Speaks(plan[i], Protocol::Ft817))
                    << "probe " << i << " chosen " << chosen;
                EXPECT_GE(plan[i].silenceBefore, 0.25);
                ft817Speeds.push_back(plan[i].speed);
            }
            EXPECT_EQ(ft817Speeds, (std::vector<int>{38400, 9600, 4800}));
            for (std::size_t i = 3; i < plan.size(); ++i)
                EXPECT_FALSE(Speaks(plan[i], Protocol::Ft817));
        }
    }
}

TEST(ScanPlan, EveryFamilyAtEverySpeedAndTheShortReadsBeforeAnyAddressTrain) {
    const std::vector<Probe> plan = ScanPlan(kSpeeds, Protocol::Kenwood, 57600);
    // After the five-byte radio, the operator's choice.
    EXPECT_TRUE(Speaks(plan[3], Protocol::Kenwood));
    EXPECT_EQ(plan[3].speed, 57600);
    for (const Protocol family : {Protocol::Icom, Protocol::Kenwood, Protocol::Yaesu})
        for (const int speed : kSpeeds)
            EXPECT_TRUE(
                std::any_of(plan.begin(), plan.end(),
                            [&](const Probe& p) { return Speaks(p, family) && p.speed == speed; }))
                << family << " at " << speed;
    const auto firstTrain =
        std::find_if(plan.begin(), plan.end(), [](const Probe& p) { return p.bytes.size() > 40; });
    ASSERT_NE(firstTrain, plan.end());
    EXPECT_TRUE(std::all_of(firstTrain, plan.end(), [](const Probe& p) {
        return p.bytes.size() > 40;
    })) << "an address train before a short read";
}

// Every probe is a read. Over the whole byte stream of a scan, at each of the five places a
// five-byte radio may start counting, no block ends in an opcode that keys the transmitter,
// switches the radio off or writes its memory; and no text probe carries a command that sets or
// transmits.
TEST(ScanPlan, NoAlignmentOfTheWholeStreamMakesAFiveByteRadioChangeAnything) {
    const std::uint8_t kForbidden[] = {ft817::kPttOn, 0x8F /* power off */,
                                       0xBC /* EEPROM write */};
    for (const Protocol chosen :
         {Protocol::Icom, Protocol::Kenwood, Protocol::Ft817, Protocol::Yaesu}) {
        std::string stream;
        for (const Probe& p : ScanPlan(kSpeeds, chosen, 9600)) stream += p.bytes;
        for (std::size_t start = 0; start < 5; ++start)
            for (std::size_t end = start + 5; end <= stream.size(); end += 5) {
                const auto opcode = static_cast<std::uint8_t>(stream[end - 1]);
                for (const std::uint8_t bad : kForbidden)
                    ASSERT_NE(opcode, bad) << "block ending at " << end << " from " << start;
            }
    }
    for (const Probe& p : ScanPlan(kSpeeds, Protocol::Icom, 9600)) {
        if (p.bytes.back() != ';') continue;
        for (const char* write : {"TX", "FA0", "MD0", "PS0", "AI", "FR", "FT"})
            EXPECT_EQ(p.bytes.find(write), std::string::npos) << p.bytes;
    }
}

struct JudgeRow {
    const char* name;
    Protocol family;
    std::string received;
    const char* described;  // nullptr: no radio
};

TEST(ScanJudge, NamesFamilyAndModelFromTheAnswer) {
    const JudgeRow rows[] = {
        {"IcomAnswersWhichAddress", Protocol::Icom,
         Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x19, 0x00, 0x94, 0xFD}),
         "IC-7300 at 94 answers at 19200 baud"},
        {"IcomAddressFromTheDataWhenTheSourceIsBroadcast", Protocol::Icom,
         Bytes({0xFE, 0xFE, 0xE0, 0x00, 0x19, 0x00, 0xA4, 0xFD}),
         "IC-705 or Xiegu X6100 at A4 answers at 19200 baud"},
        {"IcomUnknownAddressAnsweringItsFrequency", Protocol::Icom,
         Bytes({0xFE, 0xFE, 0xE0, 0x3A, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD}),
         "ICOM radio at 3A answers at 19200 baud"},
        {"IcomOurOwnEchoIsNoRadio", Protocol::Icom,
         Bytes({0xFE, 0xFE, 0x00, 0xE0, 0x19, 0x00, 0xFD}), nullptr},
        {"IcomFrameForAnotherControllerIsNotAnAnswer", Protocol::Icom,
         Bytes({0xFE, 0xFE, 0xE1, 0x94, 0x19, 0x00, 0x94, 0xFD}), nullptr},
        {"IcomBroadcastSourceWithoutAddressIsNoRadio", Protocol::Icom,
         Bytes({0xFE, 0xFE, 0xE0, 0x00, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD}), nullptr},
        {"KenwoodIdentity", Protocol::Kenwood, "ID021;", "Kenwood TS-590S answers at 19200 baud"},
        {"KenwoodRefusalIsStillAKenwood", Protocol::Kenwood, "?;",
         "Kenwood radio answers at 19200 baud"},
        {"KenwoodEchoIsNoRadio", Protocol::Kenwood, ";ID;", nullptr},
        {"KenwoodIdentityAfterTheFlushesRefusal", Protocol::Kenwood, "?;ID024;",
         "Kenwood TS-890S answers at 19200 baud"},
        {"YaesuIdentityAfterTheFlushesRefusal", Protocol::Yaesu, "?;ID0650;",
         "Yaesu FT-891 answers at 19200 baud"},
        {"YaesuIdentity", Protocol::Yaesu, "ID0670;", "Yaesu FT-991A answers at 19200 baud"},
        {"YaesuUnknownNumberIsStillYaesu", Protocol::Yaesu, "ID9999;",
         "Yaesu radio (text commands) answers at 19200 baud"},
        {"Ft817Reading", Protocol::Ft817, Bytes({0x01, 0x40, 0x74, 0x00, 0x01}),
         "Yaesu FT-817, FT-818, FT-857 or FT-897 (five-byte commands) answers at 38400 baud"},
        {"Ft817EchoIsNoRadio", Protocol::Ft817, Bytes({0x00, 0x00, 0x00, 0x00, 0x03}), nullptr},
        {"Ft817NoiseIsNoRadio", Protocol::Ft817, Bytes({0x9A, 0x3C, 0xF1, 0x0E, 0x77}), nullptr},
        {"NothingIsNothing", Protocol::Icom, "", nullptr},
    };
    for (const JudgeRow& row : rows) {
        SCOPED_TRACE(row.name);
        const auto plan = ScanPlan(kSpeeds, row.family, 19200);
        const auto probe = std::find_if(plan.begin(), plan.end(), [&](const Probe& p) {
            return Speaks(p, row.family) && (row.family == Protocol::Ft817 || p.speed == 19200);
        });
        ASSERT_NE(probe, plan.end());
        const auto found = Judge(*probe, row.received);
        ASSERT_EQ(found.has_value(), row.described != nullptr);
        if (found) {
            EXPECT_EQ(Describe(*found), row.described);
        }
    }
}

// Its answer lands as the line is set for the next read: after the scan stopped listening.
constexpr double kAsTheNextLineIsSet = -1;

// A radio behind the port: it answers its own family's reads at its own speed, and turns
// everything at any other speed into noise.
struct RadioBehind {
    const char* name;
    Protocol family;
    int speed;                  // 0: any (a radio on USB, a network port)
    std::string answer;         // to the family's first read
    std::string followUp = "";  // to a further read of the same family (FT-817: the same read)
    const char* described = "";
    bool refusesFirst = false;  // bytes of earlier probes still in its buffer draw one ?;
    double late = 0;            // seconds from a read to its answer, or kAsTheNextLineIsSet
};

class ScanRun : public ::testing::Test {
protected:
    std::optional<Found> Scan(const RadioBehind& radio, Protocol chosen, int chosenSpeed) {
        auto answer = [&](const std::string& sent) -> std::string {
            const std::string& line = world.port.settings;
            const int speed = std::stoi(line.substr(0, line.find(',')));
            if (radio.speed && speed != radio.speed) return Bytes({0x9A, 0x3C, 0xF1});
            const bool text = radio.family == Protocol::Kenwood || radio.family == Protocol::Yaesu;
            if (radio.family == Protocol::Icom && sent[0] == '\xFE') return radio.answer;
            if (text && sent == ";ID;") return std::exchange(refused, true) ? radio.answer : "?;";
            if (text && sent.back() == ';') return radio.followUp;
            if (radio.family == Protocol::Ft817 && sent.size() == 5 && sent[0] == 0)
                return std::exchange(asked, true) && !radio.followUp.empty() ? radio.followUp
                                                                             : radio.answer;
            return {};
        };
        world.port.responder = [&, answer](const std::string& sent) -> std::string {
            std::string reply = answer(sent);
            if (radio.late == 0) return reply;
            due.emplace_back(radio.late < 0 ? radio.late : now + radio.late, std::move(reply));
            return {};
        };
        // Bytes on their way land at the first call of the port once they are due.
        world.port.onCall = [this](test::FakeCommPort::Op op) {
            if (op == test::FakeCommPort::Op::Write)
                wrote.push_back({now, world.port.settings, world.port.handshake});
            for (auto& [at, bytes] : due)
                if (at < 0 ? op == test::FakeCommPort::Op::SetLineSettings : at <= now)
                    world.port.waiting += std::exchange(bytes, "");
        };
        refused = !radio.refusesFirst;
        asked = false;
        now = 0;
        Scanner scanner(world.port, ScanPlan(kSpeeds, chosen, chosenSpeed));
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
    struct Sent {
        double at;
        std::string settings;
        std::optional<Handshake> handshake;
    };
    test::FakeWorld world;
    double now = 0;
    double elapsed = 0;
    std::size_t probes = 0;
    bool refused = false;
    bool asked = false;
    std::vector<std::pair<double, std::string>> due;  // answers on their way: when, what
    std::vector<Sent> wrote;                          // beside world.port.writes
};

TEST_F(ScanRun, FindsEachRadioAtItsFactorySpeedWithinTwoSecondsAndNamesIt) {
    const RadioBehind radios[] = {
        {"ic705", Protocol::Icom, 19200, Bytes({0xFE, 0xFE, 0xE0, 0xA4, 0x19, 0x00, 0xA4, 0xFD}),
         "", "IC-705 or Xiegu X6100 at A4 answers at 19200 baud"},
        {"ts890s", Protocol::Kenwood, 9600, "ID024;", "", "Kenwood TS-890S answers at 9600 baud"},
        {"k3", Protocol::Kenwood, 9600, "ID017;", "OM AP---------;",
         "Elecraft K3 (Kenwood commands) answers at 9600 baud"},
        {"kx3", Protocol::Kenwood, 9600, "ID017;", "OM AP---------02;",
         "Elecraft KX3 (Kenwood commands) answers at 9600 baud"},
        {"sdr", Protocol::Kenwood, 9600, "ID019;", "ZZFA00014074000;",
         "an SDR program emulating a TS-2000 (Kenwood commands) answers at 9600 baud"},
        {"ts2000", Protocol::Kenwood, 9600, "ID019;", "?;", "Kenwood TS-2000 answers at 9600 baud"},
        {"ft991a", Protocol::Yaesu, 4800, "ID0670;", "", "Yaesu FT-991A answers at 4800 baud"},
        {"ft991a_refusing_first", Protocol::Yaesu, 38400, "ID0670;", "",
         "Yaesu FT-991A answers at 38400 baud", true},
        {"k3_refusing_first", Protocol::Kenwood, 38400, "ID017;", "OM AP---------;",
         "Elecraft K3 (Kenwood commands) answers at 38400 baud", true},
        {"ft817", Protocol::Ft817, 4800, Bytes({0x01, 0x40, 0x74, 0x00, 0x01}), "",
         "Yaesu FT-817, FT-818, FT-857 or FT-897 (five-byte commands) answers at 4800 baud"},
    };
    for (const RadioBehind& radio : radios) {
        SCOPED_TRACE(radio.name);
        const auto found = Scan(radio, Protocol::Icom, 9600);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(Describe(*found), radio.described);
        EXPECT_LE(elapsed, radio.refusesFirst ? 2.5 : 2.0);  // asking again costs a round trip
    }
}

// Without frame or checksum, one plausible FT-817 reading may be noise: asked again, the radio
// must say the same.
TEST_F(ScanRun, AnFt817ReadingThatChangesWhenAskedAgainIsNoRadio) {
    const auto found =
        Scan({"ft817_noise", Protocol::Ft817, 38400, Bytes({0x01, 0x40, 0x74, 0x00, 0x01}),
              Bytes({0x01, 0x40, 0x75, 0x00, 0x01})},
             Protocol::Icom, 9600);
    EXPECT_FALSE(found.has_value()) << Describe(*found);
}

TEST_F(ScanRun, ASilentPortIsDoneWithEveryProbeWithinTenSeconds) {
    const auto found = Scan({"none", Protocol::Icom, 300, ""}, Protocol::Icom, 9600);
    EXPECT_FALSE(found.has_value());
    EXPECT_EQ(probes, ScanPlan(kSpeeds, Protocol::Icom, 9600).size());
    EXPECT_LE(elapsed, 10.0);
}

// A port that floods every probe with a long run of bytes: the log shows the start of each run and
// how much there was, a bounded line whatever came.
TEST_F(ScanRun, ALogLineOfAFloodIsBounded) {
    world.port.responder = [](const std::string&) { return std::string(100'000, 'x'); };
    Scanner scanner(world.port, ScanPlan(kSpeeds, Protocol::Icom, 9600));
    double at = 0;
    for (std::optional<double> wait; (wait = scanner.Step(at));) at += *wait;
    ASSERT_FALSE(scanner.Log().empty());
    for (const std::string& line : scanner.Log())
        EXPECT_LT(line.size(), 500u) << line.substr(0, 80);
    EXPECT_NE(scanner.Log().back().find("(100000 bytes in all)"), std::string::npos)
        << scanner.Log().back().substr(0, 80);
}

TEST_F(ScanRun, APortThatWillNotOpenEndsTheScanWithItsReason) {
    world.port.FailOn(test::FakeCommPort::Op::Open, 8010, "Com 3 was not found.");
    Scanner scanner(world.port, ScanPlan(kSpeeds, Protocol::Icom, 9600));
    std::optional<double> wait;
    while ((wait = scanner.Step(now))) now += *wait;
    EXPECT_EQ(scanner.Failure(), "Com 3 was not found.");
}

// One row per rule of the scan. On every row, each five-byte read follows a quarter second of
// quiet, the first counted from the start; where the scan runs to its end, every family's read
// went out at every speed on that family's own flow control.
TEST_F(ScanRun, KeepsEachRuleOnTheLine) {
    const RadioBehind rows[] = {
        {"silent_port", Protocol::Icom, 300, ""},
        {"an_ft817_reading_0_28_s_late_is_heard", Protocol::Ft817, 38400,
         Bytes({0x01, 0x40, 0x74, 0x00, 0x01}), "",
         "Yaesu FT-817, FT-818, FT-857 or FT-897 (five-byte commands) answers at 38400 baud", false,
         0.28},
        {"a_reply_after_the_listening_time_names_no_radio", Protocol::Yaesu, 0, "ID0670;", "", "",
         false, kAsTheNextLineIsSet},
    };
    for (const RadioBehind& row : rows) {
        SCOPED_TRACE(row.name);
        world.port = test::FakeCommPort(&world.clock);
        wrote.clear();
        due.clear();
        const auto found = Scan(row, Protocol::Icom, 9600);
        EXPECT_EQ(found ? Describe(*found) : std::string(), row.described);
        const std::string ft817Read = FamilyFor(Protocol::Ft817)->Record().identityReads.front();
        double last = 0;
        for (std::size_t i = 0; i < wrote.size(); ++i) {
            if (world.port.writes[i] == ft817Read) {
                EXPECT_GE(wrote[i].at - last, 0.25) << i;
            }
            last = wrote[i].at;
        }
        if (found) continue;
        for (const RadioFamily* family : Families()) {
            if (family->Record().identityReads.empty()) continue;
            for (const int speed : family->Record().lineSpeeds) {
                const std::string line = std::to_string(speed) + ",n,8,2";
                const Handshake own =
                    family->FlowControl(speed) ? Handshake::RtsCts : Handshake::None;
                bool heard = false;
                for (std::size_t i = 0; i < wrote.size(); ++i)
                    heard |= world.port.writes[i] == family->Record().identityReads.front() &&
                             wrote[i].settings == line && wrote[i].handshake == own;
                EXPECT_TRUE(heard) << family->Name() << " at " << speed;
            }
        }
    }
}

}  // namespace
}  // namespace cat::doctor
