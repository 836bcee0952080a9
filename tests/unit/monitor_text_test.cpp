// The traffic monitor's notes, which people paste into forum posts: each family's reply with the
// frequency and mode it carries. The status replies give the mode among other fields, and the
// fields next to it here hold digits that are modes too, so a note that reads the wrong field
// names the wrong mode.

#include "doctor/monitor_text.h"

#include <gtest/gtest.h>

#include <string>

#include "doctor/line_analyzer.h"
#include "tests/support/fakes.h"

namespace cat::doctor {
namespace {

using test::Bytes;

TEST(MonitorLine, NamesTheFrequencyAndModeEachReplyCarries) {
    struct Row {
        const char* name;
        Protocol protocol;
        std::string poll;
        std::string reply;
        const char* note;
    };
    const Row rows[] = {
        // Frequency, step, RIT +150 Hz on, memory 012, receiving, mode 2 (USB), VFO B, no scan,
        // no split, no tone, tone 08, no shift.
        {"kenwood_status", Protocol::Kenwood, "IF;",
         std::string("IF") + "00014074000" + "0000" + "+00150" + "1" + "0" + "012" + "0" + "2" +
             "1" + "0" + "0" + "0" + "08" + "0" + ";",
         "status: 14.074000 MHz USB"},
        // Memory 001, 14.074 MHz, clarifier +150 Hz, RX clarifier off, TX clarifier on, mode 2
        // (USB), VFO, no tone, tone 00, no shift.
        {"yaesu_status", Protocol::Yaesu, "IF;",
         std::string("IF") + "001" + "014074000" + "+0150" + "0" + "1" + "2" + "0" + "0" + "00" +
             "0" + ";",
         "status: 14.074000 MHz USB"},
        {"icom_mode", Protocol::Icom, Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x04, 0xFD, 0x00}),
         Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x03, 0x02, 0xFD}), "read mode: CW"},
        {"ft817_reading", Protocol::Ft817, Bytes({0x00, 0x00, 0x00, 0x00, 0x03}),
         Bytes({0x00, 0x70, 0x74, 0x00, 0x00}), "frequency and mode: 7.074000 MHz LSB"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LineAnalyzer line(row.protocol, "5E");
        // Asked twice: a five-byte reading counts once a second reply says the same.
        for (const double at : {0.0, 0.5}) {
            line.Sent(at, row.poll);
            line.Received(at + 0.05, row.reply);
            line.Settle(at + 0.4);
        }
        const LineUnit& last = line.Units().back();
        ASSERT_EQ(last.kind, UnitKind::Reply) << last.note << ": " << test::ToHex(last.bytes);
        const std::string shown = MonitorLine(last, row.protocol);
        EXPECT_TRUE(shown.ends_with(" " + std::string(row.note))) << shown;
    }
}

}  // namespace
}  // namespace cat::doctor
