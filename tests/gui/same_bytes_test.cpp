// The window and `catlink --doctor` drive the same link: for the same stored setup, the radio
// receives the same bytes in the same order from both (the check for a five-byte radio, the read
// at open, the transmit read, the polls).

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "protocols/families.h"
#include "tests/support/doctor_process.h"
#include "tests/support/radio_families.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat::test {
namespace {

// Every byte radiosim read, in order, as hex without the reads' boundaries.
QString Received(Radiosim& radio) {
    QString bytes;
    for (const QString& line : radio.Lines())
        if (line.startsWith(QLatin1String("rx "))) bytes += line.mid(3).remove(QLatin1Char(' '));
    return bytes;
}

void StoreSetup(const QString& iniPath, const FamilyRow& row) {
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.setValue("Setup/Type", ListPosition(*FamilyNamed(row.listText)));
    ini.setValue("Setup/Speed", "1");  // 9600 in the stored list
    ini.setValue("Setup/ComPort", "0");
    ini.setValue("Setup/Address", "5E");
}

class SameBytes : public WindowTest, public ::testing::WithParamInterface<FamilyRow> {};

TEST_P(SameBytes, WindowAndDoctorPutTheSameBytesOnTheLine) {
    const FamilyRow& row = GetParam();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid() && QDir().mkpath(home.filePath("CAT")));
    QString fromDoctor;
    {
        Radiosim radio(home.filePath("CAT/CAT.ini"), 1, {"--protocol", row.radiosim});
        ASSERT_TRUE(radio.Started());
        StoreSetup(home.filePath("CAT/CAT.ini"), row);
        EXPECT_EQ(RunDoctor(home.path(), {}).status, 0);
        fromDoctor = Received(radio);
    }
    Radiosim radio(IniPath(), 1, {"--protocol", row.radiosim});
    ASSERT_TRUE(radio.Started());
    StoreSetup(IniPath(), row);
    MainWindow& w = Start();
    OpenButton(w)->click();
    // However long the window takes, it is compared on what both sent.
    (void)QTest::qWaitFor([&] { return Received(radio).size() >= fromDoctor.size(); }, 8000);
    const QString fromWindow = Received(radio);
    // The doctor listens two seconds at least: its bytes hold the whole opening and polls after
    // (for the slowest, Kenwood's 9600 baud: the check, the buffer's clear and four reads).
    const qsizetype common = std::min(fromWindow.size(), fromDoctor.size());
    ASSERT_GE(common, 2 * 15) << "too little was sent to compare:\n" << fromDoctor.toStdString();
    EXPECT_EQ(fromWindow.left(common).toStdString(), fromDoctor.left(common).toStdString());
}

// The end-to-end tables run every family of the protocol list.
TEST(FamilyRows, ListEveryFamily) {
    ASSERT_EQ(std::size(kFamilyRows), Families().size());
    for (std::size_t i = 0; i < Families().size(); ++i)
        EXPECT_EQ(Families()[i]->Name(), kFamilyRows[i].listText);
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, SameBytes, ::testing::ValuesIn(kFamilyRows),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat::test
