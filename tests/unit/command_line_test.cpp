#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocols/families.h"

namespace cat {
namespace {

// The program's rows plus two of the shapes a mode can take, so that both kinds of value are
// exercised before a real option needs them.
constexpr const CommandOption& Row(std::string_view name) {
    for (const CommandOption& o : kOptions)
        if (o.name == name) return o;
    return kOptions[0];
}

constexpr CommandOption kWithModes[] = {
    Row("--help"),
    Row("--version"),
    Row("-platform"),
    Row("--doctor"),
    Row("--ptt"),
    {"--probe", "", OptionKind::Mode, OptionValue::Optional, "PORT", "probe a port", ""},
    {"--count", "-n", OptionKind::Mode, OptionValue::Required, "N", "count to N", ""},
};

TEST(ParseCommandLine, SettingsGoWithTheirModeOnly) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        const char* ptt;    // nullptr: no --ptt setting
        const char* error;  // nullptr: no error
    };
    const Row rows[] = {
        {"after_the_mode", {"--doctor", "--ptt", "rts"}, "rts", nullptr},
        {"before_the_mode_with_its_port", {"--ptt=dtr", "--doctor", "Com 3"}, "dtr", nullptr},
        {"the_last_one_counts", {"--doctor", "--ptt", "rts", "--ptt", "cat"}, "cat", nullptr},
        {"without_its_mode", {"--ptt", "cat"}, nullptr, "'--ptt' only goes with '--doctor'"},
        {"with_another_mode",
         {"--version", "--ptt", "cat"},
         nullptr,
         "'--ptt' only goes with '--doctor'"},
        {"needs_its_value", {"--doctor", "--ptt"}, nullptr, "option '--ptt' needs cat|rts|dtr"},
    };
    for (const Row& row : rows) {
        const CommandLine parsed = ParseCommandLine(row.args, kWithModes);
        EXPECT_EQ(parsed.error, row.error ? row.error : "") << row.name;
        if (row.error) continue;
        EXPECT_EQ(parsed.mode, "--doctor") << row.name;
        EXPECT_EQ(parsed.Setting("--ptt"), std::optional<std::string>(row.ptt)) << row.name;
    }
}

TEST(ParseCommandLine, EachWordIsAnOptionOrAnError) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string_view mode;
        const char* value;  // nullptr: the mode got no value
        const char* error;  // nullptr: no error
    };
    const Row rows[] = {
        {"nothing_opens_the_window", {}, "", nullptr, nullptr},
        {"help", {"--help"}, "--help", nullptr, nullptr},
        {"short_help", {"-h"}, "--help", nullptr, nullptr},
        {"version", {"--version"}, "--version", nullptr, nullptr},
        {"help_wins_over_a_mode_before_it", {"--version", "--help"}, "--help", nullptr, nullptr},
        {"same_mode_twice", {"--version", "--version"}, "--version", nullptr, nullptr},
        {"unknown_long", {"--versoin"}, "", nullptr, "unknown option '--versoin'"},
        {"unknown_after_a_mode", {"--version", "-x"}, "", nullptr, "unknown option '-x'"},
        {"unknown_with_value_names_the_option",
         {"--colour=red"},
         "",
         nullptr,
         "unknown option '--colour'"},
        {"stray_word", {"COM3"}, "", nullptr, "unexpected argument 'COM3'"},
        {"empty_word", {""}, "", nullptr, "unexpected argument ''"},
        {"value_for_a_flag", {"--version=2"}, "", nullptr, "option '--version' takes no value"},
        {"toolkit_option_keeps_the_window", {"-platform", "offscreen"}, "", nullptr, nullptr},
        {"toolkit_value_is_not_read_as_an_option", {"-platform", "--help"}, "", nullptr, nullptr},
        {"toolkit_option_without_its_value",
         {"-platform"},
         "",
         nullptr,
         "option '-platform' needs NAME"},
        {"optional_value_absent", {"--probe"}, "--probe", nullptr, nullptr},
        {"optional_value_next_word",
         {"--probe", "/dev/ttyUSB0"},
         "--probe",
         "/dev/ttyUSB0",
         nullptr},
        {"optional_value_after_equals", {"--probe=Com 3"}, "--probe", "Com 3", nullptr},
        {"optional_value_is_never_an_option", {"--probe", "--help"}, "--help", nullptr, nullptr},
        {"required_value_next_word", {"-n", "5"}, "--count", "5", nullptr},
        {"required_value_may_be_empty", {"--count="}, "--count", "", nullptr},
        {"required_value_missing", {"--count"}, "", nullptr, "option '--count' needs N"},
        {"optional_value_empty_after_equals", {"--probe="}, "--probe", "", nullptr},
        {"required_value_may_start_with_a_dash", {"--count", "-5"}, "--count", "-5", nullptr},
        {"flag_value_refused_before_a_later_word",
         {"--version=", "x"},
         "",
         nullptr,
         "option '--version' takes no value"},
        {"two_modes",
         {"--probe", "--version"},
         "",
         nullptr,
         "'--probe' and '--version' cannot be combined"},
        {"mode_with_toolkit_option", {"-platform", "xcb", "--probe", "p"}, "--probe", "p", nullptr},
    };
    for (const Row& row : rows) {
        const CommandLine parsed = ParseCommandLine(row.args, kWithModes);
        EXPECT_EQ(parsed.error, row.error ? row.error : "") << row.name;
        if (row.error) continue;
        EXPECT_EQ(parsed.mode, row.mode) << row.name;
        EXPECT_EQ(parsed.hasValue, row.value != nullptr) << row.name;
        if (row.value) {
            EXPECT_EQ(parsed.value, row.value) << row.name;
        }
    }
}

TEST(HelpText, ListsEveryOptionWithItsValueAndTheExitStatuses) {
    const std::string help = HelpText(kWithModes);
    for (const char* line : {"  -h, --help", "      --probe [PORT]", "  -n, --count N",
                             "  -platform NAME", "\n  3  another copy is already running"})
        EXPECT_NE(help.find(line), std::string::npos) << line << "\n" << help;
    // Every line of every option's help, continuation lines included.
    for (const CommandOption& o : kOptions)
        for (std::size_t start = 0; start <= o.help.size();) {
            const std::size_t end = std::min(o.help.find('\n', start), o.help.size());
            EXPECT_NE(HelpText().find(o.help.substr(start, end - start)), std::string::npos)
                << o.help.substr(start, end - start);
            start = end + 1;
        }
    // The protocol is named by every family the list offers, a new one included.
    for (const RadioFamily* family : Families())
        EXPECT_NE(HelpText().find(family->Name()), std::string::npos) << family->Name();
    EXPECT_EQ(UsageErrorLine("unknown option '-x'"),
              "catlink: unknown option '-x' (try 'catlink --help')\n");
}

}  // namespace
}  // namespace cat
