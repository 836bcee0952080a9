#include "qt/window/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "control/frequency_text.h"
#include "control/set_frequency.h"
#include "control/set_mode.h"
#include "core/cat_error.h"
#include "core/comm_errors.h"
#include "core/control_lines.h"
#include "core/failure_policy.h"
#include "core/handshake.h"
#include "core/mode.h"
#include "core/port_names.h"
#include "link/link_control.h"
#include "protocols/families.h"
#include "qt/ports/port_list.h"
#include "qt/ports/qt_comm_port.h"
#include "qt/ports/replug_watch.h"
#include "qt/window/icons.h"
#include "qt/window/link_doctor.h"
#include "qt/window/program_window.h"
#include "qt/window/transmit_safety.h"
#include "shell/device_holders.h"
#include "shell/port_catalog.h"
#include "shell/startup.h"

namespace cat {

namespace {

constexpr int kClientTwips = 3585;
// The status line below the buttons; the window grows by it, and nothing else moves.
constexpr int kStatusTwips = 270;
constexpr double kTwipsPerInch = 1440.0;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// The set commands carry frequencies below 1000 MHz.
constexpr std::int64_t kHighestSetHertz = 1'000'000'000;
// How long a set waits for the reading that shows whether the radio took it.
constexpr double kSetReadBackSeconds = 3.0;
// How long the status line holds what it says of the operator's own request.
constexpr int kNoticeMs = 5000;

// 200000000 -> "200", 14074500 -> "14.0745": megahertz as the operator types them.
QString MegahertzText(std::int64_t hertz) {
    QString text = QString::number(static_cast<double>(hertz) / 1e6, 'f', 6);
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text;
}

// Twips are whole numbers in the store; positions far off any screen are brought back later.
long ToTwips(int pixels, double twipsPerPixel) { return std::lround(pixels * twipsPerPixel); }

int ToPixels(double twips, double twipsPerPixel) {
    const double pixels = std::nearbyint(twips / twipsPerPixel);
    constexpr double kLimit = 1 << 24;  // far beyond any screen, and safe for QPoint
    return static_cast<int>(std::clamp(pixels, -kLimit, kLimit));
}

enum class Kind { Button, Toggle, Frame, Label, Combo, Edit };

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
    const char* accessibleDescription;
    const char* shortcut;
    const char* labelFor;
};

constexpr ControlSpec kControls[] = {
    {"onTop", Kind::Toggle, nullptr, "On &top", nullptr, 555, 2850, 804, 336, "On top",
     "Keeps this window above all other windows while pressed", "Alt+T", nullptr},
    {"help", Kind::Button, nullptr, "", nullptr, 90, 2850, 408, 336, "Help",
     "Shows what the program is for and how to start a link", "F1", nullptr},
    {"exit", Kind::Button, nullptr, "E&xit", nullptr, 2736, 2850, 804, 336, "Exit",
     "Saves the choices and closes the program", "Alt+X", nullptr},
    {"readingFrame", Kind::Frame, nullptr, "Monoto&ring", nullptr, 36, -36, 3504, 768, "Monitoring",
     "What the radio reports", nullptr, nullptr},
    {"reading", Kind::Edit, "readingFrame", "", nullptr, 108, 216, 3288, 444,
     "Radio frequency and mode",
     "The frequency in megahertz and the mode the radio reports, such as 14.074.00 USB; empty "
     "while no radio answers",
     "Alt+R", nullptr},
    {"setupFrame", Kind::Frame, nullptr, "Setup", nullptr, 36, 1440, 3504, 1350, "Setup",
     "The link: protocol, address, speed and serial port", nullptr, nullptr},
    {"open", Kind::Toggle, "setupFrame", "&Open", "Opens Com Port and Starts Link", 2820, 840, 570,
     390, "Open", "Opens the serial port and starts polling the radio; press again to close it",
     "Alt+O", nullptr},
    {"speed", Kind::Combo, "setupFrame", "", nullptr, 2100, 450, 1320, 315, "Speed",
     "The line speed in baud; the radio must be set to the same", nullptr, nullptr},
    {"address", Kind::Edit, "setupFrame", "", nullptr, 1560, 450, 444, 300, "Address",
     "The radio's CI-V address in hexadecimal, such as 5E; used by ICOM radios only", nullptr,
     nullptr},
    {"port", Kind::Combo, "setupFrame", "", nullptr, 1590, 870, 1155, 315, "Com port",
     "The serial port the radio is on; its tooltip names the device it opens", nullptr, nullptr},
    {"protocol", Kind::Combo, "setupFrame", "", nullptr, 60, 450, 1395, 315, "Protocol",
     "The radio's command language: ICOM CI-V, Kenwood or FT-817", nullptr, nullptr},
    {"speedLabel", Kind::Label, "setupFrame", "Sp&eed", nullptr, 2070, 180, 960, 210, "Speed",
     "Names the line speed list", "Alt+E", "speed"},
    {"addressLabel", Kind::Label, "setupFrame", "&Adrs", nullptr, 1590, 180, 555, 225, "Address",
     "Names the ICOM address box", "Alt+A", "address"},
    {"portLabel", Kind::Label, "setupFrame", "&Com Port >", nullptr, 120, 930, 1320, 195,
     "Com port", "Names the serial port list", "Alt+C", "port"},
    {"protocolLabel", Kind::Label, "setupFrame", "&Protocol", nullptr, 72, 216, 1272, 192,
     "Protocol", "Names the protocol list", "Alt+P", "protocol"},
    {"sendFrame", Kind::Frame, nullptr, "Set &Frequency &Mode", nullptr, 36, 756, 3504, 660,
     "Set frequency and mode", "Sends a frequency or a mode to the radio", nullptr, nullptr},
    {"mode", Kind::Combo, "sendFrame", "", nullptr, 2376, 216, 984, 288, "Mode",
     "Picking a mode sets the radio to it", "Alt+M", nullptr},
    {"frequencyEntry", Kind::Edit, "sendFrame", "", nullptr, 144, 216, 1416, 336,
     "Frequency to set", "A frequency in megahertz for the radio; Return or Set sends it", "Alt+F",
     nullptr},
    {"set", Kind::Button, "sendFrame", "&Set", "Set RX Frequency", 1692, 216, 552, 336, "Set",
     "Sends the frequency typed in the box beside it to the radio", "Alt+S", nullptr},
    {"status", Kind::Label, nullptr, "", nullptr, 90, 3240, 2640, kStatusTwips, "Link status",
     "What the link is doing and, when the radio does not answer, why", nullptr, nullptr},
    {"details", Kind::Button, nullptr, "&Details", "The diagnosis in full, the traffic, Find radio",
     2736, 3240, 804, kStatusTwips, "Details",
     "Opens the link's diagnosis, the traffic on the line and Find radio", "Alt+D", nullptr},
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

// The controls are made from the table above; a member is bound to its control by name.
template <typename T>
void Find(const QWidget& window, T*& control, const char* name) {
    control = window.findChild<T*>(QString::fromLatin1(name));
}

}  // namespace

std::string MainWindow::ReadingBox::Text() const { return box_->text().toStdString(); }

void MainWindow::ReadingBox::SetText(const std::string& text) { box_->setText(Q(text)); }

MainWindow::MainWindow(SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store), port_(std::make_unique<QtCommPort>(store)) {
    BuildControls();
    pollTimer_ = std::make_unique<QtPollTimer>(*pollTicks_);
    watch_ = std::make_unique<doctor::LinkWatch>(*port_, clock_);
    platform_ =
        std::make_unique<Platform>(Platform{*watch_, clock_, pause_, messages_, *pollTimer_});
    link_ = std::make_unique<Link>(*platform_, static_cast<LinkObserver&>(*this));
    LinkDoctorHost& host = *this;
    linkDoctor_ = new LinkDoctor(host, *link_, *port_, *watch_, this);
    connect(port_.get(), &QtCommPort::PortLost, linkDoctor_, &LinkDoctor::Lost);
    connect(linkDoctor_, &LinkDoctor::SharedOpen, this, &MainWindow::ShowNotice);
    connect(linkDoctor_, &LinkDoctor::TestThroughServer, this, &MainWindow::OpenThroughServer);
    StartTransmitSafety();
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, this, &MainWindow::NoticeOver);
    ConnectControls();
    StartReplugWatch();
    LoadChoices();
}

MainWindow::~MainWindow() {
    // A test still keying is unkeyed while the port and the routines it needs are all there.
    transmit_->Closing();
}

std::unique_ptr<QWidget> MakeProgramWindow(SettingsStore& store) {
    return std::make_unique<MainWindow>(store);
}

CommPort& MainWindow::Port() { return *port_; }

double MainWindow::TwipsPerPixelX() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return kTwipsPerInch / (s ? s->logicalDotsPerInchX() : 96.0);
}

double MainWindow::TwipsPerPixelY() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return kTwipsPerInch / (s ? s->logicalDotsPerInchY() : 96.0);
}

QRect MainWindow::Twips(int left, int top, int width, int height) const {
    const double x = TwipsPerPixelX();
    const double y = TwipsPerPixelY();
    return QRect(ToPixels(left, x), ToPixels(top, y), ToPixels(width, x), ToPixels(height, y));
}

void MainWindow::BuildControls() {
    setWindowTitle(QStringLiteral("CAT"));
    setWindowIcon(WindowIcon());
    setFixedSize(ToPixels(kClientTwips, TwipsPerPixelX()),
                 ToPixels(kClientTwips + kStatusTwips, TwipsPerPixelY()));
    CreateControls();
    AddShortcuts();
    FindControls();
    DressControls();
    pollTicks_ = new QTimer(this);
    pollTicks_->setObjectName(QStringLiteral("pollTimer"));
    pollTicks_->setInterval(100);
    // Later siblings are drawn on top; the reading's frame reaches above the client area and must
    // not cover the set-frequency frame it touches.
    sendFrame_->raise();
    setupFrame_->raise();
    SetTabOrder();
}

void MainWindow::CreateControls() {
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
}

void MainWindow::AddShortcuts() {
    // Once every control exists, since a label's names a control made after it.
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
        connect(new QShortcut(key, this), &QShortcut::activated, target,
                [target] { target->setFocus(Qt::ShortcutFocusReason); });
    }
}

void MainWindow::FindControls() {
    Find(*this, onTopButton_, "onTop");
    Find(*this, helpButton_, "help");
    Find(*this, exitButton_, "exit");
    Find(*this, reading_, "reading");
    Find(*this, setupFrame_, "setupFrame");
    Find(*this, openButton_, "open");
    Find(*this, speedList_, "speed");
    Find(*this, addressBox_, "address");
    Find(*this, portList_, "port");
    Find(*this, protocolList_, "protocol");
    Find(*this, sendFrame_, "sendFrame");
    Find(*this, modeList_, "mode");
    Find(*this, frequencyEntry_, "frequencyEntry");
    Find(*this, setButton_, "set");
    Find(*this, statusLine_, "status");
    Find(*this, detailsButton_, "details");
}

void MainWindow::DressControls() {
    // Plain text, drawn like the window's other labels: a rich-text link here would load a text
    // engine at every start for one word.
    statusLine_->setTextFormat(Qt::PlainText);
    // The display is read only: a tab stop there would show nothing and lead nowhere. Its
    // shortcut still reaches it, for a screen reader to read it out.
    reading_->setFocusPolicy(Qt::ClickFocus);
    helpButton_->setIcon(HelpIcon());
    helpButton_->setIconSize(QSize(16, 16));
    QFont display(QStringLiteral("MS Sans Serif"), 12, QFont::Bold);
    display.setStyleHint(QFont::SansSerif);
    reading_->setFont(display);
    reading_->setReadOnly(true);
    for (auto speed : kSpeedEntries) speedList_->addItem(Q(speed));
    speedList_->setCurrentIndex(-1);
    for (const RadioFamily* family : Families())
        protocolList_->addItem(Q(std::string(family->Name())));
    protocolList_->setCurrentIndex(-1);
}

void MainWindow::ConnectControls() {
    connect(onTopButton_, &QPushButton::toggled, this, &MainWindow::OnTopToggled);
    connect(openButton_, &QPushButton::toggled, this, &MainWindow::OpenToggled);
    connect(helpButton_, &QPushButton::clicked, this, &MainWindow::ShowHelp);
    connect(exitButton_, &QPushButton::clicked, this, &MainWindow::ExitWhenIdle);
    connect(setButton_, &QPushButton::clicked, this, &MainWindow::SendFrequency);
    connect(frequencyEntry_, &QLineEdit::returnPressed, setButton_, &QPushButton::click);
    connect(modeList_, &QComboBox::activated, this, &MainWindow::SendMode);
    connect(portList_, &QComboBox::currentIndexChanged, this, &MainWindow::UpdatePortTooltip);
    connect(portList_, &QComboBox::currentIndexChanged, this,
            [this] { EnableSetup(!openButton_->isChecked()); });
    connect(detailsButton_, &QPushButton::clicked, linkDoctor_, &LinkDoctor::ShowDetails);
    connect(pollTicks_, &QTimer::timeout, this, &MainWindow::PollTimerFired);
    connect(port_.get(), &QtCommPort::BytesArrived, this, &MainWindow::BytesArrived);
}

void MainWindow::SetTabOrder() {
    // Down the window: the send frame, the setup frame, then the status line's Details (what an
    // operator looking at a fault wants next) and the row of buttons.
    QWidget* const order[] = {frequencyEntry_, setButton_,  modeList_,    protocolList_,
                              addressBox_,     speedList_,  portList_,    openButton_,
                              detailsButton_,  helpButton_, onTopButton_, exitButton_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void MainWindow::LoadChoices() {
    // A second running copy never gets here: main() ends it before the window exists.
    const RestoredChoices choices = RestoreChoices(store_);
    RestorePosition(choices.top, choices.left);
    FillDigitCharacters(link_->State());
    for (int p = 0; p < kPortCount; ++p) portList_->addItem(Q(PortEntry(p)));
    portList_->setCurrentIndex(-1);
    for (auto mode : kModeNames) modeList_->addItem(Q(mode));
    modeList_->setCurrentIndex(-1);
    addressBox_->setText(Q(choices.address));
    protocolList_->setCurrentIndex(choices.protocolPosition);
    speedList_->setCurrentIndex(choices.speedPosition);
    portList_->setCurrentIndex(choices.portPosition);
    StartPortList();
    UpdatePortTooltip();
    EnableSetup(true);
    onTopButton_->setChecked(choices.onTop);
}

void MainWindow::RestorePosition(double topTwips, double leftTwips) {
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

void MainWindow::UpdatePortTooltip() {
    const int position = portList_->currentIndex();
    const QString named = portListWatch_ ? portListWatch_->Tooltip(position) : QString();
    portList_->setToolTip(position < 0 ? QString()
                          : !named.isEmpty()
                              ? named
                              : Q(PortTooltip(store_, static_cast<std::int16_t>(position + 1))));
}

void MainWindow::StartPortList() {
    portListWatch_ = std::make_unique<PortListWatch>(store_, *portList_);
    connect(portListWatch_.get(), &PortListWatch::Refreshed, this, &MainWindow::UpdatePortTooltip);
}

void MainWindow::StartReplugWatch() {
    replug_ = std::make_unique<ReplugWatch>(
        *port_, [this](bool afterLoss) { OpenLinkFromChoices(afterLoss); },
        [this] { link_->Close(); });
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

LinkChoices MainWindow::GatherLinkChoices() const {
    LinkChoices setup;
    setup.protocolText = protocolList_->currentText().toStdString();
    setup.portListIndex = portList_->currentIndex();
    setup.addressText = addressBox_->text().toStdString();
    setup.speedText = speedList_->currentText().toStdString();
    return WithPortEntry(std::move(setup), store_);
}

void MainWindow::OpenLinkFromChoices(bool afterLoss) {
    linkDoctor_->LookForHolders(
        DeviceForPort(store_, static_cast<std::int16_t>(linkChoices_.portListIndex + 1)));
    if (afterLoss) {
        link_->Reopen();
    } else {
        link_->Open(linkChoices_);
    }
}

void MainWindow::Opened(const SessionState&, Handshake) {
    linkDoctor_->Opened();
    transmit_->Opened();
}

void MainWindow::Ticked(const SessionState& state) { watch_->FollowCheck(state); }

void MainWindow::StartTransmitSafety() {
    transmit_ = new TransmitSafety(*link_, *platform_, *port_, store_, *this);
    linkDoctor_->SetSection([this](QWidget* parent) { return transmit_->MakeSection(parent); });
    connect(port_.get(), &QtCommPort::PortLost, transmit_, &TransmitSafety::PortLost);
    connect(transmit_, &TransmitSafety::Alert, this, &MainWindow::ShowTransmitAlert);
    connect(transmit_, &TransmitSafety::AlertCleared, this, &MainWindow::ClearTransmitAlert);
    connect(transmit_, &TransmitSafety::WantsDetails, linkDoctor_, &LinkDoctor::ShowDetails);
    connect(transmit_, &TransmitSafety::HoldPolling, this, [this](bool hold) {
        if (hold) {
            pollingBeforeTest_ = link_->PausePolling();
        } else if (pollingBeforeTest_) {
            link_->ResumePolling();
        }
    });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A radio keyed for a test is unkeyed before anything else goes.
    transmit_->Closing();
    pollTicks_->stop();
    SaveChoicesOnClose();
    event->accept();
}

void MainWindow::SaveChoicesOnClose() {
    ChoicesToSave c;
    c.portPosition = static_cast<std::int16_t>(portList_->currentIndex());
    c.protocolPosition = static_cast<std::int16_t>(protocolList_->currentIndex());
    c.speedPosition = static_cast<std::int16_t>(speedList_->currentIndex());
    c.address = addressBox_->text().toStdString();
    c.onTop = onTopButton_->isChecked();
    c.normalState = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    const QRect frame = frameGeometry();
    c.left = ToTwips(frame.x(), TwipsPerPixelX());
    c.top = ToTwips(frame.y(), TwipsPerPixelY());
    c.width = ToTwips(frame.width(), TwipsPerPixelX());
    c.height = ToTwips(frame.height(), TwipsPerPixelY());
    if (!SaveChoices(store_, c)) std::fputs("CAT: the settings could not be saved.\n", stderr);
}

void MainWindow::ExitWhenIdle() {
    // A click can only meet a running tick inside a box the tick opened; close once it is over,
    // without blocking the loop that will end it.
    if (link_->State().busy) {
        QTimer::singleShot(20, this, &MainWindow::ExitWhenIdle);
        return;
    }
    close();
}

void MainWindow::OnTopToggled() {
    if (link_->State().busy) {
        QTimer::singleShot(20, this, &MainWindow::OnTopToggled);
        return;
    }
    SetOnTop(onTopButton_->isChecked());
}

void MainWindow::SetOnTop(bool onTop) {
    pollTimer_->SetEnabled(false);
    onTop_ = onTop;
    // Changing the flag on the native window keeps its place and size and does not activate it;
    // QWidget::setWindowFlag would hide and re-create a visible window.
    if (QWindow* window = windowHandle()) {
        window->setFlag(Qt::WindowStaysOnTopHint, onTop);
    } else {
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    }
    pollTimer_->SetEnabled(true);
}

void MainWindow::ShowHelp() { messages_.Information(kHelpTitle, HelpBoxText()); }

void MainWindow::OpenToggled() {
    const bool ticked = openButton_->isChecked();
    try {
        // A rig-sharing server's port speaks the server's language: the list need not be set.
        if (ticked && protocolList_->currentIndex() < 0 &&
            !ThroughServer(PortKindAt(store_, portList_->currentIndex()))) {
            // Nothing to open a link for: the doctor says so, and the list is there to pick from.
            link_->State().protocol = Protocol::None;
            ReleaseOpenForProtocol();
            // A network entry that is no address is said first: it is the entry that is wrong,
            // and choosing a protocol would not mend it.
            const auto number = static_cast<std::int16_t>(portList_->currentIndex() + 1);
            const std::string device = DeviceForPort(store_, number);
            if (IsNetworkAddress(device) && !ParsePortTarget(device)) {
                linkDoctor_->OpenFailed(
                    CommError(CommFault::InvalidNetworkAddress, PortLabel(number, device), device));
                return;
            }
            linkDoctor_->OpenFailed(CatError(ErrorKind::InvalidValue, "No protocol is chosen."));
            return;
        }
        if (ticked) {
            linkChoices_ = GatherLinkChoices();
            replug_->Tick();  // opens, or waits for a device that is not there
        } else {
            transmit_->Closing();
            replug_->Untick();
            linkDoctor_->Closed();
        }
        EnableSetup(!ticked);
    } catch (const CatError& e) {
        // Open stays ticked with the setup editable, as it always has; the keyboard goes to
        // what to change.
        SetupControlFor(e)->setFocus(Qt::OtherFocusReason);
        linkDoctor_->OpenFailed(e);
        messages_.Critical(OpenErrorText(e.Number(), e.Description()));
    } catch (const std::exception& e) {
        portList_->setFocus(Qt::OtherFocusReason);
        messages_.Critical(OpenErrorText(ErrorNumber(ErrorKind::InvalidValue), e.what()));
    }
}

// With no protocol there is nothing to open: Open is released and the setup stays editable, the
// keyboard on the protocol list. No state where the choices are greyed while nothing runs.
void MainWindow::ReleaseOpenForProtocol() {
    {
        const QSignalBlocker quiet(openButton_);
        openButton_->setChecked(false);
    }
    EnableSetup(true);
    protocolList_->setFocus(Qt::OtherFocusReason);
}

// The setup is editable while no link runs; a rig-sharing server's port sets the radio's
// protocol, address and speed itself, so those stay greyed and say why.
void MainWindow::EnableSetup(bool editable) {
    portList_->setEnabled(editable);
    const std::optional<PortTarget> target =
        ParsePortTarget(DeviceForPort(store_, static_cast<std::int16_t>(PortNumber())));
    const bool server = target && ThroughServer(target->kind);
    const QString why =
        server
            ? QStringLiteral("%1 at %2 uses its own settings for the radio: not used here")
                  .arg(Q(std::string(ServerFamily(target->kind)->Name())), Q(HostAndPort(*target)))
            : QString();
    for (QWidget* w : {static_cast<QWidget*>(protocolList_), static_cast<QWidget*>(speedList_),
                       static_cast<QWidget*>(addressBox_)}) {
        w->setEnabled(editable && !server);
        w->setToolTip(why);
    }
}

// The setup control an open failure is about: the address or the speed when the link refused
// them, the port for everything the port itself raised.
QWidget* MainWindow::SetupControlFor(const CatError& error) const {
    if (error.Number() == ErrorNumber(ErrorKind::InvalidValue)) return addressBox_;
    if (error.Number() == ErrorNumber(ErrorKind::TypeMismatch)) return speedList_;
    return portList_;
}

void MainWindow::PollTimerFired() {
    transmit_->Ticked(link_->Tick(isMinimized(), readingBox_));
    CheckSetTaken();
}

void MainWindow::BytesArrived() {
    // Find radio reads the port itself while it runs.
    if (!linkDoctor_->Scanning()) link_->Receive();
}

void MainWindow::SendFrequency() {
    const QString typed = frequencyEntry_->text().trimmed();
    const auto refuse = [&](const QString& brief, const QString& whole) {
        ShowNotice(brief, whole);
        frequencyEntry_->setFocus(Qt::OtherFocusReason);
        frequencyEntry_->selectAll();
    };
    // The display's own text ("14.074.50") reads as it shows; anything else is megahertz in the
    // regional format, a comma where the locale writes one.
    std::optional<std::int64_t> hertz = HertzFromDisplayText(typed.toStdString());
    if (!hertz) {
        bool ok = false;
        const double megahertz = QLocale().toDouble(typed, &ok);
        if (ok) hertz = HertzFromMegahertz(megahertz);
    }
    if (!hertz)
        return refuse(QStringLiteral("Not a frequency: %1").arg(typed),
                      QStringLiteral("\"%1\" is not a frequency. Type megahertz, for example "
                                     "14.074 or 7.0745, or the display's own 14.074.50.")
                          .arg(typed));
    if (*hertz >= kHighestSetHertz)
        return refuse(QStringLiteral("Out of range: %1 MHz").arg(typed),
                      QStringLiteral("%1 MHz is more than any radio here takes (below 1000 MHz). "
                                     "The entry is in megahertz: 14074 kHz is 14.074.")
                          .arg(typed));
    if (!port_->IsOpen() || link_->State().protocol == Protocol::None)
        return refuse(QStringLiteral("Link closed: nothing sent"),
                      QStringLiteral("The frequency was not sent: tick Open first."));
    SkipOnFailure([&] { SetRadioFrequency(link_->State(), *platform_, *hertz); });
    // Read back at the next tick instead of up to a poll period later: the display follows at
    // once, and a radio that did not take the frequency is found out.
    link_->State().lastPoll.reset();
    pendingSet_ = PendingSet{*hertz, watch_->Now()};
}

void MainWindow::CheckSetTaken() {
    if (!pendingSet_) return;
    const double now = watch_->Now();
    const std::optional<double> reading = watch_->Line().Summary().lastReading;
    if (reading && *reading > pendingSet_->sentAt && link_->State().frequencyHz) {
        // The set commands carry 10 Hz steps: a reading within a step is the frequency asked.
        const bool taken = std::llabs(*link_->State().frequencyHz - pendingSet_->hertz) < 10;
        if (!taken) {
            const QString asked = MegahertzText(pendingSet_->hertz);
            ShowNotice(QStringLiteral("Refused %1 MHz").arg(asked),
                       QStringLiteral("The radio did not take %1 MHz: it reports %2 MHz "
                                      "after the set. The frequency may be outside its "
                                      "bands, or the radio may be locked.")
                           .arg(asked, MegahertzText(*link_->State().frequencyHz)));
        }
        pendingSet_.reset();
    } else if (now - pendingSet_->sentAt > kSetReadBackSeconds) {
        pendingSet_.reset();  // no reading came: the doctor says why
    }
}

void MainWindow::SendMode() {
    // Failures are handled inside the senders; nothing else may escape a slot.
    SkipOnFailure([&] {
        SetRadioMode(link_->State(), *platform_, static_cast<ModeIndex>(modeList_->currentIndex()),
                     false);
    });
}

int MainWindow::PortNumber() const { return portList_->currentIndex() + 1; }

std::string MainWindow::SpeedText() const { return speedList_->currentText().toStdString(); }

std::string MainWindow::ProtocolText() const { return protocolList_->currentText().toStdString(); }

std::vector<int> MainWindow::SpeedChoices() const {
    std::vector<int> speeds;
    for (int i = 0; i < speedList_->count(); ++i) speeds.push_back(speedList_->itemText(i).toInt());
    return speeds;
}

bool MainWindow::LinkTicked() const { return openButton_->isChecked(); }

void MainWindow::ReleaseOpen() {
    if (openButton_->isChecked()) openButton_->click();
}

void MainWindow::ReopenWith(const LinkSettingsChange& change) {
    ReleaseOpen();
    if (change.protocolPosition) protocolList_->setCurrentIndex(*change.protocolPosition);
    if (change.speed) speedList_->setCurrentText(QString::number(*change.speed));
    if (!change.address.empty()) addressBox_->setText(Q(change.address));
    openButton_->click();
}

// From a port a rig-sharing server holds to a test through that server, in one click: the
// server's entry goes to a Com number (the one that has it already, else a free one, never a key
// written by hand), which is chosen and opened.
void MainWindow::OpenThroughServer(const QString& entry) {
    const std::optional<PortTarget> server = ParsePortTarget(entry.toStdString());
    if (!server) return;
    const std::vector<PortRow> rows = DescribePorts(store_, TakeDeviceSnapshot());
    const std::optional<std::int16_t> com = ComForServer(rows, *server);
    if (!com) {
        ShowNotice(QStringLiteral("No free Com number"),
                   QStringLiteral("Every Com number has an entry in [Ports]: write %1 to one of "
                                  "them in the settings file, then choose it.")
                       .arg(entry));
        return;
    }
    ReleaseOpen();
    if (!rows[static_cast<std::size_t>(*com - kFirstPort)].mapped) {
        store_.Write(kPortsGroup, PortKey(*com), entry.toStdString());
        if (!store_.Sync()) {
            ShowNotice(QStringLiteral("Not saved: Com%1=%2").arg(*com).arg(entry),
                       QStringLiteral("The settings file could not be written, so Com %1 does "
                                      "not open %2.")
                           .arg(*com)
                           .arg(entry));
            return;
        }
    }
    portListWatch_->Refresh();
    portList_->setCurrentIndex(*com - kFirstPort);
    openButton_->click();
}

void MainWindow::ShowStatus(const QString& brief, bool problem, const QString& whole) {
    doctorStatus_ = {brief, problem, whole};
    ShowStatusWords();
}

// What the window says of the operator's own request stays a few seconds, whatever the doctor
// says meanwhile; then the doctor's words come back.
void MainWindow::ShowNotice(const QString& brief, const QString& whole) {
    notice_ = StatusWords{brief, true, whole};
    ShowStatusWords();
    noticeTimer_.start(kNoticeMs);
    linkDoctor_->Note(whole);
}

void MainWindow::NoticeOver() {
    notice_.reset();
    ShowStatusWords();
}

void MainWindow::ShowTransmitAlert(const QString& brief, const QString& whole) {
    transmitAlert_ = StatusWords{brief, true, whole};
    ShowStatusWords();
}

void MainWindow::ClearTransmitAlert() {
    transmitAlert_.reset();
    ShowStatusWords();
}

// A transmit alert comes before a notice, and a notice before the doctor's words.
void MainWindow::ShowStatusWords() {
    const StatusWords& words = transmitAlert_ ? *transmitAlert_
                               : notice_      ? *notice_
                                              : doctorStatus_;
    ShowStatusLine(words.brief, words.problem, words.whole);
}

void MainWindow::ShowStatusLine(const QString& brief, bool problem, const QString& whole) {
    // Every brief is made short enough for the line, its key fact first; what is longer all the
    // same (an entry quoted back) is cut at its end, and the whole stays in the tooltip and the
    // details. A problem is marked by a sign and a colour, so it reads as one at a glance.
    const QString sign = problem ? QStringLiteral("! ") : QString();
    statusLine_->setText(
        statusLine_->fontMetrics().elidedText(sign + brief, Qt::ElideRight, statusLine_->width()));
    QPalette palette = statusLine_->palette();
    palette.setColor(QPalette::WindowText,
                     problem ? QColor(QLatin1String(kProblemColour))
                             : QApplication::palette(statusLine_).color(QPalette::WindowText));
    statusLine_->setPalette(palette);
    statusLine_->setToolTip(whole);
    statusLine_->setAccessibleDescription(whole);
}

void MainWindow::ShowReadingStale(bool stale) {
    QPalette palette = reading_->palette();
    const QPalette normal = QApplication::palette(reading_);
    const QColor text = normal.color(QPalette::Text);
    const QColor base = normal.color(QPalette::Base);
    // Half way to the background: plainly faded on any theme, still readable.
    const QColor faded((text.red() + base.red()) / 2, (text.green() + base.green()) / 2,
                       (text.blue() + base.blue()) / 2);
    palette.setColor(QPalette::Text, stale ? faded : text);
    reading_->setPalette(palette);
}

QRect MainWindow::Frame() const { return frameGeometry(); }

}  // namespace cat
