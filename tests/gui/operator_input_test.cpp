// What the window says when it cannot do what the operator asked: Open with no protocol, and a
// frequency it cannot read, cannot send, or the radio does not take. Nothing passes without a word.
#include <QPlainTextEdit>
#include <QTest>

#include "qt/window/link_doctor.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

class OperatorInputTest : public WindowTest {};

TEST_F(OperatorInputTest, OpenWithNoProtocolLeavesTheProtocolListToPickFrom) {
    MainWindow& w = Start();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_EQ(ProtocolList(w)->currentIndex(), -1) << "fresh settings choose no protocol";
    OpenButton(w)->click();
    EXPECT_FALSE(OpenButton(w)->isChecked());
    EXPECT_TRUE(ProtocolList(w)->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), ProtocolList(w));
    EXPECT_EQ(StatusLine(w)->text(), "! Choose a protocol first");
    EXPECT_FALSE(PortIsOpen(w));
    // Picked, the same click opens the link.
    ProtocolList(w)->setCurrentText("ICOM");
    MapPort(2, dir_.filePath("absent"));
    OpenButton(w)->click();
    EXPECT_TRUE(OpenButton(w)->isChecked());
    EXPECT_FALSE(ProtocolList(w)->isEnabled());
}

// A server entry the program cannot use is the entry's own fault: said before the protocol,
// which choosing would not mend.
TEST_F(OperatorInputTest, AMalformedServerEntryIsSaidBeforeTheProtocol) {
    for (const char* entry : {"rigctld://[::1", "flrig://host:99999", "rigctld://"}) {
        SCOPED_TRACE(entry);
        MapPort(2, entry);
        MainWindow& w = Start();
        ASSERT_EQ(ProtocolList(w)->currentIndex(), -1);
        OpenButton(w)->click();
        EXPECT_FALSE(OpenButton(w)->isChecked());
        EXPECT_EQ(StatusLine(w)->text(), "! Com 2 did not open");
        EXPECT_TRUE(StatusLine(w)->toolTip().contains("is not a network port"))
            << StatusLine(w)->toolTip().toStdString();
    }
}

TEST_F(OperatorInputTest, AFrequencyIsSentReadBackOrRefusedInWords) {
    Radiosim radio(IniPath(), 1, {"--model", "ic7300"});
    ASSERT_TRUE(radio.Started());
    MainWindow& w = Start();
    w.show();
    const auto set = [&](const QString& typed) {
        FrequencyEntry(w)->setText(typed);
        SetButton(w)->click();
    };
    set("14.074");
    EXPECT_EQ(StatusLine(w)->text(), "! Link closed: nothing sent");

    ChooseLink(w, "ICOM", 1, "9600", "94");
    OpenButton(w)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == "14.074.00 USB"; }, 8000));
    struct Row {
        const char* typed;
        const char* status;   // the status line after it; nullptr: the doctor's own words
        const char* reading;  // the display after it; nullptr: as it was
    };
    const Row rows[] = {
        {"abc", "! Not a frequency: abc", nullptr},
        {"14074", "! Out of range: 14074 MHz", nullptr},
        // The display's own text is read as it shows, and the display follows within a tick or
        // two instead of at the next poll.
        {"7.074.50", nullptr, " 7.074.50 USB"},
        {"200", "! Refused 200 MHz", nullptr},
        // The longest a refusal gets still fits the line whole.
        {"144.3905", "! Refused 144.3905 MHz", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        const QString before = Reading(w)->text();
        QElapsedTimer sinceSet;
        sinceSet.start();
        set(row.typed);
        if (row.status) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return StatusLine(w)->text() == row.status; }, 4000))
                << StatusLine(w)->text().toStdString() << " / " << Reading(w)->text().toStdString();
        }
        const QString reading = row.reading ? row.reading : before;
        EXPECT_TRUE(QTest::qWaitFor([&] { return Reading(w)->text() == reading; }, 4000))
            << Reading(w)->text().toStdString();
        if (row.reading) {
            std::printf("%s: display follows %lld ms after Set\n", row.typed,
                        static_cast<long long>(sinceSet.elapsed()));
        }
    }
    // The status line shows a refusal for a few seconds; the details keep it whole.
    w.Doctor().ShowDetails();
    const QString traffic =
        w.Doctor().Details()->findChild<QPlainTextEdit*>(QStringLiteral("monitor"))->toPlainText();
    for (const char* whole : {"\"abc\" is not a frequency", "The radio did not take 200 MHz",
                              "The frequency was not sent: tick Open first"})
        EXPECT_TRUE(traffic.contains(QLatin1String(whole))) << whole;
}

}  // namespace
}  // namespace cat
