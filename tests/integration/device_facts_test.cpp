// What a failed open hands the doctor: the port's fault, read back from the error number, and
// what only the system can add. Another process holds a file open, as a program holding the
// radio's device would.
#include "qt/ports/device_facts.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "core/comm_errors.h"
#include "tests/support/radiosim_runner.h"

namespace cat {
namespace {

TEST(OpenFailureFacts, NameTheFaultAndWhoHoldsTheDevice) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string held = dir.filePath("ttyHELD").toStdString();
    const std::string free = dir.filePath("ttyFREE").toStdString();
    for (const std::string& path : {held, free}) {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QProcess holder;
    holder.start("sh", {"-c", "exec sleep 30 3<\"$0\"", QString::fromStdString(held)});
    ASSERT_TRUE(holder.waitForStarted());
    const std::string holderText = "sleep (process " + std::to_string(holder.processId()) + ")";

    struct Row {
        const char* name;
        CatError error;
        std::string device;
        std::optional<CommFault> fault;
        std::string holder;
    };
    const Row rows[] = {
        {"InUseNamesTheHolder", CommError(CommFault::DeviceInUse, "Com 3"), held,
         CommFault::DeviceInUse, holderText},
        {"InUseByNobodyWeCanSee", CommError(CommFault::DeviceInUse, "Com 3"), free,
         CommFault::DeviceInUse, ""},
        // A holder is looked for only when the device is in use.
        {"NotFoundNamesNoHolder", CommError(CommFault::DeviceNotFound, "Com 3"), held,
         CommFault::DeviceNotFound, ""},
        {"NotThePortsError", CatError(ErrorKind::TypeMismatch, "Type mismatch"), held, std::nullopt,
         ""},
    };
    // The holder's shell must have become sleep, its file open, before the first look.
    bool ready = false;
    for (int i = 0; i < 100 && !ready; ++i, QTest::qWait(20))
        ready = DeviceHolder(held) == holderText;
    ASSERT_TRUE(ready) << DeviceHolder(held);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const doctor::OpenFailure failure = OpenFailureFacts(row.error, row.device);
        EXPECT_EQ(failure.fault, row.fault);
        EXPECT_EQ(failure.holder, row.holder);
        EXPECT_EQ(failure.text, row.error.Description());
        if (row.fault != CommFault::DeviceNotFound) {
            EXPECT_TRUE(failure.present.empty());
        }
    }
    holder.kill();
    holder.waitForFinished();
}

// A virtual radio keeps its own pseudo-terminal's far end open; the program in the way is the
// other one, named whole (the system's short name would stop at 15 characters).
TEST(DeviceHolder, NamesTheProgramInTheWayByItsWholeName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::RadiosimRunner radio({});
    ASSERT_TRUE(radio.Started());
    const QString program = dir.filePath("a-radio-control-program");
    ASSERT_TRUE(QFile::copy(QStandardPaths::findExecutable("sleep"), program));
    QProcess holder;
    holder.start(
        "sh", {"-c", "exec \"$1\" 30 3<\"$0\"", QString::fromStdString(radio.PtyPath()), program});
    ASSERT_TRUE(holder.waitForStarted());
    const std::string expected =
        "a-radio-control-program (process " + std::to_string(holder.processId()) + ")";
    const bool named =
        QTest::qWaitFor([&] { return DeviceHolder(radio.PtyPath()) == expected; }, 5000);
    EXPECT_TRUE(named) << DeviceHolder(radio.PtyPath());
    holder.kill();
    holder.waitForFinished();
}

}  // namespace
}  // namespace cat
