#include "control/frequency_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "core/cat_error.h"

namespace cat {
namespace {

// The digit table as start-up fills it: '0' at 1 ... '9' at 10; entry 0 is never filled.
SessionState WithDigits() {
    SessionState state;
    for (int i = 1; i <= 10; ++i) state.DigitChars[i] = static_cast<char>('0' + i - 1);
    return state;
}

constexpr std::int16_t kUntouched = 77;

struct DigitsRow {
    const char* name;
    double mhz;
    std::array<std::int16_t, 10> digits;
};

void PrintTo(const DigitsRow& row, std::ostream* os) { *os << row.name; }

class DecomposeDigits : public ::testing::TestWithParam<DigitsRow> {};

TEST_P(DecomposeDigits, SplitsIntoTenHertzDigitsAndLeavesTheTailAlone) {
    std::array<std::int16_t, 13> digits;
    digits.fill(kUntouched);

    DisplayDigits(GetParam().mhz, digits);

    for (std::size_t n = 0; n < 10; ++n)
        EXPECT_EQ(digits[n], GetParam().digits[n]) << "digit " << n << " of " << GetParam().mhz;
    for (std::size_t n = 10; n < 13; ++n) EXPECT_EQ(digits[n], kUntouched) << "element " << n;
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, DecomposeDigits,
    ::testing::Values(
        DigitsRow{"TwentyMetres", 14.074, {0, 1, 4, 10, 0, 7, 4, 10, 0, 0}},
        DigitsRow{"BelowTenMegahertz", 7.074, {0, 0, 7, 10, 0, 7, 4, 10, 0, 0}},
        DigitsRow{"Zero", 0.0, {0, 0, 0, 10, 0, 0, 0, 10, 0, 0}},
        DigitsRow{"HundredsOfHertz", 3.5655, {0, 0, 3, 10, 5, 6, 5, 10, 5, 0}},
        DigitsRow{"TensOfHertz", 14.07405, {0, 1, 4, 10, 0, 7, 4, 10, 0, 5}},
        DigitsRow{"FiveHertzPartIsCutNotRounded", 14.074005, {0, 1, 4, 10, 0, 7, 4, 10, 0, 0}},
        DigitsRow{"NineHertzPartIsLiftedToTheNextTen", 14.074009, {0, 1, 4, 10, 0, 7, 4, 10, 0, 1}},
        DigitsRow{"TwoMetres", 144.3, {1, 4, 4, 10, 3, 0, 0, 10, 0, 0}},
        DigitsRow{"TopOfTheRange", 999.99, {9, 9, 9, 10, 9, 9, 0, 10, 0, 0}},
        DigitsRow{"TenHertzBelowTwoHundredStaysBelow", 199.99999, {1, 9, 9, 10, 9, 9, 9, 10, 9, 9}},
        DigitsRow{"GigahertzPutsTwelveIntoTheHundreds", 1296.1, {12, 9, 6, 10, 1, 0, 0, 10, 0, 0}}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(DisplayDigits, ArrayTooShortForTenDigitsIsAnIndexError) {
    std::array<std::int16_t, 9> digits{};
    try {
        DisplayDigits(14.074, digits);
        FAIL() << "no error for a nine-element array";
    } catch (const CatError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::IndexOutOfRange);
    }
}

TEST(DisplayDigits, TenElementsAreEnough) {
    std::array<std::int16_t, 10> digits{};
    DisplayDigits(14.074, digits);
    EXPECT_EQ(digits[6], 4);
}

TEST(DisplayDigits, DigitBeyondSixteenBitsIsAnOverflow) {
    for (double mhz : {4e6, 1e300, std::nan(""), std::numeric_limits<double>::infinity()}) {
        std::array<std::int16_t, 13> digits{};
        try {
            DisplayDigits(mhz, digits);
            ADD_FAILURE() << "no error for " << mhz;
        } catch (const CatError& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Overflow) << mhz;
        }
    }
}

struct TextRow {
    const char* name;
    double mhz;
    const char* display;  // FrequencyDisplayText
    const char* digits;   // HertzDigits
};

void PrintTo(const TextRow& row, std::ostream* os) { *os << row.name; }

class FrequencyTexts : public ::testing::TestWithParam<TextRow> {};

TEST_P(FrequencyTexts, DisplayTextAndCommandDigits) {
    const SessionState state = WithDigits();
    std::string shown = "previous";

    FrequencyDisplayText(state, GetParam().mhz, shown);

    EXPECT_EQ(shown, GetParam().display);
    EXPECT_EQ(HertzDigits(GetParam().mhz), GetParam().digits);
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, FrequencyTexts,
    ::testing::Values(
        TextRow{"TwentyMetres", 14.074, "14.074.00", "00014074000"},
        TextRow{"BelowTenMegahertzGetsALeadingBlank", 7.074, " 7.074.00", "00007074000"},
        TextRow{"Zero", 0.0, " 0.000.00", "00000000000"},
        TextRow{"HundredsOfHertz", 3.5655, " 3.565.50", "00003565500"},
        TextRow{"TensOfHertz", 14.07405, "14.074.05", "00014074050"},
        TextRow{"FiveHertzPartIsCut", 14.074005, "14.074.00", "00014074000"},
        TextRow{"NineHertzPartIsLifted", 14.074009, "14.074.01", "00014074010"},
        TextRow{"TenMegahertzHasNoBlank", 10.0, "10.000.00", "00010000000"},
        TextRow{"HundredDropsTheTenHertzDigit", 100.0, "100.000.0", "00100000000"},
        TextRow{"TwoMetres", 144.3, "144.300.0", "00144300000"},
        TextRow{"TopOfTheRange", 999.99, "999.990.0", "00999990000"},
        TextRow{"LastTenHertzStepBeforeTwoHundred", 199.99999, "199.999.9", "00199999990"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(FrequencyDisplayText, TakesEachCharacterFromTheDigitTableAtDigitPlusOne) {
    SessionState state;
    for (int i = 1; i <= 10; ++i) state.DigitChars[i] = static_cast<char>('a' + i - 1);
    std::string shown;

    FrequencyDisplayText(state, 14.07405, shown);

    EXPECT_EQ(shown, "be.ahe.af");
}

TEST(FrequencyDisplayText, WithoutADisplayableFrequencyTheTextStaysAsItWas) {
    const SessionState state = WithDigits();
    const double cases[] = {
        1296.1,     1000.0,
        999.999999,  // the hundreds digit reaches 10
        -14.074,    -0.5,   4e6, std::nan(""), std::numeric_limits<double>::infinity()};
    for (double mhz : cases) {
        std::string shown = "14.074.00 USB";
        FrequencyDisplayText(state, mhz, shown);
        EXPECT_EQ(shown, "14.074.00 USB") << mhz;
    }
}

TEST(HertzDigits, SignIsIgnored) {
    EXPECT_EQ(HertzDigits(-14.074), "00014074000");
    EXPECT_EQ(HertzDigits(-144.3), "00144300000");
}

TEST(HertzDigits, FromOneThousandMegahertzUpThereIsNoTextToSend) {
    for (double mhz : {1000.0, 1296.1, 999.999999, -1296.1, 3e6, 1e300, std::nan("")}) {
        try {
            const std::string text = HertzDigits(mhz);
            ADD_FAILURE() << mhz << " gave " << text;
        } catch (const CatError& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Overflow) << mhz;
        }
    }
}

TEST(FrequencyBytes, PackTwoDigitsPerByteMostSignificantFirst) {
    using Bytes = std::array<std::int16_t, 4>;
    EXPECT_EQ(FrequencyBytes(14.074), (Bytes{0x01, 0x40, 0x74, 0x00}));
    EXPECT_EQ(FrequencyBytes(7.074), (Bytes{0x00, 0x70, 0x74, 0x00}));
    EXPECT_EQ(FrequencyBytes(144.3), (Bytes{0x14, 0x43, 0x00, 0x00}));
    EXPECT_EQ(FrequencyBytes(14.07405), (Bytes{0x01, 0x40, 0x74, 0x05}));
}

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
        const double mhz = u / 100000.0;
        std::string shown = "unchanged";
        FrequencyDisplayText(state, mhz, shown);
        std::string digits;
        try {
            digits = HertzDigits(mhz);
        } catch (const CatError& e) {
            digits = "error: " + e.Description();
        }
        if (shown != ExpectedDisplay(u) || digits != ExpectedDigits(u)) {
            ADD_FAILURE() << u << " units of 10 Hz: FrequencyDisplayText \"" << shown
                          << "\" (want \"" << ExpectedDisplay(u) << "\"), HertzDigits " << digits
                          << " (want " << ExpectedDigits(u) << ")";
            if (++failures == 10) break;
        }
    }
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
