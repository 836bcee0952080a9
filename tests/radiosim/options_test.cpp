// radiosim's command line in process: what each option accepts, refuses, and what a model
// decides unless told otherwise.

#include "tools/radiosim/options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace radiosim {
namespace {

TEST(Options, RefuseWhatNoRadioCanDo) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        const char* error;  // a part of the message
    };
    const Row rows[] = {
        {"unknown option", {"--bogus"}, "unknown option '--bogus'"},
        {"a word without dashes", {"icom"}, "unexpected argument 'icom'"},
        {"a value missing at the end", {"--delay"}, "--delay needs a value"},
        {"a value for a flag", {"--echo=1"}, "--echo takes no value"},
        {"unknown protocol", {"--protocol", "civ"}, "unknown protocol 'civ'"},
        {"address of three digits", {"--address", "5E0"}, "one or two hexadecimal digits"},
        {"address that is no hex", {"--address", "G1"}, "one or two hexadecimal digits"},
        {"frequency above ten digits", {"--freq", "10000"}, "megahertz below 10000"},
        {"frequency above the FT-817's digits",
         {"--protocol", "ft817", "--freq", "1000"},
         "megahertz below 1000"},
        {"frequency finer than a hertz", {"--freq", "14.0740001"}, "megahertz below"},
        {"unknown mode", {"--mode", "XYZ"}, "unknown mode 'XYZ'"},
        {"delay beyond a minute", {"--delay", "60001"}, "--delay takes milliseconds"},
        {"split beyond a minute", {"--split", "60001"}, "--split takes milliseconds"},
        {"com 33", {"--com", "33"}, "--com takes a port number from 1 to 32"},
        {"settings without com", {"--settings", "x.ini"}, "--settings needs --com N"},
        {"unknown model", {"--model", "ic7301"}, "unknown model 'ic7301' (ic7300"},
        {"model of another protocol",
         {"--protocol", "kenwood", "--model", "ic7300"},
         "the IC-7300 does not speak that protocol"},
        {"speed no UART setting names", {"--speed", "14400"}, "--speed takes 1200"},
        {"speed the model's menu lacks",
         {"--model", "ft817", "--speed", "19200"},
         "the FT-817 runs at 4800 9600 38400 baud"},
        {"frequency outside the model's ranges",
         {"--model", "ic7300", "--freq", "145"},
         "the IC-7300 tunes"},
        {"mode the model lacks",
         {"--model", "ic7300", "--mode", "WFM"},
         "unknown mode 'WFM' (LSB USB AM CW FSK FM CW-R FSK-R)"},
        {"D-STAR without a model", {"--mode", "DV"}, "unknown mode 'DV'"},
        {"refuse on an FT-817", {"--protocol", "ft817", "--refuse"}, "no answer that refuses"},
        {"any address without addresses",
         {"--protocol", "kenwood", "--any-address"},
         "only an ICOM radio has addresses"},
        {"stop-after without seconds", {"--stop-after", "soon"}, "--stop-after takes seconds"},
        {"a port beyond 65535", {"--rfc2217", "65536"}, "--rfc2217 takes [HOST:]PORT"},
        {"a host without a port", {"--rfc2217", "localhost"}, "--rfc2217 takes [HOST:]PORT"},
        {"a colon without a host", {"--rfc2217", ":7300"}, "--rfc2217 takes [HOST:]PORT"},
        {"a PTT line a port does not have", {"--rfc2217", "0", "--ptt", "cts"}, "rts or dtr"},
        {"a PTT line on a pty", {"--ptt", "rts"}, "--ptt needs --rfc2217"},
        {"a link to a pty that is not there", {"--rfc2217", "0", "--link", "x"}, "there is none"},
        {"flrig on a port beyond 65535", {"--flrig", "65536"}, "--flrig takes [HOST:]PORT"},
        {"flrig with a colon and no host", {"--flrig", ":12345"}, "--flrig takes [HOST:]PORT"},
        {"flrig and a network serial port", {"--flrig", "0", "--rfc2217", "0"}, "choose one"},
        {"a pty link behind flrig", {"--flrig", "0", "--link", "x"}, "--link and --ptt do not"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ParsedOptions parsed = ParseOptions(row.args);
        EXPECT_NE(parsed.error.find(row.error), std::string::npos) << parsed.error;
    }
}

TEST(Options, BuildTheRadioAsAsked) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::function<bool(const Options&)> holds;
    };
    const Row rows[] = {
        {"defaults: ICOM at 5E, 14.074 MHz USB, speed followed",
         {},
         [](const Options& o) {
             return o.radio.protocol == Protocol::kIcom && o.radio.address == 0x5E &&
                    o.tuning.hz == 14'074'000 && o.tuning.mode->name == "USB" && o.speed == 0;
         }},
        {"one address digit, and 0x",
         {"--address", "0x7"},
         [](const Options& o) { return o.radio.address == 0x07; }},
        {"a model brings its address and protocol",
         {"--model", "ic705"},
         [](const Options& o) {
             return o.radio.address == 0xA4 && o.radio.protocol == Protocol::kIcom &&
                    o.radio.model->title == "IC-705";
         }},
        {"an address given wins over the model's, whatever the order",
         {"--address", "70", "--model", "ic7300"},
         [](const Options& o) { return o.radio.address == 0x70; }},
        {"the IC-9700 starts in its own band",
         {"--model", "ic9700"},
         [](const Options& o) { return o.tuning.hz == 144'300'000; }},
        {"a Kenwood model",
         {"--model=ts2000", "--freq=1296"},
         [](const Options& o) {
             return o.radio.protocol == Protocol::kKenwood && o.tuning.hz == 1'296'000'000;
         }},
        {"fault options",
         {"--speed", "4800", "--echo-only", "--refuse", "--stop-after", "0.25"},
         [](const Options& o) {
             return o.speed == 4800 && o.echo_only && o.radio.refuse && o.stop_after_ms == 250;
         }},
        {"the network port: loopback unless a host is given, a wired line, keyed from the start",
         {"--rfc2217", "0", "--ptt", "dtr", "--keyed"},
         [](const Options& o) {
             return o.rfc2217_host == "127.0.0.1" && o.rfc2217_port == 0 &&
                    o.ptt_line == KeySource::kDtr && o.keyed;
         }},
        {"the network port on every interface",
         {"--rfc2217=0.0.0.0:7300", "--ptt=rts"},
         [](const Options& o) {
             return o.rfc2217_host == "0.0.0.0" && o.rfc2217_port == 7300 &&
                    o.ptt_line == KeySource::kRts;
         }},
        {"without --rfc2217: the pty, nothing wired, receiving",
         {},
         [](const Options& o) {
             return o.rfc2217_port == -1 && o.flrig_port == -1 && !o.ptt_line && !o.keyed;
         }},
        {"flrig on loopback at flrig's own port, its radio silent",
         {"--flrig", "12345", "--silent", "--model", "ft991a"},
         [](const Options& o) {
             return o.flrig_host == "127.0.0.1" && o.flrig_port == 12345 && o.silent &&
                    o.rfc2217_port == -1;
         }},
        {"flrig on every interface, a free port",
         {"--flrig=0.0.0.0:0"},
         [](const Options& o) { return o.flrig_host == "0.0.0.0" && o.flrig_port == 0; }},
        {"com alone writes the program's own store",
         {"--com", "3"},
         [](const Options& o) { return o.com == 3 && o.settings.ends_with("/CAT/CAT.ini"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ParsedOptions parsed = ParseOptions(row.args);
        ASSERT_EQ(parsed.error, "");
        EXPECT_TRUE(row.holds(parsed.options));
    }
}

TEST(Options, HelpStopsParsing) {
    EXPECT_TRUE(ParseOptions({"--quiet", "-h", "--bogus"}).help);
    EXPECT_NE(std::string(HelpText()).find("--stop-after S"), std::string::npos);
}

}  // namespace
}  // namespace radiosim
