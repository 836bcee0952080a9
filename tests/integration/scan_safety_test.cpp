// Find radio against a virtual FT-817 or FT-818 at each of its speeds, whatever protocol and speed
// the operator had chosen: the radio is found, and it reports no command that would change it.
// Bytes sent at another speed than the radio's reach it re-sampled bit by bit, as a real UART
// reads them, and a radio that frames by count executes whatever lands in its opcode place.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <string>
#include <vector>

#include "shell/startup.h"
#include "doctor/scan.h"
#include "qt/ports/qt_comm_port.h"
#include "qt/platform/qt_settings_store.h"
#include "tests/support/radiosim_process.h"

namespace cat {
namespace {

struct Row {
    const char* model;
    int radioSpeed;
    Protocol chosen;
    int chosenSpeed;
};

// Each row another choice of the operator's, so that every family and several speeds are the
// starting point of some scan.
const Row kRows[] = {
    {"ft817", 4800, Protocol::Icom, 19200},  {"ft817", 9600, Protocol::Kenwood, 115200},
    {"ft817", 38400, Protocol::Yaesu, 1200}, {"ft818", 4800, Protocol::Ft817, 38400},
    {"ft818", 9600, Protocol::Icom, 4800},   {"ft818", 38400, Protocol::Kenwood, 4800},
};

TEST(ScanSafety, AFiveByteRadioIsFoundAndNeverChanged) {
    std::vector<int> speeds;
    for (const std::string_view s : kSpeedEntries) speeds.push_back(std::stoi(std::string(s)));
    for (const Row& row : kRows) {
        SCOPED_TRACE(std::string(row.model) + " at " + std::to_string(row.radioSpeed));
        QTemporaryDir dir;
        const QString ini = dir.filePath("CAT.ini");
        test::Radiosim radio(ini, 1,
                             {"--model", row.model, "--speed", QString::number(row.radioSpeed)});
        ASSERT_TRUE(radio.Started());
        QtSettingsStore store(ini);
        QtCommPort port(store);
        port.SelectPort(1);

        doctor::Scanner scanner(port, doctor::ScanPlan(speeds, row.chosen, row.chosenSpeed));
        double now = 0;
        while (const auto wait = scanner.Step(now)) {
            QTest::qWait(static_cast<int>(*wait * 1000));
            now += *wait;
        }
        ASSERT_TRUE(scanner.Result().has_value());
        EXPECT_EQ(scanner.Result()->protocol, Protocol::Ft817);
        EXPECT_EQ(scanner.Result()->speed, row.radioSpeed);

        // Everything radiosim read has been handled once it answers a ping.
        radio.Control("ping safety");
        ASSERT_TRUE(radio.WaitForLine("pong safety"));
        for (const QString& line : radio.Lines())
            EXPECT_FALSE(line.startsWith("write ")) << line.toStdString();
    }
}

}  // namespace
}  // namespace cat
