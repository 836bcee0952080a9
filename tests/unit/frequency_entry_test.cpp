// The operator's frequency entry: the display's own text, else megahertz in the region's marks,
// with the refusals the status line shows.
#include "control/frequency_entry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <variant>

namespace cat {
namespace {

const NumberMarks kEnglish{".", ","};
const NumberMarks kGerman{",", "."};
const NumberMarks kFrench{",", "\u202f"};

constexpr std::int64_t kNotAFrequency = -1;
constexpr std::int64_t kOutOfRange = -2;

struct Row {
    const char* name;
    const char* typed;
    const NumberMarks& marks;
    std::int64_t hertz;  // or kNotAFrequency, kOutOfRange
};

const Row kRows[] = {
    {"megahertz_with_the_regions_point", "14.074", kEnglish, 14'074'000},
    {"megahertz_with_the_regions_comma", "7,0745", kGerman, 7'074'500},
    {"rounds_to_the_nearest_hertz", "7.0745004", kEnglish, 7'074'500},
    {"the_displays_own_text_in_any_region", "14.074.50", kGerman, 14'074'500},
    {"the_display_with_its_mode", " 7.074.00 USB", kFrench, 7'074'000},
    {"the_other_regions_point_is_no_mark_here", "7.0745", kFrench, kNotAFrequency},
    {"a_point_where_the_region_groups_is_thousands", "14.074", kGerman, kOutOfRange},
    {"groups_of_three_before_the_point", "1,000.5", kEnglish, kOutOfRange},
    {"a_group_of_two_is_no_number", "1,00", kEnglish, kNotAFrequency},
    {"a_first_group_of_four_is_no_number", "1000,000", kEnglish, kNotAFrequency},
    {"a_group_of_four_is_no_number", "1,0000", kEnglish, kNotAFrequency},
    {"a_group_after_the_point_is_no_number", "1.000,5", kEnglish, kNotAFrequency},
    {"a_plain_space_for_a_no_break_space", "1 000", kFrench, kOutOfRange},
    {"a_space_is_no_mark_where_the_region_groups_with_a_comma", "1 000", kEnglish, kNotAFrequency},
    {"an_exponent", "1.4074e1", kEnglish, 14'074'000},
    {"an_exponent_with_no_digits", "14e", kEnglish, kNotAFrequency},
    {"a_plus_sign", "+7.1", kEnglish, 7'100'000},
    {"a_minus_sign_is_refused_not_sent", "-7.1", kEnglish, kNotAFrequency},
    {"a_point_alone", ".", kEnglish, kNotAFrequency},
    {"a_fraction_without_whole_megahertz", ".5", kEnglish, 500'000},
    {"words", "abc", kEnglish, kNotAFrequency},
    {"trailing_words", "14.074 MHz", kEnglish, kNotAFrequency},
    {"infinity_spelled_out", "inf", kEnglish, kNotAFrequency},
    {"too_big_for_a_double", "1e999", kEnglish, kNotAFrequency},
    {"just_below_1000_mhz", "999.99999", kEnglish, 999'999'990},
    {"1000_mhz_is_out_of_range", "1000", kEnglish, kOutOfRange},
    {"kilohertz_typed_for_megahertz", "14074", kEnglish, kOutOfRange},
};

TEST(FrequencyEntry, ReadsTheDisplayOrRegionalMegahertzElseSaysWhy) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const std::variant<std::int64_t, Refusal> entry = HertzFromEntry(row.typed, row.marks);
        const std::string typed = row.typed;
        if (row.hertz >= 0) {
            ASSERT_TRUE(std::holds_alternative<std::int64_t>(entry))
                << std::get<Refusal>(entry).brief;
            EXPECT_EQ(std::get<std::int64_t>(entry), row.hertz);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<Refusal>(entry)) << std::get<std::int64_t>(entry);
        const Refusal& refusal = std::get<Refusal>(entry);
        if (row.hertz == kNotAFrequency) {
            EXPECT_EQ(refusal.brief, "Not a frequency: " + typed);
            EXPECT_EQ(refusal.whole, "\"" + typed +
                                         "\" is not a frequency. Type megahertz, for example "
                                         "14.074 or 7.0745, or the display's own 14.074.50.");
        } else {
            EXPECT_EQ(refusal.brief, "Out of range: " + typed + " MHz");
            EXPECT_EQ(refusal.whole, typed +
                                         " MHz is more than any radio here takes (below 1000 "
                                         "MHz). The entry is in megahertz: 14074 kHz is 14.074.");
        }
    }
}

}  // namespace
}  // namespace cat
