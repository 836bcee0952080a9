// The verdict line after Find radio: a radio found at other settings than the link's is named with
// what differs and the fix, never left as the first guess.
#include "doctor/found_verdict.h"

#include <gtest/gtest.h>

#include <string>

namespace cat::doctor {
namespace {

struct Row {
    const char* name;
    Protocol protocol;  // found
    const char* address;
    int speed;
    bool everyAddress;
    const char* id;  // the verdict's afterwards
    const char* brief;
    const char* advice;  // part of the advice
};

const Row kRows[] = {
    {"another_address", Protocol::Icom, "94", 9600, false, "other-address", "Radio at 94, not 5E",
     "Use address 94;"},
    {"another_speed", Protocol::Icom, "5E", 19200, false, "other-speed",
     "Radio at 19200 baud, not 9600", "Use 19200 baud;"},
    {"address_and_speed", Protocol::Icom, "94", 19200, false, "other-address",
     "Radio at 94, not 5E", "Use address 94 and 19200 baud;"},
    {"another_family", Protocol::Kenwood, "", 9600, false, "other-protocol", "Radio speaks Kenwood",
     "Use the protocol Kenwood;"},
    {"another_family_and_speed", Protocol::Kenwood, "", 38400, false, "other-protocol",
     "Radio speaks Kenwood", "Use the protocol Kenwood and 38400 baud;"},
    // It answers the link's address too: no address to change to.
    {"every_address_at_another_speed", Protocol::Icom, "", 19200, true, "other-speed",
     "Radio at 19200 baud, not 9600", "Use 19200 baud;"},
    {"every_address_with_its_own_is_no_change", Protocol::Icom, "94", 19200, true, "other-speed",
     "Radio at 19200 baud, not 9600", "Use 19200 baud;"},
    // Found just as the link was set (it answered late): the verdict stands.
    {"the_same_settings", Protocol::Icom, "5e", 9600, false, "no-reply", "No reply from the radio",
     ""},
};

class FoundElsewhereTest : public ::testing::TestWithParam<Row> {};

TEST_P(FoundElsewhereTest, TheVerdictSaysWhatDiffersAndTheFix) {
    const Row& row = GetParam();
    Observation o;
    o.protocol = Protocol::Icom;
    o.radioAddress = "5E";
    o.port = "Com 1";
    o.device = "/dev/ttyUSB0";
    o.speed = "9600";
    o.open = true;
    o.now = 3;
    LineSummary line;
    line.firstCommand = line.firstUnanswered = 0.1;
    o.line = &line;
    const Verdict before = Diagnose(o);
    ASSERT_EQ(before.id, "no-reply");
    Found found;
    found.protocol = row.protocol;
    found.address = row.address;
    found.speed = row.speed;
    found.everyAddress = row.everyAddress;
    found.described = "the radio";
    const Verdict after = FoundElsewhere(before, o, found);
    EXPECT_EQ(after.id, row.id);
    EXPECT_EQ(after.brief, row.brief);
    EXPECT_NE(after.advice.find(row.advice), std::string::npos) << after.advice;
    EXPECT_TRUE(after.problem);
}

INSTANTIATE_TEST_SUITE_P(Rows, FoundElsewhereTest, ::testing::ValuesIn(kRows),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat::doctor
