// What the traffic monitor says of a set and of a reading, per family: a set shows the value it
// asked for, a reading its frequency and mode. Frames are the makers' own examples.

#include <gtest/gtest.h>

#include <string>

#include "protocols/families.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;

TEST(TrafficNotes, ASetShowsItsValue) {
    const struct {
        const char* name;
        Protocol protocol;
        std::string sent;
        std::string note;
    } rows[] = {
        // CI-V 05: the frequency in packed decimal, least significant byte first.
        {"civ_set_7_074", Protocol::Icom,
         Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x05, 0x00, 0x40, 0x07, 0x07, 0x00, 0xFD}),
         "set frequency: 7.074000 MHz"},
        // FT-817 opcode 01: four packed-decimal bytes of 10 Hz, most significant first.
        {"ft817_set_14_074", Protocol::Ft817, Bytes({0x01, 0x40, 0x74, 0x00, 0x01}),
         "set frequency: 14.074000 MHz"},
        {"kenwood_fa_eleven_digits", Protocol::Kenwood, "FA00007074000;", "set to 7.074000 MHz"},
        {"yaesu_fa_nine_digits", Protocol::Yaesu, "FA014074000;", "set to 14.074000 MHz"},
        // A read carries no value, and says none.
        {"kenwood_read_frequency", Protocol::Kenwood, "FA;", ""},
    };
    for (const auto& row : rows) {
        const std::string note = FamilyFor(row.protocol)->Reader("5E")->Sent(row.sent);
        if (row.note.empty()) {
            EXPECT_EQ(note.find("set to"), std::string::npos) << row.name << ": " << note;
        } else {
            EXPECT_NE(note.find(row.note), std::string::npos) << row.name << ": " << note;
        }
    }
}

// The FT-817's reply 01 40 74 00 01 is 14.074 MHz USB: the first, not yet confirmed, already
// names both; the second alike is the reading.
TEST(TrafficNotes, AnFt817ReplyShowsItsMode) {
    auto reader = FamilyFor(Protocol::Ft817)->Reader("");
    const std::string reply = Bytes({0x01, 0x40, 0x74, 0x00, 0x01});
    const Piece first = reader->Next(reply, true);
    EXPECT_NE(first.note.find("14.074000 MHz USB"), std::string::npos) << first.note;
    EXPECT_NE(first.kind, PieceKind::Reply) << "one reply alone is no reading yet";
    const Piece second = reader->Next(reply, true);
    EXPECT_EQ(second.kind, PieceKind::Reply);
    EXPECT_NE(second.note.find("14.074000 MHz USB"), std::string::npos) << second.note;
}

}  // namespace
}  // namespace cat
