// Another program holding the radio's port, in the real window: the link opens all the same and
// the status line and the details say that the two programs' commands mix, Find radio leaves the
// port alone, and when the holder is a rig-sharing server (the real rigctld on radiosim's
// terminal) one click maps its address to a Com number, chooses it and opens it.

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "qt/ports/device_facts.h"
#include "qt/window/link_doctor.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/ser2net_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

class PortHoldersWindow : public WindowTest {
protected:
    void TearDown() override {
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished(2000);
        }
        WindowTest::TearDown();
    }
    // radiosim's ICOM radio on Com 1, held by `program` as well.
    bool HeldRadio(const QString& program, const QStringList& args,
                   const QStringList& radioArgs = {"--model", "ic7300", "--speed", "9600"}) {
        radio = std::make_unique<Radiosim>(IniPath(), 1, radioArgs);
        if (!radio->Started()) return false;
        QStringList withPty = args;
        withPty.replaceInStrings(QStringLiteral("PTY"), radio->Pty());
        holder.setProcessChannelMode(QProcess::MergedChannels);
        holder.start(program, withPty);
        return holder.waitForStarted() &&
               QTest::qWaitFor([&] { return !OtherHolders(radio->Pty().toStdString()).empty(); },
                               10000);
    }
    MainWindow& OpenWithDetails() {
        MainWindow& w = Start();
        w.show();
        ChooseLink(w, QStringLiteral("ICOM"), 1, QStringLiteral("9600"), QStringLiteral("94"));
        w.Doctor().ShowDetails();
        OpenButton(w)->click();
        return w;
    }
    template <typename T>
    T* InPanel(MainWindow& w, const char* name) {
        return w.Doctor().Details()->findChild<T*>(QString::fromLatin1(name));
    }
    QString Pid() const { return QString::number(holder.processId()); }

    std::unique_ptr<Radiosim> radio;
    QProcess holder;
};

TEST_F(PortHoldersWindow, TheLinkOpensWithAWarningAndFindRadioLeavesThePortAlone) {
    ASSERT_TRUE(HeldRadio("sh", {"-c", "exec sleep 60 <\"$0\"", "PTY"}));
    MainWindow& w = OpenWithDetails();
    const QString warning =
        "sleep (process " + Pid() + ") also has Com 1 open: its commands and ours will mix";
    EXPECT_TRUE(PortIsOpen(w));
    EXPECT_TRUE(QTest::qWaitFor([&] { return StatusLine(w)->toolTip() == warning; }, 2000))
        << StatusLine(w)->toolTip().toStdString();
    EXPECT_TRUE(StatusLine(w)->text().contains("Also open in sleep"))
        << StatusLine(w)->text().toStdString();
    EXPECT_TRUE(InPanel<QLabel>(w, "diagnosis")->text().contains(warning));
    // Not a server: nothing to test through.
    EXPECT_FALSE(InPanel<QPushButton>(w, "testThroughServer")->isVisible());

    InPanel<QPushButton>(w, "findRadio")->click();
    EXPECT_FALSE(w.Doctor().Scanning());
    EXPECT_EQ(InPanel<QLabel>(w, "scanState")->text(),
              "Com 1: held by sleep (process " + Pid() + "), not probed");
    EXPECT_TRUE(OpenButton(w)->isChecked());
    EXPECT_TRUE(PortIsOpen(w));
    // Closed, the warning goes with the link.
    OpenButton(w)->click();
    EXPECT_FALSE(InPanel<QLabel>(w, "diagnosis")->text().contains(warning));
}

// A login prompt on the port explains the echo the link hears: the details say so, and what to do.
TEST_F(PortHoldersWindow, ALoginPromptOnThePortExplainsTheEcho) {
    QTemporaryDir bin;
    const QString getty = bin.filePath("agetty");  // the kernel names a process after its file
    ASSERT_TRUE(QFile::copy("/bin/sleep", getty));
    ASSERT_TRUE(HeldRadio("sh", {"-c", "exec \"$1\" 60 <\"$0\"", "PTY", getty},
                          {"--model", "ic7300", "--speed", "9600", "--echo-only"}));
    MainWindow& w = OpenWithDetails();
    const auto diagnosis = [&] { return InPanel<QLabel>(w, "diagnosis")->text(); };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return diagnosis().contains("A login prompt, agetty (process " + Pid() + ")"); },
        5000))
        << diagnosis().toStdString();
    EXPECT_TRUE(diagnosis().contains("Try: sudo systemctl disable --now serial-getty@pts-"))
        << diagnosis().toStdString();
}

TEST_F(PortHoldersWindow, OneClickTestsThroughTheRigctldThatHoldsThePort) {
    const QString rigctld = QStandardPaths::findExecutable("rigctld");
    if (rigctld.isEmpty()) GTEST_SKIP() << "rigctld not installed (Debian package libhamlib-utils)";
    const int port = test::Ser2net::FreePort();
    ASSERT_GT(port, 0);
    ASSERT_TRUE(
        HeldRadio(rigctld, {"-m", "3073", "-r", "PTY", "-s", "9600", "-t", QString::number(port)}))
        << holder.readAll().toStdString();
    MainWindow& w = OpenWithDetails();
    const QString offer = "Com 1 is held by rigctld (process " + Pid() + "): test through it";
    EXPECT_TRUE(QTest::qWaitFor([&] { return StatusLine(w)->toolTip().endsWith(offer); }, 2000))
        << StatusLine(w)->toolTip().toStdString();
    EXPECT_TRUE(InPanel<QLabel>(w, "diagnosis")->text().contains(offer));
    QPushButton* testThrough = InPanel<QPushButton>(w, "testThroughServer");
    ASSERT_TRUE(testThrough->isVisible());
    EXPECT_EQ(testThrough->text(), "Test through rigctld");

    testThrough->click();
    const QString entry = "rigctld://localhost:" + QString::number(port);
    QSettings ini(IniPath(), QSettings::IniFormat);
    int mapped = 0;
    for (int n = 1; n <= 32 && !mapped; ++n)
        if (ini.value(QStringLiteral("Ports/Com%1").arg(n)).toString() == entry) mapped = n;
    ASSERT_GT(mapped, 1) << "no Com number opens " << entry.toStdString();
    EXPECT_EQ(ini.value("Ports/Com1").toString(), radio->Pty()) << "the radio's own entry changed";
    EXPECT_EQ(PortList(w)->currentIndex(), mapped - 1);
    EXPECT_TRUE(OpenButton(w)->isChecked());
}

}  // namespace
}  // namespace cat
