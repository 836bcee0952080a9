#include "core/line_settings.h"

#include <gtest/gtest.h>

#include <tuple>

#include "core/comm_errors.h"

namespace cat {
namespace {

TEST(ParseLineSettings, ReadsEachField) {
    struct Row {
        const char* text;
        std::int32_t speed;
        Parity parity;
        int dataBits;
        StopBits stopBits;
    };
    const Row rows[] = {
        {"9600,n,8,2", 9600, Parity::None, 8, StopBits::Two},
        {"115200,n,8,1", 115200, Parity::None, 8, StopBits::One},
        {"19200,e,7,1", 19200, Parity::Even, 7, StopBits::One},
        {"38400,O,8,2", 38400, Parity::Odd, 8, StopBits::Two},
        {"300,m,5,1.5", 300, Parity::Mark, 5, StopBits::OneAndHalf},
        {"50,S,6,1", 50, Parity::Space, 6, StopBits::One},
        {"4000000,n,8,1", 4000000, Parity::None, 8, StopBits::One},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto line = ParseLineSettings(row.text);
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(line->speed, row.speed);
        EXPECT_EQ(line->parity, row.parity);
        EXPECT_EQ(line->dataBits, row.dataBits);
        EXPECT_EQ(line->stopBits, row.stopBits);
        EXPECT_EQ(line->text, row.text);
        // A caller that builds the text gets the same line, or the error below.
        EXPECT_EQ(RequireLineSettings(row.text).speed, row.speed);
    }
}

TEST(ParseLineSettings, RefusesAnythingElseAndRequiringItRaisesTheSettingsError) {
    for (const char* text : {"",
                             "9600",
                             "9600,n,8",
                             "9600,n,8,2,1",
                             "abc,n,8,2",
                             "0,n,8,2",
                             "49,n,8,2",
                             "4000001,n,8,1",
                             "-9600,n,8,2",
                             "9600.5,n,8,2",
                             " 9600,n,8,2",
                             "9600,n,8,2 ",
                             "99999999,n,8,2",
                             "9600,x,8,2",
                             "9600,,8,2",
                             "9600,ne,8,2",
                             "9600,n,9,2",
                             "9600,n,4,2",
                             "9600,n,8,3",
                             "9600,n,8,1.0",
                             "9600;n;8;2"}) {
        SCOPED_TRACE(std::string("\"") + text + "\"");
        EXPECT_FALSE(ParseLineSettings(text).has_value());
        // What the operator reads: the port's invalid-settings error quoting the text.
        try {
            RequireLineSettings(text);
            ADD_FAILURE() << "no error raised";
        } catch (const CatError& e) {
            EXPECT_EQ(e.Number(), CommErrorNumber(CommFault::InvalidSettings));
            EXPECT_NE(e.Description().find(std::string("\"") + text + "\" are not valid"),
                      std::string::npos)
                << e.Description();
        }
    }
}

// The line every radio is opened with is built, not parsed: it is the line its text gives, and a
// speed the parser refuses is refused (link_control_test pins the words).
TEST(LineSettings, TwoStopBitsIsTheLineItsTextGives) {
    for (const std::int64_t speed : {50, 9600, 4000000}) {
        const LineSettings b = LineSettings::TwoStopBits(speed);
        const LineSettings p = RequireLineSettings(std::to_string(speed) + ",n,8,2");
        EXPECT_EQ(std::tie(b.speed, b.parity, b.dataBits, b.stopBits, b.text),
                  std::tie(p.speed, p.parity, p.dataBits, p.stopBits, p.text));
    }
    for (const std::int64_t speed : {49, 4000001})
        EXPECT_THROW(LineSettings::TwoStopBits(speed), CatError);
}

}  // namespace
}  // namespace cat
