// The flrig family byte for byte: the calls it writes, as flrig's method list (flrig --xml-help)
// gives their names and signatures, and how it cuts flrig's answers (captured from flrig 1.4.7)
// into pieces; and the link's turn of one call at a time, since flrig drops a call sent with
// another.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/line_settings.h"
#include "link/five_byte_check.h"
#include "protocols/flrig/flrig.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::FakeWorld;

// A call as flrig reads it: one POST to /RPC2 whose Content-Length counts the XML body.
std::string Post(const std::string& body) {
    return "POST /RPC2 HTTP/1.1\r\nContent-Type: text/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string CallOf(const std::string& method, const std::string& params = "") {
    return Post("<?xml version=\"1.0\"?><methodCall><methodName>" + method + "</methodName>" +
                params + "</methodCall>");
}

// flrig 1.4.7's answer to rig.get_vfo with no transceiver, as it came off the wire.
const std::string kFrequencyAnswer =
    "HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: "
    "118\r\n\r\n<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>\r\n\t<value>"
    "14070000</value>\r\n</param></params></methodResponse>\r\n";

// Its other answers in the same layout around `value`.
std::string Answer(const std::string& value) {
    const std::string body = "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>\r\n\t" +
                             value + "\r\n</param></params></methodResponse>\r\n";
    return "HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}
const std::string kFaultAnswer =
    "HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: "
    "263\r\n\r\n<?xml version=\"1.0\"?>\r\n<methodResponse><fault>\r\n\t<value><struct><member>"
    "<name>faultCode</name><value><i4>-1</i4></value></member><member><name>faultString</name>"
    "<value>rig.no_such: unknown method name</value></member></struct></value>\r\n</fault>"
    "</methodResponse>\r\n";
const std::string kModesAnswer = Answer(
    "<value><array><data><value>LSB</value><value>USB</value><value>AM</value><value>FM</value>"
    "<value>CW</value><value>CW-R</value><value>RTTY</value><value>RTTY-R</value><value>LSB-D"
    "</value><value>USB-D</value><value>AM-D</value><value>FM-D</value></data></array></value>");

// ---- the calls -----------------------------------------------------------------------------

struct CallRow {
    const char* name;
    std::string modes;  // flrig's answer to rig.get_modes as the link opened; empty: none
    std::function<void(SessionState&, Platform&)> act;
    std::string expected;  // the last call written
};

void PrintTo(const CallRow& row, std::ostream* os) { *os << row.name; }

class FlrigCalls : public ::testing::TestWithParam<CallRow> {};

TEST_P(FlrigCalls, GoOutAsFlrigReadsThem) {
    const CallRow& row = GetParam();
    FakeWorld world;
    world.port.open = true;
    SessionState state;
    state.protocol = Protocol::Flrig;
    const RadioFamily& family = FlrigFamily();
    // The radio's mode table, read as the link opened, decides the names a set uses.
    if (!row.modes.empty()) {
        world.port.replies = {Answer("<value>IC-7300</value>"), Answer("<value>1.4.7</value>"),
                              row.modes};
        family.ReadAtOpen(state, world.platform);  // rig.get_xcvr
        family.Poll(state, world.platform);        // main.get_version, then rig.get_modes
        ASSERT_TRUE(world.port.replies.empty());
    }
    world.port.writes.clear();
    row.act(state, world.platform);
    ASSERT_FALSE(world.port.writes.empty());
    EXPECT_EQ(world.port.writes.back(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Flrig, FlrigCalls,
    ::testing::Values(
        CallRow{"PollReadsFrequencyFirst", "",
                [](SessionState& s, Platform& p) { FlrigFamily().Poll(s, p); },
                CallOf("rig.get_vfo")},
        CallRow{"OpenAsksForTheTransceiver", "",
                [](SessionState& s, Platform& p) { FlrigFamily().ReadAtOpen(s, p); },
                CallOf("rig.get_xcvr")},
        CallRow{"FrequencySetIsADoubleOfHertz", "",
                [](SessionState& s, Platform& p) { FlrigFamily().SetFrequency(s, p, 14074000); },
                CallOf("rig.set_vfo",
                       "<params><param><value><double>14074000.0</double></value></param>"
                       "</params>")},
        CallRow{
            "ModeSetIsTheModesName", "",
            [](SessionState& s, Platform& p) { FlrigFamily().SetMode(s, p, ModeIndex::AM, false); },
            CallOf("rig.set_mode",
                   "<params><param><value><string>AM</string></value></param></params>")},
        CallRow{
            "ReversedCwIsCwR", "",
            [](SessionState& s, Platform& p) { FlrigFamily().SetMode(s, p, ModeIndex::CW, true); },
            CallOf("rig.set_mode",
                   "<params><param><value><string>CW-R</string></value></param></params>")},
        CallRow{"FskIsRttyWithoutATable", "",
                [](SessionState& s, Platform& p) {
                    FlrigFamily().SetMode(s, p, ModeIndex::FSK, false);
                },
                CallOf("rig.set_mode",
                       "<params><param><value><string>RTTY</string></value></param></params>")},
        CallRow{"PacketTakesTheRadiosDataName", kModesAnswer,
                [](SessionState& s, Platform& p) {
                    FlrigFamily().SetMode(s, p, ModeIndex::PKT, false);
                },
                CallOf("rig.set_mode",
                       "<params><param><value><string>USB-D</string></value></param></params>")},
        CallRow{"YaesusTableNamesDataU",
                Answer("<value><array><data><value>LSB</value><value>USB</value><value>CW-U"
                       "</value><value>DATA-U</value></data></array></value>"),
                [](SessionState& s, Platform& p) {
                    FlrigFamily().SetMode(s, p, ModeIndex::PKT, false);
                },
                CallOf("rig.set_mode",
                       "<params><param><value><string>DATA-U</string></value></param></params>")},
        CallRow{
            "YaesusTableNamesCwU",
            Answer("<value><array><data><value>LSB</value><value>USB</value><value>CW-U"
                   "</value><value>CW-L</value></data></array></value>"),
            [](SessionState& s, Platform& p) { FlrigFamily().SetMode(s, p, ModeIndex::CW, false); },
            CallOf("rig.set_mode",
                   "<params><param><value><string>CW-U</string></value></param></params>")},
        CallRow{"PttTestKeysWithOne", "",
                [](SessionState& s, Platform& p) { FlrigFamily().KeyByCommand(s, p, true); },
                CallOf("rig.set_ptt", "<params><param><value><i4>1</i4></value></param></params>")},
        CallRow{"PttTestUnkeysWithZero", "",
                [](SessionState& s, Platform& p) { FlrigFamily().KeyByCommand(s, p, false); },
                CallOf("rig.set_ptt", "<params><param><value><i4>0</i4></value></param></params>")},
        CallRow{"TransmitReadIsGetPtt", "",
                [](SessionState& s, Platform& p) { FlrigFamily().ReadTransmitting(s, p); },
                CallOf("rig.get_ptt")}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(FlrigCalls, UnkeyBytesAreTheUnkeyCall) {
    EXPECT_EQ(FlrigFamily().UnkeyBytes(SessionState{}),
              CallOf("rig.set_ptt", "<params><param><value><i4>0</i4></value></param></params>"));
}

// ---- the answers -----------------------------------------------------------------------------

struct PieceWant {
    PieceKind kind;
    std::size_t length;  // 0: the whole rest
    std::string note;    // a part of the note
    std::optional<std::int64_t> hertz = {};
    std::optional<int> mode = {};  // the list position; -1: reported without a name
    std::optional<bool> transmitting = {};
};

struct AnswerRow {
    const char* name;
    std::vector<std::string> calls;  // the methods called, in order
    std::string received;
    std::size_t firstRead;  // bytes that arrive first (not final): nothing whole in them
    std::vector<PieceWant> pieces;
};

void PrintTo(const AnswerRow& row, std::ostream* os) { *os << row.name; }

class FlrigAnswers : public ::testing::TestWithParam<AnswerRow> {};

TEST_P(FlrigAnswers, CutIntoPieces) {
    const AnswerRow& row = GetParam();
    const auto reader = FlrigFamily().Reader("");
    for (const std::string& method : row.calls) reader->Sent(CallOf(method));
    const std::string_view received = row.received;
    if (row.firstRead > 0) {
        EXPECT_EQ(reader->Next(received.substr(0, row.firstRead), false).length, 0u);
    }
    std::size_t at = 0;
    for (const PieceWant& want : row.pieces) {
        ASSERT_LT(at, received.size());
        const Piece piece = reader->Next(received.substr(at), true);
        const std::size_t length = want.length > 0 ? want.length : received.size() - at;
        EXPECT_EQ(piece.kind, want.kind) << piece.note;
        EXPECT_EQ(piece.length, length) << piece.note;
        EXPECT_NE(piece.note.find(want.note), std::string::npos) << piece.note;
        EXPECT_EQ(piece.hertz, want.hertz);
        if (want.mode) {
            EXPECT_TRUE(piece.modeReported);
            EXPECT_EQ(piece.mode ? ToInt(*piece.mode) : -1, *want.mode);
        }
        EXPECT_EQ(piece.transmitting, want.transmitting);
        at += piece.length > 0 ? piece.length : 1;
    }
    EXPECT_EQ(at, received.size());
}

const std::string kNoXcvr = Answer("<value></value>");

INSTANTIATE_TEST_SUITE_P(
    Flrig, FlrigAnswers,
    ::testing::Values(
        AnswerRow{"FrequencyWhole",
                  {"rig.get_vfo"},
                  kFrequencyAnswer,
                  0,
                  {{PieceKind::Reply, 0, "14.070000 MHz", 14'070'000}}},
        AnswerRow{"SplitInTheHeaderWaits",
                  {"rig.get_vfo"},
                  kFrequencyAnswer,
                  40,
                  {{PieceKind::Reply, 0, "frequency", 14'070'000}}},
        AnswerRow{"SplitInTheBodyWaits",
                  {"rig.get_vfo"},
                  kFrequencyAnswer,
                  kFrequencyAnswer.size() - 3,
                  {{PieceKind::Reply, 0, "frequency", 14'070'000}}},
        AnswerRow{"TwoAnswersInOneRead",
                  {"rig.get_vfo", "rig.get_mode"},
                  kFrequencyAnswer + Answer("<value>USB</value>"),
                  0,
                  {{PieceKind::Reply, kFrequencyAnswer.size(), "frequency", 14'070'000},
                   {PieceKind::Reply, 0, "mode: USB", {}, 1}}},
        AnswerRow{"FaultIsARefusal",
                  {"rig.no_such"},
                  kFaultAnswer,
                  0,
                  {{PieceKind::Refusal, 0, "unknown method name"}}},
        AnswerRow{"EmptyTransceiverAndItsMadeUpFrequency",
                  {"rig.get_xcvr", "rig.get_vfo"},
                  kNoXcvr + kFrequencyAnswer,
                  0,
                  {{PieceKind::Refusal, kNoXcvr.size(), "flrig has no transceiver"},
                   {PieceKind::Refusal, 0, "flrig has no transceiver"}}},
        AnswerRow{"TransceiverThenVersion",
                  {"rig.get_xcvr", "main.get_version"},
                  Answer("<value>IC-7300</value>") + Answer("<value>1.4.7</value>"),
                  0,
                  {{PieceKind::Unread, Answer("<value>IC-7300</value>").size(), "IC-7300"},
                   {PieceKind::Unread, 0, "flrig 1.4.7 with IC-7300"}}},
        AnswerRow{"VersionWithoutTransceiver",
                  {"rig.get_xcvr", "main.get_version"},
                  kNoXcvr + Answer("<value>1.4.7</value>"),
                  0,
                  {{PieceKind::Refusal, kNoXcvr.size(), "flrig has no transceiver"},
                   {PieceKind::Unread, 0, "flrig 1.4.7 without a transceiver"}}},
        AnswerRow{"ReversedCwIsCw",
                  {"rig.get_mode"},
                  Answer("<value>CW-R</value>"),
                  0,
                  {{PieceKind::Reply, 0, "mode: CW-R (CW)", {}, 2}}},
        AnswerRow{"DataUIsPacket",
                  {"rig.get_mode"},
                  Answer("<value>DATA-U</value>"),
                  0,
                  {{PieceKind::Reply, 0, "mode: DATA-U (PKT)", {}, 6}}},
        AnswerRow{"UnknownModeShowsNone",
                  {"rig.get_mode"},
                  Answer("<value>D-STAR</value>"),
                  0,
                  {{PieceKind::Reply, 0, "a mode without a name here", {}, -1}}},
        // Without a transceiver flrig answers from its own record: no radio said it.
        AnswerRow{"PttWithoutTransceiverIsFlrigsOwn",
                  {"rig.get_xcvr", "rig.get_ptt"},
                  kNoXcvr + Answer("<value><i4>1</i4></value>"),
                  0,
                  {{PieceKind::Refusal, kNoXcvr.size(), "flrig has no transceiver"},
                   {PieceKind::Refusal, 0, "flrig has no transceiver"}}},
        // The first bytes of an answer, shorter than its status line, are waited on.
        AnswerRow{"TheFirstBytesOfTheStatusLineWait",
                  {"rig.get_vfo"},
                  kFrequencyAnswer,
                  4,
                  {{PieceKind::Reply, 0, "frequency", 14'070'000}}},
        AnswerRow{"AStatusLineCutShortWaits",
                  {"rig.get_vfo"},
                  kFrequencyAnswer,
                  11,
                  {{PieceKind::Reply, 0, "frequency", 14'070'000}}},
        AnswerRow{"AHugeModeIsCutInTheNote",
                  {"rig.get_mode"},
                  Answer("<value>" + std::string(5000, 'M') + "</value>"),
                  0,
                  {{PieceKind::Reply, 0, "(4960 more characters)", {}, -1}}},
        AnswerRow{"PttOneIsTransmitting",
                  {"rig.get_ptt"},
                  Answer("<value><i4>1</i4></value>"),
                  0,
                  {{PieceKind::Reply, 0, "transmitting", {}, {}, true}}},
        AnswerRow{"AnswerToNothingAskedIsUnread",
                  {},
                  kFrequencyAnswer,
                  0,
                  {{PieceKind::Unread, 0, "nothing asked"}}},
        AnswerRow{"RigctldsReportIsNoise",
                  {"rig.get_vfo"},
                  "RPRT 0\n",
                  0,
                  {{PieceKind::Noise, 0, "not an answer"}}},
        AnswerRow{"CivBytesAreNoise",
                  {"rig.get_vfo"},
                  "\xfe\xfe\xe0\x94\xfb\xfd",
                  0,
                  {{PieceKind::Noise, 0, "not an answer"}}},
        AnswerRow{"RefusalOfATextRadioThenAnAnswer",
                  {"rig.get_vfo"},
                  "?;" + kFrequencyAnswer,
                  0,
                  {{PieceKind::Noise, 2, "not an answer"},
                   {PieceKind::Reply, 0, "frequency", 14'070'000}}},
        AnswerRow{"AnswerCutShortIsNoiseOnceFinal",
                  {"rig.get_vfo"},
                  kFrequencyAnswer.substr(0, 60),
                  0,
                  {{PieceKind::Noise, 60, "cut short"}}},
        AnswerRow{"HttpWithoutXmlRpcIsNoise",
                  {"rig.get_vfo"},
                  "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found",
                  0,
                  {{PieceKind::Noise, 0, "without XML-RPC"}}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(FlrigAnswers, RecognisedOnlyWhole) {
    const RadioFamily& family = FlrigFamily();
    EXPECT_EQ(family.Recognise(kFrequencyAnswer + "HTTP/1.1"), kFrequencyAnswer.size());
    EXPECT_EQ(family.Recognise(kFaultAnswer), kFaultAnswer.size());
    EXPECT_FALSE(family.Recognise(kFrequencyAnswer.substr(0, 100)));
    EXPECT_FALSE(family.Recognise("RPRT 0\n"));
    EXPECT_FALSE(family.Recognise("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"));
}

// ---- the link's turn -------------------------------------------------------------------------

// A server that answers each call at once, from a table of methods.
class FlrigLink : public ::testing::Test {
protected:
    FlrigLink() {
        world.port.open = true;
        state.protocol = Protocol::Flrig;
        world.port.responder = [this](const std::string& call) {
            const std::size_t start = call.find("<methodName>") + 12;
            const std::string method = call.substr(start, call.find("</methodName>") - start);
            called.push_back(method);
            const auto answer = answers.find(method);
            return answer == answers.end() || !answering ? std::string() : answer->second;
        };
    }
    void PollAfter(double seconds) {
        world.clock.Advance(seconds);
        FlrigFamily().Poll(state, world.platform);
    }

    FakeWorld world;
    SessionState state;
    std::vector<std::string> called;
    bool answering = true;
    std::map<std::string, std::string> answers{
        {"main.get_version", Answer("<value>1.4.7</value>")},
        {"rig.get_xcvr", Answer("<value>IC-7300</value>")},
        {"rig.get_modes", kModesAnswer},
        {"rig.get_vfo", Answer("<value>7074000</value>")},
        {"rig.get_mode", Answer("<value>USB-D</value>")},
        {"rig.get_ptt", Answer("<value><i4>0</i4></value>")},
    };
};

TEST_F(FlrigLink, OpensByNamingTheServerThenReadsFrequencyAndModeEachPoll) {
    FlrigFamily().ReadAtOpen(state, world.platform);
    PollAfter(0.25);
    PollAfter(0.25);
    PollAfter(0.25);
    EXPECT_EQ(called, (std::vector<std::string>{"rig.get_xcvr", "main.get_version", "rig.get_modes",
                                                "rig.get_vfo", "rig.get_mode", "rig.get_vfo",
                                                "rig.get_mode"}));
    EXPECT_EQ(state.frequencyHz, 7'074'000);
    EXPECT_EQ(state.mode, ModeIndex::PKT);
    EXPECT_TRUE(state.received.empty());
}

TEST_F(FlrigLink, SendsNoSecondCallWhileOneIsUnanswered) {
    answering = false;
    FlrigFamily().Poll(state, world.platform);
    PollAfter(0.25);
    PollAfter(1.0);
    EXPECT_EQ(called, (std::vector<std::string>{"rig.get_vfo"}));
    // The answer comes late: it is read, and the mode read follows at the next poll.
    world.port.Arrive(Answer("<value>7074000</value>"));
    answering = true;
    PollAfter(0.25);
    EXPECT_EQ(state.frequencyHz, 7'074'000);
    EXPECT_EQ(called, (std::vector<std::string>{"rig.get_vfo", "rig.get_mode", "rig.get_vfo"}));
}

TEST_F(FlrigLink, GivesUpOnACallAfterTwoSeconds) {
    answering = false;
    FlrigFamily().Poll(state, world.platform);
    PollAfter(2.5);
    EXPECT_EQ(called, (std::vector<std::string>{"rig.get_vfo", "rig.get_mode"}));
}

TEST_F(FlrigLink, WithoutTransceiverAsksForOneInsteadOfItsMadeUpFrequency) {
    answers["rig.get_xcvr"] = Answer("<value></value>");
    answers["rig.get_modes"] = Answer("<value></value>");
    answers["rig.get_vfo"] = kFrequencyAnswer;
    FlrigFamily().ReadAtOpen(state, world.platform);
    for (int poll = 0; poll < 4; ++poll) PollAfter(0.25);
    EXPECT_EQ(called, (std::vector<std::string>{"rig.get_xcvr", "main.get_version", "rig.get_modes",
                                                "rig.get_xcvr", "rig.get_xcvr", "rig.get_xcvr"}));
    EXPECT_FALSE(state.frequencyHz);
    // flrig finds its radio: the frequency is read again.
    answers["rig.get_xcvr"] = Answer("<value>IC-7300</value>");
    answers["rig.get_vfo"] = Answer("<value>7074000</value>");
    PollAfter(0.25);
    PollAfter(0.25);
    EXPECT_EQ(state.frequencyHz, 7'074'000);
}

TEST_F(FlrigLink, TransmitReadWaitsForThePollsAnswerThenAsks) {
    answering = false;
    FlrigFamily().Poll(state, world.platform);
    world.port.arrivals.push_back(Answer("<value>7074000</value>"));
    answering = true;
    answers["rig.get_ptt"] = Answer("<value><i4>1</i4></value>");
    EXPECT_EQ(FlrigFamily().ReadTransmitting(state, world.platform), true);
    EXPECT_EQ(called, (std::vector<std::string>{"rig.get_vfo", "rig.get_ptt"}));
    EXPECT_EQ(state.frequencyHz, 7'074'000);
}

TEST_F(FlrigLink, TransmitReadWithoutAnAnswerSaysNothingInBoundedTime) {
    answering = false;
    world.clock.stepPerRead = 0.001;
    EXPECT_EQ(FlrigFamily().ReadTransmitting(state, world.platform), std::nullopt);
    EXPECT_LT(world.clock.now, 1.0);
}

// A server has no serial line: the search for a five-byte radio that opens a serial link would put
// its bytes in front of the first call, and flrig would read neither.
TEST(FlrigLine, NoFiveByteCheckBeforeTheFirstCall) {
    EXPECT_EQ(
        FiveByteCheck::For(FlrigFamily(), 9600, RequireLineSettings("9600,n,8,2"), Handshake::None),
        nullptr);
}

// Nothing the link sends on its own is a set, whatever flrig answers.
TEST_F(FlrigLink, OnlyReadsOnItsOwn) {
    FlrigFamily().ReadAtOpen(state, world.platform);
    for (int poll = 0; poll < 6; ++poll) PollAfter(0.25);
    FlrigFamily().ReadTransmitting(state, world.platform);
    answering = false;
    for (int poll = 0; poll < 3; ++poll) PollAfter(2.5);
    ASSERT_GT(called.size(), 8u);
    for (const std::string& method : called) {
        EXPECT_TRUE(method == "main.get_version" || method.starts_with("rig.get_")) << method;
    }
}

}  // namespace
}  // namespace cat
