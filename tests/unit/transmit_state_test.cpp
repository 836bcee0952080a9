// Each family's transmit read, keying and unkeying: the bytes on the line (from the makers' CAT
// manuals), what the radio's answers are taken for, and that a read never keys a radio that
// speaks another family's commands.

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocols/families.h"
#include "protocols/kenwood/kenwood.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::FakeWorld;
using test::ToHex;

// A status reply, receiving (the digit at 28 is 0) and transmitting, in USB at 14.074 MHz.
const std::string kIfReceiving = "IF0001407400000000+000000000020000000;";
const std::string kIfTransmitting = "IF0001407400000000+000000000120000000;";

struct World : FakeWorld {
    explicit World(Protocol protocol) : family(*FamilyFor(protocol)) {
        port.open = true;
        state.protocol = protocol;
        state.radioAddress = "94";
        state.controllerAddress = "E0";
    }
    // The radio: `identity` to ID;, `reply` to anything else.
    void Answers(std::string identity, std::string reply = {}) {
        port.responder = [identity, reply](const std::string& sent) {
            return sent == "ID;" ? identity : reply;
        };
    }
    const RadioFamily& family;
    SessionState state;
};

struct ReadRow {
    const char* name;
    Protocol protocol;
    std::string identity;  // the answer to ID; (only a Yaesu link asks)
    std::string reply;     // the answer to the transmit read
    std::string written;   // everything the read sends
    std::optional<bool> transmitting;
};

void PrintTo(const ReadRow& row, std::ostream* os) { *os << row.name; }

class TransmitRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(TransmitRead, SendsOnlyReadsAndTakesTheAnswerWithinTheLimit) {
    const ReadRow& row = GetParam();
    World world(row.protocol);
    world.Answers(row.identity, row.reply);

    const std::optional<bool> said = world.family.ReadTransmitting(world.state, world.platform);

    EXPECT_EQ(said, row.transmitting);
    EXPECT_EQ(world.state.transmitting, row.transmitting);
    EXPECT_EQ(ToHex(world.port.AllWritten()), ToHex(row.written));
    // One bounded wait per read sent, and no more.
    EXPECT_LE(world.clock.now, 0.31 * static_cast<double>(world.port.writes.size()));
}

const std::string kCivRead = Bytes({0xFE, 0xFE, 0x94, 0xE0, 0x1C, 0x00, 0xFD});
const std::string kCivTransmitting = Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x1C, 0x00, 0x01, 0xFD});
const std::string kCivReceiving = Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x1C, 0x00, 0x00, 0xFD});
const std::string kFt817Read = Bytes({0x00, 0x00, 0x00, 0x00, 0xF7});
// IF[f]*****+yyyyrx*00tmvspbd1*; the transmit digit stands where Kenwood's does.
const std::string kElecraftTransmitting = "IF00014074000     +000000 0012000001 ;";

INSTANTIATE_TEST_SUITE_P(
    Families, TransmitRead,
    ::testing::Values(
        ReadRow{"IcomTransmitting", Protocol::Icom, "", kCivTransmitting, kCivRead, true},
        ReadRow{"IcomReceivingBehindItsEcho", Protocol::Icom, "", kCivRead + kCivReceiving,
                kCivRead, false},
        ReadRow{"IcomRefusal", Protocol::Icom, "", Bytes({0xFE, 0xFE, 0xE0, 0x94, 0xFA, 0xFD}),
                kCivRead, std::nullopt},
        ReadRow{"IcomEchoOnly", Protocol::Icom, "", kCivRead, kCivRead, std::nullopt},
        ReadRow{"IcomAnswerFromAnotherAddress", Protocol::Icom, "",
                Bytes({0xFE, 0xFE, 0xE0, 0x98, 0x1C, 0x00, 0x01, 0xFD}), kCivRead, std::nullopt},
        ReadRow{"KenwoodTransmitting", Protocol::Kenwood, "", kIfTransmitting, "IF;", true},
        ReadRow{"KenwoodReceivingBehindItsEcho", Protocol::Kenwood, "", "IF;" + kIfReceiving, "IF;",
                false},
        ReadRow{"ElecraftTransmitting", Protocol::Kenwood, "", kElecraftTransmitting, "IF;", true},
        ReadRow{"KenwoodRefusal", Protocol::Kenwood, "", "?;", "IF;", std::nullopt},
        ReadRow{"KenwoodSilent", Protocol::Kenwood, "", "", "IF;", std::nullopt},
        ReadRow{"YaesuReceiving", Protocol::Yaesu, "ID0670;", "TX0;", "ID;TX;", false},
        ReadRow{"YaesuKeyedByCat", Protocol::Yaesu, "ID0670;", "TX1;", "ID;TX;", true},
        ReadRow{"YaesuKeyedAtTheMicrophoneBehindEchoes", Protocol::Yaesu, "ID;ID0761;", "TX;TX2;",
                "ID;TX;", true},
        ReadRow{"YaesuRefusesTheRead", Protocol::Yaesu, "ID0670;", "?;", "ID;TX;", std::nullopt},
        // On a Kenwood radio TX; keys the transmitter: a three-digit identity stops the read.
        ReadRow{"KenwoodRadioOnAYaesuLinkIsNeverSentTx", Protocol::Yaesu, "ID019;", "TX0;", "ID;",
                std::nullopt},
        ReadRow{"SilentRadioOnAYaesuLinkIsNeverSentTx", Protocol::Yaesu, "", "", "ID;",
                std::nullopt},
        ReadRow{"RefusedIdentityOnAYaesuLinkIsNeverSentTx", Protocol::Yaesu, "?;", "TX0;", "ID;",
                std::nullopt},
        ReadRow{"Ft817Receiving", Protocol::Ft817, "", Bytes({0xFF}), kFt817Read, false},
        // Bit 7 clear: transmitting; split off and a power reading of 3 beside it.
        ReadRow{"Ft817Transmitting", Protocol::Ft817, "", Bytes({0x23}), kFt817Read, true},
        ReadRow{"Ft817TransmittingBehindItsEcho", Protocol::Ft817, "", kFt817Read + Bytes({0x00}),
                kFt817Read, true},
        ReadRow{"Ft817EchoOnly", Protocol::Ft817, "", kFt817Read, kFt817Read, std::nullopt},
        ReadRow{"Ft817ImplausibleByte", Protocol::Ft817, "", Bytes({0x85}), kFt817Read,
                std::nullopt},
        ReadRow{"Ft817TwoBytesAreNoAnswer", Protocol::Ft817, "", Bytes({0xFF, 0xFF}), kFt817Read,
                std::nullopt},
        ReadRow{"Ft817Silent", Protocol::Ft817, "", "", kFt817Read, std::nullopt}),
    [](const auto& instance) { return std::string(instance.param.name); });

struct KeyRow {
    const char* name;
    Protocol protocol;
    std::string on;
    std::string off;
};

void PrintTo(const KeyRow& row, std::ostream* os) { *os << row.name; }

class Keying : public ::testing::TestWithParam<KeyRow> {};

// The operator's PTT test: the key and unkey commands, the unkey as a program going down writes
// it, and how the monitor names all three.
TEST_P(Keying, KeysUnkeysAndNamesTheCommands) {
    const KeyRow& row = GetParam();
    World world(row.protocol);
    world.Answers("ID0670;");

    world.family.KeyByCommand(world.state, world.platform, true);
    world.family.KeyByCommand(world.state, world.platform, false);

    ASSERT_GE(world.port.writes.size(), 2u);
    EXPECT_EQ(ToHex(world.port.writes.back()), ToHex(row.off));
    EXPECT_EQ(ToHex(world.port.writes[world.port.writes.size() - 2]), ToHex(row.on));
    EXPECT_EQ(ToHex(world.family.UnkeyBytes(world.state)), ToHex(row.off));
    const auto reader = world.family.Reader("94");
    EXPECT_EQ(reader->Sent(row.on), "transmit (PTT on)");
    EXPECT_EQ(reader->Sent(row.off), "receive (PTT off)");
}

INSTANTIATE_TEST_SUITE_P(
    Families, Keying,
    ::testing::Values(KeyRow{"Icom", Protocol::Icom,
                             Bytes({0xFE, 0xFE, 0x94, 0xE0, 0x1C, 0x00, 0x01, 0xFD}),
                             Bytes({0xFE, 0xFE, 0x94, 0xE0, 0x1C, 0x00, 0x00, 0xFD})},
                      KeyRow{"Kenwood", Protocol::Kenwood, "TX;", "RX;"},
                      KeyRow{"Yaesu", Protocol::Yaesu, "TX1;", "TX0;"},
                      KeyRow{"Ft817", Protocol::Ft817, Bytes({0x00, 0x00, 0x00, 0x00, 0x08}),
                             Bytes({0x00, 0x00, 0x00, 0x00, 0x88})}),
    [](const auto& instance) { return std::string(instance.param.name); });

// The monitor's reader names the FT-817's one-byte answer, behind the echo or alone; a byte no
// radio sends there is not taken for one.
TEST(Ft817Monitor, ReadsTheOneByteAnswerToTheTransmitRead) {
    const struct {
        std::string received;
        std::vector<PieceKind> kinds;
        std::optional<bool> transmitting;  // of the last piece
    } rows[] = {
        {Bytes({0xFF}), {PieceKind::Reply}, false},
        {kFt817Read + Bytes({0x23}), {PieceKind::Echo, PieceKind::Reply}, true},
        {Bytes({0x9C}), {PieceKind::Noise}, std::nullopt},
    };
    for (const auto& row : rows) {
        const auto reader = FamilyFor(Protocol::Ft817)->Reader("");
        EXPECT_EQ(reader->Sent(kFt817Read), "read transmit state");
        std::vector<PieceKind> kinds;
        Piece piece;
        for (std::size_t at = 0; at < row.received.size(); at += piece.length) {
            piece = reader->Next(std::string_view(row.received).substr(at), true);
            ASSERT_GT(piece.length, 0u);
            kinds.push_back(piece.kind);
        }
        EXPECT_EQ(kinds, row.kinds) << ToHex(row.received);
        EXPECT_EQ(piece.transmitting, row.transmitting) << ToHex(row.received);
    }
}

// TX0; keys a Kenwood radio as surely as TX; does: a radio that has not answered as a Yaesu is
// sent neither key nor unkey, and a program going down has nothing to write to it.
TEST(YaesuKeying, ARadioThatAnswersAsKenwoodGetsNoTransmitCommandAtAll) {
    for (const char* identity : {"ID019;", "?;", ""}) {
        World world(Protocol::Yaesu);
        world.Answers(identity);
        world.family.KeyByCommand(world.state, world.platform, true);
        world.family.KeyByCommand(world.state, world.platform, false);
        world.family.ReadTransmitting(world.state, world.platform);
        for (const std::string& sent : world.port.writes) EXPECT_EQ(sent, "ID;") << identity;
        EXPECT_EQ(world.family.UnkeyBytes(world.state), "") << identity;
    }
}

// Replies to the link's polls that come in while a read waits are taken in as usual.
TEST(TransmitReadMeanwhile, PollRepliesArrivingDuringTheWaitAreNotLost) {
    World icom(Protocol::Icom);
    icom.port.Arrive(Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD}));
    icom.port.arrivals = {Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x04, 0x01, 0x02, 0xFD}),
                          kCivTransmitting};
    EXPECT_EQ(icom.family.ReadTransmitting(icom.state, icom.platform), true);
    EXPECT_EQ(icom.state.frequencyHz, 14'074'000);
    EXPECT_EQ(test::ShownMode(icom.state), 1);

    // The answer comes in two pieces, and the start of the next reply behind it stays for the
    // next pass.
    World kenwood(Protocol::Kenwood);
    kenwood.port.arrivals = {kIfTransmitting.substr(0, 20), kIfTransmitting.substr(20) + "FA000"};
    EXPECT_EQ(kenwood.family.ReadTransmitting(kenwood.state, kenwood.platform), true);
    EXPECT_EQ(kenwood.state.frequencyHz, 14'074'000);
    EXPECT_EQ(kenwood.state.received, "FA000");
}

// The live link polls a Kenwood radio with IF;: each status reply updates the transmit state, and
// one whose transmit digit is neither 0 nor 1 leaves it as it was.
TEST(KenwoodPollReplies, UpdateTheTransmitState) {
    const struct {
        std::string received;
        std::optional<bool> before;
        std::optional<bool> after;
    } rows[] = {
        {kIfTransmitting, std::nullopt, true},
        {kIfReceiving, true, false},
        {"IF00014074000     +000000000 20000000;", true, true},
        {kIfReceiving + kIfTransmitting, std::nullopt, true},
    };
    for (const auto& row : rows) {
        World world(Protocol::Kenwood);
        world.state.transmitting = row.before;
        world.port.Arrive(row.received);
        ReceiveKenwoodReplies(world.state, world.port);
        EXPECT_EQ(world.state.transmitting, row.after) << row.received;
    }
}

}  // namespace
}  // namespace cat
