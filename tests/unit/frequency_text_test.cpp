#include "control/frequency_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "core/cat_error.h"
#include "protocols/common/family_support.h"

namespace cat {
namespace {

// The set commands' digits and bytes now live with the families, beside the display they match.
using family::FrequencyBytes;
using family::HertzDigits;

// The digit table as start-up fills it: '0' at 1 ... '9' at 10; entry 0 is never filled.
SessionState WithDigits() {
    SessionState state;
    for (int i = 1; i <= 10; ++i) state.digitCharacters[i] = static_cast<char>('0' + i - 1);
    return state;
}

constexpr std::int16_t kUntouched = 77;

struct DigitsRow {
    const char* name;
    std::int64_t hertz;
    std::array<std::int16_t, 10> digits;
};

void PrintTo(const DigitsRow& row, std::ostream* os) { *os << row.name; }

class DecomposeDigits : public ::testing::TestWithParam<DigitsRow> {};

TEST_P(DecomposeDigits, SplitsIntoTenHertzDigitsAndLeavesTheTailAlone) {
    std::array<std::int16_t, 13> digits;
    digits.fill(kUntouched);

    DisplayDigits(GetParam().hertz, digits);

    for (std::size_t n = 0; n < 10; ++n)
        EXPECT_EQ(digits[n], GetParam().digits[n]) << "digit " << n << " of " << GetParam().hertz;
    for (std::size_t n = 10; n < 13; ++n) EXPECT_EQ(digits[n], kUntouched) << "element " << n;
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, DecomposeDigits,
    ::testing::Values(
        DigitsRow{"TwentyMetres", 14'074'000, {0, 1, 4, 10, 0, 7, 4, 10, 0, 0}},
        DigitsRow{"BelowTenMegahertz", 7'074'000, {0, 0, 7, 10, 0, 7, 4, 10, 0, 0}},
        DigitsRow{"Zero", 0, {0, 0, 0, 10, 0, 0, 0, 10, 0, 0}},
        DigitsRow{"HundredsOfHertz", 3'565'500, {0, 0, 3, 10, 5, 6, 5, 10, 5, 0}},
        DigitsRow{"TensOfHertz", 14'074'050, {0, 1, 4, 10, 0, 7, 4, 10, 0, 5}},
        DigitsRow{"FiveHertzPartIsCutNotRounded", 14'074'005, {0, 1, 4, 10, 0, 7, 4, 10, 0, 0}},
        DigitsRow{"EightHertzPartIsCut", 14'074'008, {0, 1, 4, 10, 0, 7, 4, 10, 0, 0}},
        DigitsRow{
            "NineHertzPartIsLiftedToTheNextTen", 14'074'009, {0, 1, 4, 10, 0, 7, 4, 10, 0, 1}},
        DigitsRow{"LiftCarriesThroughEveryPlace", 99'999'999, {1, 0, 0, 10, 0, 0, 0, 10, 0, 0}},
        DigitsRow{"TwoMetres", 144'300'000, {1, 4, 4, 10, 3, 0, 0, 10, 0, 0}},
        DigitsRow{"TopOfTheRange", 999'990'000, {9, 9, 9, 10, 9, 9, 0, 10, 0, 0}},
        DigitsRow{
            "TenHertzBelowTwoHundredStaysBelow", 199'999'990, {1, 9, 9, 10, 9, 9, 9, 10, 9, 9}},
        DigitsRow{"GigahertzPutsTwelveIntoTheHundreds",
                  1'296'100'000,
                  {12, 9, 6, 10, 1, 0, 0, 10, 0, 0}}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(DisplayDigits, ArrayTooShortForTenDigitsIsAnIndexErrorAndTenAreEnough) {
    std::array<std::int16_t, 9> nine{};
    try {
        DisplayDigits(14'074'000, nine);
        ADD_FAILURE() << "no error for a nine-element array";
    } catch (const CatError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::IndexOutOfRange);
    }
    std::array<std::int16_t, 10> ten{};
    DisplayDigits(14'074'000, ten);
    EXPECT_EQ(ten[6], 4);
}

TEST(DisplayDigits, NegativeOrBeyondSixteenBitsIsAnOverflow) {
    const std::int64_t cases[] = {-1, -14'074'000, 4'000'000'000'000,
                                  std::numeric_limits<std::int64_t>::max(),
                                  std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t hertz : cases) {
        std::array<std::int16_t, 13> digits{};
        try {
            DisplayDigits(hertz, digits);
            ADD_FAILURE() << "no error for " << hertz;
        } catch (const CatError& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Overflow) << hertz;
        }
    }
}

struct TextRow {
    const char* name;
    std::int64_t hertz;
    const char* display;              // FrequencyDisplayText
    const char* digits;               // HertzDigits
    std::array<std::uint8_t, 4> bcd;  // FrequencyBytes
};

void PrintTo(const TextRow& row, std::ostream* os) { *os << row.name; }

class FrequencyTexts : public ::testing::TestWithParam<TextRow> {};

TEST_P(FrequencyTexts, DisplayTextCommandDigitsAndPackedBytes) {
    const SessionState state = WithDigits();
    std::string shown = "previous";

    FrequencyDisplayText(state, GetParam().hertz, shown);

    EXPECT_EQ(shown, GetParam().display);
    EXPECT_EQ(HertzDigits(GetParam().hertz), GetParam().digits);
    EXPECT_EQ(FrequencyBytes(GetParam().hertz), GetParam().bcd);
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, FrequencyTexts,
    ::testing::Values(
        TextRow{"TwentyMetres", 14'074'000, "14.074.00", "00014074000", {0x01, 0x40, 0x74, 0x00}},
        TextRow{"BelowTenMegahertzGetsALeadingBlank",
                7'074'000,
                " 7.074.00",
                "00007074000",
                {0x00, 0x70, 0x74, 0x00}},
        TextRow{"Zero", 0, " 0.000.00", "00000000000", {0x00, 0x00, 0x00, 0x00}},
        TextRow{"HundredsOfHertz", 3'565'500, " 3.565.50", "00003565500", {0x00, 0x35, 0x65, 0x50}},
        TextRow{"TensOfHertz", 14'074'050, "14.074.05", "00014074050", {0x01, 0x40, 0x74, 0x05}},
        TextRow{
            "FiveHertzPartIsCut", 14'074'005, "14.074.00", "00014074000", {0x01, 0x40, 0x74, 0x00}},
        TextRow{"NineHertzPartIsLifted",
                14'074'009,
                "14.074.01",
                "00014074010",
                {0x01, 0x40, 0x74, 0x01}},
        TextRow{"TenMegahertzHasNoBlank",
                10'000'000,
                "10.000.00",
                "00010000000",
                {0x01, 0x00, 0x00, 0x00}},
        TextRow{"LiftedIntoTheHundredsTakesTheirLayout",
                99'999'999,
                "100.000.0",
                "00100000000",
                {0x10, 0x00, 0x00, 0x00}},
        TextRow{"HundredDropsTheTenHertzDigit",
                100'000'000,
                "100.000.0",
                "00100000000",
                {0x10, 0x00, 0x00, 0x00}},
        TextRow{"TwoMetres", 144'300'000, "144.300.0", "00144300000", {0x14, 0x43, 0x00, 0x00}},
        TextRow{"TopOfTheRange", 999'990'000, "999.990.0", "00999990000", {0x99, 0x99, 0x90, 0x00}},
        TextRow{"LastTenHertzStepBeforeTwoHundred",
                199'999'990,
                "199.999.9",
                "00199999990",
                {0x19, 0x99, 0x99, 0x99}}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(FrequencyDisplayText, TakesEachCharacterFromTheDigitTableAtDigitPlusOne) {
    SessionState state;
    for (int i = 1; i <= 10; ++i) state.digitCharacters[i] = static_cast<char>('a' + i - 1);
    std::string shown;

    FrequencyDisplayText(state, 14'074'050, shown);

    EXPECT_EQ(shown, "be.ahe.af");
}

TEST(FrequencyDisplayText, WithoutADisplayableFrequencyTheTextStaysAsItWas) {
    const SessionState state = WithDigits();
    const std::int64_t cases[] = {1'296'100'000,
                                  1'000'000'000,
                                  999'999'999,  // the hundreds digit reaches 10
                                  -14'074'000,
                                  -500'000,
                                  4'000'000'000'000,
                                  std::numeric_limits<std::int64_t>::max(),
                                  std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t hertz : cases) {
        std::string shown = "14.074.00 USB";
        FrequencyDisplayText(state, hertz, shown);
        EXPECT_EQ(shown, "14.074.00 USB") << hertz;
    }
}

TEST(HertzDigits, SignIsIgnored) {
    EXPECT_EQ(HertzDigits(-14'074'000), "00014074000");
    EXPECT_EQ(HertzDigits(-144'300'000), "00144300000");
}

TEST(HertzDigits, FromOneThousandMegahertzUpThereIsNoTextToSendNorBytes) {
    const std::int64_t cases[] = {1'000'000'000,
                                  1'296'100'000,
                                  999'999'999,
                                  -1'296'100'000,
                                  3'000'000'000'000,
                                  std::numeric_limits<std::int64_t>::max(),
                                  std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t hertz : cases) {
        try {
            const std::string text = HertzDigits(hertz);
            ADD_FAILURE() << hertz << " gave " << text;
        } catch (const CatError& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Overflow) << hertz;
        }
        if (hertz < 0) continue;
        try {
            FrequencyBytes(hertz);
            ADD_FAILURE() << hertz << " gave bytes";
        } catch (const CatError& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Overflow) << hertz;
        }
    }
}

struct EntryRow {
    const char* name;
    double megahertz;
    std::optional<std::int64_t> hertz;
};

void PrintTo(const EntryRow& row, std::ostream* os) { *os << row.name; }

class OperatorEntry : public ::testing::TestWithParam<EntryRow> {};

TEST_P(OperatorEntry, BecomesTheNearestWholeHertz) {
    EXPECT_EQ(HertzFromMegahertz(GetParam().megahertz), GetParam().hertz);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, OperatorEntry,
    ::testing::Values(EntryRow{"TwentyMetres", 14.074, 14'074'000},
                      EntryRow{"HalfAKilohertzIsNotCut", 14.0745, 14'074'500},
                      EntryRow{"JustBelowAHertzRoundsUp", 14.0744999996, 14'074'500},
                      EntryRow{"JustAboveAHertzRoundsDown", 14.0745000004, 14'074'500},
                      EntryRow{"TensOfHertz", 14.07405, 14'074'050},
                      EntryRow{"TopOfTheRange", 999.99999, 999'999'990},
                      EntryRow{"NegativeKeepsItsSign", -14.074, -14'074'000},
                      EntryRow{"BelowHalfAHertzIsZero", 0.0000004, 0},
                      EntryRow{"GigahertzIsStillHertz", 1296.1, 1'296'100'000},
                      EntryRow{"ThousandTeraHertzIsNone", 1e9, std::nullopt},
                      EntryRow{"MinusThousandTeraHertzIsNone", -1e9, std::nullopt},
                      EntryRow{"InfinityIsNone", std::numeric_limits<double>::infinity(),
                               std::nullopt},
                      EntryRow{"NotANumberIsNone", std::nan(""), std::nullopt}),
    [](const auto& instance) { return std::string(instance.param.name); });

// --- Sweep over the 10 Hz grid below 1000 MHz -------------------------------------------------
// Expected texts are built from the integer count of 10 Hz units, never from the code under test.

std::string ExpectedDigits(long long units) {
    char text[32];
    std::snprintf(text, sizeof text, "%011lld", units * 10);
    return text;
}

std::string ExpectedDisplay(long long units) {
    char d[16];
    std::snprintf(d, sizeof d, "%08lld", units);  // hundreds, tens, units of MHz, then 5 more
    const std::string s = d;
    if (units >= 10000000) return s.substr(0, 3) + "." + s.substr(3, 3) + "." + s.substr(6, 1);
    if (s[1] == '0') return " " + s.substr(2, 1) + "." + s.substr(3, 3) + "." + s.substr(6, 2);
    return s.substr(1, 2) + "." + s.substr(3, 3) + "." + s.substr(6, 2);
}

std::vector<long long> SweepUnits() {
    constexpr long long kEnd = 100000000;  // 1000 MHz in units of 10 Hz
    std::vector<long long> units;
    for (long long u = 0; u < kEnd; u += 997) units.push_back(u);

    std::mt19937_64 random(20240611);
    std::uniform_int_distribution<long long> any(0, kEnd - 1);
    for (int n = 0; n < 50000; ++n) units.push_back(any(random));

    // Digit boundaries: every value that ends in p zeros or in p nines, for a spread of heads.
    for (long long p = 1, step = 10; step <= kEnd; ++p, step *= 10) {
        for (long long head = 0; head < 1000 && head * step < kEnd; ++head) {
            units.push_back(head * step);
            units.push_back(head * step + step - 1);
            if (head * step + step < kEnd) units.push_back(head * step + step);
        }
    }
    return units;
}

TEST(FrequencySweep, EveryTenHertzStepBelowOneThousandMegahertzIsExact) {
    const SessionState state = WithDigits();
    int failures = 0;
    for (long long u : SweepUnits()) {
        // As the operator types it: every 10 Hz step in megahertz lands on its own hertz.
        const std::int64_t hertz = HertzFromMegahertz(u / 100000.0).value_or(-1);
        std::string shown = "unchanged";
        FrequencyDisplayText(state, hertz, shown);
        std::string digits;
        try {
            digits = HertzDigits(hertz);
        } catch (const CatError& e) {
            digits = "error: " + e.Description();
        }
        // Typed back as the display shows it, the text is that frequency to its last place.
        const std::int64_t shownPlace = u >= 10'000'000 ? 100 : 10;
        if (HertzFromDisplayText(shown) != hertz - hertz % shownPlace)
            ADD_FAILURE() << "\"" << shown << "\" typed back is not " << hertz;
        if (shown != ExpectedDisplay(u) || digits != ExpectedDigits(u)) {
            ADD_FAILURE() << u << " units of 10 Hz: FrequencyDisplayText \"" << shown
                          << "\" (want \"" << ExpectedDisplay(u) << "\"), HertzDigits " << digits
                          << " (want " << ExpectedDigits(u) << ")";
            if (++failures == 10) break;
        }
    }
}

TEST(HertzFromDisplayText, TakesOnlyTheDisplaysOwnShape) {
    const std::pair<const char*, std::optional<std::int64_t>> rows[] = {
        {"14.074.50", 14'074'500},
        {" 7.074.00 ", 7'074'000},
        {"14.074.00 USB", 14'074'000},
        {"144.300.0", 144'300'000},
        {"1296.100.0", 1'296'100'000},
        {"14.074", std::nullopt},
        {"14.07.50", std::nullopt},
        {"14.074.500", std::nullopt},
        {"14,074,50", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"-14.074.00", std::nullopt},
        {"14.074.", std::nullopt},
    };
    for (const auto& [text, hertz] : rows) EXPECT_EQ(HertzFromDisplayText(text), hertz) << text;
}

TEST(FrequencySweep, ExpectationsMatchTheWorkedExamples) {
    // Guards the sweep's own expectation builders against a slip that would make them agree
    // with a wrong implementation.
    EXPECT_EQ(ExpectedDisplay(1407400), "14.074.00");
    EXPECT_EQ(ExpectedDisplay(707400), " 7.074.00");
    EXPECT_EQ(ExpectedDisplay(14430000), "144.300.0");
    EXPECT_EQ(ExpectedDigits(1407400), "00014074000");
}

}  // namespace
}  // namespace cat
