#include "qt/frmcat.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "control/set_frequency.h"
#include "control/set_mode.h"
#include "core/cat_error.h"
#include "core/failure_policy.h"
#include "core/handshake.h"
#include "core/mode.h"
#include "core/port_names.h"
#include "core/startup.h"
#include "link/link_control.h"
#include "protocols/families.h"
#include "qt/icons.h"
#include "qt/link_doctor.h"
#include "qt/port_list.h"
#include "qt/replug_watch.h"
#include "qt/serial_port.h"

namespace cat {

namespace {

constexpr int kClientTwips = 3585;
// The status line below the buttons; the window grows by it, and nothing else moves.
constexpr int kStatusTwips = 270;
constexpr double kTwipsPerInch = 1440.0;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// Twips are whole numbers in the store; positions far off any screen are brought back later.
long ToTwips(int pixels, double twipsPerPixel) { return std::lround(pixels * twipsPerPixel); }

int ToPixels(double twips, double twipsPerPixel) {
    const double pixels = std::nearbyint(twips / twipsPerPixel);
    constexpr double kLimit = 1 << 24;  // far beyond any screen, and safe for QPoint
    return static_cast<int>(std::clamp(pixels, -kLimit, kLimit));
}

}  // namespace

std::string frmCAT::TxtFreqBox::Text() const { return box_->text().toStdString(); }

void frmCAT::TxtFreqBox::SetText(const std::string& text) { box_->setText(Q(text)); }

frmCAT::frmCAT(SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store), comCAT_(std::make_unique<QtCommPort>(store)) {
    BuildControls();
    timer_ = std::make_unique<QtPollTimer>(*Timer1);
    watch_ = std::make_unique<doctor::LinkWatch>(*comCAT_, clock_);
    platform_ = std::make_unique<Platform>(Platform{*watch_, clock_, pause_, messages_, *timer_});
    linkDoctor_ = new LinkDoctor(*this, *comCAT_, *watch_);
    connect(comCAT_.get(), &QtCommPort::PortLost, linkDoctor_, &LinkDoctor::Lost);

    connect(chkOnTop, &QPushButton::toggled, this, &frmCAT::chkOnTop_Click);
    connect(chkOpen, &QPushButton::toggled, this, &frmCAT::chkOpen_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmCAT::cmdHelp_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmCAT::cmdExit_Click);
    connect(cmdSet, &QPushButton::clicked, this, &frmCAT::cmdSet_Click);
    connect(txtFreqTRX, &QLineEdit::returnPressed, cmdSet, &QPushButton::click);
    connect(cboMode, &QComboBox::activated, this, &frmCAT::cboMode_Click);
    connect(cboCom, &QComboBox::currentIndexChanged, this, &frmCAT::UpdatePortTooltip);
    connect(Timer1, &QTimer::timeout, this, &frmCAT::Timer1_Timer);
    connect(comCAT_.get(), &QtCommPort::OnComm, this, &frmCAT::comCAT_OnComm);
    StartReplugWatch();

    Form_Load();
}

frmCAT::~frmCAT() = default;

CommPort& frmCAT::Port() { return *comCAT_; }

double frmCAT::TwipsPerPixelX() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return kTwipsPerInch / (s ? s->logicalDotsPerInchX() : 96.0);
}

double frmCAT::TwipsPerPixelY() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return kTwipsPerInch / (s ? s->logicalDotsPerInchY() : 96.0);
}

QRect frmCAT::Twips(int left, int top, int width, int height) const {
    const double x = TwipsPerPixelX();
    const double y = TwipsPerPixelY();
    return QRect(ToPixels(left, x), ToPixels(top, y), ToPixels(width, x), ToPixels(height, y));
}

namespace {

enum class Kind { Button, Toggle, Frame, Label, Combo, Edit };

// The window's controls, in window order: positions in twips within their container (the window
// when none is named). Toggles are check boxes drawn as buttons that stay pressed while ticked.
// The accessible name and description are what a screen reader says. A shortcut presses a button,
// or moves the focus to the control itself, or for a label to the control the label names; the
// captions stay as they are, so no shortcut is underlined in them.
struct ControlSpec {
    const char* name;
    Kind kind;
    const char* container;
    const char* caption;
    const char* toolTip;
    int left, top, width, height;
    const char* accessibleName;
    const char* accessibleDescription;
    const char* shortcut;
    const char* labelFor;
};

constexpr ControlSpec kControls[] = {
    {"chkOnTop", Kind::Toggle, nullptr, "On top", nullptr, 555, 2850, 804, 336, "On top",
     "Keeps this window above all other windows while pressed", "Alt+T", nullptr},
    {"cmdHelp", Kind::Button, nullptr, "", nullptr, 90, 2850, 408, 336, "Help",
     "Shows what the program is for and how to start a link", "F1", nullptr},
    {"cmdExit", Kind::Button, nullptr, "Exit", nullptr, 2736, 2850, 804, 336, "Exit",
     "Saves the choices and closes the program", "Alt+X", nullptr},
    {"fraTRX1", Kind::Frame, nullptr, "Monotoring", nullptr, 36, -36, 3504, 768, "Monitoring",
     "What the radio reports", nullptr, nullptr},
    {"txtFreq", Kind::Edit, "fraTRX1", "", nullptr, 108, 216, 3288, 444, "Radio frequency and mode",
     "The frequency in megahertz and the mode the radio reports, such as 14.074.00 USB; empty "
     "while no radio answers",
     "Alt+R", nullptr},
    {"FraSetup", Kind::Frame, nullptr, "Setup", nullptr, 36, 1440, 3504, 1350, "Setup",
     "The link: protocol, address, speed and serial port", nullptr, nullptr},
    {"chkOpen", Kind::Toggle, "FraSetup", "Open", "Opens Com Port and Starts Link", 2820, 840, 570,
     390, "Open", "Opens the serial port and starts polling the radio; press again to close it",
     "Alt+O", nullptr},
    {"cboSpeed", Kind::Combo, "FraSetup", "", nullptr, 2100, 450, 1320, 315, "Speed",
     "The line speed in baud; the radio must be set to the same", nullptr, nullptr},
    {"txtAddress", Kind::Edit, "FraSetup", "", nullptr, 1560, 450, 444, 300, "Address",
     "The radio's CI-V address in hexadecimal, such as 5E; used by ICOM radios only", nullptr,
     nullptr},
    {"cboCom", Kind::Combo, "FraSetup", "", nullptr, 1590, 870, 1155, 315, "Com port",
     "The serial port the radio is on; its tooltip names the device it opens", nullptr, nullptr},
    {"cboSelect", Kind::Combo, "FraSetup", "", nullptr, 60, 450, 1395, 315, "Protocol",
     "The radio's command language: ICOM CI-V, Kenwood or FT-817", nullptr, nullptr},
    {"lblSpeed", Kind::Label, "FraSetup", "Speed", nullptr, 2070, 180, 960, 210, "Speed",
     "Names the line speed list", "Alt+E", "cboSpeed"},
    {"lblAddress", Kind::Label, "FraSetup", "Adrs", nullptr, 1590, 180, 555, 225, "Address",
     "Names the ICOM address box", "Alt+A", "txtAddress"},
    {"LblCom", Kind::Label, "FraSetup", "Com Port >", nullptr, 120, 930, 1320, 195, "Com port",
     "Names the serial port list", "Alt+C", "cboCom"},
    {"lblProtocol", Kind::Label, "FraSetup", "Protocol", nullptr, 72, 216, 1272, 192, "Protocol",
     "Names the protocol list", "Alt+P", "cboSelect"},
    {"fraTrx", Kind::Frame, nullptr, "Set Frequency Mode", nullptr, 36, 756, 3504, 660,
     "Set frequency and mode", "Sends a frequency or a mode to the radio", nullptr, nullptr},
    {"cboMode", Kind::Combo, "fraTrx", "", nullptr, 2376, 216, 984, 288, "Mode",
     "Picking a mode sets the radio to it", "Alt+M", nullptr},
    {"txtFreqTRX", Kind::Edit, "fraTrx", "", nullptr, 144, 216, 1416, 336, "Frequency to set",
     "A frequency in megahertz for the radio; Return or Set sends it", "Alt+F", nullptr},
    {"cmdSet", Kind::Button, "fraTrx", "Set", "Set RX Frequency", 1692, 216, 552, 336, "Set",
     "Sends the frequency typed in the box beside it to the radio", "Alt+S", nullptr},
    {"lblStatus", Kind::Label, nullptr, "", nullptr, 90, 3240, 2640, kStatusTwips, "Link status",
     "What the link is doing and, when the radio does not answer, why", nullptr, nullptr},
    {"cmdDetails", Kind::Button, nullptr, "Details",
     "The diagnosis in full, the traffic, Find radio", 2736, 3240, 804, kStatusTwips, "Details",
     "Opens the link's diagnosis, the traffic on the line and Find radio", "Alt+D", nullptr},
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
            return new QGroupBox(caption, parent);
        case Kind::Label:
            return new QLabel(caption, parent);
        case Kind::Combo:
            return new QComboBox(parent);
        case Kind::Edit:
            return new QLineEdit(parent);
    }
    return nullptr;
}

}  // namespace

template <typename T>
void frmCAT::Bind(T*& member, const char* name) {
    member = findChild<T*>(QString::fromLatin1(name));
}

void frmCAT::BuildControls() {
    setWindowTitle(QStringLiteral("CAT"));
    setWindowIcon(WindowIcon());
    setFixedSize(ToPixels(kClientTwips, TwipsPerPixelX()),
                 ToPixels(kClientTwips + kStatusTwips, TwipsPerPixelY()));

    // Frames come before what they hold, so each container exists when its controls are made.
    for (const ControlSpec& c : kControls) {
        QWidget* parent =
            c.container ? findChild<QWidget*>(QString::fromLatin1(c.container)) : this;
        QWidget* w = MakeControl(c.kind, QString::fromUtf8(c.caption), parent);
        w->setObjectName(QString::fromLatin1(c.name));
        w->setGeometry(Twips(c.left, c.top, c.width, c.height));
        if (c.toolTip) w->setToolTip(QString::fromUtf8(c.toolTip));
        w->setAccessibleName(QString::fromUtf8(c.accessibleName));
        w->setAccessibleDescription(QString::fromUtf8(c.accessibleDescription));
    }
    // Shortcuts once every control exists, since a label's names a control made after it.
    for (const ControlSpec& c : kControls) {
        if (!c.shortcut) continue;
        auto* w = findChild<QWidget*>(QString::fromLatin1(c.name));
        const QKeySequence key(QString::fromLatin1(c.shortcut));
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setShortcut(key);
            continue;
        }
        QWidget* target = w;
        if (c.labelFor) {
            target = findChild<QWidget*>(QString::fromLatin1(c.labelFor));
            static_cast<QLabel*>(w)->setBuddy(target);
        }
        connect(new QShortcut(key, this), &QShortcut::activated, target,
                [target] { target->setFocus(Qt::ShortcutFocusReason); });
    }
    Bind(chkOnTop, "chkOnTop");
    Bind(cmdHelp, "cmdHelp");
    Bind(cmdExit, "cmdExit");
    Bind(fraTRX1, "fraTRX1");
    Bind(txtFreq, "txtFreq");
    Bind(FraSetup, "FraSetup");
    Bind(chkOpen, "chkOpen");
    Bind(cboSpeed, "cboSpeed");
    Bind(txtAddress, "txtAddress");
    Bind(cboCom, "cboCom");
    Bind(cboSelect, "cboSelect");
    Bind(lblSpeed, "lblSpeed");
    Bind(lblAddress, "lblAddress");
    Bind(LblCom, "LblCom");
    Bind(lblProtocol, "lblProtocol");
    Bind(fraTrx, "fraTrx");
    Bind(cboMode, "cboMode");
    Bind(txtFreqTRX, "txtFreqTRX");
    Bind(cmdSet, "cmdSet");
    Bind(lblStatus, "lblStatus");
    Bind(cmdDetails, "cmdDetails");
    // Plain text, drawn like the window's other labels: a rich-text link here would load a text
    // engine at every start for one word.
    lblStatus->setTextFormat(Qt::PlainText);
    cmdDetails->setFlat(true);

    cmdHelp->setIcon(HelpIcon());
    cmdHelp->setIconSize(QSize(16, 16));
    QFont display(QStringLiteral("MS Sans Serif"), 12, QFont::Bold);
    display.setStyleHint(QFont::SansSerif);
    txtFreq->setFont(display);
    txtFreq->setReadOnly(true);
    for (auto speed : kSpeedEntries) cboSpeed->addItem(Q(speed));
    cboSpeed->setCurrentIndex(-1);
    for (const RadioFamily* family : Families()) cboSelect->addItem(Q(std::string(family->Name())));
    cboSelect->setCurrentIndex(-1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);

    // Later siblings are drawn on top; the display frame reaches above the client area and must not
    // cover the set-frequency frame it touches.
    fraTrx->raise();
    FraSetup->raise();
    SetTabOrder();
}

void frmCAT::SetTabOrder() {
    // Tab indices: cmdHelp 0, cmdExit 1, (fraTRX1 2), txtFreq 3, (FraSetup 4), chkOnTop 5,
    // (fraTrx 6), cmdSet 7, (labels 8, 9), txtFreqTRX 10, cboMode 11, cboSelect 12, cboCom 13,
    // txtAddress 14, (lblAddress 15), cboSpeed 16, (lblSpeed 17), chkOpen 18. Frames and labels
    // take no focus. The link doctor's Details button, which came later, comes last.
    const QWidget* order[] = {cmdHelp,    cmdExit, txtFreq,   chkOnTop, cmdSet,
                              txtFreqTRX, cboMode, cboSelect, cboCom,   txtAddress,
                              cboSpeed,   chkOpen, cmdDetails};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
}

void frmCAT::Form_Load() {
    // A second running copy never gets here: main() ends it before the window exists.
    const RestoredChoices choices = RestoreChoices(store_);
    RestorePosition(choices.top, choices.left);
    FillDigitChars(state_);
    for (int p = 0; p < kPortCount; ++p) cboCom->addItem(Q(PortEntry(p)));
    cboCom->setCurrentIndex(-1);
    for (auto mode : kModeNames) cboMode->addItem(Q(mode));
    cboMode->setCurrentIndex(-1);
    txtAddress->setText(Q(choices.address));
    cboSelect->setCurrentIndex(choices.type);
    cboSpeed->setCurrentIndex(choices.speed);
    cboCom->setCurrentIndex(choices.comPort);
    StartPortList();
    UpdatePortTooltip();
    chkOnTop->setChecked(choices.onTop);
}

void frmCAT::RestorePosition(double topTwips, double leftTwips) {
    QPoint position(ToPixels(leftTwips, TwipsPerPixelX()), ToPixels(topTwips, TwipsPerPixelY()));
    // A window restored where no screen is (a monitor since removed) could not be reached.
    const QRect wanted(position, size());
    bool visible = false;
    for (const QScreen* s : QGuiApplication::screens())
        visible = visible || s->availableGeometry().intersects(wanted);
    if (!visible && QGuiApplication::primaryScreen())
        position = QGuiApplication::primaryScreen()->availableGeometry().topLeft();
    move(position);
}

void frmCAT::UpdatePortTooltip() {
    const int position = cboCom->currentIndex();
    const QString named = portList_ ? portList_->Tooltip(position) : QString();
    cboCom->setToolTip(position < 0 ? QString()
                       : !named.isEmpty()
                           ? named
                           : Q(PortTooltip(store_, static_cast<std::int16_t>(position + 1))));
}

void frmCAT::StartPortList() {
    portList_ = std::make_unique<PortListWatch>(store_, *cboCom);
    connect(portList_.get(), &PortListWatch::Refreshed, this, &frmCAT::UpdatePortTooltip);
}

void frmCAT::StartReplugWatch() {
    replug_ = std::make_unique<ReplugWatch>(
        *comCAT_, [this](bool afterLoss) { OpenLinkFromChoices(afterLoss); },
        [this] { CloseLink(*platform_); });
    // The doctor hears of a path that vanished under the open link too (a hung-up device it
    // hears of from the port), and of a tick that waits for its device.
    connect(replug_.get(), &ReplugWatch::DeviceLost, linkDoctor_, [this] { linkDoctor_->Lost(); });
    connect(replug_.get(), &ReplugWatch::LinkStatusChanged, linkDoctor_,
            [this](const LinkStatus& status) {
                // Only a device that comes back under the same name is waited for; a pty's
                // number is anyone's once it is gone.
                linkDoctor_->WaitingForDevice(status.state == LinkState::WaitingForDevice &&
                                              NamesTheSameDeviceWhenBack(status.device));
                if (status.state == LinkState::WaitingForDevice &&
                    status.reason == WaitReason::AbsentAtOpen && status.errorNumber != 0)
                    linkDoctor_->OpenFailed(CatError(status.errorNumber, status.detail));
            });
}

LinkChoices frmCAT::GatherLinkChoices() const {
    LinkChoices choices;
    choices.protocolText = cboSelect->currentText().toStdString();
    choices.portListIndex = cboCom->currentIndex();
    choices.addressText = txtAddress->text().toStdString();
    choices.speedText = cboSpeed->currentText().toStdString();
    const auto port = static_cast<std::int16_t>(choices.portListIndex + 1);
    if (port >= kFirstPort && port <= kLastPort)
        choices.handshakeOverride = store_.Read(kPortsGroup, HandshakeKey(port));
    return choices;
}

void frmCAT::OpenLinkFromChoices(bool afterLoss) {
    if (afterLoss) {
        // Half a reply from the vanished device would spoil the first one after the replug,
        // and the radio is asked at the next tick rather than up to a poll period later.
        state_.RxBuffer.clear();
        state_.LastPoll.reset();
    }
    OpenLink(state_, *platform_, linkChoices_);
    linkDoctor_->Opened();
    ReadAtOpen(state_, *platform_);
}

void frmCAT::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    Form_Unload();
    event->accept();
}

void frmCAT::Form_QueryUnload() { Timer1->stop(); }

void frmCAT::Form_Unload() {
    ChoicesToSave c;
    c.comPort = static_cast<std::int16_t>(cboCom->currentIndex());
    c.type = static_cast<std::int16_t>(cboSelect->currentIndex());
    c.speed = static_cast<std::int16_t>(cboSpeed->currentIndex());
    c.address = txtAddress->text().toStdString();
    c.onTop = chkOnTop->isChecked();
    c.normalState = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    const QRect frame = frameGeometry();
    c.left = ToTwips(frame.x(), TwipsPerPixelX());
    c.top = ToTwips(frame.y(), TwipsPerPixelY());
    c.width = ToTwips(frame.width(), TwipsPerPixelX());
    c.height = ToTwips(frame.height(), TwipsPerPixelY());
    if (!SaveChoices(store_, c)) std::fputs("CAT: the settings could not be saved.\n", stderr);
}

void frmCAT::cmdExit_Click() {
    // A click can only meet a running tick inside a box the tick opened; close once it is over,
    // without blocking the loop that will end it.
    if (state_.Busy) {
        QTimer::singleShot(20, this, &frmCAT::cmdExit_Click);
        return;
    }
    close();
}

void frmCAT::chkOnTop_Click() {
    if (state_.Busy) {
        QTimer::singleShot(20, this, &frmCAT::chkOnTop_Click);
        return;
    }
    AlwaysOnTop(chkOnTop->isChecked());
}

void frmCAT::AlwaysOnTop(bool setOnTop) {
    platform_->pollTimer.SetEnabled(false);
    onTop_ = setOnTop;
    // Changing the flag on the native window keeps its place and size and does not activate it;
    // QWidget::setWindowFlag would hide and re-create a visible window.
    if (QWindow* window = windowHandle()) {
        window->setFlag(Qt::WindowStaysOnTopHint, setOnTop);
    } else {
        setWindowFlag(Qt::WindowStaysOnTopHint, setOnTop);
    }
    platform_->pollTimer.SetEnabled(true);
}

void frmCAT::cmdHelp_Click() { messages_.Information(kHelpTitle, HelpBoxText()); }

void frmCAT::chkOpen_Click() {
    const bool ticked = chkOpen->isChecked();
    try {
        if (ticked) {
            linkChoices_ = GatherLinkChoices();
            replug_->Tick();  // opens, or waits for a device that is not there
        } else {
            replug_->Untick();
            linkDoctor_->Closed();
        }
        for (QWidget* w : {static_cast<QWidget*>(cboSelect), static_cast<QWidget*>(cboSpeed),
                           static_cast<QWidget*>(cboCom), static_cast<QWidget*>(txtAddress)})
            w->setEnabled(!ticked);
    } catch (const CatError& e) {
        linkDoctor_->OpenFailed(e);
        messages_.Critical(OpenErrorText(e.Number(), e.Description()));
    } catch (const std::exception& e) {
        messages_.Critical(OpenErrorText(ErrorNumber(ErrorKind::InvalidValue), e.what()));
    }
}

void frmCAT::Timer1_Timer() {
    PollTick(state_, *platform_, isMinimized(), display_);
    watch_->FollowCheck(state_);
}

void frmCAT::comCAT_OnComm() {
    // Find radio reads the port itself while it runs.
    if (!linkDoctor_->Scanning()) ReceiveDispatch(state_, *watch_);
}

void frmCAT::cmdSet_Click() {
    // The operator types in the regional format: a comma where the locale writes one.
    bool ok = false;
    const double frequency = QLocale().toDouble(txtFreqTRX->text().trimmed(), &ok);
    if (!ok) return;
    // Nothing is reported to the operator; the next poll shows what the radio has.
    SkipOnFailure([&] { SetRadioFrequency(state_, *platform_, frequency); });
}

void frmCAT::cboMode_Click() {
    // Failures are handled inside the senders; nothing else may escape a slot.
    SkipOnFailure([&] {
        SetRadioMode(state_, *platform_, static_cast<ModeIndex>(cboMode->currentIndex()), false);
    });
}

}  // namespace cat
