#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/comm_port.h"
#include "core/session_state.h"
#include "core/settings_store.h"
#include "doctor/link_watch.h"
#include "link/link.h"
#include "link/link_control.h"
#include "link/poll_cycle.h"
#include "qt/platform/qt_platform.h"
#include "qt/window/link_doctor_host.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cat {
class CatError;
}

namespace cat {

class ReplugWatch;
class PortListWatch;
class QtCommPort;
class LinkDoctor;
class TransmitSafety;

// The program's one window. Its controls are its own; handlers gather the operator's choices and
// hand them to the link, which runs the line. The link doctor reaches the window through
// LinkDoctorHost only.
class MainWindow : public QWidget, private LinkDoctorHost, private LinkObserver {
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
    double TwipsPerPixelX() const;
    double TwipsPerPixelY() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The radio's reading as the poll routine writes it.
    class ReadingBox : public DisplayBox {
    public:
        explicit ReadingBox(QLineEdit*& box) : box_(box) {}
        std::string Text() const override;
        void SetText(const std::string& text) override;

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
    void BytesArrived();
    void SendFrequency();
    void SendMode();

    void BuildControls();
    void CreateControls();
    void AddShortcuts();
    void FindControls();
    void DressControls();
    void ConnectControls();
    void SetTabOrder();
    void LoadChoices();
    void SaveChoicesOnClose();
    void SetOnTop(bool onTop);
    void RestorePosition(double topTwips, double leftTwips);
    void UpdatePortTooltip();
    // Ports by name and replug recovery, kept apart from the handlers above.
    void StartPortList();
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
    void ShowTransmitAlert(const QString& brief, const QString& whole);
    void ClearTransmitAlert();
    void ShowNotice(const QString& brief, const QString& whole);
    void NoticeOver();
    void OpenThroughServer(const QString& entry);
    void ShowStatusWords();
    void ShowStatusLine(const QString& brief, bool problem, const QString& whole);
    QRect Twips(int left, int top, int width, int height) const;

    // Controls, in window order.
    QPushButton* onTopButton_ = nullptr;  // push-button style toggles stay pressed while on
    QPushButton* helpButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QLineEdit* reading_ = nullptr;  // frequency and mode as the radio reports them
    QGroupBox* setupFrame_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QComboBox* speedList_ = nullptr;
    QLineEdit* addressBox_ = nullptr;
    QComboBox* portList_ = nullptr;
    QComboBox* protocolList_ = nullptr;
    QGroupBox* sendFrame_ = nullptr;
    QComboBox* modeList_ = nullptr;
    QLineEdit* frequencyEntry_ = nullptr;
    QPushButton* setButton_ = nullptr;
    QLabel* statusLine_ = nullptr;  // the link's state in words, below the buttons
    QPushButton* detailsButton_ = nullptr;
    QTimer* pollTicks_ = nullptr;

    SettingsStore& store_;
    std::unique_ptr<QtCommPort> port_;
    std::unique_ptr<doctor::LinkWatch> watch_;  // port_ as the core routines reach it
    LinkDoctor* linkDoctor_ = nullptr;
    TransmitSafety* transmit_ = nullptr;
    struct StatusWords {
        QString brief;
        bool problem = false;
        QString whole;
    };
    // What the status line may say, the first of these that is there.
    std::optional<StatusWords> transmitAlert_;
    std::optional<StatusWords> notice_;
    StatusWords doctorStatus_;
    bool pollingBeforeTest_ = false;
    struct PendingSet {
        std::int64_t hertz = 0;
        double sentAt = 0;  // on the watch's clock
    };
    std::optional<PendingSet> pendingSet_;
    QTimer noticeTimer_;
    QtClock clock_;
    QtPause pause_;
    QtMessageBoxes messages_{this};
    std::unique_ptr<QtPollTimer> pollTimer_;
    std::unique_ptr<Platform> platform_;
    std::unique_ptr<Link> link_;
    ReadingBox readingBox_{reading_};
    bool onTop_ = false;
    LinkChoices linkChoices_;  // what the last tick opened; a replug reopens the same
    std::unique_ptr<ReplugWatch> replug_;
    std::unique_ptr<PortListWatch> portListWatch_;
};

}  // namespace cat
