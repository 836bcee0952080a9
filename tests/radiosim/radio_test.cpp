// The radio in process: bytes in through Receive(), what it transmits and reports out through
// its Listener. One table per command language; expected bytes are written from the makers' CAT
// references, never produced by radiosim's own encoders.

#include "tools/radiosim/radio.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/radiosim/hex.h"

namespace radiosim {
namespace {

using test::Bytes;
using test::Hex;

struct Recorder : Radio::Listener {
    std::string sent;
    std::vector<std::string> reports;
    void Transmit(std::string bytes) override { sent += bytes; }
    void Report(std::string line) override { reports.push_back(std::move(line)); }
    std::string Reports() const {
        std::string all;
        for (const std::string& line : reports) all += line + "\n";
        return all;
    }
};

// A radio as radiosim's options would build it: a model by name, or the generic one.
struct RadioSetup {
    Protocol protocol = Protocol::kIcom;
    const char* model = "";
    bool transceive = false;
    bool refuse = false;
    bool anyAddress = false;
};

struct World {
    explicit World(const RadioSetup& setup) : radio(Configure(setup), Start(setup), recorder) {}
    static Radio::Config Configure(const RadioSetup& setup) {
        Radio::Config config;
        config.protocol = setup.protocol;
        config.model = FindModel(setup.model);
        if (config.model != nullptr) {
            config.protocol = config.model->protocol;
            config.address = config.model->address;
        }
        config.transceive = setup.transceive;
        config.refuse = setup.refuse;
        config.any_address = setup.anyAddress;
        return config;
    }
    static Tuning Start(const RadioSetup& setup) {
        Tuning tuning;
        if (const Model* model = FindModel(setup.model)) tuning.hz = model->start_hz;
        tuning.mode = FindMode("USB");
        return tuning;
    }
    Recorder recorder;
    Radio radio;
};

// Each row sends its commands to a fresh radio and expects exactly these bytes back and, when
// given, this text among the report lines.
struct Row {
    const char* name;
    RadioSetup setup;
    std::string in;  // hexadecimal for ICOM and FT-817, text for Kenwood
    std::string out;
    const char* report = "";
};

void Check(const Row& row, bool text) {
    SCOPED_TRACE(row.name);
    World world(row.setup);
    world.radio.Receive(text ? row.in : Bytes(row.in));
    if (text) {
        EXPECT_EQ(world.recorder.sent, row.out);
    } else {
        EXPECT_EQ(Hex(world.recorder.sent), Hex(Bytes(row.out)));
    }
    EXPECT_NE(world.recorder.Reports().find(row.report), std::string::npos)
        << world.recorder.Reports();
}

// ---- ICOM CI-V -------------------------------------------------------------------------------

constexpr RadioSetup kIcom{};
constexpr RadioSetup kIc7300{Protocol::kIcom, "ic7300"};

TEST(RadioIcom, AnswersAsItsCommandTableSays) {
    const Row rows[] = {
        {"read frequency, answered to the sender from our address", kIcom, "fe fe 5e e0 03 fd 00",
         "fe fe e0 5e 03 00 40 07 14 00 fd"},
        {"read mode from another controller address", kIcom, "fe fe 5e e1 04 fd",
         "fe fe e1 5e 04 01 01 fd"},
        {"set five bytes, read back", kIcom, "fe fe 5e e0 05 00 05 25 14 00 fd fe fe 5e e0 03 fd",
         "fe fe e0 5e fb fd fe fe e0 5e 03 00 05 25 14 00 fd", "freq 14250500"},
        {"set four bytes of an older radio", kIcom, "fe fe 5e e0 05 00 50 25 14 fd",
         "fe fe e0 5e fb fd", "freq 14255000"},
        {"set above 1 GHz", kIcom, "fe fe 5e e0 05 00 00 00 96 12 fd", "fe fe e0 5e fb fd",
         "freq 1296000000"},
        {"set CW with filter 2, read back", kIcom, "fe fe 5e e0 06 03 02 fd fe fe 5e e0 04 fd",
         "fe fe e0 5e fb fd fe fe e0 5e 04 03 02 fd", "mode CW"},
        {"set mode without filter keeps filter 1", kIcom, "fe fe 5e e0 06 08 fd fe fe 5e e0 04 fd",
         "fe fe e0 5e fb fd fe fe e0 5e 04 08 01 fd", "mode FSK-R"},
        {"synchronous AM is taken as AM", kIcom, "fe fe 5e e0 06 11 fd fe fe 5e e0 04 fd",
         "fe fe e0 5e fb fd fe fe e0 5e 04 02 01 fd", "mode AM"},
        {"unknown command gets FA and a report", kIcom, "fe fe 5e e0 77 fd", "fe fe e0 5e fa fd",
         "unknown fe fe 5e e0 77 fd"},
        {"read frequency with data", kIcom, "fe fe 5e e0 03 01 fd", "fe fe e0 5e fa fd"},
        {"frequency not packed decimal", kIcom, "fe fe 5e e0 05 00 0a 25 14 00 fd",
         "fe fe e0 5e fa fd"},
        {"frequency of three bytes", kIcom, "fe fe 5e e0 05 00 25 14 fd", "fe fe e0 5e fa fd"},
        {"unknown mode", kIcom, "fe fe 5e e0 06 09 fd", "fe fe e0 5e fa fd"},
        {"filter 4", kIcom, "fe fe 5e e0 06 03 04 fd", "fe fe e0 5e fa fd"},
        {"the generic radio has no 19 00", kIcom, "fe fe 5e e0 19 00 fd", "fe fe e0 5e fa fd",
         "unknown"},
        {"transceive acknowledges, then announces to 00",
         {Protocol::kIcom, "", true},
         "fe fe 5e e0 05 00 05 25 14 00 fd",
         "fe fe e0 5e fb fd fe fe 00 5e 00 00 05 25 14 00 fd"},
        {"refuse answers FA even to a read",
         {Protocol::kIcom, "", false, true},
         "fe fe 5e e0 03 fd",
         "fe fe e0 5e fa fd"},
    };
    for (const Row& row : rows) Check(row, false);
}

TEST(RadioIcom, TakesOnlyFramesAfterTwoPreambleBytes) {
    // Each row's bytes come before a mode read; the only answer must be the one to that read.
    const Row rows[] = {
        {"frame for another radio", kIcom, "fe fe 70 e0 03 fd 00", ""},
        {"broadcast address", kIcom, "fe fe 00 e0 03 fd", ""},
        {"stray zeros", kIcom, "00 00 00", ""},
        {"one preamble byte is not enough", kIcom, "fe 5e e0 03 fd", ""},
        {"one preamble byte after a cut frame is not enough", kIcom,
         "fe fe 5e e0 03 fe 5e e0 03 fd", ""},
        {"a radio's own reply on the bus", kIcom, "fe fe e0 5e 03 00 40 07 14 00 fd", ""},
        {"frame cut by a collision", kIcom, "fe fe 5e e0 03 fc fd", ""},
        {"frame that lost its end", kIcom, "fe fe 5e e0 03", ""},
        {"a longer preamble is fine", kIcom, "fe", ""},
    };
    for (Row row : rows) {
        row.in += " fe fe 5e e0 04 fd";
        row.out = "fe fe e0 5e 04 01 01 fd";
        Check(row, false);
    }
}

// The broadcast address read is answered as the manual shows it, and a radio that takes every
// address answers from the one it was asked at, its own address still in the address read.
TEST(RadioIcom, AnswersTheAddressesItTakes) {
    constexpr RadioSetup kAny{Protocol::kIcom, "", false, false, true};
    constexpr RadioSetup kIc7300Any{Protocol::kIcom, "ic7300", false, false, true};
    const Row rows[] = {
        {"address read to all, from its own", kIc7300, "fe fe 00 e0 19 00 fd",
         "fe fe e0 94 19 00 94 fd"},
        {"no address read: silent to all", kIcom, "fe fe 00 e0 19 00 fd", ""},
        {"another address is not its own", kIc7300, "fe fe 48 e0 03 fd", ""},
        {"any address: from the one asked", kAny, "fe fe 48 e0 03 fd",
         "fe fe e0 48 03 00 40 07 14 00 fd"},
        {"any address: its own in the address read", kIc7300Any, "fe fe a4 e0 19 00 fd",
         "fe fe e0 a4 19 00 94 fd"},
        {"any address: to all, from its own", kIc7300Any, "fe fe 00 e0 19 00 fd",
         "fe fe e0 94 19 00 94 fd"},
        {"any address: other reads to all unanswered", kAny, "fe fe 00 e0 03 fd", ""},
    };
    for (const Row& row : rows) Check(row, false);
}

TEST(RadioIcom, TakesAFrameInPieces) {
    World world(kIcom);
    for (const char* piece : {"fe fe fe 5e", "e0 04", "fd 00"}) world.radio.Receive(Bytes(piece));
    EXPECT_EQ(Hex(world.recorder.sent), "fe fe e0 5e 04 01 01 fd");
}

TEST(RadioIcom, ModelsAnswerTheirOwnCommands) {
    constexpr RadioSetup kIc706{Protocol::kIcom, "ic706mk2g"};
    constexpr RadioSetup kIc9700{Protocol::kIcom, "ic9700"};
    constexpr RadioSetup kIc7610{Protocol::kIcom, "ic7610"};
    const Row rows[] = {
        {"IC-7300 answers at 94 and not at 5E", kIc7300, "fe fe 5e e0 03 fd fe fe 94 e0 19 00 fd",
         "fe fe e0 94 19 00 94 fd"},
        {"S-meter reads S9", kIc7300, "fe fe 94 e0 15 02 fd", "fe fe e0 94 15 02 01 20 fd"},
        {"split on, read", kIc7300, "fe fe 94 e0 0f 01 fd fe fe 94 e0 0f fd",
         "fe fe e0 94 fb fd fe fe e0 94 0f 01 fd", "split on"},
        {"VFO B then exchange: B's frequency goes to A", kIc7300,
         "fe fe 94 e0 07 01 fd fe fe 94 e0 05 00 40 07 07 00 fd fe fe 94 e0 07 b0 fd "
         "fe fe 94 e0 07 00 fd fe fe 94 e0 03 fd",
         "fe fe e0 94 fb fd fe fe e0 94 fb fd fe fe e0 94 fb fd fe fe e0 94 fb fd "
         "fe fe e0 94 03 00 40 07 07 00 fd",
         "vfo B"},
        {"unselected VFO frequency set and read (25 01)", kIc7300,
         "fe fe 94 e0 25 01 00 50 07 07 00 fd fe fe 94 e0 25 01 fd fe fe 94 e0 03 fd",
         "fe fe e0 94 fb fd fe fe e0 94 25 01 00 50 07 07 00 fd "
         "fe fe e0 94 03 00 40 07 14 00 fd",
         "unselected freq 7075000"},
        {"selected VFO mode with data and filter (26 00)", kIc7300,
         "fe fe 94 e0 26 00 03 00 02 fd fe fe 94 e0 26 00 fd",
         "fe fe e0 94 fb fd fe fe e0 94 26 00 03 00 02 fd", "mode CW"},
        {"26 without data and filter is DATA OFF, FIL1", kIc7300,
         "fe fe 94 e0 26 00 00 fd fe fe 94 e0 26 00 fd",
         "fe fe e0 94 fb fd fe fe e0 94 26 00 00 00 01 fd"},
        {"data mode on with filter 2, read", kIc7300,
         "fe fe 94 e0 1a 06 01 02 fd fe fe 94 e0 1a 06 fd",
         "fe fe e0 94 fb fd fe fe e0 94 1a 06 01 02 fd", "data 1"},
        {"data mode off reads filter 00", kIc7300, "fe fe 94 e0 1a 06 fd",
         "fe fe e0 94 1a 06 00 00 fd"},
        {"IC-7300 has no D2", kIc7300, "fe fe 94 e0 1a 06 02 01 fd", "fe fe e0 94 fa fd"},
        {"IC-7610 has D3", kIc7610, "fe fe 98 e0 1a 06 03 01 fd", "fe fe e0 98 fb fd"},
        {"set-mode item written, read back; unwritten reads 00", kIc7300,
         "fe fe 94 e0 1a 05 00 71 01 fd fe fe 94 e0 1a 05 00 71 fd "
         "fe fe 94 e0 1a 05 00 72 fd",
         "fe fe e0 94 fb fd fe fe e0 94 1a 05 00 71 01 fd fe fe e0 94 1a 05 00 72 00 fd"},
        {"transmit request acknowledged; the read says transmit", kIc7300,
         "fe fe 94 e0 1c 00 01 fd fe fe 94 e0 1c 00 fd",
         "fe fe e0 94 fb fd fe fe e0 94 1c 00 01 fd", "transmit on (cat)"},
        {"transceive frame from another station: taken, no answer", kIc7300,
         "fe fe 94 e0 00 00 40 07 07 00 fd", "", "freq 7074000"},
        {"outside the IC-7300's range", kIc7300, "fe fe 94 e0 05 00 00 00 45 01 fd",
         "fe fe e0 94 fa fd"},
        {"a mode the IC-7300 lacks (WFM)", kIc7300, "fe fe 94 e0 06 06 fd", "fe fe e0 94 fa fd"},
        {"unknown 1B: FA and a report", kIc7300, "fe fe 94 e0 1b 00 fd", "fe fe e0 94 fa fd",
         "unknown fe fe 94 e0 1b 00 fd"},
        {"IC-706MKIIG has no 1C", kIc706, "fe fe 58 e0 1c 00 fd", "fe fe e0 58 fa fd", "unknown"},
        {"IC-706MKIIG has no data mode", kIc706, "fe fe 58 e0 1a 06 fd", "fe fe e0 58 fa fd"},
        {"IC-706MKIIG has no 25", kIc706, "fe fe 58 e0 25 00 fd", "fe fe e0 58 fa fd"},
        {"IC-9700 selects the sub band", kIc9700, "fe fe a2 e0 07 d1 fd", "fe fe e0 a2 fb fd",
         "vfo B"},
        {"IC-7300 has no sub band", kIc7300, "fe fe 94 e0 07 d1 fd", "fe fe e0 94 fa fd"},
        {"IC-9700 tunes 1296 MHz but not 14 MHz", kIc9700,
         "fe fe a2 e0 05 00 00 00 96 12 fd fe fe a2 e0 05 00 40 07 14 00 fd",
         "fe fe e0 a2 fb fd fe fe e0 a2 fa fd"},
        {"IC-9700 has DV", kIc9700, "fe fe a2 e0 06 17 fd", "fe fe e0 a2 fb fd", "mode DV"},
    };
    for (const Row& row : rows) Check(row, false);
}

// ---- Kenwood -------------------------------------------------------------------------------

constexpr RadioSetup kKenwood{Protocol::kKenwood};
constexpr RadioSetup kTs590{Protocol::kKenwood, "ts590s"};
constexpr RadioSetup kTs2000{Protocol::kKenwood, "ts2000"};

// IF: frequency, step, RIT/XIT offset, RIT, XIT, memory, TX/RX, mode, VFO, scan, split, tone,
// tone number, shift; 38 characters.
const std::string kIfUsb =
    "IF00014074000"
    "0000"
    "+00000"
    "0"
    "0"
    "000"
    "0"
    "2"
    "0"
    "0"
    "0"
    "0"
    "00"
    "0"
    ";";

// The same with the TX/RX digit (index 28) saying transmit.
const std::string kIfUsbTransmitting =
    "IF00014074000"
    "0000"
    "+00000"
    "0"
    "0"
    "000"
    "1"
    "2"
    "0"
    "0"
    "0"
    "0"
    "00"
    "0"
    ";";

TEST(RadioKenwood, AnswersAsItsCommandTableSays) {
    const Row rows[] = {
        {"IF has the common layout", kKenwood, "IF;", kIfUsb},
        {"set frequency and mode take effect without answer", kKenwood,
         "FA00007074000;MD3;AI0;FA;MD;", "FA00007074000;MD3;", "freq 7074000"},
        {"fixed reads in one write", kKenwood, "ID;PS;AI;", "ID019;PS1;AI0;"},
        {"unknown command: ?; and a report", kKenwood, "XX;", "?;", "unknown XX;"},
        {"frequency of three digits", kKenwood, "FA123;", "?;"},
        {"frequency with a letter", kKenwood, "FA0001407400A;", "?;"},
        {"frequency of twelve digits", kKenwood, "FA000140740000;", "?;"},
        {"mode digit 8", kKenwood, "MD8;", "?;"},
        {"lower case is no command", kKenwood, "if;", "?;"},
        {"an empty command", kKenwood, "MD;;", "MD2;?;"},
        {"ID with a parameter", kKenwood, "ID0;", "?;"},
        {"the generic radio has no FB", kKenwood, "FB;", "?;", "unknown FB;"},
        {"bytes in front make the command none", kKenwood, Bytes("fe fe 94 e0 03 fd") + "ID;",
         "?;"},
        {"a lone ; ends them, the next is answered", kKenwood, Bytes("fe fe 94 e0 03 fd") + ";ID;",
         "?;ID019;"},
        {"a line end in front is a byte too", kKenwood, "\r\nID;", "?;"},
        {"a run past the buffer still ends at its ;", kKenwood, std::string(80, 'I') + ";ID;",
         "?;ID019;"},
        {"refuse answers ?; to everything",
         {Protocol::kKenwood, "", false, true},
         "ID;FA;",
         "?;?;"},
        {"TS-590S is 021 and has FV and DA", kTs590, "ID;FV;DA1;DA;", "ID021;FV1.04;DA1;",
         "data 1"},
        {"TS-890S is 024", {Protocol::kKenwood, "ts890s"}, "ID;SM0;", "ID024;SM00035;"},
        {"TS-2000 is 019, has SM1 but no FV or DA", kTs2000, "ID;SM1;FV;DA;", "ID019;SM10000;?;?;",
         "unknown FV;"},
        {"S-meter of the main receiver", kTs590, "SM0;", "SM00015;"},
        {"VFO B set and read", kTs590, "FB00007074000;FB;FA;", "FB00007074000;FA00014074000;",
         "unselected freq 7074000"},
        {"FR selects B for receive and transmit; IF shows B", kTs590, "FB00007074000;FR1;FR;FT;IF;",
         "FR1;FT1;IF00007074000"
         "0000+00000000000"
         "2"
         "1"
         "0"
         "0"
         "0000;"},
        {"FT alone makes split; IF shows it", kTs590, "FT1;IF;",
         "IF00014074000"
         "0000+00000000000"
         "2"
         "0"
         "0"
         "1"
         "0000;",
         "split on"},
        {"TX keys until RX; IF says so", kTs590, "TX;IF;RX;IF;", kIfUsbTransmitting + kIfUsb,
         "ptt off\ntransmit off"},
        {"outside the TS-590S's range", kTs590, "FA00145000000;", "?;"},
        {"TS-2000 tunes 145 MHz", kTs2000, "FA00145000000;FA;", "FA00145000000;"},
        {"auto information sends IF after a change", kTs590, "AI2;MD3;",
         "IF00014074000"
         "0000+00000000000"
         "3"
         "0000000;"},
    };
    for (const Row& row : rows) Check(row, true);
}

TEST(RadioKenwood, TakesACommandInPieces) {
    World world(kKenwood);
    for (const char* piece : {"I", "F", ";F", "A;"}) world.radio.Receive(piece);
    EXPECT_EQ(world.recorder.sent, kIfUsb + "FA00014074000;");
}

TEST(RadioKenwood, DialectsAnswerTheirOwnCommands) {
    constexpr RadioSetup kK3{Protocol::kKenwood, "k3"};
    constexpr RadioSetup kKx3{Protocol::kKenwood, "kx3"};
    constexpr RadioSetup kK4{Protocol::kKenwood, "k4"};
    constexpr RadioSetup kQmx{Protocol::kKenwood, "qmx"};
    constexpr RadioSetup kSdr{Protocol::kKenwood, "sdr"};
    const Row rows[] = {
        // Elecraft: IF[f]*****+yyyyrx*00tmvspbd1*; in the programmer's reference, 38 characters.
        {"K3 is 017 and answers the Elecraft IF", kK3, "ID;IF;",
         "ID017;IF00014074000     +000000 0002000001 ;"},
        {"K3 IF after CW on VFO B with split", kK3, "FB00007030000;FR1;FT0;MD3;IF;",
         "IF00007030000     +000000 0003101001 ;", "split on"},
        {"K2 and K3 command modes read back what was set", kK3, "K2;K22;K2;K3;K31;K3;K24;",
         "K20;K22;K30;K31;?;"},
        {"option modules: none on the K3, the radio's digits on the KX3 and K4", kK3, "OM;",
         "OM ------------;"},
        {"KX3", kKx3, "ID;OM;", "ID017;OM ----------02;"},
        {"K4", kK4, "ID;OM;TQ;", "ID017;OM --------4---;TQ0;"},
        {"firmware revision and filter width", kK3, "RVM;BW0100;BW;RVX;", "RVM05.67;BW0100;?;",
         "setting BW 0100"},
        {"VFO B's mode with $", kK3, "MD$;", "MD$2;"},
        {"the K3 tunes no 2 m", kK3, "FA00144000000;", "?;"},
        // QMX: TS-480 IF with blanks for the step and a blank before ';'.
        {"QMX is 020 with its IF layout", kQmx, "ID;IF;",
         "ID020;IF00014074000     +00000000002000000 ;"},
        {"QMX has no FM", kQmx, "MD4;", "?;"},
        {"QMX has no ZZ commands", kQmx, "ZZFA;", "?;", "unknown ZZFA;"},
        // The SDR program: a TS-2000 with ZZ commands.
        {"SDR reads through ZZ", kSdr, "ID;ZZFA;ZZMD;", "ID019;ZZFA00014074000;ZZMD01;"},
        {"SDR sets through ZZ; FA and MD follow", kSdr, "ZZFA00007074000;ZZMD04;FA;MD;",
         "FA00007074000;MD3;", "mode CW"},
        {"SDR ZZIF: the IF fields with a two-digit mode", kSdr, "ZZIF;",
         "ZZIF00014074000"
         "0000"
         "+00000"
         "000000"
         "01"
         "000"
         "0000;"},
        {"SDR: unknown ZZ mode", kSdr, "ZZMD08;", "?;"},
        {"the TS-2000 has no ZZ commands", kTs2000, "ZZFA;", "?;"},
    };
    for (const Row& row : rows) Check(row, true);
}

// ---- Yaesu text ------------------------------------------------------------------------------

constexpr RadioSetup kYaesu{Protocol::kYaesu};
constexpr RadioSetup kFt991{Protocol::kYaesu, "ft991a"};

// IF: memory channel, frequency (9), clarifier direction and offset, RX clarifier, TX clarifier,
// mode, VFO/memory, CTCSS, 00, shift; 28 characters.
const std::string kYaesuIfUsb =
    "IF001"
    "014074000"
    "+0000"
    "0"
    "0"
    "2"
    "0"
    "0"
    "00"
    "0"
    ";";

TEST(RadioYaesu, AnswersAsItsCommandTableSays) {
    const Row rows[] = {
        {"reads", kFt991, "ID;FA;MD0;IF;TX;AI;PS;",
         "ID0670;FA014074000;MD02;" + kYaesuIfUsb + "TX0;AI0;PS1;"},
        {"the other models' IDs", {Protocol::kYaesu, "ft891"}, "ID;", "ID0650;"},
        {"FT-710", {Protocol::kYaesu, "ft710"}, "ID;", "ID0800;"},
        {"FTDX10", {Protocol::kYaesu, "ftdx10"}, "ID;", "ID0761;"},
        {"FTDX101D", {Protocol::kYaesu, "ftdx101d"}, "ID;", "ID0681;"},
        {"set frequency and mode, no answer; read back", kFt991, "FA007074000;MD03;FA;MD0;IF;",
         "FA007074000;MD03;IF001007074000+000000300000;", "mode CW"},
        {"mode characters beyond 9", kFt991, "MD0C;MD0;MD0E;MD0;", "MD0C;MD0E;", "mode C4FM"},
        {"lower case is taken", kFt991, "fa;md0;", "FA014074000;MD02;"},
        {"the FT-991A tunes 145 MHz", kFt991, "FA145000000;FA;", "FA145000000;"},
        {"the FT-891 does not", {Protocol::kYaesu, "ft891"}, "FA145000000;", "?;"},
        {"the FT-891 has no C4FM", {Protocol::kYaesu, "ft891"}, "MD0E;", "?;"},
        {"eleven digits are Kenwood's, not Yaesu's", kFt991, "FA00014074000;", "?;"},
        {"mode F is none of these", kFt991, "MD0F;", "?;"},
        {"sub receiver MD1", kFt991, "MD1;", "?;"},
        {"unknown command", kFt991, "ZZ;", "?;", "unknown ZZ;"},
        {"VFO B set and selected", kFt991, "FB007074000;VS1;VS;FB;", "VS1;FB007074000;", "vfo B"},
        {"split through FT and ST", kFt991, "FT1;FT;ST;ST0;ST;", "FT1;ST1;ST0;", "split on"},
        {"transmit requested: TX reads keyed by CAT", kFt991, "TX1;TX;", "TX1;",
         "transmit on (cat)"},
        {"menu item written reads back; unwritten reads 0", kFt991, "EX0321;EX032;EX033;",
         "EX0321;EX0330;", "setting 032 1"},
        {"width and narrow", kFt991, "SH016;SH0;NA01;NA0;", "SH016;NA01;"},
        {"AI on: IF after a change", kFt991, "AI1;MD03;", "IF001014074000+000000300000;"},
        {"the generic Yaesu radio", kYaesu, "ID;FA;", "ID0670;FA014074000;"},
        {"refuse", {Protocol::kYaesu, "", false, true}, "FA;", "?;"},
    };
    for (const Row& row : rows) Check(row, true);
}

// ---- FT-817 --------------------------------------------------------------------------------

constexpr RadioSetup kFt817Generic{Protocol::kFt817};
constexpr RadioSetup kFt817{Protocol::kFt817, "ft817"};

TEST(RadioFt817, AnswersAsItsCommandTableSays) {
    const Row rows[] = {
        {"read: packed decimal tens of hertz and the mode byte", kFt817Generic, "00 00 00 00 03",
         "01 40 74 00 01"},
        {"set frequency and mode, no answer; read back", kFt817Generic,
         "14 43 00 00 01 0c 00 00 00 07 00 00 00 00 03", "14 43 00 00 0c", "mode PKT"},
        {"not packed decimal and unknown mode are ignored", kFt817Generic,
         "1a 00 00 00 01 05 00 00 00 07 00 00 00 00 03", "01 40 74 00 01"},
        {"commands are counted across pieces", kFt817Generic, "00 00 00 00 03 00 00",
         "01 40 74 00 01"},
        {"receiver status", kFt817Generic, "00 00 00 00 e7", "00"},
        {"transmitter status: not transmitting", kFt817Generic, "00 00 00 00 f7", "ff"},
        {"memory read", kFt817Generic, "00 55 00 00 bb", "00 00"},
        {"the generic radio ignores lock and reports it", kFt817Generic, "00 00 00 00 00", "",
         "unknown 00 00 00 00 00"},
        {"a model: lock on, again, off", kFt817, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 80",
         "00 f0 00", "lock off"},
        {"PTT is answered and keys: the TX status clears bit 7", kFt817,
         "00 00 00 00 08 00 00 00 00 f7", "00 20", "transmit on (cat)"},
        {"split on, already on", kFt817, "00 00 00 00 02 00 00 00 00 02", "00 f0", "split on"},
        {"receiver status of a model: S9, squelch open", kFt817, "00 00 00 00 e7", "09"},
        {"VFO toggle shows in EEPROM 0055 bit 0", kFt817,
         "00 00 00 00 81 00 54 00 00 bb 00 55 00 00 bb", "00 01 01 00", "vfo B"},
        {"outside the FT-817's range: ignored", kFt817, "06 00 00 00 01 00 00 00 00 03",
         "01 40 74 00 01"},
        {"a model's unknown opcode: no answer, a report", kFt817, "00 00 00 00 bd", "",
         "unknown 00 00 00 00 bd"},
    };
    for (const Row& row : rows) Check(row, false);
}

TEST(RadioFt817, DropsAHalfBlockAfterAPauseOf200Ms) {
    using std::chrono::milliseconds;
    struct Timed {
        int at_ms;
        const char* bytes;
    };
    struct PauseRow {
        const char* name;
        std::vector<Timed> pieces;
        const char* out;
    };
    // A read after a stray half block: counted on, the block would end inside the read.
    const PauseRow rows[] = {
        {"a pause of 200 ms restarts the count",
         {{0, "14 43 00"}, {200, "00 00 00 00 03"}},
         "01 40 74 00 01"},
        {"a pause of 199 ms does not", {{0, "14 43 00"}, {199, "00 00 00 00 03"}}, ""},
        {"a slow block whose bytes are 150 ms apart is one block",
         {{0, "00"}, {150, "00"}, {300, "00"}, {450, "00"}, {600, "03"}},
         "01 40 74 00 01"},
        {"a pause between whole blocks loses nothing",
         {{0, "00 00 00 00 03"}, {5000, "00 00 00 00 03"}},
         "01 40 74 00 01 01 40 74 00 01"},
    };
    for (const PauseRow& row : rows) {
        SCOPED_TRACE(row.name);
        World world(kFt817Generic);
        for (const Timed& piece : row.pieces) {
            world.radio.Receive(Bytes(piece.bytes), milliseconds(10'000 + piece.at_ms));
        }
        EXPECT_EQ(Hex(world.recorder.sent), row.out);
    }
}

// ---- Transmit state ------------------------------------------------------------------------

// Every status read of every family, receiving and transmitting, whatever keyed the radio: a CAT
// command, the control line wired to PTT, or the operator.
TEST(RadioTransmit, EveryStatusReadTellsTransmitFromReceive) {
    struct KeyedRow {
        const char* name;
        RadioSetup setup;
        std::optional<KeySource> keyed;  // keyed before the bytes arrive
        std::string in;                  // hexadecimal for ICOM and FT-817, text otherwise
        std::string out;
        bool text;
    };
    const RadioSetup k3{Protocol::kKenwood, "k3"};
    const RadioSetup qmx{Protocol::kKenwood, "qmx"};
    const KeyedRow rows[] = {
        {"CI-V 1C 00 receiving",
         kIc7300,
         {},
         "fe fe 94 e0 1c 00 fd",
         "fe fe e0 94 1c 00 00 fd",
         false},
        {"CI-V 1C 00 keyed by RTS", kIc7300, KeySource::kRts, "fe fe 94 e0 1c 00 fd",
         "fe fe e0 94 1c 00 01 fd", false},
        {"CI-V 1C 00 00 unkeys",
         kIc7300,
         {},
         "fe fe 94 e0 1c 00 01 fd fe fe 94 e0 1c 00 00 fd fe fe 94 e0 1c 00 fd",
         "fe fe e0 94 fb fd fe fe e0 94 fb fd fe fe e0 94 1c 00 00 fd",
         false},
        {"CI-V unkey by CAT leaves the line's key", kIc7300, KeySource::kDtr,
         "fe fe 94 e0 1c 00 00 fd fe fe 94 e0 1c 00 fd",
         "fe fe e0 94 fb fd fe fe e0 94 1c 00 01 fd", false},
        {"Kenwood IF keyed by hand", kTs590, KeySource::kHand, "IF;", kIfUsbTransmitting, true},
        {"Kenwood TX1 (data) keys", kTs590, {}, "TX1;IF;", kIfUsbTransmitting, true},
        {"the generic Kenwood radio keyed by its line", kKenwood, KeySource::kRts, "IF;",
         kIfUsbTransmitting, true},
        {"Elecraft IF and TQ receiving",
         k3,
         {},
         "IF;TQ;",
         "IF00014074000     +000000 0002000001 ;TQ0;",
         true},
        {"Elecraft IF and TQ keyed by DTR", k3, KeySource::kDtr, "IF;TQ;",
         "IF00014074000     +000000 0012000001 ;TQ1;", true},
        {"QMX IF keyed by CAT", qmx, {}, "TX;IF;", "IF00014074000     +00000000012000000 ;", true},
        {"Yaesu TX receiving", kFt991, {}, "TX;", "TX0;", true},
        {"Yaesu TX keyed by the radio itself: 2", kFt991, KeySource::kRts, "TX;", "TX2;", true},
        {"Yaesu TX keyed by CAT as well: 1", kFt991, KeySource::kHand, "TX1;TX;", "TX1;", true},
        {"Yaesu TX0 unkeys", kFt991, {}, "TX1;TX0;TX;", "TX0;", true},
        {"FT-817 F7 receiving", kFt817, {}, "00 00 00 00 f7", "ff", false},
        {"FT-817 F7 keyed by hand", kFt817Generic, KeySource::kHand, "00 00 00 00 f7", "20", false},
        {"FT-817 F7 keyed in split: bit 5 clear", kFt817, KeySource::kRts,
         "00 00 00 00 02 00 00 00 00 f7", "00 00", false},
        {"FT-817 PTT off, then receiving again",
         kFt817,
         {},
         "00 00 00 00 08 00 00 00 00 88 00 00 00 00 f7",
         "00 00 ff",
         false},
    };
    for (const KeyedRow& row : rows) {
        SCOPED_TRACE(row.name);
        World world(row.setup);
        if (row.keyed) world.radio.Key(*row.keyed, true);
        world.radio.Receive(row.text ? row.in : Bytes(row.in));
        if (row.text) {
            EXPECT_EQ(world.recorder.sent, row.out);
        } else {
            EXPECT_EQ(Hex(world.recorder.sent), Hex(Bytes(row.out)));
        }
    }
}

TEST(RadioTransmit, ReportsEachChangeOnceNamingWhatKeyedIt) {
    World world(kTs590);
    world.radio.Key(KeySource::kRts, true);
    world.radio.Receive("TX;");               // already transmitting: no change
    world.radio.Key(KeySource::kRts, false);  // CAT still holds it
    world.radio.Receive("RX;");
    world.radio.Key(KeySource::kHand, true);
    world.radio.Key(KeySource::kDtr, true);
    world.radio.Key(KeySource::kHand, false);
    world.radio.Key(KeySource::kDtr, false);
    world.radio.Key(KeySource::kDtr, false);
    EXPECT_EQ(world.recorder.Reports(),
              "transmit on (rts)\n"
              "write kenwood TX;\nptt on\n"
              "write kenwood RX;\nptt off\ntransmit off\n"
              "transmit on (key)\n"
              "transmit off\n");
}

// ---- Write lines: one for every command that asks for a change, none for a read ---------------

TEST(RadioWrites, ReportsEveryCommandThatAsksForAChange) {
    struct WriteRow {
        RadioSetup setup;
        std::string in;      // hexadecimal for ICOM and FT-817, text otherwise
        const char* writes;  // the write lines, joined by '|'; empty: none
    };
    const WriteRow rows[] = {
        // CI-V: reads, then sets taken, refused and unknown to radiosim.
        {kIc7300, "fe fe 94 e0 03 fd fe fe 94 e0 04 fd fe fe 94 e0 0f fd fe fe 94 e0 15 02 fd", ""},
        {kIc7300, "fe fe 94 e0 1a 05 00 71 fd fe fe 94 e0 1a 06 fd fe fe 94 e0 1c 00 fd", ""},
        {kIc7300, "fe fe 94 e0 25 00 fd fe fe 94 e0 26 01 fd fe fe 94 e0 14 01 fd", ""},
        {kIc7300, "fe fe 94 e0 05 00 40 07 14 00 fd", "write civ 05 00 40 07 14 00"},
        {kIc7300, "fe fe 94 e0 05 00 00 00 45 01 fd", "write civ 05 00 00 00 45 01"},
        {kIc7300, "fe fe 94 e0 06 03 fd fe fe 94 e0 07 00 fd", "write civ 06 03|write civ 07 00"},
        {kIc7300, "fe fe 94 e0 0f 01 fd fe fe 94 e0 1c 00 01 fd",
         "write civ 0f 01|write civ 1c 00 01"},
        {kIc7300, "fe fe 94 e0 1a 05 00 71 01 fd fe fe 94 e0 25 01 00 50 07 07 00 fd",
         "write civ 1a 05 00 71 01|write civ 25 01 00 50 07 07 00"},
        {kIc7300, "fe fe 94 e0 14 01 01 28 fd fe fe 94 e0 18 00 fd fe fe 94 e0 1a 00 00 01 fd",
         "write civ 14 01 01 28|write civ 18 00"},
        {{Protocol::kIcom, "", false, true},
         "fe fe 5e e0 05 00 40 07 14 00 fd",
         "write civ 05 00 40 07 14 00"},
        {kIc7300, "fe fe 70 e0 05 00 40 07 14 00 fd", ""},
        // Kenwood: reads with and without a selector; sets taken, refused and unknown.
        {kTs590, "IF;FA;FB;MD;ID;PS;AI;SM0;FR;FT;DA;FV;EX0010000;", ""},
        {kTs590, "FA00014074000;MD3;AI0;",
         "write kenwood FA00014074000;|write kenwood MD3;|"
         "write kenwood AI0;"},
        {kTs590, "TX;RX;FR1;FT0;PS1;DA1;",
         "write kenwood TX;|write kenwood RX;|write kenwood "
         "FR1;|write kenwood FT0;|write kenwood PS1;|write "
         "kenwood DA1;"},
        {kTs590, "FA001;MD8;EX00100001;XX1;UP;",
         "write kenwood FA001;|write kenwood MD8;|write "
         "kenwood EX00100001;|write kenwood XX1;|write "
         "kenwood UP;"},
        {kKenwood, "TX1;", "write kenwood TX1;"},
        {{Protocol::kKenwood, "", false, true}, "FA;MD2;", "write kenwood MD2;"},
        // Yaesu: main-receiver digits and menu numbers are reads; sets taken and not.
        {kFt991, "FA;MD0;IF;ID;TX;SH0;NA0;EX032;ST;VS;FT;AI;PS;", ""},
        {kFt991, "FA007074000;md03;TX1;",
         "write yaesu FA007074000;|write yaesu MD03;|"
         "write yaesu TX1;"},
        {kFt991, "EX0321;AB;BS03;FA1;",
         "write yaesu EX0321;|write yaesu AB;|write yaesu BS03;|"
         "write yaesu FA1;"},
        // Kenwood dialects: Elecraft meta commands and $ reads, ZZ commands.
        {{Protocol::kKenwood, "k3"}, "K2;K3;OM;RVM;MD$;BW;TQ;", ""},
        {{Protocol::kKenwood, "k3"}, "K22;BW0100;", "write kenwood K22;|write kenwood BW0100;"},
        {{Protocol::kKenwood, "sdr"}, "ZZFA;ZZMD;ZZIF;ZZFI07;", "write kenwood ZZFI07;"},
        // FT-817: every opcode of the table that changes something, by name.
        {kFt817, "00 00 00 00 03 00 00 00 00 e7 00 00 00 00 f7 00 55 00 00 bb", ""},
        {kFt817, "00 00 00 00 00", "write ft817 lock on (00 00 00 00 00)"},
        {kFt817, "14 07 40 00 01 01 00 00 00 07",
         "write ft817 freq (14 07 40 00 01)|write ft817 mode (01 00 00 00 07)"},
        {kFt817, "00 00 00 00 08 00 00 00 00 88 00 00 00 00 81",
         "write ft817 ptt on (00 00 00 00 08)|write ft817 ptt off (00 00 00 00 88)|"
         "write ft817 vfo toggle (00 00 00 00 81)"},
        {kFt817, "00 55 01 00 bc 09 00 00 00 0f",
         "write ft817 eeprom write (00 55 01 00 bc)|write ft817 power on (09 00 00 00 0f)"},
        {kFt817Generic, "00 00 00 00 05", "write ft817 clar on (00 00 00 00 05)"},
    };
    for (const WriteRow& row : rows) {
        SCOPED_TRACE(row.in);
        World world(row.setup);
        const bool text =
            FindModel(row.setup.model) != nullptr
                ? FindModel(row.setup.model)->protocol != Protocol::kIcom &&
                      FindModel(row.setup.model)->protocol != Protocol::kFt817
                : row.setup.protocol != Protocol::kIcom && row.setup.protocol != Protocol::kFt817;
        world.radio.Receive(text ? row.in : Bytes(row.in));
        std::string writes;
        for (const std::string& line : world.recorder.reports) {
            if (line.rfind("write ", 0) != 0) continue;
            writes += (writes.empty() ? "" : "|") + line;
        }
        EXPECT_EQ(writes, row.writes);
    }
}

// ---- Modes across the three languages --------------------------------------------------------

TEST(RadioModes, EachModeReadsBackAsEachProtocolCodesIt) {
    struct ModeRow {
        const char* mode;
        const char* icom;   // 04 answer: mode, filter
        char kenwood;       // IF position 30
        const char* ft817;  // 03 answer's fifth byte
    };
    const ModeRow rows[] = {
        {"LSB", "00", '1', "00"},  {"USB", "01", '2', "01"}, {"CW", "03", '3', "02"},
        {"CW-R", "07", '7', "03"}, {"AM", "02", '5', "04"},  {"FM", "05", '4', "08"},
        {"WFM", "06", '4', "06"},  {"FSK", "04", '6', "0a"}, {"FSK-R", "08", '9', "0a"},
        {"PKT", "01", '2', "0c"},
    };
    for (const ModeRow& row : rows) {
        SCOPED_TRACE(row.mode);
        World icom(kIcom), kenwood(kKenwood), ft817(kFt817Generic);
        for (World* world : {&icom, &kenwood, &ft817}) {
            ASSERT_TRUE(world->radio.SelectMode(*FindMode(row.mode), 1));
        }
        icom.radio.Receive(Bytes("fe fe 5e e0 04 fd"));
        kenwood.radio.Receive("IF;");
        ft817.radio.Receive(Bytes("00 00 00 00 03"));
        EXPECT_EQ(Hex(icom.recorder.sent), "fe fe e0 5e 04 " + std::string(row.icom) + " 01 fd");
        ASSERT_EQ(kenwood.recorder.sent.size(), 38u);
        EXPECT_EQ(kenwood.recorder.sent[29], row.kenwood);
        EXPECT_EQ(Hex(ft817.recorder.sent), "01 40 74 00 " + std::string(row.ft817));
    }
}

TEST(RadioModes, TransceiveAnnouncesOperatorChanges) {
    World world({Protocol::kIcom, "", true});
    world.radio.Tune(7'074'000);
    world.radio.SelectMode(*FindMode("CW"), 1);
    EXPECT_EQ(Hex(world.recorder.sent), "fe fe 00 5e 00 00 40 07 07 00 fd fe fe 00 5e 01 03 01 fd");
}

}  // namespace
}  // namespace radiosim
