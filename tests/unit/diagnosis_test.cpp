// The diagnosis from byte traces: what was sent and what came back, with their times, and what
// the operator reads. One table, every verdict for every protocol it can occur with.

#include "doctor/diagnosis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/session_state.h"
#include "tests/support/fakes.h"

namespace cat::doctor {
namespace {

using test::Bytes;

struct Event {
    double at;
    bool sent;
    std::string bytes;
};

const std::string kIcomPoll = Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD, 0x00});
const std::string kIcomReply =
    Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD});
const std::string kIcomFrom94 =
    Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD});
const std::string kIcomNg = Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0xFA, 0xFD});
const std::string kIf =
    "IF00014074000"
    "0000+00000000000"
    "2"
    "0000000;";
const std::string kFtPoll = Bytes({0x00, 0x00, 0x00, 0x00, 0x03});
const std::string kFtReply = Bytes({0x01, 0x40, 0x74, 0x00, 0x01});
const std::string kYaesuPoll = "FA;MD0;";
const std::string kYaesuReply = "FA014074000;MD02;";
// Yaesu's status reply, clean text in its own layout; what a Kenwood link gets from such a radio.
const std::string kYaesuIf = "IF059014200000+000000700000;";
// A TS-480 subset leaves the step field blank; an SDR program sends a longer reply.
const std::string kTs480If = "IF00014074000     +00000000002000000 ;";
const std::string kLongIf = "IF000140740000000+0000000000020000000000;";
// The broadcast read answered with 00 as the source: the address is in the data.
const std::string kIcomFrom00 = Bytes({0xFE, 0xFE, 0xE0, 0x00, 0x19, 0x00, 0xA4, 0xFD});
// A wrong line speed: bytes with no FE/FD, no ";", no plausible reading.
const std::string kNoise = Bytes({0x9A, 0x3C, 0xF1, 0x0E, 0x77, 0xC3, 0x25});

// `events`, then `bytes` arriving one at a time, 0.1 s apart from `from` on: a slow trickle.
std::vector<Event> Trickled(std::vector<Event> events, const std::string& bytes, double from) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
        events.push_back({from + 0.1 * static_cast<double>(i), false, bytes.substr(i, 1)});
    return events;
}

struct Row {
    const char* name;
    Protocol protocol;
    std::vector<Event> events;
    double now;
    VerdictKind kind;
    std::string saying = "";  // text the operator reads, in brief or text
    std::function<void(Observation&)> port = nullptr;
};

std::ostream& operator<<(std::ostream& os, const Row& row) { return os << row.name; }

Verdict DiagnoseTrace(const Row& row) {
    LineAnalyzer line(row.protocol, "5E");
    for (const Event& e : row.events) {
        line.Settle(e.at);
        if (e.sent)
            line.Sent(e.at, e.bytes);
        else
            line.Received(e.at, e.bytes);
    }
    line.Settle(row.now);
    Observation o;
    o.protocol = row.protocol;
    o.radioAddress = "5E";
    o.port = "Com 3";
    o.com = 3;
    o.device = "/dev/ttyUSB0";
    o.speed = "9600";
    o.open = o.everOpened = true;
    o.now = row.now;
    o.line = &line.Summary();
    if (row.port) row.port(o);
    return Diagnose(o);
}

const Row kRows[] = {
    // Answering, and what the status line shows while waiting.
    {"IcomAnswers",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kIcomReply}},
     0.5,
     VerdictKind::Answering,
     "ICOM 5E: answering"},
    // A live link never looks late: two seconds between reads of one value, a read out and not
    // yet due, are live; a radio not asked for a while (a minimised window) shows its age.
    {"IcomBetweenReadsIsLive",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kIcomReply}},
     2.2,
     VerdictKind::Answering,
     "ICOM 5E: answering"},
    {"IcomReadOutNotYetDueIsLive",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kIcomReply}, {2.4, true, kIcomPoll}},
     3.0,
     VerdictKind::Answering,
     "ICOM 5E: answering"},
    {"IcomNotAskedForAWhileShowsTheAge",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kIcomReply}},
     4.1,
     VerdictKind::Answering,
     "ICOM 5E: reply 4 s ago"},
    {"KenwoodAnswers",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.04, false, kIf}},
     0.3,
     VerdictKind::Answering,
     "Kenwood radio answers on Com 3 at 9600 baud"},
    {"Ft817Answers",
     Protocol::Ft817,
     {{0, true, kFtPoll}, {0.02, false, kFtReply}, {0.1, true, kFtPoll}, {0.12, false, kFtReply}},
     0.2,
     VerdictKind::Answering},
    // Without frame or checksum, one plausible reply is not yet a radio: noise can pass once.
    {"Ft817SingleReadingIsNotYetARadio",
     Protocol::Ft817,
     {{0, true, kFtPoll}, {0.02, false, kFtReply}},
     0.2,
     VerdictKind::Waiting},
    {"SilenceIsFirstOnlyWaiting",
     Protocol::Icom,
     {{0, true, kIcomPoll}},
     0.6,
     VerdictKind::Waiting,
     "Waiting for radio, Com 3"},
    // Nothing at all comes back.
    {"IcomNoReply",
     Protocol::Icom,
     {{0, true, kIcomPoll}},
     1.2,
     VerdictKind::NoReply,
     "CI-V Address"},
    {"KenwoodNoReply",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.25, true, "IF;"}, {0.5, true, "IF;"}},
     1.1,
     VerdictKind::NoReply,
     "baud rate"},
    {"Ft817NoReply",
     Protocol::Ft817,
     {{0, true, kFtPoll}, {0.4, true, kFtPoll}},
     1.1,
     VerdictKind::NoReply,
     "menu 14 CAT RATE"},
    // Only our own bytes come back.
    {"IcomEchoOnly",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.01, false, kIcomPoll}},
     1.2,
     VerdictKind::EchoOnly,
     "a CI-V bus"},
    // No bus carries a text family: the echo comes from the interface or the cable.
    {"KenwoodEchoOnly",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.01, false, "IF;"}},
     1.2,
     VerdictKind::EchoOnly,
     "(a level converter or a cable that joins the data lines)"},
    {"Ft817EchoOnly",
     Protocol::Ft817,
     {{0, true, kFtPoll}, {0.01, false, kFtPoll}},
     1.2,
     VerdictKind::EchoOnly},
    // Frames from another CI-V address: plain at once, with the address to use.
    {"IcomOtherAddress",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kIcomFrom94}},
     0.1,
     VerdictKind::OtherAddress,
     "radio answers at address 94, not 5E"},
    {"TwoOtherAddressesOfferTheOneHeardMost",
     Protocol::Icom,
     {{0, true, kIcomPoll},
      {0.03, false, Bytes({0xFE, 0xFE, 0xE0, 0x70, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD})},
      {0.5, true, kIcomPoll},
      {0.53, false, kIcomFrom94},
      {1.0, true, kIcomPoll},
      {1.03, false, kIcomFrom94}},
     1.1,
     VerdictKind::OtherAddress,
     "Use address 94."},
    // Bytes that form no reply.
    {"IcomGarbled",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kNoise}},
     1.2,
     VerdictKind::Garbled,
     "another speed than 9600 baud"},
    {"KenwoodGarbled",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.03, false, kNoise}},
     1.2,
     VerdictKind::Garbled},
    // Noise trickling in never makes up a reply's length; it is judged as soon as the radio is
    // overdue, not when 64 bytes have come.
    {"TricklingNoiseIsGarbledOnceTheReplyIsOverdue", Protocol::Kenwood,
     Trickled({{0, true, "IF;"}}, kNoise + kNoise.substr(0, 4), 0.05), 1.1, VerdictKind::Garbled},
    {"Ft817Garbled",
     Protocol::Ft817,
     {{0, true, kFtPoll}, {0.03, false, kNoise.substr(0, 5)}},
     1.2,
     VerdictKind::Garbled},
    {"EchoPlusGarbageIsTheSpeed",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.01, false, kIcomPoll}, {0.03, false, kNoise}},
     1.2,
     VerdictKind::Garbled,
     "besides our echo"},
    // Replies of another protocol.
    {"IcomHearsKenwood",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.02, false, "?;"}},
     0.1,
     VerdictKind::OtherProtocol,
     "This is a Kenwood radio: choose Kenwood"},
    {"Ft817HearsKenwood",
     Protocol::Ft817,
     {{0, true, kFtPoll}, {0.02, false, "?;"}},
     0.1,
     VerdictKind::OtherProtocol,
     "Kenwood"},
    {"KenwoodHearsCiv",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.02, false, kIcomReply}},
     0.1,
     VerdictKind::OtherProtocol,
     "This is an ICOM radio: choose ICOM"},
    // Refusals.
    {"KenwoodRefusesEverything",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.02, false, "?;"}, {0.25, true, "IF;"}, {0.27, false, "?;"}},
     0.3,
     VerdictKind::Refuses,
     "(?;)"},
    {"IcomSaysNg",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.02, false, kIcomNg}, {0.4, true, kIcomPoll}, {0.42, false, kIcomNg}},
     0.5,
     VerdictKind::Refuses,
     "(NG: fe fe"},
    // One NG may refuse a read the radio lacks (the transmit state) while it answers the polls:
    // no verdict yet, and none that the next reply would take back.
    {"OneNgIsNotYetARefusingRadio",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.02, false, kIcomNg}, {0.3, true, kIcomPoll}},
     0.35,
     VerdictKind::Waiting},
    {"OneNgThenItsRepliesAnswers",
     Protocol::Icom,
     {{0, true, kIcomPoll},
      {0.02, false, kIcomNg},
      {0.3, true, kIcomPoll},
      {0.31, false, kIcomReply}},
     0.5,
     VerdictKind::Answering},
    {"OneNgLongUnansweredAfterIsARefusal",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.02, false, kIcomNg}},
     1.2,
     VerdictKind::Refuses},
    // A radio that said something, then leaves the reads without a word, has stopped, whatever
    // it said: not "refuses" for the one NG before it went quiet.
    {"IcomNgThenSilenceStopped",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.02, false, kIcomNg}, {0.3, true, kIcomPoll}, {0.7, true, kIcomPoll}},
     1.5,
     VerdictKind::Stopped,
     "Radio silent for 1 s"},
    // It answered, refused one read and fell silent: until the read after it has had its time,
    // it is still answering; then it has stopped. Never "refuses" in between.
    {"IcomNgThenSilenceNotYetJudged",
     Protocol::Icom,
     {{0, true, kIcomPoll},
      {0.03, false, kIcomReply},
      {0.3, true, kIcomPoll},
      {0.32, false, kIcomNg},
      {0.7, true, kIcomPoll}},
     1.5,
     VerdictKind::Answering},
    {"IcomNgThenSilenceJudged",
     Protocol::Icom,
     {{0, true, kIcomPoll},
      {0.03, false, kIcomReply},
      {0.3, true, kIcomPoll},
      {0.32, false, kIcomNg},
      {0.7, true, kIcomPoll}},
     1.8,
     VerdictKind::Stopped},
    // The radio stopped, and a radio that answers every other poll.
    {"IcomStopped",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kIcomReply}, {2, true, kIcomPoll}},
     3.2,
     VerdictKind::Stopped,
     "came 3 s ago"},
    {"KenwoodStoppedIntoRefusals",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.04, false, kIf}, {0.25, true, "IF;"}, {0.27, false, "?;"}},
     1.3,
     VerdictKind::Refuses},
    {"KenwoodEveryOtherPollStillAnswers",
     Protocol::Kenwood,
     {{0, true, "IF;"},
      {0.04, false, kIf},
      {0.25, true, "IF;"},
      {0.5, true, "IF;"},
      {0.54, false, kIf},
      {0.75, true, "IF;"}},
     0.9,
     VerdictKind::Answering},
    {"Ft817Stopped",
     Protocol::Ft817,
     {{0, true, kFtPoll},
      {0.02, false, kFtReply},
      {0.1, true, kFtPoll},
      {0.12, false, kFtReply},
      {0.4, true, kFtPoll}},
     1.5,
     VerdictKind::Stopped},
    // What the port itself says.
    {"DeviceMissingListsWhatIsThere",
     Protocol::Icom,
     {},
     0.1,
     VerdictKind::DeviceMissing,
     "Serial devices present now: /dev/ttyS0, /dev/ttyUSB1",
     [](Observation& o) {
         o.open = false;
         o.failure =
             OpenFailure{CommFault::DeviceNotFound, "", {"/dev/ttyS0", "/dev/ttyUSB1"}, "", ""};
     }},
    {"InUseNamesTheProgram",
     Protocol::Kenwood,
     {},
     0.1,
     VerdictKind::InUse,
     "in use by flrig (process 42)",
     [](Observation& o) {
         o.open = false;
         o.failure = OpenFailure{CommFault::DeviceInUse, "", {}, "flrig (process 42)", ""};
     }},
    {"NoPermissionSaysWhichGroupForWhichUser",
     Protocol::Ft817,
     {},
     0.1,
     VerdictKind::NoPermission,
     "sudo adduser hamop dialout",
     [](Observation& o) {
         o.open = false;
         o.failure = OpenFailure{CommFault::PermissionDenied, "not allowed", {}, "", "hamop"};
     }},
    {"OutputHeldByFlowControl",
     Protocol::Kenwood,
     {{0, true, "IF;"}},
     1.2,
     VerdictKind::OutputBlocked,
     "Com3.Handshake=none",
     [](Observation& o) {
         o.handshaking = true;
         o.outputHeldSince = 0.1;
     }},
    // A port named by its device has no Com key: the advice says which key to write.
    {"OutputHeldOnAPortNamedByItsDevice",
     Protocol::Kenwood,
     {{0, true, "IF;"}},
     1.2,
     VerdictKind::OutputBlocked,
     "([Ports] ComN.Handshake=none for the Com number that opens it)",
     [](Observation& o) {
         o.port = o.device;
         o.com = 0;
         o.handshaking = true;
         o.outputHeldSince = 0.1;
     }},
    // The key is written as the settings file spells it, whatever the number's width.
    {"OutputHeldOnATwoDigitPort",
     Protocol::Kenwood,
     {{0, true, "IF;"}},
     1.2,
     VerdictKind::OutputBlocked,
     "([Ports] Com12.Handshake=none)",
     [](Observation& o) {
         o.port = "Com 12";
         o.com = 12;
         o.handshaking = true;
         o.outputHeldSince = 0.1;
     }},
    // Without flow control, turning it off is no advice.
    {"OutputHeldWithoutFlowControl",
     Protocol::Kenwood,
     {{0, true, "IF;"}},
     1.2,
     VerdictKind::OutputBlocked,
     "with flow control off, only the interface or its driver",
     [](Observation& o) { o.outputHeldSince = 0.1; }},
    {"BriefOutputHoldIsNoFault",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.04, false, kIf}},
     0.5,
     VerdictKind::Answering,
     "",
     [](Observation& o) {
         o.handshaking = true;
         o.outputHeldSince = 0.05;
     }},
    {"AdapterUnplugged",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kIcomReply}},
     2.5,
     VerdictKind::Vanished,
     "unplugged",
     [](Observation& o) { o.lostAt = 1.0; }},
    {"ConnectionLost",
     Protocol::Kenwood,
     {{0, true, "IF;"}},
     2.5,
     VerdictKind::Vanished,
     "Connection lost",
     [](Observation& o) {
         o.lostAt = 1.0;
         o.device = "tcp://[fe80::1]:4000";
     }},
    {"ConnectionLostSaysWhatThePortSaid",
     Protocol::Kenwood,
     {{0, true, "IF;"}},
     2.5,
     VerdictKind::Vanished,
     "lost its connection 1 s ago: the far end reset it.",
     [](Observation& o) {
         o.lostAt = 1.0;
         o.lostWhy = "the far end reset it";
         o.device = "rfc2217://pi:2000";
     }},
    // The families and dialects of today's radios: clean replies are read or named, never
    // blamed on the speed.
    {"YaesuAnswers",
     Protocol::Yaesu,
     {{0, true, kYaesuPoll}, {0.03, false, kYaesuReply}},
     0.5,
     VerdictKind::Answering,
     "Yaesu: answering"},
    {"YaesuRadioOnAKenwoodLink",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.03, false, kYaesuIf}},
     0.1,
     VerdictKind::OtherProtocol,
     "This is a Yaesu radio: choose Yaesu"},
    {"KenwoodRadioOnAYaesuLink",
     Protocol::Yaesu,
     {{0, true, kYaesuPoll}, {0.03, false, "FA00014074000;?;"}},
     0.1,
     VerdictKind::OtherProtocol,
     "choose Kenwood"},
    {"YaesuRefuses",
     Protocol::Yaesu,
     {{0, true, kYaesuPoll}, {0.03, false, "?;?;"}},
     1.5,
     VerdictKind::Refuses,
     "(?;)"},
    {"Ts480SubsetIsRead",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.03, false, kTs480If}},
     0.5,
     VerdictKind::Answering},
    {"LongSdrStatusIsRead",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.03, false, kLongIf}},
     0.5,
     VerdictKind::Answering},
    {"CleanTextNoFamilyReads",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.03, false, "XQ12;XQ12;"}},
     0.1,
     VerdictKind::Unreadable,
     "does not read: XQ12;"},
    // A reply starts after a pause or a whole unit: inside a burst of noise its pattern is noise.
    {"AReplyInsideNoiseIsNoise",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.03, false, kNoise + ";" + kIf}},
     1.5,
     VerdictKind::Garbled},
    {"AReplyAfterNoiseAndAPauseIsAReply",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.03, false, kNoise + ";"}, {0.1, false, kIf}},
     0.5,
     VerdictKind::Answering},
    {"CleanTextAndNoiseIsNotTheSpeed",
     Protocol::Kenwood,
     {{0, true, "IF;"}, {0.03, false, kNoise + ";XQ12;"}},
     1.5,
     VerdictKind::Unreadable},
    {"IcomAnswerFrom00NamesTheAddressInItsData",
     Protocol::Icom,
     {{0, true, kIcomPoll}, {0.03, false, kIcomFrom00}},
     0.1,
     VerdictKind::OtherAddress,
     "Radio at A4, not 5E"},
    {"NoProtocolChosen",
     Protocol::None,
     {},
     0.1,
     VerdictKind::NoProtocol,
     "Choose a protocol",
     [](Observation& o) { o.protocolChosen = false; }},
    {"ClosedSaysTheDisplayIsOld",
     Protocol::Icom,
     {},
     0.1,
     VerdictKind::Closed,
     "not live",
     [](Observation& o) { o.open = false; }},
};

class Diagnosis : public ::testing::TestWithParam<Row> {};

TEST_P(Diagnosis, NamesTheFaultInOperatorWords) {
    const Row& row = GetParam();
    const Verdict v = DiagnoseTrace(row);
    EXPECT_EQ(v.kind, row.kind) << v.brief << " / " << v.text;
    const std::string all = v.brief + " " + v.text + " " + v.advice;
    EXPECT_NE(all.find(row.saying), std::string::npos) << all;
    const bool fine = row.kind == VerdictKind::Answering || row.kind == VerdictKind::Waiting ||
                      row.kind == VerdictKind::Closed;
    EXPECT_EQ(v.problem, !fine);
    EXPECT_FALSE(v.id.empty());
}

INSTANTIATE_TEST_SUITE_P(Traces, Diagnosis, ::testing::ValuesIn(kRows),
                         [](const auto& instance) { return std::string(instance.param.name); });

// A reply whose source is the broadcast 00 offers the address its data carries, never 00.
TEST(Diagnosis, TheBroadcastAddressIsNeverOffered) {
    const Row row{"From00",
                  Protocol::Icom,
                  {{0, true, kIcomPoll}, {0.03, false, kIcomFrom00}},
                  0.1,
                  VerdictKind::OtherAddress};
    EXPECT_EQ(DiagnoseTrace(row).useAddress, "A4");
}

TEST(Diagnosis, OtherAddressOffersTheAddressToUse) {
    const auto row = *std::find_if(std::begin(kRows), std::end(kRows), [](const Row& r) {
        return std::string(r.name) == "IcomOtherAddress";
    });
    EXPECT_EQ(DiagnoseTrace(row).useAddress, "94");
}

}  // namespace
}  // namespace cat::doctor
