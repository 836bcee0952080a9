// After a set, the first reading says whether the radio took it; no reading within 3 s settles
// it without a word (the link's own words say why then).
#include "control/set_confirmation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace cat {
namespace {

constexpr double kSentAt = 100.0;

struct Row {
    const char* name;
    std::int64_t asked;
    double now;
    std::optional<double> lastReading;
    std::optional<std::int64_t> reported;
    const char* brief;  // nullptr: nothing said
    bool stillWaiting;
};

const Row kRows[] = {
    {"taken_exactly", 14'074'000, 100.4, 100.3, 14'074'000, nullptr, false},
    {"within_a_10_hz_step_is_taken", 14'074'005, 100.4, 100.3, 14'074'000, nullptr, false},
    {"a_step_away_is_refused", 14'074'010, 100.4, 100.3, 14'074'000, "Refused 14.07401 MHz", false},
    {"another_frequency_is_refused", 200'000'000, 100.4, 100.3, 14'074'000, "Refused 200 MHz",
     false},
    {"a_reading_from_before_the_set_is_no_answer", 200'000'000, 100.4, 99.9, 14'074'000, nullptr,
     true},
    {"a_reading_at_the_same_instant_is_no_answer", 200'000'000, 100.4, kSentAt, 14'074'000, nullptr,
     true},
    {"no_frequency_yet", 200'000'000, 100.4, 100.3, std::nullopt, nullptr, true},
    {"still_waiting_at_3_s", 200'000'000, 103.0, std::nullopt, std::nullopt, nullptr, true},
    {"gives_up_after_3_s", 200'000'000, 103.01, std::nullopt, std::nullopt, nullptr, false},
};

TEST(SetConfirmation, TheFirstReadingAfterASetSaysWhetherTheRadioTookIt) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        SetConfirmation confirmation;
        EXPECT_FALSE(confirmation.Check(kSentAt, 90.0, 7'000'000)) << "nothing was set";
        confirmation.Sent(row.asked, kSentAt);
        const std::optional<Refusal> refused =
            confirmation.Check(row.now, row.lastReading, row.reported);
        EXPECT_EQ(refused ? refused->brief : "", row.brief ? row.brief : "");
        EXPECT_EQ(confirmation.Waiting(), row.stillWaiting);
    }
    // The whole sentence names both frequencies as the operator types them.
    SetConfirmation confirmation;
    confirmation.Sent(144'390'500, kSentAt);
    EXPECT_EQ(confirmation.Check(100.2, 100.1, 7'074'000)->whole,
              "The radio did not take 144.3905 MHz: it reports 7.074 MHz after the set. The "
              "frequency may be outside its bands, or the radio may be locked.");
}

}  // namespace
}  // namespace cat
