#pragma once

// Transmit safety in the window: the radio found transmitting unasked (at open, or later), the
// line that keyed it with a button that writes the port's entry, the modem lines, and the
// operator's PTT test with its certain unkey. The window tells it what happens to the link; it
// shows its findings through its signals and in its own section of the details panel.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>

#include "core/platform.h"
#include "core/session_state.h"
#include "core/settings_store.h"
#include "link/link.h"
#include "link/ptt_test.h"
#include "link/transmit_watch.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QWidget;

namespace cat {

class QtCommPort;

class TransmitSafety : public QObject {
    Q_OBJECT

public:
    // `platform` reaches the port the link uses; `port` is the one underneath.
    TransmitSafety(Link& link, Platform& platform, QtCommPort& port, SettingsStore& store,
                   QWidget& window);
    ~TransmitSafety() override;

    // What happens to the link. Every way the link ends unkeys a test first.
    void Opened();
    void Closing();
    void PortLost();
    // After each tick of the link: what its transmit watch found, if anything.
    void Ticked(const std::optional<TransmitFinding>& finding);

    // The section of the details panel, made when the panel is.
    QWidget* MakeSection(QWidget* parent);
    bool TestRunning() const { return test_ != nullptr; }

public slots:
    void StartTest();

signals:
    // The status line shows this, as a problem, until AlertCleared.
    void Alert(const QString& brief, const QString& whole);
    void AlertCleared();
    // A finding the operator must act on: the details panel opens.
    void WantsDetails();
    // The test holds the poll off while it keys (true) and gives it back (false).
    void HoldPolling(bool hold);

private:
    void Show(const TransmitFinding& finding);
    void ShowFinding();
    void ReadWhileKeyed();
    void EndTest(PttEnd end);
    void WriteLineEntry();
    void ShowLines();
    int Port() const;
    bool Confirmed(PttMethod method, Seconds duration);

    SessionState& state_;
    Platform& platform_;
    QtCommPort& port_;
    SettingsStore& store_;
    QWidget& window_;
    TransmitWatch& watch_;  // the link's
    std::unique_ptr<PttTest> test_;
    QTimer readTimer_;
    QTimer endTimer_;
    int ticks_ = 0;
    std::optional<ControlLine> entryLine_;  // the line the entry button sets low
    QString findingText_;                   // the last finding, for a section made after it
    bool findingProblem_ = false;

    // The section and its controls below, which go with it when the details panel does.
    QPointer<QWidget> section_;
    QLabel* lines_ = nullptr;
    QLabel* finding_ = nullptr;
    QPushButton* writeEntry_ = nullptr;
    QComboBox* method_ = nullptr;
    QDoubleSpinBox* seconds_ = nullptr;
    QPushButton* testButton_ = nullptr;
    QLabel* result_ = nullptr;
};

}  // namespace cat
