#include "shell/startup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/stored_values.h"
#include "shell/command_line.h"  // beside startup.h: the two must not declare one name twice
#include "shell/lock_owner.h"
#include "tests/support/memory_store.h"

namespace cat {
namespace {

using test::MemoryStore;

TEST(NumericValue, ReadsTheLongestLeadingDecimalNumber) {
    struct Row {
        const char* name;
        const char* text;
        double expected;
    };
    const Row rows[] = {
        {"empty", "", 0},
        {"leading_blank_geometry", " 1200", 1200},
        {"negative_geometry", "-15", -15},
        {"tab_and_blanks", " \t 42", 42},
        {"trailing_junk_ignored", "12abc", 12},
        {"decimal_point_is_a_dot", "14.074", 14.074},
        {"comma_is_not_a_point", "14,074", 14},
        {"no_leading_number", "abc", 0},
        {"sign_alone", "-", 0},
        {"point_alone", ".", 0},
        {"leading_point", ".5", 0.5},
        {"exponent", "1e3", 1000},
        {"exponent_without_digits", "7e", 7},
        {"plus_sign", "+9", 9},
        {"blank_inside_stops_reading", "1 2", 1},
        {"signed_leading_point", "-.5", -0.5},
        {"trailing_point", "5.", 5},
        {"second_point_stops_reading", "1.5.3", 1.5},
        {"negative_exponent_after_a_fraction", "-3.5e-2x", -0.035},
        {"exponent_plus_sign", "1e+2", 100},
        {"exponent_sign_without_digits", "7e-", 7},
        {"exponent_without_mantissa", "e5", 0},
        {"point_then_exponent", ".e3", 0},
        {"exponent_leading_zeros", "1e0000000000000000002", 100},
    };
    for (const auto& row : rows) {
        EXPECT_DOUBLE_EQ(NumericValue(row.text), row.expected) << row.name;
    }
}

TEST(NumericValue, SurvivesHugeAndBinaryText) {
    EXPECT_TRUE(std::isinf(NumericValue("1e999999999")));
    EXPECT_EQ(NumericValue("1e-999999"), 0.0);
    EXPECT_EQ(NumericValue(std::string("\0\xff\x80", 3)), 0.0);
    EXPECT_EQ(NumericValue(std::string(5000, '9')), std::numeric_limits<double>::infinity());
}

TEST(RoundToInt16, RoundsHalfToEvenAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(RoundToInt16(0.5), 0);
    EXPECT_EQ(RoundToInt16(1.5), 2);
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(-0.5), 0);
    EXPECT_EQ(RoundToInt16(-1.5), -2);
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_FALSE(RoundToInt16(32767.5));
    EXPECT_EQ(RoundToInt16(-32768.0), -32768);
    EXPECT_FALSE(RoundToInt16(-32769.0));
    EXPECT_FALSE(RoundToInt16(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(RoundToInt16(std::nan("")));
}

TEST(GeometryText, LeadingBlankForPositiveMinusForNegative) {
    EXPECT_EQ(GeometryText(1200), " 1200");
    EXPECT_EQ(GeometryText(0), " 0");
    EXPECT_EQ(GeometryText(-15), "-15");
}

TEST(RestoreChoices, EmptyStoreGivesTheDefaults) {
    MemoryStore store;
    const RestoredChoices c = RestoreChoices(store);
    EXPECT_EQ(c.top, 0);
    EXPECT_EQ(c.left, 0);
    EXPECT_EQ(c.address, "00");
    EXPECT_EQ(c.protocolPosition, -1);
    EXPECT_EQ(kSpeedEntries.at(c.speedPosition), "9600");
    EXPECT_EQ(c.portPosition, 1);
    EXPECT_FALSE(c.onTop);
    EXPECT_TRUE(store.writeOrder.empty());
}

TEST(RestoreChoices, StoredValuesAreApplied) {
    MemoryStore store;
    store.Set("Top", " 1200");
    store.Set("Left", "-300");
    store.Set("Address", "  5E ");
    store.Set("Type", "2");
    store.Set("Speed", "4");
    store.Set("ComPort", "31");
    store.Set("OnTop", "1");
    const RestoredChoices c = RestoreChoices(store);
    EXPECT_EQ(c.top, 1200);
    EXPECT_EQ(c.left, -300);
    EXPECT_EQ(c.address, "5E");
    EXPECT_EQ(c.protocolPosition, 2);
    EXPECT_EQ(kSpeedEntries.at(c.speedPosition), "115200")
        << "Speed is a position in the former list";
    EXPECT_EQ(c.portPosition, 31);
    EXPECT_TRUE(c.onTop);
}

TEST(RestoreChoices, ListPositionsRoundHalfToEvenAndOutOfRangeKeepsTheDefault) {
    struct Row {
        const char* name;
        const char* stored;
        int type;
        const char* speed;  // the rate the former list's position stands for; "" for none
    };
    const Row rows[] = {
        {"half_rounds_down_to_even", "0.5", 0, "4800"},
        {"one_and_half_rounds_to_two", "1.5", 2, "19200"},
        {"two_and_half_rounds_to_two", "2.5", 2, "19200"},
        {"the_fourth_protocol_is_yaesu", "3", 3, "57600"},
        {"minus_one_means_nothing", "-1", -1, ""},
        {"below_minus_one_keeps_default", "-2", -1, "9600"},
        {"past_the_former_list_keeps_default", "5", -1, "9600"},
        {"huge_keeps_default", "99999999999", -1, "9600"},
        {"text_reads_as_zero", "ICOM", 0, "4800"},
        {"binary_junk_reads_as_zero", "\x01\xfe", 0, "4800"},
    };
    for (const auto& row : rows) {
        MemoryStore store;
        store.Set("Type", row.stored);
        store.Set("Speed", row.stored);
        const RestoredChoices c = RestoreChoices(store);
        EXPECT_EQ(c.protocolPosition, row.type) << row.name;
        EXPECT_EQ(c.speedPosition < 0 ? "" : kSpeedEntries.at(c.speedPosition), row.speed)
            << row.name;
    }
}

TEST(RestoreChoices, SpeedFromTheRateOrFromAFormerPosition) {
    struct Row {
        const char* name;
        const char* speed;  // nullptr: no key
        const char* baud;
        const char* restored;  // "" for nothing selected
    };
    const Row rows[] = {
        {"file_of_an_earlier_version", "3", nullptr, "57600"},
        {"rate_new_in_this_version", "-1", "38400", "38400"},
        {"rate_in_both_lists", "1", "9600", "9600"},
        {"slowest_rate", "-1", "1200", "1200"},
        {"earlier_version_changed_speed_after_us", "4", "2400", "115200"},
        {"earlier_version_cleared_speed_after_us", "-1", "9600", ""},
        {"rate_written_by_hand_alone", nullptr, "2400", "2400"},
        {"rate_not_offered_falls_back", "0", "14400", "4800"},
        {"blank_rate_falls_back", "2", " ", "19200"},
    };
    for (const Row& row : rows) {
        MemoryStore store;
        if (row.speed) store.Set("Speed", row.speed);
        if (row.baud) store.Set("Baud", row.baud);
        const std::int16_t speed = RestoreChoices(store).speedPosition;
        EXPECT_EQ(speed < 0 ? "" : kSpeedEntries.at(speed), row.restored) << row.name;
    }
}

TEST(SaveThenRestore, EveryRateReadsBackAndEarlierVersionsReadTheSameRate) {
    for (std::int16_t position = -1; position < static_cast<int>(kSpeedEntries.size());
         ++position) {
        MemoryStore store;
        ChoicesToSave c;
        c.speedPosition = position;
        ASSERT_TRUE(SaveChoices(store, c));
        EXPECT_EQ(RestoreChoices(store).speedPosition, position);
        // What an earlier version reads: the former list's entry, or nothing selected.
        const int former = std::stoi(*store.Get("Speed"));
        const std::string_view rate = position < 0 ? "" : kSpeedEntries[position];
        if (former >= 0)
            EXPECT_EQ(kFormerSpeedEntries.at(former), rate);
        else
            EXPECT_EQ(std::find(kFormerSpeedEntries.begin(), kFormerSpeedEntries.end(), rate),
                      kFormerSpeedEntries.end())
                << rate;
    }
}

TEST(RestoreChoices, OnTopOnlyWhenTheValueIsOne) {
    struct Row {
        const char* stored;
        bool onTop;
    };
    const Row rows[] = {{"1", true},  {" 1", true},  {"1.0", true},  {"0", false},
                        {"2", false}, {"-1", false}, {"yes", false}, {"1.5", false}};
    for (const auto& row : rows) {
        MemoryStore store;
        store.Set("OnTop", row.stored);
        EXPECT_EQ(RestoreChoices(store).onTop, row.onTop) << "stored \"" << row.stored << "\"";
    }
}

TEST(RestoreChoices, CorruptGeometryNeverFails) {
    for (const char* junk : {"1e999", "-1e999", "nan", "\xff\xfe", "12x34"}) {
        MemoryStore store;
        store.Set("Top", junk);
        store.Set("Left", junk);
        const RestoredChoices c = RestoreChoices(store);
        EXPECT_TRUE(std::isfinite(c.top)) << junk;
        EXPECT_TRUE(std::isfinite(c.left)) << junk;
    }
}

TEST(SaveChoices, WritesEveryKeyInOrderWithItsTextFormat) {
    MemoryStore store;
    ChoicesToSave c;
    c.portPosition = 2;
    c.protocolPosition = 0;
    c.speedPosition = 1;
    c.address = " 5E";
    c.onTop = true;
    c.left = 1500;
    c.top = 1200;
    c.width = 3705;
    c.height = -30;
    ASSERT_TRUE(SaveChoices(store, c));
    const std::vector<std::string> order = {"ComPort", "Type", "Speed", "Baud",  "Address",
                                            "OnTop",   "Left", "Top",   "Width", "Height"};
    EXPECT_EQ(store.writeOrder, order);
    EXPECT_EQ(store.Get("ComPort"), "2");
    EXPECT_EQ(store.Get("Type"), "0");
    EXPECT_EQ(store.Get("Address"), " 5E");
    EXPECT_EQ(store.Get("OnTop"), "1");
    EXPECT_EQ(store.Get("Top"), " 1200");
    EXPECT_EQ(store.Get("Height"), "-30");
}

TEST(SaveChoices, MinimisedOrMaximisedKeepsTheEarlierGeometry) {
    MemoryStore store;
    store.Set("Top", " 777");
    ChoicesToSave c;
    c.normalState = false;
    c.protocolPosition = -1;
    ASSERT_TRUE(SaveChoices(store, c));
    EXPECT_EQ(store.writeOrder.size(), 6u);
    EXPECT_EQ(store.Get("Top"), " 777");
    EXPECT_EQ(store.Get("Type"), "-1");
    EXPECT_EQ(store.Get("OnTop"), "0");
}

TEST(SaveChoices, AnUnwritableStoreIsReportedNotThrown) {
    MemoryStore store;
    store.writable = false;
    EXPECT_FALSE(SaveChoices(store, ChoicesToSave{}));
}

TEST(SaveThenRestore, WhatShutDownWritesStartUpReadsBack) {
    MemoryStore store;
    ChoicesToSave c;
    c.portPosition = 31;
    c.protocolPosition = 1;
    c.speedPosition = 4;
    c.address = "7A";
    c.top = 1200;
    c.left = 45;
    ASSERT_TRUE(SaveChoices(store, c));
    const RestoredChoices r = RestoreChoices(store);
    EXPECT_EQ(r.portPosition, 31);
    EXPECT_EQ(r.protocolPosition, 1);
    EXPECT_EQ(r.speedPosition, 4);
    EXPECT_EQ(r.address, "7A");
    EXPECT_EQ(r.top, 1200);
    EXPECT_EQ(r.left, 45);
}

TEST(LockOwner, OnlyAPositiveProcessNumberMakesAnOwner) {
    struct Row {
        std::string contents;
        std::int64_t pid;  // 0: no owner
        const char* host;
        const char* machineId;
    };
    const Row rows[] = {
        {"4242\ncatlink\nshack\nabc123\nboot\n", 4242, "shack", "abc123"},
        {" 77 \r\n", 77, "", ""},  // blanks around the number, nothing after it
        {"", 0, "", ""},           // a copy has made the file and not written yet
        {"0\ncatlink\n", 0, "", ""},
        {"-5\n", 0, "", ""},
        {"12abc\n", 0, "", ""},
        {"99999999999999999999999\n", 0, "", ""},  // more than any process number holds
        {std::string("7\0\nx", 5), 0, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.contents));
        const std::optional<LockOwner> owner = ParseLockOwner(row.contents);
        ASSERT_EQ(owner.has_value(), row.pid != 0);
        if (!owner) continue;
        EXPECT_EQ(owner->pid, row.pid);
        EXPECT_EQ(owner->host, row.host);
        EXPECT_EQ(owner->machineId, row.machineId);
    }
}

TEST(StartupTables, DigitCharactersPortListAndHelpText) {
    SessionState state;
    FillDigitCharacters(state);
    EXPECT_EQ(state.digitCharacters[0], '\0');
    EXPECT_EQ(state.digitCharacters[1], '0');
    EXPECT_EQ(state.digitCharacters[10], '9');
    EXPECT_EQ(PortEntry(0), "Com 1");
    EXPECT_EQ(PortEntry(31), "Com 32");
    EXPECT_EQ(HelpBoxText(),
              "BASIC MORAVEL Program for Kenwood / ICOM /FT817\r\n"
              "by VASKRO\r\n"
              "\r\n"
              "This program allows you to test bidirectional RS232 communications\r\n"
              "\r\n"
              "Select Protocol, Address(ICOM), Speed, Com port\r\n"
              "Press IOPEN\r\n"
              "The current frequency must be displayed");
}

}  // namespace
}  // namespace cat
