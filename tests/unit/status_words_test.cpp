// Which words the status line shows: a transmit alert, then a notice, then the doctor's words,
// which stay underneath and come back.
#include "shell/status_words.h"

#include <gtest/gtest.h>

#include <optional>

namespace cat {
namespace {

const StatusWords kDoctor{"No reply from the radio", true, "doctor"};
const StatusWords kNotice{"Refused 200 MHz", true, "notice"};
const StatusWords kAlert{"Transmitting", true, "alert"};

struct Row {
    const char* name;
    std::optional<StatusWords> alert;
    std::optional<StatusWords> notice;
    const StatusWords& shown;
};

const Row kRows[] = {
    {"the_doctor_alone", std::nullopt, std::nullopt, kDoctor},
    {"a_notice_before_the_doctor", std::nullopt, kNotice, kNotice},
    {"an_alert_before_the_doctor", kAlert, std::nullopt, kAlert},
    {"an_alert_before_a_notice", kAlert, kNotice, kAlert},
};

TEST(StatusRanking, AlertBeforeNoticeBeforeTheDoctor) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        StatusRanking ranking;
        ranking.SetTransmitAlert(row.alert);
        ranking.SetNotice(row.notice);
        // The doctor's words come last, as they do while a notice shows: they wait underneath.
        ranking.SetDoctor(kDoctor);
        EXPECT_EQ(ranking.Shown().whole, row.shown.whole);
        ranking.SetTransmitAlert(std::nullopt);
        ranking.SetNotice(std::nullopt);
        EXPECT_EQ(ranking.Shown().whole, kDoctor.whole) << "the doctor's words come back";
    }
}

}  // namespace
}  // namespace cat
