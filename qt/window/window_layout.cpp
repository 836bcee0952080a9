#include "qt/window/window_layout.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "protocols/families.h"
#include "qt/platform/qt_text.h"
#include "qt/window/icons.h"
#include "shell/command_line.h"
#include "shell/startup.h"

namespace cat {

namespace {

constexpr int kClientTwips = 3585;
// The status line below the buttons; the window grows by it, and nothing else moves.
constexpr int kStatusTwips = 270;
constexpr double kTwipsPerInch = 1440.0;

// Twips are whole numbers in the store; positions far off any screen are brought back later.
long ToTwips(int pixels, double twipsPerPixel) { return std::lround(pixels * twipsPerPixel); }

int ToPixels(double twips, double twipsPerPixel) {
    const double pixels = std::nearbyint(twips / twipsPerPixel);
    constexpr double kLimit = 1 << 24;  // far beyond any screen, and safe for QPoint
    return static_cast<int>(std::clamp(pixels, -kLimit, kLimit));
}

double TwipsPerPixel(const QWidget& window, bool across) {
    const QScreen* s = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!s) return kTwipsPerInch / 96.0;
    return kTwipsPerInch / (across ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY());
}

QRect Twips(const QWidget& window, int left, int top, int width, int height) {
    const double x = TwipsPerPixelX(window);
    const double y = TwipsPerPixelY(window);
    return QRect(ToPixels(left, x), ToPixels(top, y), ToPixels(width, x), ToPixels(height, y));
}

enum class Kind { Button, Toggle, Frame, Label, Combo, Edit };

// Where a control made from the table is kept; labels and the reading's frame are not kept.
using Slot = std::variant<std::monostate, QPushButton * WindowControls::*,
                          QLineEdit * WindowControls::*, QComboBox * WindowControls::*,
                          QLabel * WindowControls::*, QGroupBox * WindowControls::*>;

// The window's controls, in window order: positions in twips within their container (the window
// when none is named). Toggles are check boxes drawn as buttons that stay pressed while ticked.
// The accessible name and description are what a screen reader says. A shortcut presses a button,
// or moves the focus to the control itself, or for a label to the control the label names. Its
// letter is marked with '&' in the caption, so it is underlined and the words stay the same. The
// display, the mode list and the frequency box have no caption of their own: their letters are
// marked in their frame's caption.
struct ControlSpec {
    const char* name;
    Kind kind;
    const char* container;
    const char* caption;
    const char* toolTip;
    int left, top, width, height;
    const char* accessibleName;
    const char* accessibleDescription;  // nullptr: made when the control is dressed
    const char* shortcut;
    const char* labelFor;
    Slot slot;
};

using W = WindowControls;

constexpr ControlSpec kControls[] = {
    {"onTop", Kind::Toggle, nullptr, "On &top", nullptr, 555, 2850, 804, 336, "On top",
     "Keeps this window above all other windows while pressed", "Alt+T", nullptr, &W::onTopButton_},
    {"help", Kind::Button, nullptr, "", nullptr, 90, 2850, 408, 336, "Help",
     "Shows what the program is for and how to start a link", "F1", nullptr, &W::helpButton_},
    {"exit", Kind::Button, nullptr, "E&xit", nullptr, 2736, 2850, 804, 336, "Exit",
     "Saves the choices and closes the program", "Alt+X", nullptr, &W::exitButton_},
    {"readingFrame",
     Kind::Frame,
     nullptr,
     "Monoto&ring",
     nullptr,
     36,
     -36,
     3504,
     768,
     "Monitoring",
     "What the radio reports",
     nullptr,
     nullptr,
     {}},
    {"reading", Kind::Edit, "readingFrame", "", nullptr, 108, 216, 3288, 444,
     "Radio frequency and mode",
     "The frequency in megahertz and the mode the radio reports, such as 14.074.00 USB; empty "
     "while no radio answers",
     "Alt+R", nullptr, &W::reading_},
    {"setupFrame", Kind::Frame, nullptr, "Setup", nullptr, 36, 1440, 3504, 1350, "Setup",
     "The link: protocol, address, speed and serial port", nullptr, nullptr, &W::setupFrame_},
    {"open", Kind::Toggle, "setupFrame", "&Open", "Opens Com Port and Starts Link", 2820, 840, 570,
     390, "Open", "Opens the serial port and starts polling the radio; press again to close it",
     "Alt+O", nullptr, &W::openButton_},
    {"speed", Kind::Combo, "setupFrame", "", nullptr, 2100, 450, 1320, 315, "Speed",
     "The line speed in baud; the radio must be set to the same", nullptr, nullptr, &W::speedList_},
    {"address", Kind::Edit, "setupFrame", "", nullptr, 1560, 450, 444, 300, "Address",
     "The radio's CI-V address in hexadecimal, such as 5E; used by ICOM radios only", nullptr,
     nullptr, &W::addressBox_},
    {"port", Kind::Combo, "setupFrame", "", nullptr, 1590, 870, 1155, 315, "Com port",
     "The serial port the radio is on; its tooltip names the device it opens", nullptr, nullptr,
     &W::portList_},
    {"protocol", Kind::Combo, "setupFrame", "", nullptr, 60, 450, 1395, 315, "Protocol", nullptr,
     nullptr, nullptr, &W::protocolList_},
    {"speedLabel",
     Kind::Label,
     "setupFrame",
     "Sp&eed",
     nullptr,
     2070,
     180,
     960,
     210,
     "Speed",
     "Names the line speed list",
     "Alt+E",
     "speed",
     {}},
    {"addressLabel",
     Kind::Label,
     "setupFrame",
     "&Adrs",
     nullptr,
     1590,
     180,
     555,
     225,
     "Address",
     "Names the ICOM address box",
     "Alt+A",
     "address",
     {}},
    {"portLabel",
     Kind::Label,
     "setupFrame",
     "&Com Port >",
     nullptr,
     120,
     930,
     1320,
     195,
     "Com port",
     "Names the serial port list",
     "Alt+C",
     "port",
     {}},
    {"protocolLabel",
     Kind::Label,
     "setupFrame",
     "&Protocol",
     nullptr,
     72,
     216,
     1272,
     192,
     "Protocol",
     "Names the protocol list",
     "Alt+P",
     "protocol",
     {}},
    {"sendFrame", Kind::Frame, nullptr, "Set &Frequency &Mode", nullptr, 36, 756, 3504, 660,
     "Set frequency and mode", "Sends a frequency or a mode to the radio", nullptr, nullptr,
     &W::sendFrame_},
    {"mode", Kind::Combo, "sendFrame", "", nullptr, 2376, 216, 984, 288, "Mode",
     "Picking a mode sets the radio to it", "Alt+M", nullptr, &W::modeList_},
    {"frequencyEntry", Kind::Edit, "sendFrame", "", nullptr, 144, 216, 1416, 336,
     "Frequency to set", "A frequency in megahertz for the radio; Return or Set sends it", "Alt+F",
     nullptr, &W::frequencyEntry_},
    {"set", Kind::Button, "sendFrame", "&Set", "Set RX Frequency", 1692, 216, 552, 336, "Set",
     "Sends the frequency typed in the box beside it to the radio", "Alt+S", nullptr,
     &W::setButton_},
    {"status", Kind::Label, nullptr, "", nullptr, 90, 3240, 2640, kStatusTwips, "Link status",
     "What the link is doing and, when the radio does not answer, why", nullptr, nullptr,
     &W::statusLine_},
    {"details", Kind::Button, nullptr, "&Details", "The diagnosis in full, the traffic, Find radio",
     2736, 3240, 804, kStatusTwips, "Details",
     "Opens the link's diagnosis, the traffic on the line and Find radio", "Alt+D", nullptr,
     &W::detailsButton_},
};

// A frame's caption underlines every marked letter, but the frame takes the first one as a key of
// its own and would move the focus to its first tab stop; it hands that key to the control the
// letter stands for instead, and the window's shortcuts take the other letters.
class LetteredFrame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;
    void GiveKeyTo(QWidget* control) { keyTarget_ = control; }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Shortcut && keyTarget_) {
            keyTarget_->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
        return QGroupBox::event(e);
    }

private:
    QWidget* keyTarget_ = nullptr;
};

QWidget* MakeControl(Kind kind, const QString& caption, QWidget* parent) {
    switch (kind) {
        case Kind::Button:
            return new QPushButton(caption, parent);
        case Kind::Toggle: {
            auto* toggle = new QPushButton(caption, parent);
            toggle->setCheckable(true);
            return toggle;
        }
        case Kind::Frame:
            return new LetteredFrame(caption, parent);
        case Kind::Label:
            return new QLabel(caption, parent);
        case Kind::Combo:
            return new QComboBox(parent);
        case Kind::Edit:
            return new QLineEdit(parent);
    }
    return nullptr;
}

void Keep(QWidget* made, const Slot& slot, WindowControls& controls) {
    std::visit(
        [&](auto member) {
            if constexpr (!std::is_same_v<decltype(member), std::monostate>) {
                using Pointer = std::remove_reference_t<decltype(controls.*member)>;
                controls.*member = qobject_cast<Pointer>(made);
            }
        },
        slot);
}

using Made = std::map<std::string_view, QWidget*>;

// Frames come before what they hold, so each container exists when its controls are made.
Made CreateControls(QWidget& window, WindowControls& controls) {
    Made made;
    for (const ControlSpec& c : kControls) {
        QWidget* parent = c.container ? made.at(c.container) : &window;
        QWidget* w = MakeControl(c.kind, QString::fromUtf8(c.caption), parent);
        w->setObjectName(QString::fromLatin1(c.name));
        w->setGeometry(Twips(window, c.left, c.top, c.width, c.height));
        if (c.toolTip) w->setToolTip(QString::fromUtf8(c.toolTip));
        w->setAccessibleName(QString::fromUtf8(c.accessibleName));
        if (c.accessibleDescription)
            w->setAccessibleDescription(QString::fromUtf8(c.accessibleDescription));
        Keep(w, c.slot, controls);
        made.emplace(c.name, w);
    }
    return made;
}

// Once every control exists, since a label's names a control made after it.
void AddShortcuts(QWidget& window, const Made& made) {
    for (const ControlSpec& c : kControls) {
        if (!c.shortcut) continue;
        QWidget* w = made.at(c.name);
        const QKeySequence key(QString::fromLatin1(c.shortcut));
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setShortcut(key);
            continue;
        }
        QWidget* target = w;
        if (c.labelFor) {
            target = made.at(c.labelFor);
            static_cast<QLabel*>(w)->setBuddy(target);
            // The marked letter already moves to the buddy; a second shortcut on the same key
            // would make both ambiguous, and neither would fire.
            if (QString::fromUtf8(c.caption).contains(QLatin1Char('&'))) continue;
        }
        // The frame's first marked letter is already its key.
        if (auto* frame = dynamic_cast<LetteredFrame*>(w->parentWidget());
            frame && QKeySequence::mnemonic(frame->title()) == key) {
            frame->GiveKeyTo(target);
            continue;
        }
        QObject::connect(new QShortcut(key, &window), &QShortcut::activated, target,
                         [target] { target->setFocus(Qt::ShortcutFocusReason); });
    }
}

void DressControls(const WindowControls& c) {
    // Plain text, drawn like the window's other labels: a rich-text link here would load a text
    // engine at every start for one word.
    c.statusLine_->setTextFormat(Qt::PlainText);
    // The display is read only: a tab stop there would show nothing and lead nowhere. Its
    // shortcut still reaches it, for a screen reader to read it out.
    c.reading_->setFocusPolicy(Qt::ClickFocus);
    c.helpButton_->setIcon(HelpIcon());
    c.helpButton_->setIconSize(QSize(16, 16));
    QFont display(QStringLiteral("MS Sans Serif"), 12, QFont::Bold);
    display.setStyleHint(QFont::SansSerif);
    c.reading_->setFont(display);
    c.reading_->setReadOnly(true);
    for (auto speed : kSpeedEntries) c.speedList_->addItem(Q(speed));
    c.speedList_->setCurrentIndex(-1);
    for (const RadioFamily* family : Families()) c.protocolList_->addItem(Q(family->Name()));
    c.protocolList_->setCurrentIndex(-1);
    // Named from the list itself, so a new family is said as soon as it is listed.
    c.protocolList_->setAccessibleDescription(
        Q("The radio's command language: " + ProtocolChoicesText()));
}

void SetTabOrder(const WindowControls& c) {
    // Down the window: the send frame, the setup frame, then the status line's Details (what an
    // operator looking at a fault wants next) and the row of buttons.
    QWidget* const order[] = {c.frequencyEntry_, c.setButton_,  c.modeList_,    c.protocolList_,
                              c.addressBox_,     c.speedList_,  c.portList_,    c.openButton_,
                              c.detailsButton_,  c.helpButton_, c.onTopButton_, c.exitButton_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace

void BuildWindowControls(QWidget& window, WindowControls& controls) {
    window.setWindowTitle(QStringLiteral("CAT"));
    window.setWindowIcon(WindowIcon());
    window.setFixedSize(ToPixels(kClientTwips, TwipsPerPixelX(window)),
                        ToPixels(kClientTwips + kStatusTwips, TwipsPerPixelY(window)));
    AddShortcuts(window, CreateControls(window, controls));
    DressControls(controls);
    // Later siblings are drawn on top; the reading's frame reaches above the client area and must
    // not cover the set-frequency frame it touches.
    controls.sendFrame_->raise();
    controls.setupFrame_->raise();
    SetTabOrder(controls);
}

void KeepOnTop(QWidget& window, bool onTop) {
    // Changing the flag on the native window keeps its place and size and does not activate it;
    // QWidget::setWindowFlag would hide and re-create a visible window.
    if (QWindow* native = window.windowHandle()) {
        native->setFlag(Qt::WindowStaysOnTopHint, onTop);
    } else {
        window.setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    }
}

double TwipsPerPixelX(const QWidget& window) { return TwipsPerPixel(window, true); }

double TwipsPerPixelY(const QWidget& window) { return TwipsPerPixel(window, false); }

QPoint PlaceFromTwips(const QWidget& window, double topTwips, double leftTwips) {
    const QPoint place(ToPixels(leftTwips, TwipsPerPixelX(window)),
                       ToPixels(topTwips, TwipsPerPixelY(window)));
    const QRect wanted(place, window.size());
    for (const QScreen* s : QGuiApplication::screens())
        if (s->availableGeometry().intersects(wanted)) return place;
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->availableGeometry().topLeft() : place;
}

FrameTwips FrameInTwips(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const double x = TwipsPerPixelX(window);
    const double y = TwipsPerPixelY(window);
    return {ToTwips(frame.x(), x), ToTwips(frame.y(), y), ToTwips(frame.width(), x),
            ToTwips(frame.height(), y)};
}

}  // namespace cat
