#pragma once

#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "control/set_confirmation.h"
#include "core/comm_port.h"
#include "core/session_state.h"
#include "core/settings_store.h"
#include "doctor/link_watch.h"
#include "link/link.h"
#include "link/link_control.h"
#include "link/poll_cycle.h"
#include "qt/platform/qt_platform.h"
#include "qt/platform/qt_text.h"
#include "qt/window/link_doctor_host.h"
#include "qt/window/status_line_view.h"
#include "qt/window/window_layout.h"
#include "shell/known_port_file.h"

namespace cat {
class CatError;
}

namespace cat {

class ReplugWatch;
class PortListWatch;
class QtCommPort;
class LinkDoctor;
class TransmitSafety;

// The program's one window. Its controls are its own (made from the table in window_layout);
// handlers gather the operator's choices and hand them to the link, which runs the line. The link
// doctor reaches the window through LinkDoctorHost only.
class MainWindow : public QWidget,
                   private LinkDoctorHost,
                   private LinkObserver,
                   private WindowControls {
    Q_OBJECT

public:
    explicit MainWindow(SettingsStore& store, QWidget* parent = nullptr);
    ~MainWindow() override;

    const SessionState& State() const { return link_->State(); }
    SessionState& State() { return link_->State(); }
    CommPort& Port();
    LinkDoctor& Doctor() { return *linkDoctor_; }
    TransmitSafety& Transmit() { return *transmit_; }
    // The link's life across unplug and replug: its state and signals for a status line.
    ReplugWatch& Replug() { return *replug_; }
    // The port list's entries, kept saying what each Com N opens.
    PortListWatch& PortList() { return *portListWatch_; }
    bool OnTop() const { return onTop_; }
    // The status line: a brief, whether it is a problem, and the whole for tooltip and reader.
    void ShowStatus(const QString& brief, bool problem, const QString& whole) override;
    double TwipsPerPixelX() const { return cat::TwipsPerPixelX(*this); }
    double TwipsPerPixelY() const { return cat::TwipsPerPixelY(*this); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The radio's reading as the poll routine writes it.
    class ReadingBox : public DisplayBox {
    public:
        explicit ReadingBox(QLineEdit*& box) : box_(box) {}
        std::string Text() const override { return box_->text().toStdString(); }
        void SetText(const std::string& text) override { box_->setText(Q(text)); }

    private:
        QLineEdit*& box_;
    };

    // LinkDoctorHost
    int PortNumber() const override;
    std::string SpeedText() const override;
    std::string ProtocolText() const override;
    std::vector<int> SpeedChoices() const override;
    bool LinkTicked() const override;
    void ReleaseOpen() override;
    void ReopenWith(const LinkSettingsChange& change) override;
    void ShowReadingStale(bool stale) override;
    QRect Frame() const override;

    // LinkObserver
    void Opened(const SessionState& state, Handshake flowControl) override;
    void Ticked(const SessionState& state) override;

    // Handlers of the controls, the poll timer and the port.
    void OnTopToggled();
    void ShowHelp();
    void ExitWhenIdle();
    void OpenToggled();
    void PollTimerFired();
    void TickLink();
    void BytesArrived();
    // Ticks the link once more when it has something to do before the next regular tick (a
    // step of the check, the first read, the next poll): see Link::NextDue. After a tick of its
    // own that left the link's turn still due, the regular tick takes it, so no timer spins.
    void ArmDueTick(bool afterDueTick = false);
    void SendFrequency();
    void SendMode();

    void ConnectControls();
    void LoadChoices();
    // Ports by name and replug recovery, kept apart from the handlers above.
    void StartReplugWatch();
    LinkChoices GatherLinkChoices() const;
    void OpenLinkFromChoices(bool afterLoss);
    void ReleaseOpenForProtocol();
    void EnableSetup(bool editable);
    QWidget* SetupControlFor(const CatError& error) const;
    // After a set, the next reading says whether the radio took it.
    void CheckSetTaken();
    void StartTransmitSafety();
    // A transmit alert holds the status line until it is cleared; the doctor's words meanwhile
    // are kept and come back after it.
    void ShowTransmitAlert(const QString& brief, const QString& whole) {
        statusWords_.ShowTransmitAlert(brief, whole);
    }
    void ClearTransmitAlert() { statusWords_.ClearTransmitAlert(); }
    void ShowNotice(const QString& brief, const QString& whole);
    void OpenThroughServer(const QString& entry);

    QTimer* pollTicks_ = new QTimer(this);
    QTimer* dueTick_ = new QTimer(this);

    SettingsStore& store_;
    std::unique_ptr<QtCommPort> port_;
    std::unique_ptr<doctor::LinkWatch> watch_;  // port_ as the core routines reach it
    LinkDoctor* linkDoctor_ = nullptr;
    TransmitSafety* transmit_ = nullptr;
    StatusLineView statusWords_{statusLine_};
    bool pollingBeforeTest_ = false;
    SetConfirmation setConfirmation_;
    QtClock clock_;
    QtPause pause_;
    QtMessageBoxes messages_{this};
    std::unique_ptr<QtPollTimer> pollTimer_;
    std::unique_ptr<Platform> platform_;
    std::unique_ptr<Link> link_;
    ReadingBox readingBox_{reading_};
    bool onTop_ = false;
    LinkChoices linkChoices_;  // what the last tick opened; a replug reopens the same
    CheckMemory checkMemory_;
    std::unique_ptr<ReplugWatch> replug_;
    std::unique_ptr<PortListWatch> portListWatch_;
};

}  // namespace cat
