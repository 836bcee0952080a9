#include "core/handshake.h"

#include <gtest/gtest.h>

#include "protocols/families.h"
#include "tests/support/memory_store.h"

namespace cat {
namespace {

// The rule each family gives, and the port's override over it.
TEST(HandshakeFor, TheFamilysRuleUnlessThePortOverridesIt) {
    struct Row {
        const char* name;
        Protocol protocol;
        double speed;
        const char* stored;  // nullptr: no key
        Handshake mode;
        HandshakeSource source;
    };
    const Row rows[] = {
        {"kenwood_9600_rule", Protocol::Kenwood, 9600, nullptr, Handshake::RtsCts,
         HandshakeSource::Default},
        {"kenwood_4800_rule", Protocol::Kenwood, 4800, nullptr, Handshake::None,
         HandshakeSource::Default},
        {"icom_19200_rule", Protocol::Icom, 19200, nullptr, Handshake::None,
         HandshakeSource::Default},
        {"cable_without_lines", Protocol::Kenwood, 9600, "none", Handshake::None,
         HandshakeSource::Override},
        {"override_any_case_and_blanks", Protocol::Kenwood, 38400, " NoNe\t", Handshake::None,
         HandshakeSource::Override},
        {"forced_for_icom", Protocol::Icom, 1200, "rtscts", Handshake::RtsCts,
         HandshakeSource::Override},
        {"auto_is_the_rule", Protocol::Kenwood, 9600, "auto", Handshake::RtsCts,
         HandshakeSource::Default},
        {"blank_is_the_rule", Protocol::Ft817, 9600, "  ", Handshake::None,
         HandshakeSource::Default},
        {"yaesu_text_rule", Protocol::Yaesu, 4800, nullptr, Handshake::RtsCts,
         HandshakeSource::Default},
        {"yaesu_cable_without_lines", Protocol::Yaesu, 38400, "none", Handshake::None,
         HandshakeSource::Override},
        {"misspelt_is_ignored_and_said", Protocol::Kenwood, 9600, "rts/cts", Handshake::RtsCts,
         HandshakeSource::IgnoredOverride},
    };
    for (const Row& row : rows) {
        test::MemoryStore store;
        if (row.stored) store.Write("Ports", "Com3.Handshake", row.stored);
        store.Write("Ports", "Com4.Handshake", "rtscts");  // another port's override
        const bool rule = FamilyFor(row.protocol)->FlowControl(static_cast<int>(row.speed));
        const HandshakeChoice choice = HandshakeFor(store, 3, rule);
        EXPECT_EQ(choice.mode, row.mode) << row.name;
        EXPECT_EQ(choice.source, row.source) << row.name;
    }
}

}  // namespace
}  // namespace cat
