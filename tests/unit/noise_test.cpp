// Line noise is never taken for a radio: random bytes, runs of FE FE ... FD, and frames to other
// destinations give no reply, no radio at another address and no other family, for any family
// chosen; the doctor calls them garbled, and the monitor counts what it cannot show.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "doctor/diagnosis.h"
#include "doctor/line_analyzer.h"
#include "doctor/monitor_text.h"
#include "protocols/families.h"
#include "tests/support/fakes.h"

namespace cat::doctor {
namespace {

using test::Bytes;

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// Frames with random addresses, commands and lengths: what noise rich in FE and FD looks like.
std::string RandomFrames(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes += Bytes({0xFE, 0xFE});
        const std::size_t length = 1 + random() % 10;
        for (std::size_t k = 0; k < length; ++k)
            bytes.push_back(static_cast<char>(random() % 0xFC));  // no FD, FE inside
        bytes.push_back('\xFD');
    }
    return bytes;
}

Verdict Judge(Protocol family, const std::string& received, const LineSummary** summary,
              LineAnalyzer& line) {
    line.Sent(0, "poll");
    // In the pieces a busy port hands over.
    for (std::size_t at = 0; at < received.size(); at += 4096)
        line.Received(0.01, std::string_view(received).substr(at, 4096));
    line.Settle(2.0);
    *summary = &line.Summary();
    Observation o;
    o.protocol = family;
    o.radioAddress = "5E";
    o.port = "Com 3";
    o.speed = "9600";
    o.open = o.everOpened = true;
    o.now = 2.0;
    o.line = &line.Summary();
    return Diagnose(o);
}

TEST(Noise, IsNeverARadio) {
    const struct {
        const char* name;
        std::string bytes;
    } floods[] = {
        {"random_megabyte", RandomBytes(1 << 20, 7)},
        {"another_random_megabyte", RandomBytes(1 << 20, 1234)},
        {"preamble_runs", RandomFrames(20000, 99)},
        {"frames_to_other_controllers",
         [] {
             std::string s;
             for (int a = 1; a < 0xE0; ++a)
                 s += Bytes({0xFE, 0xFE, 0xE1, static_cast<std::uint8_t>(a), 0x03, 0x00, 0x40, 0x07,
                             0x14, 0x00, 0xFD});
             return s;
         }()},
    };
    for (const Protocol family :
         {Protocol::Icom, Protocol::Kenwood, Protocol::Ft817, Protocol::Yaesu}) {
        for (const auto& flood : floods) {
            SCOPED_TRACE(std::string(flood.name) + " on family " +
                         std::string(FamilyFor(family)->Name()));
            LineAnalyzer line(family, "5E");
            const LineSummary* summary = nullptr;
            const Verdict v = Judge(family, flood.bytes, &summary, line);
            EXPECT_TRUE(summary->otherAddresses.empty());
            for (const LineUnit& u : line.Units())
                EXPECT_NE(u.kind, UnitKind::OtherProtocol)
                    << u.note << ": " << test::ToHex(u.bytes);
            EXPECT_FALSE(summary->lastReading.has_value());
            EXPECT_NE(v.kind, VerdictKind::Answering);
            EXPECT_NE(v.kind, VerdictKind::OtherAddress);
            EXPECT_NE(v.kind, VerdictKind::OtherProtocol);
            EXPECT_NE(v.kind, VerdictKind::Refuses) << v.text;
            EXPECT_NE(v.kind, VerdictKind::Unreadable) << v.text;

            // The monitor shows a bounded number of lines and counts every other byte.
            MonitorCursor cursor;
            const auto lines = NextMonitorLines(line, cursor, family, 0, 500);
            const std::size_t kept = std::min<std::size_t>(line.Units().size(), 500);
            std::size_t shown = 0;
            for (auto u = line.Units().end() - static_cast<std::ptrdiff_t>(kept);
                 u != line.Units().end(); ++u)
                shown += u->bytes.size();
            std::size_t notShown = 0;
            if (lines.size() == kept + 1)
                ASSERT_EQ(std::sscanf(lines[0].c_str(), "... %zu bytes not shown", &notShown), 1)
                    << lines[0];
            else
                ASSERT_EQ(lines.size(), kept);
            EXPECT_EQ(notShown + shown, flood.bytes.size() + 4);  // and the four sent
            EXPECT_TRUE(NextMonitorLines(line, cursor, family, 0, 500).empty());
        }
    }
}

}  // namespace
}  // namespace cat::doctor
