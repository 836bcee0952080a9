// Another program holding the radio's port, as Linux allows: the holders are found (not the
// virtual radio that made the terminal), catlink --doctor opens anyway and warns that the two
// programs' commands mix, its scan leaves the port alone, and a rig-sharing server that holds the
// port (the real rigctld on radiosim's terminal) is offered to test through.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "qt/ports/device_facts.h"
#include "tests/support/doctor_process.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/ser2net_process.h"

namespace cat {
namespace {

class PortHolders : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        test::StoreIcomSetup(home.path(), "94");
    }
    void TearDown() override { StopHolders(); }
    void StopHolders() {
        for (auto& process : holders) {
            process->kill();
            process->waitForFinished(2000);
        }
        holders.clear();
    }
    QString Ini() const { return home.filePath("CAT/CAT.ini"); }

    // `program` with `args`, once the system shows it holding `device`.
    QProcess* Hold(const QString& program, const QStringList& args, const QString& device) {
        holders.push_back(std::make_unique<QProcess>());
        QProcess* process = holders.back().get();
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(program, args);
        EXPECT_TRUE(process->waitForStarted());
        const bool holding = QTest::qWaitFor(
            [&] {
                for (const HoldingProcess& h : OtherHolders(device.toStdString()))
                    if (h.pid == process->processId()) return true;
                return process->state() != QProcess::Running;
            },
            10000);
        EXPECT_TRUE(holding && process->state() == QProcess::Running)
            << program.toStdString() << " never held " << device.toStdString() << ": "
            << process->readAll().toStdString();
        return process;
    }
    // sleep with the device as its standard input: a program that holds it and says nothing.
    QProcess* HoldQuietly(const QString& device) {
        return Hold("sh", {"-c", "exec sleep 60 <\"$0\"", device}, device);
    }

    struct Outcome {
        int status = -1;
        std::string out;
    };
    Outcome Doctor(const QStringList& args) {
        const test::DoctorOutcome run = test::RunDoctor(home.path(), args);
        return {run.status, run.out.toStdString()};
    }

    QTemporaryDir home;
    std::vector<std::unique_ptr<QProcess>> holders;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A login prompt on the port is named as the computer's doing, with the command that stops it,
// and that command is the verdict's advice.
TEST_F(PortHolders, TheDoctorNamesALoginPromptOnThePort) {
    test::Radiosim radio(Ini(), 1, {"--model", "ic7300", "--speed", "9600", "--echo-only"});
    ASSERT_TRUE(radio.Started());
    // The kernel names a process after its program's file: a copy of sleep called agetty.
    const QString getty = home.filePath("agetty");
    ASSERT_TRUE(QFile::copy("/bin/sleep", getty));
    const QProcess* holder =
        Hold("sh", {"-c", "exec \"$1\" 60 <\"$0\"", radio.Pty(), getty}, radio.Pty());
    const std::string pts = QFileInfo(radio.Pty()).fileName().toStdString();
    const Outcome run = Doctor({});
    EXPECT_TRUE(Has(run.out, "host: getty: A login prompt, agetty (process " +
                                 std::to_string(holder->processId()) + "), holds "))
        << run.out;
    EXPECT_TRUE(
        Has(run.out, "  Try: sudo systemctl disable --now serial-getty@pts-" + pts + ".service"))
        << run.out;
    EXPECT_LT(run.out.find("host: getty"), run.out.find("verdict:")) << run.out;
    // The prompt echoes what it reads: the echo the verdict names is its doing, and so is the
    // advice.
    const std::string verdict = run.out.substr(std::min(run.out.find("verdict:"), run.out.size()));
    EXPECT_TRUE(Has(verdict, "verdict: echo-only")) << run.out;
    EXPECT_TRUE(Has(verdict, "Try: sudo systemctl disable --now serial-getty@pts-")) << run.out;
}

// The radio's own terminal maker is never named; the program that holds its port is, and the
// doctor tests on, warns, and keeps its scan off that port.
TEST_F(PortHolders, TheDoctorWarnsOfAnotherHolderAndDoesNotScanItsPort) {
    struct Row {
        const char* name;
        QStringList radio;
        int status;
        std::vector<std::string> says;
        std::vector<std::string> never;
    };
    const Row rows[] = {
        {"answering_radio",
         {"--model", "ic7300", "--speed", "9600"},
         0,
         {"warning: sleep (process %1) also has Com 1 open: its commands and ours will mix",
          "verdict: answering"},
         {"advice:", "scan:", "host:"}},
        // No reply the link can read (another family at another speed): the scan would run, and
        // does not on a held port.
        {"radio_the_link_cannot_read",
         {"--model", "ts590s", "--speed", "115200"},
         1,
         {"warning: sleep (process %1) also has Com 1 open",
          "scan: Com 1: held by sleep (process %1), not probed"},
         {"found:", "probes)", "host:"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::Radiosim radio(Ini(), 1, row.radio);
        ASSERT_TRUE(radio.Started());
        EXPECT_TRUE(OtherHolders(radio.Pty().toStdString()).empty())
            << "the virtual radio was named as a holder of its own terminal";
        const QProcess* sleep = HoldQuietly(radio.Pty());
        const std::vector<HoldingProcess> found = OtherHolders(radio.Pty().toStdString());
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].program, "sleep");
        const Outcome run = Doctor({});
        EXPECT_EQ(run.status, row.status) << run.out;
        for (const std::string& line : row.says) {
            const QString pattern = QString::fromStdString(line);
            const std::string expected =
                (pattern.contains("%1") ? pattern.arg(sleep->processId()) : pattern).toStdString();
            EXPECT_TRUE(Has(run.out, expected)) << expected << "\n" << run.out;
        }
        for (const std::string& line : row.never) EXPECT_FALSE(Has(run.out, line)) << run.out;
        radio.Control("ping done");
        ASSERT_TRUE(radio.WaitForLine("pong done"));
        EXPECT_EQ(radio.CountStartingWith("write "), 0) << radio.Lines().join('\n').toStdString();
        StopHolders();
    }
}

// The real rigctld on the radio's terminal, at a port of its own: the doctor names it, offers to
// test through it at the port its command line gives, and still judges the radio by its answers.
TEST_F(PortHolders, RigctldOnThePortIsOfferedToTestThrough) {
    const QString rigctld = QStandardPaths::findExecutable("rigctld");
    if (rigctld.isEmpty()) GTEST_SKIP() << "rigctld not installed (Debian package libhamlib-utils)";
    test::Radiosim radio(Ini(), 1, {"--model", "ic7300", "--speed", "9600"});
    ASSERT_TRUE(radio.Started());
    const int port = test::Ser2net::FreePort();
    ASSERT_GT(port, 0);
    const QProcess* server =
        Hold(rigctld, {"-m", "3073", "-r", radio.Pty(), "-s", "9600", "-t", QString::number(port)},
             radio.Pty());
    const std::string pid = std::to_string(server->processId());
    const std::string entry = "rigctld://localhost:" + std::to_string(port);

    const Outcome run = Doctor({});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run.out, "verdict: answering")) << run.out;
    EXPECT_TRUE(Has(run.out, "warning: rigctld (process " + pid +
                                 ") also has Com 1 open: its commands and ours will mix"))
        << run.out;
    EXPECT_TRUE(Has(run.out, "advice: Com 1 is held by rigctld (process " + pid +
                                 "): test through it\n  Try: catlink --doctor " + entry +
                                 ", or write Com"))
        << run.out;
    EXPECT_TRUE(Has(run.out, "=" + entry + " in the settings file's [Ports]")) << run.out;
    EXPECT_FALSE(QSettings(Ini(), QSettings::IniFormat).contains("Ports/Com2"))
        << "--doctor wrote the settings";
}

// A server that took the port for itself: the lock file the serial library honours names it, the
// open fails, and the verdict that the port is in use comes with the offer to test through it.
TEST_F(PortHolders, APortInUseByAServerIsOfferedToTestThrough) {
    test::Radiosim radio(Ini(), 1, {"--model", "ic7300", "--speed", "9600"});
    ASSERT_TRUE(radio.Started());
    const QString lockFolder = "/run/lock";
    if (!QFileInfo(lockFolder).isWritable())
        GTEST_SKIP() << "cannot write "
                     << "/run/lock";
    // A program of that name, so that the lock's owner is alive and named as the lock says.
    const QString server = home.filePath("rigctld");
    ASSERT_TRUE(QFile::copy(QStandardPaths::findExecutable("sleep"), server));
    const QProcess* holder =
        Hold("sh", {"-c", "exec \"$1\" 60 <\"$0\"", radio.Pty(), server}, radio.Pty());
    const QString pid = QString::number(holder->processId());
    QFile lock(lockFolder + "/LCK.." + radio.Pty().mid(5).replace('/', '_'));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::NewOnly));
    lock.write((pid + "\nrigctld\n" + QSysInfo::machineHostName() + "\n").toUtf8());
    lock.close();

    const Outcome run = Doctor({});
    lock.remove();
    EXPECT_EQ(run.status, 2) << run.out;
    for (const QString& line : QStringList{
             "verdict: in-use\n  In use by rigctld", "is in use by rigctld (process " + pid + ")",
             "advice: Com 1 is held by rigctld (process " + pid +
                 "): test through it\n  Try: catlink --doctor rigctld://localhost:4532"})
        EXPECT_TRUE(Has(run.out, line.toStdString())) << line.toStdString() << "\n" << run.out;
}

}  // namespace
}  // namespace cat
