// The line as radiosim sees it: the client's settings in words, and what a UART at one speed
// makes of bytes sent at another. Expected bytes are worked out by hand from the bit timing.

#include "tools/radiosim/line.h"

#include <gtest/gtest.h>

#include "tests/radiosim/hex.h"

namespace radiosim {
namespace {

using test::Bytes;
using test::Hex;

TEST(Line, SettingsInWords) {
    struct Row {
        speed_t speed;
        tcflag_t cflag;
        tcflag_t iflag;
        const char* text;
    };
    const Row rows[] = {
        {B9600, CS8 | CSTOPB | CRTSCTS, 0, "9600 8N2 rtscts"},
        {B4800, CS8 | CSTOPB, 0, "4800 8N2 none"},
        {B115200, CS8, 0, "115200 8N1 none"},
        {B1200, CS7 | PARENB, 0, "1200 7E1 none"},
        {B2400, CS7 | PARENB | PARODD, IXON | IXOFF, "2400 7O1 xonxoff"},
        {B300, CS8, 0, "other 8N1 none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        termios settings{};
        settings.c_cflag = row.cflag;
        settings.c_iflag = row.iflag;
        ::cfsetispeed(&settings, row.speed);
        ::cfsetospeed(&settings, row.speed);
        EXPECT_EQ(LineText(settings), row.text);
    }
}

TEST(Line, WrongSpeedResamplesBitByBit) {
    struct Row {
        const char* name;
        const char* sent;
        int sent_baud;
        int read_baud;
        const char* read;
    };
    const Row rows[] = {
        {"same speed passes everything", "fe fe 94 e0 03 fd", 9600, 9600, "fe fe 94 e0 03 fd"},
        // 00 at 9600 is nine low bit times, then high. Read at 4800, data bits are sampled at
        // 3, 5, 7, 9, ... fast bit times: low, low, low, then high for the rest: f8.
        {"a zero byte read at half speed", "00", 9600, 4800, "f8"},
        // ff at 4800: the start bit lasts two bit times at 9600, so the first data bit reads
        // low and the rest high: fe, then nothing, the line stays high.
        {"an all-ones byte read at double speed", "ff", 4800, 9600, "fe"},
        // 55 at 4800 alternates every 9600-bit pair: the reader takes 66, finds its stop bit
        // low (a framing error), waits for the next fall and takes e6 from the rest.
        {"alternating bits read at double speed: more bytes than were sent", "55", 4800, 9600,
         "66 e6"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Hex(Resample(Bytes(row.sent), row.sent_baud, row.read_baud)), row.read);
    }
}

TEST(Line, NoWrongSpeedKeepsACivFrameWhole) {
    const std::string frame = Bytes("fe fe 94 e0 03 fd");
    for (int sent : {1200, 4800, 9600, 19200, 115200}) {
        for (int read : {1200, 4800, 9600, 19200, 115200}) {
            if (sent == read) continue;
            SCOPED_TRACE(std::to_string(sent) + " read at " + std::to_string(read));
            EXPECT_EQ(Resample(frame, sent, read).find(frame), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace radiosim
