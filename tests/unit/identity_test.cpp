// Which radio an answer names: the reply to each family's identity read, as the radio sends it,
// to the words the scan says. Models sharing an identity are named together.

#include <gtest/gtest.h>

#include <string>

#include "protocols/families.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;

std::string AddressReply(std::uint8_t address) {
    return Bytes({0xFE, 0xFE, 0xE0, address, 0x19, 0x00, address, 0xFD});
}

struct Row {
    int family;  // list position: 0 ICOM, 1 Kenwood, 3 Yaesu
    std::string reply;
    const char* named;
};

TEST(Identity, EachAnswerNamesItsRadio) {
    const Row rows[] = {
        {0, AddressReply(0x94), "IC-7300 at 94"},
        {0, AddressReply(0xB6), "IC-7300MK2 at B6"},
        {0, AddressReply(0xA4), "IC-705 or Xiegu X6100 at A4"},
        {0, AddressReply(0xA2), "IC-9700 at A2"},
        {0, AddressReply(0x98), "IC-7610 at 98"},
        {0, AddressReply(0x88), "IC-7100 or Xiegu G90 at 88"},
        {0, AddressReply(0xAC), "IC-905 at AC"},
        {0, AddressReply(0x8E), "IC-7851 at 8E"},
        {0, AddressReply(0x74), "IC-7700 at 74"},
        {0, AddressReply(0x7A), "IC-7600 at 7A"},
        {0, AddressReply(0x76), "IC-7200 at 76"},
        {0, AddressReply(0x70), "IC-7000 at 70"},
        {0, AddressReply(0x58), "IC-706MKIIG at 58"},
        {0, AddressReply(0x5E), "IC-718 at 5E"},
        {0, AddressReply(0x3A), "ICOM radio at 3A"},
        {1, "ID019;", "Kenwood TS-2000"},
        {1, "ID020;",
         "Kenwood TS-480, or a radio speaking its commands (QRP Labs QMX/QDX, (tr)uSDX)"},
        {1, "ID021;", "Kenwood TS-590S"},
        {1, "ID024;", "Kenwood TS-890S"},
        {1, "ID017;", "Elecraft K2, K3, KX2, KX3 or K4 (Kenwood commands)"},
        {1, "ID909;", "FLEX-6600 (Kenwood commands)"},
        {3, "ID0570;", "Yaesu FT-991"},
        {3, "ID0670;", "Yaesu FT-991A"},
        {3, "ID0650;", "Yaesu FT-891"},
        {3, "ID0800;", "Yaesu FT-710"},
        {3, "ID0761;", "Yaesu FTDX10"},
        {3, "ID0681;", "Yaesu FTDX101D"},
        {3, "ID0682;", "Yaesu FTDX101MP"},
        {3, "ID0462;", "Yaesu FTDX3000"},
        {3, "ID0460;", "Yaesu FTDX3000"},
        {3, "ID0583;", "Yaesu FTDX1200"},
        {3, "ID0244;", "Yaesu FT-450D"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.named);
        const RadioFamily& family = *FamilyAt(row.family);
        const auto identity = family.Identify(family.Record().identityReads.front(), row.reply);
        ASSERT_TRUE(identity.has_value());
        EXPECT_EQ(family.Describe(*identity), row.named);
    }
}

// The further read that tells radios of one identity apart, and what its answer says.
TEST(Identity, AFollowUpReadNarrowsTheModelDown) {
    const RadioFamily& kenwood = *FamilyAt(1);
    const struct {
        const char* id;
        const char* followUp;
        const char* answer;
        const char* named;
    } rows[] = {
        {"ID017;", "OM;", "OM AP-S-ML------;", "Elecraft K3 (Kenwood commands)"},
        {"ID017;", "OM;", "OM AP---------02;", "Elecraft KX3 (Kenwood commands)"},
        {"ID017;", "OM;", "OM AP---------01;", "Elecraft KX2 (Kenwood commands)"},
        {"ID017;", "OM;", "OM APXSHML14---;", "Elecraft K4 (Kenwood commands)"},
        {"ID019;", "ZZFA;", "ZZFA00014074000;",
         "an SDR program emulating a TS-2000 (Kenwood commands)"},
        {"ID019;", "ZZFA;", "?;", "Kenwood TS-2000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.named);
        auto identity = kenwood.Identify(kenwood.Record().identityReads.front(), row.id);
        ASSERT_TRUE(identity.has_value());
        EXPECT_EQ(identity->followUp, row.followUp);
        kenwood.Refine(*identity, row.answer);
        EXPECT_EQ(kenwood.Describe(*identity), row.named);
    }
}

std::string FrequencyReply(std::uint8_t address) {
    return Bytes({0xFE, 0xFE, 0xE0, address, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD});
}

// The address train is answered at one address by one radio; a radio that answers at several
// answers at any, and only its address read may give its own address and model.
TEST(Identity, ARadioAnsweringEveryAddressIsNamedFromItsAddressReadOnly) {
    const RadioFamily& icom = *FamilyAt(0);
    const std::string train = icom.Record().identityReads.back();
    const std::string many = FrequencyReply(0x94) + FrequencyReply(0xB6) + FrequencyReply(0x48);
    const struct {
        const char* name;
        std::string trainAnswer;
        std::string addressAnswer;  // to the follow-up read, when there is one
        const char* followUp;       // hex
        const char* named;
    } rows[] = {
        {"one_address_is_that_radio", FrequencyReply(0x48), "", "", "IC-706 at 48"},
        {"several_addresses_ask_its_own", many, AddressReply(0x5E), "fe fe 94 e0 19 00 fd",
         "IC-718 at 5E (answers every address)"},
        {"no_address_read_names_no_radio", many, "", "fe fe 94 e0 19 00 fd",
         "ICOM radio (answers every address)"},
        {"the_same_address_twice_is_one", FrequencyReply(0x48) + FrequencyReply(0x48), "", "",
         "IC-706 at 48"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto identity = icom.Identify(train, row.trainAnswer);
        ASSERT_TRUE(identity.has_value());
        EXPECT_EQ(icom.ShowBytes(identity->followUp), row.followUp);
        icom.Refine(*identity, row.addressAnswer);
        EXPECT_EQ(icom.Describe(*identity), row.named);
    }
}

// A five-byte radio answers a read with one reading, behind the read's echo on an echoing
// interface; noise around a plausible block is no answer (a flood holds such blocks somewhere).
TEST(Identity, AFiveByteAnswerIsOneReadingAlone) {
    const RadioFamily& ft817 = *FamilyAt(2);
    const std::string probe = ft817.Record().identityReads.front();
    const std::string reading = Bytes({0x01, 0x40, 0x74, 0x00, 0x01});  // 14.074 MHz USB
    const std::string noise = Bytes({0xFF, 0xA7, 0x13, 0xC4, 0x9E});
    const struct {
        const char* name;
        std::string received;
        bool named;
    } rows[] = {
        {"reading", reading, true},
        {"echo_then_reading", probe + reading, true},
        {"noise_then_reading", noise + reading, false},
        {"reading_then_noise", reading + noise, false},
        {"two_readings", reading + reading, false},
        {"a_short_reading", reading.substr(0, 4), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ft817.Identify(probe, row.received).has_value(), row.named);
    }
}

}  // namespace
}  // namespace cat
