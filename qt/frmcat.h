#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "core/comm_port.h"
#include "core/session_state.h"
#include "core/settings_store.h"
#include "doctor/link_watch.h"
#include "link/link_control.h"
#include "link/poll_cycle.h"
#include "qt/qt_platform.h"

namespace cat {

class ReplugWatch;
class PortListWatch;
class QtCommPort;
class LinkDoctor;

// The program's one window. Handlers gather what the core routine needs and call it.
class frmCAT : public QWidget {
    Q_OBJECT

public:
    explicit frmCAT(SettingsStore& store, QWidget* parent = nullptr);
    ~frmCAT() override;

    SessionState& State() { return state_; }
    CommPort& Port();
    LinkDoctor& Doctor() { return *linkDoctor_; }
    // The link's life across unplug and replug: its state and signals for a status line.
    ReplugWatch& Replug() { return *replug_; }
    // The port list's entries, kept saying what each Com N opens.
    PortListWatch& PortList() { return *portList_; }
    bool OnTop() const { return onTop_; }
    double TwipsPerPixelX() const;
    double TwipsPerPixelY() const;

    // Controls, named as the operator's manual and the tests know them.
    QPushButton* chkOnTop;  // push-button style check boxes stay pressed while ticked
    QPushButton* cmdHelp;
    QPushButton* cmdExit;
    QGroupBox* fraTRX1;
    QLineEdit* txtFreq;
    QTimer* Timer1;
    QGroupBox* FraSetup;
    QPushButton* chkOpen;
    QComboBox* cboSpeed;
    QLineEdit* txtAddress;
    QComboBox* cboCom;
    QComboBox* cboSelect;
    QLabel* lblSpeed;
    QLabel* lblAddress;
    QLabel* LblCom;
    QLabel* lblProtocol;
    QGroupBox* fraTrx;
    QComboBox* cboMode;
    QLineEdit* txtFreqTRX;
    QPushButton* cmdSet;
    QLabel* lblStatus;        // the link's state in words, below the buttons
    QPushButton* cmdDetails;  // opens the link doctor's details

public slots:
    void chkOnTop_Click();
    void cmdHelp_Click();
    void cmdExit_Click();
    void chkOpen_Click();
    void Timer1_Timer();
    void comCAT_OnComm();
    void cmdSet_Click();
    void cboMode_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class TxtFreqBox : public DisplayBox {
    public:
        explicit TxtFreqBox(QLineEdit*& box) : box_(box) {}
        std::string Text() const override;
        void SetText(const std::string& text) override;

    private:
        QLineEdit*& box_;
    };

    void BuildControls();
    template <typename T>
    void Bind(T*& member, const char* name);
    void SetTabOrder();
    void Form_Load();
    void Form_QueryUnload();
    void Form_Unload();
    void AlwaysOnTop(bool setOnTop);
    void RestorePosition(double topTwips, double leftTwips);
    void UpdatePortTooltip();
    // Ports by name and replug recovery, kept apart from the handlers above.
    void StartPortList();
    void StartReplugWatch();
    LinkChoices GatherLinkChoices() const;
    void OpenLinkFromChoices(bool afterLoss);
    QRect Twips(int left, int top, int width, int height) const;

    SettingsStore& store_;
    SessionState state_;
    std::unique_ptr<QtCommPort> comCAT_;
    std::unique_ptr<doctor::LinkWatch> watch_;  // comCAT_ as the core routines reach it
    LinkDoctor* linkDoctor_ = nullptr;
    QtClock clock_;
    QtPause pause_;
    QtMessageBoxes messages_{this};
    std::unique_ptr<QtPollTimer> timer_;
    std::unique_ptr<Platform> platform_;
    TxtFreqBox display_{txtFreq};
    bool onTop_ = false;
    LinkChoices linkChoices_;  // what the last tick opened; a replug reopens the same
    std::unique_ptr<ReplugWatch> replug_;
    std::unique_ptr<PortListWatch> portList_;
};

}  // namespace cat
