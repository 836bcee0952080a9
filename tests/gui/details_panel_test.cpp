// The details panel in the real window, against radiosim: the traffic keeps following the newest
// line, Pause and Clear hold and empty it, Save writes it to a file, the buttons keep their places
// whatever the diagnosis says, and Escape closes the panel.

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <map>

#include "doctor/diagnosis.h"
#include "qt/window/link_doctor.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;
using doctor::VerdictKind;

class DetailsPanelTest : public WindowTest {
protected:
    MainWindow& OpenOnRadio(const QStringList& options = {"--protocol", "kenwood"}) {
        radio = std::make_unique<Radiosim>(IniPath(), 1, options);
        EXPECT_TRUE(radio->Started());
        MainWindow& w = Start();
        w.show();
        ChooseLink(w, QString::fromLatin1(options.value(1) == "icom" ? "ICOM" : "Kenwood"), 1);
        w.Doctor().ShowDetails();
        OpenButton(w)->click();
        return w;
    }
    template <typename T>
    T* InPanel(MainWindow& w, const char* name) {
        return w.Doctor().Details()->findChild<T*>(QString::fromLatin1(name));
    }
    QPlainTextEdit* Monitor(MainWindow& w) { return InPanel<QPlainTextEdit>(w, "monitor"); }
    bool Answers(MainWindow& w) {
        return QTest::qWaitFor([&] { return w.Doctor().Current().kind == VerdictKind::Answering; },
                               6000);
    }
    // The monitor grows past `lines` lines within `ms`.
    bool Grows(MainWindow& w, int lines, int ms = 3000) {
        return QTest::qWaitFor([&] { return Monitor(w)->blockCount() > lines; }, ms);
    }

    std::unique_ptr<Radiosim> radio;
};

// Unticking and ticking Open again starts a new account of the line each time; the monitor must
// still scroll to the newest line once the lines fill it.
TEST_F(DetailsPanelTest, TrafficFollowsTheNewestLineAcrossReopens) {
    MainWindow& w = OpenOnRadio();
    QScrollBar* bar = Monitor(w)->verticalScrollBar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->maximum() > 5; }, 15000))
        << "the traffic never filled the monitor";
    for (int reopen = 0; reopen < 4; ++reopen) {
        OpenButton(w)->click();
        QTest::qWait(150);
        OpenButton(w)->click();
        ASSERT_TRUE(Answers(w)) << "reopen " << reopen;
        ASSERT_TRUE(Grows(w, Monitor(w)->blockCount() + 2));
        EXPECT_EQ(bar->value(), bar->maximum())
            << "the newest line is out of sight, reopen " << reopen;
    }

    // A shorter panel leaves less room for the traffic; its end stays in sight.
    w.Doctor().Details()->resize(640, 340);
    ASSERT_TRUE(Grows(w, Monitor(w)->blockCount() + 2));
    EXPECT_EQ(bar->value(), bar->maximum()) << "after the panel got shorter";

    // A reader who scrolled up to read is left there.
    bar->setValue(0);
    ASSERT_TRUE(Grows(w, Monitor(w)->blockCount() + 3));
    EXPECT_EQ(bar->value(), 0);
}

// Pause holds the traffic still while the link goes on; what came meanwhile follows once it runs
// again. Clear empties it, and the lines that come after show.
TEST_F(DetailsPanelTest, PauseHoldsAndClearEmptiesTheTraffic) {
    MainWindow& w = OpenOnRadio();
    ASSERT_TRUE(Answers(w));
    ASSERT_TRUE(Grows(w, 4));
    auto* pause = InPanel<QPushButton>(w, "pauseTraffic");
    pause->click();
    const QString held = Monitor(w)->toPlainText();
    QTest::qWait(1200);  // several polls
    EXPECT_EQ(Monitor(w)->toPlainText(), held);
    pause->click();
    EXPECT_GT(Monitor(w)->blockCount(), held.count('\n') + 4) << "the polls made while paused";
    EXPECT_TRUE(Monitor(w)->toPlainText().startsWith(held));

    InPanel<QPushButton>(w, "clearTraffic")->click();
    EXPECT_TRUE(Monitor(w)->toPlainText().isEmpty());
    EXPECT_TRUE(Grows(w, 2));
    EXPECT_FALSE(Monitor(w)->toPlainText().contains(held));
}

TEST_F(DetailsPanelTest, SaveWritesTheDiagnosisAndTheTraffic) {
    MainWindow& w = OpenOnRadio();
    ASSERT_TRUE(Answers(w));
    ASSERT_TRUE(Grows(w, 4));
    const QString path = dir_.filePath("report.txt");
    ASSERT_TRUE(w.Doctor().SaveReport(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString saved = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(saved.startsWith(QString::fromStdString(w.Doctor().Current().brief) + "\n"));
    EXPECT_TRUE(saved.contains("The Kenwood radio answers on Com 1 at 9600 baud"));
    EXPECT_TRUE(saved.contains("--- Kenwood on Com 1 at 9600 baud ---"));
    EXPECT_TRUE(saved.contains(Monitor(w)->toPlainText()));
    EXPECT_EQ(InPanel<QLabel>(w, "saveState")->text(), "Saved to report.txt");

    // A folder that is not there: nothing is written, and the panel says so.
    EXPECT_FALSE(w.Doctor().SaveReport(dir_.filePath("no-such-folder/report.txt")));
    EXPECT_TRUE(InPanel<QLabel>(w, "saveState")->text().startsWith("Not saved: "));
}

// Closed, a long diagnosis with its advice (a missing device with a long name), a radio at
// another address with its own button: the buttons that are always there keep their places.
// The advice is not red; what is wrong is.
TEST_F(DetailsPanelTest, ButtonsKeepTheirPlacesAndOnlyTheProblemIsRed) {
    MapPort(2, dir_.filePath("usb-Some_Maker_Some_Very_Long_Adapter_Name_With_A_Serial_Number_"
                             "0123456789abcdef-if00-port0"));
    radio = std::make_unique<Radiosim>(IniPath(), 1, QStringList{"--model", "ic7300"});
    ASSERT_TRUE(radio->Started());
    MainWindow& w = Start();
    w.show();
    w.Doctor().ShowDetails();
    QWidget* panel = w.Doctor().Details();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    const char* buttons[] = {"findRadio", "copyReport", "saveReport", "clearTraffic",
                             "pauseTraffic"};
    auto places = [&] {
        QApplication::processEvents();
        std::map<std::string, QRect> at;
        for (const char* name : buttons) {
            auto* b = InPanel<QPushButton>(w, name);
            at[name] = QRect(b->mapTo(panel, QPoint(0, 0)), b->size());
        }
        return at;
    };
    const auto closed = places();
    auto* diagnosis = InPanel<QLabel>(w, "diagnosis");
    EXPECT_FALSE(diagnosis->text().contains(QLatin1String(kProblemColour)));

    ChooseLink(w, "ICOM", 2);
    OpenButton(w)->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Doctor().Current().kind == VerdictKind::DeviceMissing; }, 3000));
    EXPECT_EQ(places(), closed);
    const QString html = diagnosis->text();
    const auto redEnds = html.indexOf("</span>");
    EXPECT_TRUE(html.contains(QLatin1String(kProblemColour)));
    EXPECT_GT(html.indexOf("Try: "), redEnds) << html.toStdString();

    OpenButton(w)->click();
    ChooseLink(w, "ICOM", 1);
    OpenButton(w)->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Doctor().Current().kind == VerdictKind::OtherAddress; }, 6000));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return InPanel<QPushButton>(w, "useAddress")->isVisible(); }, 1000));
    EXPECT_EQ(places(), closed);
}

TEST_F(DetailsPanelTest, EscapeClosesTheDetails) {
    MainWindow& w = Start();
    w.show();
    w.Doctor().ShowDetails();
    QWidget* panel = w.Doctor().Details();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : panel,
                    Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
}

}  // namespace
}  // namespace cat
