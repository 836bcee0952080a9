// The rig-sharing servers' languages, byte by byte. Answers are copied from the real servers'
// traffic (rigctld 4.5 with its dummy radio, and with an ICOM model on a pseudo-terminal that
// nobody answers); commands are the servers' documented forms.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "core/cat_error.h"
#include "core/port_names.h"
#include "doctor/line_analyzer.h"
#include "doctor/monitor_text.h"
#include "link/link_control.h"
#include "protocols/families.h"
#include "protocols/flrig/flrig.h"
#include "protocols/rigctld/rigctld.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::FakeWorld;
using test::ToHex;

constexpr int kNoMode = -1;
constexpr int kNoHertz = -1;
constexpr int kNoName = 99;  // a mode reported that the list has no name for
constexpr std::size_t kWhole = std::string::npos;

// rigctld's capability answer, shortened to the lines read here and a few around them.
const std::string kCapabilities =
    "dump_caps:\nCaps dump for model: 1\nModel name:\tDummy\nMfg name:\tHamlib\n"
    "Backend version:\t20221128.0\nBackend copyright:\tLGPL\nBackend status:\tStable\n"
    "Rig type:\tOther \nMode list: AM CW USB LSB RTTY FM WFM CWR RTTYR \n\nOverall backend "
    "warnings: 0   \nRPRT 0\n";

struct PieceRow {
    const char* name;
    std::string received;
    bool final;
    std::size_t length;  // 0: waits for more; kWhole: all that was received
    PieceKind kind;
    std::int64_t hertz;  // kNoHertz: none
    int mode;            // kNoMode: no mode reported
    const char* note;    // a part of the note
};

void PrintTo(const PieceRow& row, std::ostream* out) { *out << row.name; }

const std::string kFrequency = "get_freq:\nFrequency: 7074000\nRPRT 0\n";

std::string Repeated(std::string_view text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += text;
    return out;
}

class RigctldPieces : public ::testing::TestWithParam<PieceRow> {};

TEST_P(RigctldPieces, CutsAndReadsTheServersAnswers) {
    const PieceRow& row = GetParam();
    auto reader = RigctldFamily().Reader("");
    reader->Sent("+f\n+m\n");
    const Piece piece = reader->Next(row.received, row.final);
    EXPECT_EQ(piece.length, row.length == kWhole ? row.received.size() : row.length)
        << ToHex(row.received);
    if (row.length == 0) return;
    EXPECT_EQ(piece.kind, row.kind);
    EXPECT_EQ(piece.hertz.value_or(kNoHertz), row.hertz);
    EXPECT_EQ(piece.modeReported ? (piece.mode ? ToInt(*piece.mode) : kNoName) : kNoMode, row.mode);
    EXPECT_NE(piece.note.find(row.note), std::string::npos) << piece.note;
    // The scan and the doctor count as the server's own only what the reader takes as an answer.
    const bool framed = row.kind != PieceKind::Noise;
    EXPECT_EQ(RigctldFamily().Recognise(row.received).has_value(), framed);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RigctldPieces,
    ::testing::Values(
        PieceRow{"Frequency", kFrequency, false, kWhole, PieceKind::Reply, 7'074'000, kNoMode,
                 "7.074000 MHz"},
        PieceRow{"FrequencyThenMode", kFrequency + "get_mode:\nMode: FM\n", false,
                 kFrequency.size(), PieceKind::Reply, 7'074'000, kNoMode, "frequency"},
        PieceRow{"ModeUsb", "get_mode:\nMode: USB\nPassband: 2400\nRPRT 0\n", false, kWhole,
                 PieceKind::Reply, kNoHertz, ToInt(ModeIndex::USB), "USB"},
        PieceRow{"ModeFm", "get_mode:\nMode: FM\nPassband: 15000\nRPRT 0\n", false, kWhole,
                 PieceKind::Reply, kNoHertz, ToInt(ModeIndex::FM), "FM"},
        PieceRow{"ModeWideFm", "get_mode:\nMode: WFM\nPassband: 230000\nRPRT 0\n", false, kWhole,
                 PieceKind::Reply, kNoHertz, ToInt(ModeIndex::FM), "WFM"},
        PieceRow{"ModeCwReversed", "get_mode:\nMode: CWR\nPassband: 500\nRPRT 0\n", false, kWhole,
                 PieceKind::Reply, kNoHertz, ToInt(ModeIndex::CW), "CWR"},
        PieceRow{"ModeRttyReversed", "get_mode:\nMode: RTTYR\nPassband: 300\nRPRT 0\n", false,
                 kWhole, PieceKind::Reply, kNoHertz, ToInt(ModeIndex::FSK), "RTTYR"},
        PieceRow{"ModeDataUpperSideband", "get_mode:\nMode: PKTUSB\nPassband: 0\nRPRT 0\n", false,
                 kWhole, PieceKind::Reply, kNoHertz, ToInt(ModeIndex::PKT), "PKTUSB"},
        PieceRow{"ModeWithoutAName", "get_mode:\nMode: ECSSUSB\nPassband: 0\nRPRT 0\n", false,
                 kWhole, PieceKind::Reply, kNoHertz, kNoName, "without a name"},
        PieceRow{"ModeAmSynchronous", "get_mode:\nMode: AMS\nPassband: 0\nRPRT 0\n", false, kWhole,
                 PieceKind::Reply, kNoHertz, kNoName, "AMS"},
        PieceRow{"FrequencySetDone", "set_freq: 7074000\nRPRT 0\n", false, kWhole, PieceKind::Reply,
                 kNoHertz, kNoMode, "set_freq: done"},
        PieceRow{"SilentRadioTimesOut", "get_freq:\nRPRT -5\n", false, kWhole, PieceKind::Refusal,
                 kNoHertz, kNoMode, "get_freq: RPRT -5: communication timed out"},
        // The radio was reached: it lacks the read, or refused the value.
        PieceRow{"TransmitReadNotAvailable", "get_ptt:\nRPRT -11\n", false, kWhole,
                 PieceKind::Unread, kNoHertz, kNoMode, "RPRT -11: not available"},
        PieceRow{"BareResult", "RPRT -1\n", false, kWhole, PieceKind::Unread, kNoHertz, kNoMode,
                 "RPRT -1: invalid parameter"},
        PieceRow{"UnknownErrorNumber", "get_freq:\nRPRT -99\n", false, kWhole, PieceKind::Refusal,
                 kNoHertz, kNoMode, "RPRT -99"},
        PieceRow{"AnswerNotRead", "get_vfo:\nVFO: VFOA\nRPRT 0\n", false, kWhole, PieceKind::Unread,
                 kNoHertz, kNoMode, "get_vfo"},
        PieceRow{"FrequencyNotANumber", "get_freq:\nFrequency: many\nRPRT 0\n", false, kWhole,
                 PieceKind::Unread, kNoHertz, kNoMode, "get_freq"},
        PieceRow{"Information", "get_info:\nInfo: Nothing much (dummy)\nRPRT 0\n", false, kWhole,
                 PieceKind::Reply, kNoHertz, kNoMode, "Nothing much (dummy)"},
        PieceRow{"Capabilities", kCapabilities, false, kWhole, PieceKind::Unread, kNoHertz, kNoMode,
                 "Hamlib Dummy, backend version 20221128.0"},
        PieceRow{"HalfAnAnswerWaits", "get_freq:\nFrequency: 70", false, 0, PieceKind::Noise,
                 kNoHertz, kNoMode, ""},
        // Nothing more coming: no answer starts anywhere in it, and it goes in one piece.
        PieceRow{"HalfAnAnswerAtTheEnd", "get_freq:\nFrequency: 70", true, kWhole, PieceKind::Noise,
                 kNoHertz, kNoMode, "not an answer"},
        PieceRow{"AHugeModeNameIsCut",
                 "get_mode:\nMode: " + std::string(5000, 'X') + "\nPassband: 0\nRPRT 0\n", false,
                 kWhole, PieceKind::Reply, kNoHertz, kNoName, "(4936 more characters)"},
        PieceRow{"ALineWithoutItsEndIsNoHeader", std::string(300, 'x'), false, 256,
                 PieceKind::Noise, kNoHertz, kNoMode, "not an answer"},
        PieceRow{"WebServer", "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n", false, 26,
                 PieceKind::Noise, kNoHertz, kNoMode, "not an answer"},
        PieceRow{"CivFrame", std::string("\xfe\xfe\x94\xe0\x03\xfd", 6), false, 6, PieceKind::Noise,
                 kNoHertz, kNoMode, "not an answer"},
        PieceRow{"KenwoodRefusal", "?;", true, 2, PieceKind::Noise, kNoHertz, kNoMode,
                 "not an answer"},
        PieceRow{"ResultNotANumber", "get_freq:\nRPRT x\n", false, 10, PieceKind::Noise, kNoHertz,
                 kNoMode, "not an answer"},
        PieceRow{"PlainFormAnswer", "145000000\n", false, 10, PieceKind::Noise, kNoHertz, kNoMode,
                 "not an answer"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(RigctldReader, NamesTheServersRadio) {
    auto reader = RigctldFamily().Reader("");
    reader->Sent("+\\dump_caps\n");
    EXPECT_EQ(reader->Next(kCapabilities, false).identity,
              "Hamlib Dummy, backend version 20221128.0");
}

TEST(RigctldReader, NamesOurCommandsForTheMonitor) {
    auto reader = RigctldFamily().Reader("");
    EXPECT_EQ(reader->Sent("+f\n+m\n"), "read frequency, read mode");
    EXPECT_EQ(reader->Sent("+F 7074000\n"), "set frequency to 7.074000 MHz");
    EXPECT_EQ(reader->Sent("+M CWR -1\n"), "set mode to CWR -1");
    EXPECT_EQ(reader->Sent("+\\dump_caps\n"), "read the server's radio model");
}

TEST(RigctldReader, ShowsTextWithItsLineEnds) {
    const RadioFamily& family = RigctldFamily();
    EXPECT_EQ(family.ShowBytes("get_freq:\nRPRT -5\n"), "get_freq:\\nRPRT -5\\n");
    EXPECT_EQ(family.ShowBytes("Model name:\tDummy\n"), "Model name:\\tDummy\\n");
    EXPECT_EQ(family.ShowBytes(std::string("\xfe\xfe\x94\xe0\x03\xfd", 6)),
              "\\xFE\\xFE\\x94\\xE0\\x03\\xFD");
    // The capability list shows its start and its result, not all of its lines.
    const std::string shown =
        family.ShowBytes(kCapabilities + std::string(300, 'x') + "\nRPRT 0\n");
    EXPECT_TRUE(shown.starts_with("dump_caps:\\nCaps dump for model: 1\\nModel name:\\tDummy"))
        << shown;
    EXPECT_TRUE(shown.ends_with("...RPRT 0\\n (556 bytes)")) << shown;
}

// ---- what goes to the server -------------------------------------------------------------

// One link through the server, with its own fakes.
struct RigctldLink {
    RigctldLink() {
        world.port.open = true;
        state.protocol = Protocol::Rigctld;
    }
    const RadioFamily& family = RigctldFamily();
    FakeWorld world;
    SessionState state;
};

TEST(RigctldLink, SendsTheServersCommands) {
    struct Row {
        const char* name;
        std::function<void(RigctldLink&)> act;
        const char* sent;
    };
    const Row rows[] = {
        {"poll", [](RigctldLink& t) { t.family.Poll(t.state, t.world.platform); }, "+f\n+m\n"},
        {"read at open", [](RigctldLink& t) { t.family.ReadAtOpen(t.state, t.world.platform); },
         "+\\dump_caps\n"},
        {"frequency",
         [](RigctldLink& t) { t.family.SetFrequency(t.state, t.world.platform, 14'074'000); },
         "+F 14074000\n"},
        {"frequency on the radios' 10 Hz step",
         [](RigctldLink& t) { t.family.SetFrequency(t.state, t.world.platform, 14'074'009); },
         "+F 14074010\n"},
        {"frequency above 1 GHz refused as by every family",
         [](RigctldLink& t) {
             EXPECT_THROW(t.family.SetFrequency(t.state, t.world.platform, 1'296'100'000),
                          CatError);
         },
         ""},
        {"USB",
         [](RigctldLink& t) { t.family.SetMode(t.state, t.world.platform, ModeIndex::USB, false); },
         "+M USB -1\n"},
        {"CW reversed",
         [](RigctldLink& t) { t.family.SetMode(t.state, t.world.platform, ModeIndex::CW, true); },
         "+M CWR -1\n"},
        {"FSK",
         [](RigctldLink& t) { t.family.SetMode(t.state, t.world.platform, ModeIndex::FSK, false); },
         "+M RTTY -1\n"},
        {"FSK reversed",
         [](RigctldLink& t) { t.family.SetMode(t.state, t.world.platform, ModeIndex::FSK, true); },
         "+M RTTYR -1\n"},
        {"AM has no reverse",
         [](RigctldLink& t) { t.family.SetMode(t.state, t.world.platform, ModeIndex::AM, true); },
         "+M AM -1\n"},
        {"PKT",
         [](RigctldLink& t) { t.family.SetMode(t.state, t.world.platform, ModeIndex::PKT, false); },
         "+M PKTUSB -1\n"},
        {"a mode the list does not have",
         [](RigctldLink& t) {
             t.family.SetMode(t.state, t.world.platform, static_cast<ModeIndex>(9), false);
         },
         ""},
        {"key", [](RigctldLink& t) { t.family.KeyByCommand(t.state, t.world.platform, true); },
         "+T 1\n"},
        {"unkey", [](RigctldLink& t) { t.family.KeyByCommand(t.state, t.world.platform, false); },
         "+T 0\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RigctldLink fresh;
        row.act(fresh);
        EXPECT_EQ(fresh.world.port.AllWritten(), row.sent);
    }
    EXPECT_EQ(RigctldFamily().UnkeyBytes(SessionState{}), "+T 0\n");
}

TEST(RigctldLink, PollsWaitForTheServersAnswer) {
    RigctldLink t;
    auto& family = t.family;
    auto& world = t.world;
    auto& state = t.state;
    family.Poll(state, world.platform);
    ASSERT_EQ(world.port.writes.size(), 1u);
    // A radio that does not answer holds the server for seconds: polls do not pile up meanwhile.
    world.clock.Advance(1.0);
    family.Poll(state, world.platform);
    EXPECT_EQ(world.port.writes.size(), 1u);
    world.port.Arrive(kFrequency + "get_mode:\nMode: USB\nPassband: 2400\nRPRT 0\n");
    family.Poll(state, world.platform);
    EXPECT_EQ(world.port.writes.size(), 2u);
    EXPECT_EQ(state.frequencyHz, 7'074'000);
    EXPECT_EQ(state.mode, ModeIndex::USB);
    // A server that never answers is asked afresh after a while.
    world.clock.Advance(11.0);
    family.Poll(state, world.platform);
    EXPECT_EQ(world.port.writes.size(), 3u);
}

TEST(RigctldLink, AnAnswerInPiecesIsTakenWhole) {
    RigctldLink t;
    auto& family = t.family;
    auto& world = t.world;
    auto& state = t.state;
    world.port.Arrive("get_freq:\nFreq");
    family.Receive(state, world.port);
    EXPECT_FALSE(state.frequencyHz);
    world.port.Arrive("uency: 14074000\nRPRT 0\nget_freq:\nRPRT -5\n");
    family.Receive(state, world.port);
    EXPECT_EQ(state.frequencyHz, 14'074'000);
    EXPECT_TRUE(state.received.empty());
    EXPECT_FALSE(state.parsingReplies);
}

// A far end that floods: the cutter takes it in pieces as large as it can judge at once, so the
// work grows with what arrives, not with its square. Cut as the doctor and the link cut, each
// piece from the rest of what is waiting.
TEST(ServerFloods, AreCutInFewPieces) {
    struct Row {
        const char* name;
        const RadioFamily& family;
        std::string flood;
        std::size_t mostPieces;
    };
    const Row rows[] = {
        {"rigctld_answer_headers_without_end", RigctldFamily(), Repeated("a:\n", 70'000), 8},
        {"flrig_status_lines_without_end", FlrigFamily(), Repeated("HTTP/1.1 200 OK\r\n", 12'000),
         120},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto reader = row.family.Reader("");
        std::size_t pieces = 0;
        std::string_view rest = row.flood;
        while (!rest.empty()) {
            const Piece piece = reader->Next(rest, false);
            if (piece.length == 0) break;
            EXPECT_EQ(piece.kind, PieceKind::Noise) << piece.note;
            rest.remove_prefix(piece.length);
            ++pieces;
        }
        EXPECT_LE(pieces, row.mostPieces);
        EXPECT_LT(rest.size(), 64u * 1024) << "what is left may still become an answer";
    }
}

// A slow network or a busy server hands an answer over in two halves half a second apart: the
// doctor waits for the rest as long as the link waits for an answer, and reads one answer.
TEST(ServerFloods, AnAnswerInTwoHalvesIsOneAnswer) {
    const std::string flrigAnswer =
        "HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: "
        "118\r\n\r\n<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>\r\n\t<value>"
        "14070000</value>\r\n</param></params></methodResponse>\r\n";
    const std::pair<Protocol, std::string> rows[] = {
        {Protocol::Rigctld, kFrequency},
        {Protocol::Flrig, flrigAnswer},
    };
    for (const auto& [protocol, answer] : rows) {
        SCOPED_TRACE(FamilyFor(protocol)->Name());
        doctor::LineAnalyzer line(protocol, "");
        line.Sent(0, protocol == Protocol::Rigctld ? "+f\n"
                                                   : "POST /RPC2 ...<methodName>"
                                                     "rig.get_vfo</methodName>");
        const std::size_t half = answer.size() / 2;
        line.Received(0.1, std::string_view(answer).substr(0, half));
        for (const double now : {0.3, 0.45, 0.6}) line.Settle(now);
        line.Received(0.6, std::string_view(answer).substr(half));
        line.Settle(5.0);
        EXPECT_EQ(line.Summary().noise, 0);
        EXPECT_EQ(line.Summary().lastReading, 0.6);
    }
}

// A flood costs bounded memory in the doctor's account and bounded lines in its report, each
// saying how much it left out.
TEST(ServerFloods, KeepAndShowABoundedAmount) {
    doctor::LineAnalyzer line(Protocol::Rigctld, "");
    line.Sent(0, "+f\n");
    const std::string flood = Repeated("a:\n", 70'000);
    for (std::size_t at = 0; at < flood.size(); at += 4096)
        line.Received(0.1, std::string_view(flood).substr(at, 4096));
    int cut = 0;
    for (const doctor::LineUnit& unit : line.Units()) {
        EXPECT_LE(unit.bytes.size(), doctor::LineAnalyzer::kKeptBytes);
        const std::string shown = doctor::MonitorLine(unit, Protocol::Rigctld);
        EXPECT_LE(shown.size(), 600u);
        cut += shown.find("of the middle not kept") != std::string::npos;
    }
    EXPECT_GT(cut, 0);
    doctor::MonitorCursor cursor;
    const auto shown = doctor::NextMonitorLines(line, cursor, Protocol::Rigctld, 0, 2);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(shown.front().ends_with("bytes not shown")) << shown.front();
}

TEST(RigctldLink, ReadsTheTransmitState) {
    struct Row {
        const char* name;
        std::string answer;
        std::optional<bool> said;
    };
    const Row rows[] = {
        {"receive", "get_ptt:\nPTT: 0\nRPRT 0\n", false},
        {"keyed", "get_ptt:\nPTT: 1\nRPRT 0\n", true},
        {"keyed_by_the_microphone", "get_ptt:\nPTT: 2\nRPRT 0\n", true},
        {"keyed_by_the_data_input", "get_ptt:\nPTT: 3\nRPRT 0\n", true},
        {"not available", "get_ptt:\nRPRT -11\n", std::nullopt},
        {"no answer", "", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RigctldLink fresh;
        fresh.world.port.responder = [&](const std::string&) { return row.answer; };
        EXPECT_EQ(fresh.family.ReadTransmitting(fresh.state, fresh.world.platform), row.said);
        EXPECT_EQ(fresh.world.port.AllWritten(), "+t\n");
    }
}

// ---- the choice of family ----------------------------------------------------------------

TEST(ServerFamilies, ThePortChoosesTheServersLanguage) {
    EXPECT_EQ(ServerFamily(PortKind::Rigctld), &RigctldFamily());
    EXPECT_EQ(FamilyFor(Protocol::Rigctld), &RigctldFamily());
    for (const PortKind kind : {PortKind::Device, PortKind::RawTcp, PortKind::Rfc2217})
        EXPECT_EQ(ServerFamily(kind), nullptr);
    // Never on the protocol list, and so never in a scan of a serial line.
    for (const RadioFamily* family : Families()) EXPECT_NE(family->Id(), Protocol::Rigctld);
    EXPECT_TRUE(RigctldFamily().Record().identityReads.empty());
    EXPECT_TRUE(RigctldFamily().Record().lineSpeeds.empty());
}

TEST(ServerFamilies, OpenLinkLeavesTheLineToTheServer) {
    FakeWorld world;
    SessionState state;
    LinkChoices choices;
    choices.family = FamilyNamed("FT-817");  // whatever the list shows
    choices.portListIndex = 2;
    choices.speedText = "";  // no speed applies
    choices.addressText = "zz";
    choices.portKind = PortKind::Rigctld;
    OpenLink(state, world.platform, choices);
    EXPECT_EQ(state.protocol, Protocol::Rigctld);
    EXPECT_EQ(world.port.log, (std::vector<std::string>{"Port=3", "Handshake=none", "Open"}));
    EXPECT_FALSE(state.fiveByteCheck);
    EXPECT_TRUE(world.timer.Enabled());
}

}  // namespace
}  // namespace cat
