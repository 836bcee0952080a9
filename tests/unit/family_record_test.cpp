// What each family says it is, and the address rule that moved into the families.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/port_names.h"
#include "protocols/civ/civ.h"
#include "protocols/families.h"
#include "protocols/flrig/flrig.h"
#include "protocols/ft817/ft817.h"
#include "protocols/kenwood/kenwood.h"
#include "protocols/rigctld/rigctld.h"
#include "protocols/yaesu/yaesu.h"

namespace cat {
namespace {

struct RecordRow {
    const char* name;
    const RadioFamily& family;
    bool addressed;
    bool countsInFives;
    std::optional<PortKind> server;
};

// A radio has line speeds and identity reads for the scan; a server has neither, and is reached
// by its port kind. Only CI-V is addressed; only the FT-817 counts bytes in fives.
TEST(FamilyRecord, EachFamilySaysWhatItIs) {
    const RecordRow rows[] = {
        {"IcomIsAddressed", CivFamily(), true, false, std::nullopt},
        {"KenwoodIsPlainText", KenwoodFamily(), false, false, std::nullopt},
        {"Ft817CountsInFives", Ft817Family(), false, true, std::nullopt},
        {"YaesuIsPlainText", YaesuFamily(), false, false, std::nullopt},
        {"RigctldIsAServer", RigctldFamily(), false, false, PortKind::Rigctld},
        {"FlrigIsAServer", FlrigFamily(), false, false, PortKind::Flrig},
    };
    for (const RecordRow& row : rows) {
        SCOPED_TRACE(row.name);
        const FamilyRecord& record = row.family.Record();
        EXPECT_EQ(record.addressed, row.addressed);
        EXPECT_EQ(record.countsInFives, row.countsInFives);
        EXPECT_EQ(record.countsInFives, record.silenceBefore > 0);
        EXPECT_TRUE(record.transmitRead);
        EXPECT_EQ(record.server.has_value(), row.server.has_value());
        EXPECT_EQ(record.lineSpeeds.empty(), row.server.has_value());
        EXPECT_EQ(record.identityReads.empty(), row.server.has_value());
        EXPECT_EQ(IsSharingServer(row.family.Id()), row.server.has_value());
        if (!row.server) continue;
        EXPECT_EQ(record.server->portKind, *row.server);
        EXPECT_EQ(ServerFamily(*row.server), &row.family);
        EXPECT_TRUE(ThroughServer(*row.server));
        // The port entry's parser (below the families) agrees with the record on the scheme
        // and the port a bare host reaches.
        const auto target = ParsePortTarget(std::string(record.server->scheme) + "localhost");
        ASSERT_TRUE(target);
        EXPECT_EQ(target->kind, *row.server);
        EXPECT_EQ(target->port, record.server->defaultPort);
    }
    for (const PortKind kind : {PortKind::Device, PortKind::RawTcp, PortKind::Rfc2217})
        EXPECT_FALSE(ThroughServer(kind));
}

struct AddressRow {
    const char* name;
    const RadioFamily& family;
    const char* text;
    std::optional<std::string> address;
};

TEST(RadioAddress, EachFamilyTakesTheAddressBoxItsOwnWay) {
    const AddressRow rows[] = {
        {"IcomPadsOneDigit", CivFamily(), "5", "05"},
        {"IcomUpperCasesAndTrims", CivFamily(), " 5e ", "5E"},
        {"IcomMixedCase", CivFamily(), "Ff", "FF"},
        {"IcomEmptyIsZero", CivFamily(), "", "00"},
        {"IcomBlankIsZero", CivFamily(), "  ", "00"},
        {"IcomRefusesNonHex", CivFamily(), "g", std::nullopt},
        {"IcomRefusesThreeDigits", CivFamily(), "100", std::nullopt},
        {"IcomRefusesATab", CivFamily(), "\t5", std::nullopt},
        {"KenwoodKeepsTheTextTrimmed", KenwoodFamily(), " 5e ", "5e"},
        {"Ft817EmptyIsZero", Ft817Family(), "", "00"},
    };
    for (const AddressRow& row : rows)
        EXPECT_EQ(row.family.RadioAddress(row.text), row.address) << row.name;
    EXPECT_EQ(CivFamily().AddressRefusal(" g "),
              "The ICOM address \"g\" is not valid: it must be two hexadecimal digits (00 to FF).");
    EXPECT_EQ(CivFamily().ControllerAddress(), "E0");
    EXPECT_EQ(KenwoodFamily().ControllerAddress(), "");
}

}  // namespace
}  // namespace cat
