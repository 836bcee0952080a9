#include "qt/window/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <variant>

#include "control/frequency_entry.h"
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
#include "qt/platform/qt_text.h"
#include "qt/ports/port_list.h"
#include "qt/ports/qt_comm_port.h"
#include "qt/ports/replug_watch.h"
#include "qt/window/link_doctor.h"
#include "qt/window/program_window.h"
#include "qt/window/transmit_safety.h"
#include "qt/window/window_choices.h"
#include "shell/device_holders.h"
#include "shell/known_port_file.h"
#include "shell/port_catalog.h"
#include "shell/startup.h"

namespace cat {

MainWindow::MainWindow(SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store), port_(std::make_unique<QtCommPort>(store)) {
    BuildWindowControls(*this, static_cast<WindowControls&>(*this));
    pollTicks_->setObjectName(QStringLiteral("pollTimer"));
    pollTicks_->setInterval(100);
    dueTick_->setSingleShot(true);
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

void MainWindow::ConnectControls() {
    connect(onTopButton_, &QPushButton::toggled, this, &MainWindow::OnTopToggled);
    connect(openButton_, &QPushButton::toggled, this, &MainWindow::OpenToggled);
    connect(helpButton_, &QPushButton::clicked, this, &MainWindow::ShowHelp);
    connect(exitButton_, &QPushButton::clicked, this, &MainWindow::ExitWhenIdle);
    connect(setButton_, &QPushButton::clicked, this, &MainWindow::SendFrequency);
    connect(frequencyEntry_, &QLineEdit::returnPressed, setButton_, &QPushButton::click);
    connect(modeList_, &QComboBox::activated, this, &MainWindow::SendMode);
    connect(portList_, &QComboBox::currentIndexChanged, this,
            [this] { EnableSetup(!openButton_->isChecked()); });
    connect(detailsButton_, &QPushButton::clicked, linkDoctor_, &LinkDoctor::ShowDetails);
    connect(pollTicks_, &QTimer::timeout, this, &MainWindow::PollTimerFired);
    connect(dueTick_, &QTimer::timeout, this, [this] {
        // Polling held off (Find radio, a PTT test, a closed link) holds this tick off too.
        if (!pollTicks_->isActive()) return;
        TickLink();
        ArmDueTick(true);
    });
    connect(port_.get(), &QtCommPort::BytesArrived, this, &MainWindow::BytesArrived);
}

void MainWindow::LoadChoices() {
    // A second running copy never gets here: main() ends it before the window exists.
    const RestoredChoices choices = RestoreChoices(store_);
    move(PlaceFromTwips(*this, choices.top, choices.left));
    FillDigitCharacters(link_->State());
    ShowChoices(*this, choices);
    portListWatch_ = std::make_unique<PortListWatch>(store_, *portList_);
    EnableSetup(true);
    onTopButton_->setChecked(choices.onTop);
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
    setup.family = FamilyAt(protocolList_->currentIndex());
    setup.portListIndex = portList_->currentIndex();
    setup.addressText = addressBox_->text().toStdString();
    setup.speedText = speedList_->currentText().toStdString();
    return WithPortEntry(std::move(setup), store_);
}

void MainWindow::OpenLinkFromChoices(bool afterLoss) {
    const std::string device =
        DeviceForPort(store_, static_cast<std::int16_t>(linkChoices_.portListIndex + 1));
    linkDoctor_->LookForHolders(device);
    if (afterLoss) {
        checkMemory_.Reopened();
        link_->Reopen();
    } else {
        link_->Open(checkMemory_.Opening(linkChoices_, device));
    }
    ArmDueTick();
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
    if (!SaveChoices(store_, ChoicesShown(*this, *this)))
        std::fputs("CAT: the settings could not be saved.\n", stderr);
    event->accept();
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
    pollTimer_->SetEnabled(false);
    onTop_ = onTopButton_->isChecked();
    KeepOnTop(*this, onTop_);
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
    TickLink();
    if (!dueTick_->isActive()) ArmDueTick();
}

void MainWindow::TickLink() {
    transmit_->Ticked(link_->Tick(isMinimized(), readingBox_));
    checkMemory_.Follow(*link_);
    CheckSetTaken();
}

void MainWindow::ArmDueTick(bool afterDueTick) {
    const std::optional<Seconds> due = link_->NextDue();
    if (!due || !pollTicks_->isActive() || isMinimized()) return;
    const double ms = std::ceil((*due - clock_.Now()).count() * 1000.0);
    if (ms <= 0 && afterDueTick) return;
    if (ms < pollTicks_->interval()) dueTick_->start(static_cast<int>(std::max(0.0, ms)));
}

void MainWindow::BytesArrived() {
    // Find radio reads the port itself while it runs.
    if (linkDoctor_->Scanning()) return;
    const QString shown = reading_->text();
    link_->Receive(isMinimized(), readingBox_);
    // A reading that came between ticks is judged with it: the first one must not show greyed,
    // under "Waiting for radio", until the next tick.
    if (reading_->text() != shown) linkDoctor_->Update();
    if (!dueTick_->isActive()) ArmDueTick();
}

void MainWindow::SendFrequency() {
    const QString typed = frequencyEntry_->text().trimmed();
    const QLocale region;
    std::variant<std::int64_t, Refusal> entry = HertzFromEntry(
        typed.toStdString(),
        {region.decimalPoint().toStdString(), region.groupSeparator().toStdString()});
    if (std::holds_alternative<std::int64_t>(entry) &&
        (!port_->IsOpen() || link_->State().protocol == Protocol::None))
        entry =
            Refusal{"Link closed: nothing sent", "The frequency was not sent: tick Open first."};
    if (const auto* refusal = std::get_if<Refusal>(&entry)) {
        ShowNotice(Q(refusal->brief), Q(refusal->whole));
        frequencyEntry_->setFocus(Qt::OtherFocusReason);
        frequencyEntry_->selectAll();
        return;
    }
    const std::int64_t hertz = std::get<std::int64_t>(entry);
    SkipOnFailure([&] { SetRadioFrequency(link_->State(), *platform_, hertz); });
    // Read back at the next tick instead of up to a poll period later: the display follows at
    // once, and a radio that did not take the frequency is found out.
    link_->State().lastPoll.reset();
    setConfirmation_.Sent(hertz, watch_->Now());
}

void MainWindow::CheckSetTaken() {
    const std::optional<Refusal> refused = setConfirmation_.Check(
        watch_->Now(), watch_->Line().Summary().lastReading, link_->State().frequencyHz);
    if (refused) ShowNotice(Q(refused->brief), Q(refused->whole));
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
    const ServerCom mapped =
        PutServerOnCom(store_, DescribePorts(store_, TakeDeviceSnapshot()), entry.toStdString());
    if (mapped.com) ReleaseOpen();
    if (mapped.refusal) return ShowNotice(Q(mapped.refusal->brief), Q(mapped.refusal->whole));
    if (!mapped.com) return;
    portListWatch_->Refresh();
    portList_->setCurrentIndex(*mapped.com - kFirstPort);
    openButton_->click();
}

void MainWindow::ShowStatus(const QString& brief, bool problem, const QString& whole) {
    statusWords_.ShowDoctor(brief, problem, whole);
}

// The details keep what the window said of the operator's own request after the line moves on.
void MainWindow::ShowNotice(const QString& brief, const QString& whole) {
    statusWords_.ShowNotice(brief, whole);
    linkDoctor_->Note(whole);
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
