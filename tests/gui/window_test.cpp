#include <QAccessible>
#include <QCryptographicHash>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <set>

#include "qt/window/link_doctor.h"
#include "shell/startup.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

TEST_F(WindowTest, FirstRunShowsTheDefaults) {
    MainWindow& w = Start();
    EXPECT_EQ(w.windowTitle(), "CAT");
    EXPECT_EQ(w.pos(), QPoint(0, 0));
    EXPECT_EQ(AddressBox(w)->text(), "00");
    EXPECT_EQ(ProtocolList(w)->currentIndex(), -1);
    EXPECT_EQ(SpeedList(w)->currentText(), "9600");
    EXPECT_EQ(PortList(w)->currentText(), "Com 2");
    EXPECT_FALSE(OnTopButton(w)->isChecked());
    EXPECT_FALSE(OpenButton(w)->isChecked());
    EXPECT_FALSE(PollingTimer(w)->isActive());
    EXPECT_EQ(PollingTimer(w)->interval(), 100);
    EXPECT_TRUE(Reading(w)->text().isEmpty());
    EXPECT_EQ(w.State().digitCharacters[1], '0');
    EXPECT_EQ(w.State().digitCharacters[10], '9');
}

TEST_F(WindowTest, ListsHoldTheirEntriesInOrder) {
    MainWindow& w = Start();
    auto items = [](QComboBox* box) {
        QStringList list;
        for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
        return list;
    };
    EXPECT_EQ(items(ProtocolList(w)), QStringList({"ICOM", "Kenwood", "FT-817", "Yaesu"}));
    EXPECT_EQ(items(SpeedList(w)),
              QStringList({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(items(ModeList(w)), QStringList({"LSB", "USB", "CW", "AM", "FM", "FSK", "PKT"}));
    ASSERT_EQ(PortList(w)->count(), 32);
    EXPECT_EQ(PortList(w)->itemText(0), "Com 1");
    EXPECT_EQ(PortList(w)->itemText(31), "Com 32");
}

TEST_F(WindowTest, ControlsSitWhereTheLayoutPutsThem) {
    MainWindow& w = Start();
    const double x = w.TwipsPerPixelX();
    const double y = w.TwipsPerPixelY();
    auto px = [](double twips, double per) {
        return static_cast<int>(std::nearbyint(twips / per));
    };
    // The status line below the buttons makes the window taller; everything else keeps its place.
    EXPECT_EQ(w.size(), QSize(px(3585, x), px(3585 + 270, y)));
    EXPECT_GE(StatusLine(w)->geometry().top(), ExitButton(w)->geometry().bottom());
    EXPECT_EQ(OpenButton(w)->parentWidget(), Control<QGroupBox>(w, "setupFrame"));
    EXPECT_EQ(OpenButton(w)->geometry(), QRect(px(2820, x), px(840, y), px(570, x), px(390, y)));
    EXPECT_EQ(Reading(w)->parentWidget(), Control<QGroupBox>(w, "readingFrame"));
    EXPECT_EQ(Control<QGroupBox>(w, "readingFrame")->geometry().top(), px(-36, y));
    EXPECT_EQ(SetButton(w)->parentWidget(), Control<QGroupBox>(w, "sendFrame"));
    EXPECT_TRUE(Reading(w)->font().bold());
    EXPECT_EQ(Reading(w)->font().pointSize(), 12);
    EXPECT_TRUE(OnTopButton(w)->isCheckable());
    EXPECT_TRUE(OpenButton(w)->isCheckable());
    EXPECT_EQ(OpenButton(w)->toolTip(), "Opens Com Port and Starts Link");
    EXPECT_EQ(SetButton(w)->toolTip(), "Set RX Frequency");
    EXPECT_FALSE(HelpButton(w)->icon().isNull());
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(Control<QGroupBox>(w, "readingFrame")->title().remove('&'), "Monotoring");
    EXPECT_EQ(Control<QGroupBox>(w, "sendFrame")->title().remove('&'), "Set Frequency Mode");
    EXPECT_EQ(Control<QGroupBox>(w, "setupFrame")->title(), "Setup");
}

// Tab goes down the window as it is read, stops only where something can be done, and comes
// round to the start; Shift+Tab goes back the same way.
TEST_F(WindowTest, TabFollowsTheScreen) {
    MainWindow& w = Start();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const QWidget* expected[] = {FrequencyEntry(w), SetButton(w),  ModeList(w),    ProtocolList(w),
                                 AddressBox(w),     SpeedList(w),  PortList(w),    OpenButton(w),
                                 DetailsButton(w),  HelpButton(w), OnTopButton(w), ExitButton(w),
                                 FrequencyEntry(w)};
    FrequencyEntry(w)->setFocus(Qt::TabFocusReason);
    for (std::size_t i = 1; i < std::size(expected); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget(), expected[i])
            << "tab " << i << " reached "
            << QApplication::focusWidget()->objectName().toStdString();
    }
    for (std::size_t i = std::size(expected) - 1; i > 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        EXPECT_EQ(QApplication::focusWidget(), expected[i - 1]) << "back tab " << i;
    }
}

TEST_F(WindowTest, StoredChoicesAreRestored) {
    Stored("Top", " 1200");
    Stored("Left", " 300");
    Stored("Address", " 5E ");
    Stored("Type", "1");
    Stored("Speed", "4");
    Stored("ComPort", "0");
    MainWindow& w = Start();
    EXPECT_EQ(w.pos().y(), std::lround(1200 / w.TwipsPerPixelY()));
    EXPECT_EQ(w.pos().x(), std::lround(300 / w.TwipsPerPixelX()));
    EXPECT_EQ(AddressBox(w)->text(), "5E");
    EXPECT_EQ(ProtocolList(w)->currentText(), "Kenwood");
    EXPECT_EQ(SpeedList(w)->currentText(), "115200");
    EXPECT_EQ(PortList(w)->currentText(), "Com 1");
}

TEST_F(WindowTest, CorruptedStoreNeverFailsStartUp) {
    Stored("Top", "1e308");
    Stored("Left", "-99999999999999");
    Stored("Type", "-7");
    Stored("Speed", "abc");
    Stored("ComPort", "1e9");
    Stored("OnTop", QString::fromLatin1("\x01\x7f junk"));
    Stored("Address", QString(5000, QChar('x')));
    MainWindow& w = Start();
    EXPECT_EQ(ProtocolList(w)->currentIndex(), -1);
    EXPECT_EQ(SpeedList(w)->currentText(), "4800") << "text reads as 0, a valid former position";
    EXPECT_EQ(PortList(w)->currentIndex(), 1) << "a position past the list keeps the default";
    EXPECT_FALSE(OnTopButton(w)->isChecked());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(QRect(w.pos(), w.size())))
        << "a window restored where no screen is comes back onto the primary screen";
}

TEST_F(WindowTest, NormalCloseSavesEverythingWithTheStoredFormats) {
    MainWindow& w = Start();
    ProtocolList(w)->setCurrentIndex(2);
    PortList(w)->setCurrentIndex(4);
    AddressBox(w)->setText(" 7A");
    w.move(40, 80);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    CloseWindow();
    EXPECT_EQ(Saved("Type").toString(), "2");
    EXPECT_EQ(Saved("ComPort").toString(), "4");
    EXPECT_EQ(Saved("Speed").toString(), "1");
    EXPECT_EQ(Saved("Address").toString(), " 7A");
    EXPECT_EQ(Saved("OnTop").toString(), "0");
    const QRect frame = w.frameGeometry();
    EXPECT_EQ(Saved("Top").toString(),
              " " + QString::number(std::lround(frame.y() * w.TwipsPerPixelY())));
    EXPECT_EQ(Saved("Left").toString(),
              " " + QString::number(std::lround(frame.x() * w.TwipsPerPixelX())));
    EXPECT_TRUE(Saved("Width").toString().startsWith(' '));
    EXPECT_TRUE(Saved("Height").toString().startsWith(' '));
}

TEST_F(WindowTest, ClosingWhileMinimisedKeepsTheGeometryKeys) {
    Stored("Top", " 1200");
    Stored("Left", " 15");
    Stored("Width", " 3705");
    Stored("Height", " 4000");
    MainWindow& w = Start();
    ProtocolList(w)->setCurrentIndex(0);
    w.show();
    w.setWindowState(Qt::WindowMinimized);
    CloseWindow();
    EXPECT_EQ(Saved("Top").toString(), " 1200");
    EXPECT_EQ(Saved("Left").toString(), " 15");
    EXPECT_EQ(Saved("Width").toString(), " 3705");
    EXPECT_EQ(Saved("Height").toString(), " 4000");
    EXPECT_EQ(Saved("Type").toString(), "0");
    EXPECT_EQ(Saved("ComPort").toString(), "1");
}

TEST_F(WindowTest, ClosingStopsThePollTimer) {
    MainWindow& w = Start();
    PollingTimer(w)->start();
    CloseWindow();
    EXPECT_FALSE(PollingTimer(w)->isActive());
}

TEST_F(WindowTest, OnTopSetAndClearedWithoutMovingOrResizing) {
    MainWindow& w = Start();
    w.move(100, 50);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QRect before = w.geometry();
    OnTopButton(w)->click();
    ASSERT_NE(w.windowHandle(), nullptr);
    EXPECT_TRUE(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.OnTop());
    EXPECT_EQ(w.geometry(), before);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(PollingTimer(w)->isActive()) << "the timer runs after the call even with no link";
    OnTopButton(w)->click();
    EXPECT_FALSE(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(w.OnTop());
    EXPECT_EQ(w.geometry(), before);
    EXPECT_TRUE(PollingTimer(w)->isActive());
}

TEST_F(WindowTest, SavedOnTopMakesTheWindowTopmostAtStart) {
    Stored("OnTop", "1");
    MainWindow& w = Start();
    EXPECT_TRUE(OnTopButton(w)->isChecked());
    EXPECT_TRUE(w.OnTop());
    EXPECT_TRUE(PollingTimer(w)->isActive());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(w.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    CloseWindow();
    EXPECT_EQ(Saved("OnTop").toString(), "1");
}

TEST_F(WindowTest, HelpBoxShowsTheEightLinesExactly) {
    MainWindow& w = Start();
    w.show();
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* parent = nullptr;
    const bool shown = WithModalBox([&] { HelpButton(w)->click(); },
                                    [&](QMessageBox& box) {
                                        title = box.windowTitle();
                                        text = box.text();
                                        icon = box.icon();
                                        parent = box.parentWidget();
                                    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(title, "MORAVEL");
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(parent, &w);
    EXPECT_EQ(text,
              "BASIC MORAVEL Program for Kenwood / ICOM /FT817\nby VASKRO\n\n"
              "This program allows you to test bidirectional RS232 communications\n\n"
              "Select Protocol, Address(ICOM), Speed, Com port\nPress IOPEN\n"
              "The current frequency must be displayed");
}

TEST_F(WindowTest, ExitClosesAndSaves) {
    MainWindow& w = Start();
    w.show();
    ProtocolList(w)->setCurrentIndex(1);
    ExitButton(w)->click();
    store->Sync();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(Saved("Type").toString(), "1");
}

TEST_F(WindowTest, ExitDuringATickWaitsForItWithoutBlocking) {
    MainWindow& w = Start();
    w.show();
    w.State().busy = true;  // as inside a box opened by a running tick
    ExitButton(w)->click();
    EXPECT_TRUE(w.isVisible()) << "must not close in the middle of a tick";
    QTimer::singleShot(50, [&] { w.State().busy = false; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 2000));
}

// What a screen reader says comes through QAccessible: every control has its own name and a
// description, and the visible captions stay the window's fixed texts.
TEST_F(WindowTest, EveryControlIsNamedAndDescribedForScreenReaders) {
    MainWindow& w = Start();
    const std::pair<QWidget*, const char*> controls[] = {
        {OnTopButton(w), "On top"},
        {HelpButton(w), ""},
        {ExitButton(w), "Exit"},
        {Control<QGroupBox>(w, "readingFrame"), "Monotoring"},
        {Reading(w), ""},
        {Control<QGroupBox>(w, "setupFrame"), "Setup"},
        {OpenButton(w), "Open"},
        {SpeedList(w), ""},
        {AddressBox(w), ""},
        {PortList(w), ""},
        {ProtocolList(w), ""},
        {Control<QLabel>(w, "speedLabel"), "Speed"},
        {Control<QLabel>(w, "addressLabel"), "Adrs"},
        {Control<QLabel>(w, "portLabel"), "Com Port >"},
        {Control<QLabel>(w, "protocolLabel"), "Protocol"},
        {Control<QGroupBox>(w, "sendFrame"), "Set Frequency Mode"},
        {ModeList(w), ""},
        {FrequencyEntry(w), ""},
        {SetButton(w), "Set"},
    };
    std::set<QString> inputNames;
    for (const auto& [control, caption] : controls) {
        SCOPED_TRACE(control->objectName().toStdString());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty());
        EXPECT_GT(a->text(QAccessible::Description).size(), a->text(QAccessible::Name).size());
        // Two inputs a reader could not tell apart would be one too many; a label may share its
        // control's name.
        if (!qobject_cast<QLabel*>(control) && !qobject_cast<QGroupBox*>(control)) {
            EXPECT_TRUE(inputNames.insert(a->text(QAccessible::Name)).second);
        }
        QString shown;
        if (auto* b = qobject_cast<QAbstractButton*>(control)) shown = b->text();
        if (auto* l = qobject_cast<QLabel*>(control)) shown = l->text();
        if (auto* g = qobject_cast<QGroupBox*>(control)) shown = g->title();
        // The '&' before a shortcut letter is drawn as its underline, not as a character.
        EXPECT_EQ(shown.remove(QLatin1Char('&')), caption);
    }
    // The protocol list is described by every entry it has, so a reader hears each family.
    const QString protocols = ProtocolList(w)->accessibleDescription();
    for (int i = 0; i < ProtocolList(w)->count(); ++i)
        EXPECT_TRUE(protocols.contains(ProtocolList(w)->itemText(i))) << protocols.toStdString();
}

TEST_F(WindowTest, KeysReachTheControlsWithoutChangingTheCaptions) {
    MainWindow& w = Start();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // Return in the frequency box presses Set.
    QSignalSpy set(SetButton(w), &QPushButton::clicked);
    FrequencyEntry(w)->setFocus();
    QTest::keyClicks(FrequencyEntry(w), "7.074");
    QTest::keyClick(FrequencyEntry(w), Qt::Key_Return);
    EXPECT_EQ(set.count(), 1);
    // A label's shortcut moves to the control it names, a control's to itself.
    const std::pair<const char*, QWidget*> focus[] = {
        {"Alt+P", ProtocolList(w)}, {"Alt+A", AddressBox(w)}, {"Alt+E", SpeedList(w)},
        {"Alt+C", PortList(w)},     {"Alt+M", ModeList(w)},   {"Alt+F", FrequencyEntry(w)},
        {"Alt+R", Reading(w)},
    };
    for (const auto& [key, target] : focus) {
        QTest::keySequence(&w, QKeySequence(QString::fromLatin1(key)));
        EXPECT_EQ(QApplication::focusWidget(), target) << key;
    }
    // Each shortcut's letter is the one underlined in its caption.
    const std::pair<QWidget*, const char*> underlined[] = {
        {OnTopButton(w), "Alt+T"},
        {ExitButton(w), "Alt+X"},
        {OpenButton(w), "Alt+O"},
        {SetButton(w), "Alt+S"},
        {DetailsButton(w), "Alt+D"},
        {Control<QLabel>(w, "speedLabel"), "Alt+E"},
        {Control<QLabel>(w, "addressLabel"), "Alt+A"},
        {Control<QLabel>(w, "portLabel"), "Alt+C"},
        {Control<QLabel>(w, "protocolLabel"), "Alt+P"},
    };
    for (const auto& [control, key] : underlined) {
        auto* b = qobject_cast<QAbstractButton*>(control);
        const QString caption = b ? b->text() : static_cast<QLabel*>(control)->text();
        EXPECT_EQ(QKeySequence::mnemonic(caption), QKeySequence(QString::fromLatin1(key)))
            << caption.toStdString();
    }
    // The controls without a caption have their letters marked in their frame's.
    const std::pair<const char*, char> inFrames[] = {
        {"readingFrame", 'r'}, {"sendFrame", 'F'}, {"sendFrame", 'M'}};
    for (const auto& [frame, letter] : inFrames) {
        EXPECT_TRUE(Control<QGroupBox>(w, frame)->title().contains(QString('&') + letter))
            << frame << " " << letter;
    }
    // A button's shortcut presses it.
    QTest::keySequence(&w, QKeySequence(QStringLiteral("Alt+T")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return OnTopButton(w)->isChecked(); }, 1000));
    QTest::keySequence(&w, QKeySequence(QStringLiteral("Alt+S")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return set.count() == 2; }, 1000));
    QTest::keySequence(&w, QKeySequence(QStringLiteral("Alt+D")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Doctor().Details() && w.Doctor().Details()->isVisible(); }, 1000));
    w.Doctor().Details()->close();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keySequence(&w, QKeySequence(QStringLiteral("Alt+X")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 1000));
}

}  // namespace
}  // namespace cat
