#pragma once

// The link doctor in the window: the status line below the buttons, the stale look of the
// display, and the details panel with the diagnosis in full, the traffic monitor and Find radio.
// The window tells it what happens to the link; it asks the core what that means, and reaches the
// window back through LinkDoctorHost only.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "doctor/diagnosis.h"
#include "doctor/link_watch.h"
#include "doctor/monitor_text.h"
#include "doctor/scan.h"
#include "link/link.h"
#include "qt/window/link_doctor_host.h"
#include "shell/device_holders.h"
#include "shell/host_check.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace cat {

class QtCommPort;

class LinkDoctor : public QObject {
    Q_OBJECT

public:
    // `link` is the window's link, which the doctor watches through `watch`.
    LinkDoctor(LinkDoctorHost& window, Link& link, QtCommPort& port, doctor::LinkWatch& watch,
               QObject* parent = nullptr);
    ~LinkDoctor() override;

    // What happened to the link, as the window sees it. Before each open the window names the
    // device it opens, and the doctor looks for other programs that hold it.
    void LookForHolders(const std::string& device);
    void Opened();
    void OpenFailed(const CatError& error);
    void Closed();
    void Lost();
    void WaitingForDevice(bool waiting);

    bool Scanning() const { return scanner_ != nullptr; }
    // A section of the panel another part of the window owns, placed above the traffic.
    void SetSection(std::function<QWidget*(QWidget* parent)> make) {
        makeSection_ = std::move(make);
    }
    const doctor::Verdict& Current() const { return verdict_; }
    QWidget* Details() const { return panel_; }  // nothing until first opened
    // The diagnosis and the traffic as a text file; Save asks for `path` in a file dialog. False,
    // with the reason in the panel, when the file could not be written.
    bool SaveReport(const QString& path);
    // What the window said of the operator's own request (a refused Set): the status line shows
    // it for a few seconds, the monitor keeps it among the traffic it concerns.
    void Note(const QString& whole);

signals:
    // The link opened on a device other programs hold too: a notice for the status line.
    void SharedOpen(const QString& brief, const QString& whole);
    // The operator asked to test the radio through the server that holds its port: the window
    // maps `entry` ("rigctld://localhost:4532") to a Com number, chooses it and opens it.
    void TestThroughServer(const QString& entry);

public slots:
    void Update();
    void ShowDetails();
    void FindRadio();
    void CancelScan();

private:
    doctor::LinkFacts Facts() const;
    void ShowVerdict();
    void ShowStale(bool stale);
    void BuildPanel();
    void BuildActions(QVBoxLayout& layout);
    void BuildMonitor(QVBoxLayout& layout);
    void FillPanel();
    void AppendTraffic();
    void ScanStep();
    void ScanOver();
    void UseAddress();
    void ApplyFound();
    // Find radio leaves a port another program holds alone; true when it does, saying why.
    bool RefuseScan();
    void OfferServer(const std::vector<HoldingProcess>& holders, const std::string& port);
    void CopyReport();
    void AskAndSave();
    QString ReportText() const;

    LinkDoctorHost& window_;
    Link& link_;
    QtCommPort& port_;
    doctor::LinkWatch& watch_;
    QTimer ticker_;  // the status follows the line while a link is open or a scan runs
    doctor::Verdict verdict_;
    bool stale_ = false;

    // The details panel, made the first time it is asked for.
    QPointer<QWidget> panel_;
    QLabel* diagnosis_ = nullptr;
    QLabel* scanState_ = nullptr;
    QPushButton* useAddress_ = nullptr;
    QPushButton* findRadio_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPlainTextEdit* monitor_ = nullptr;
    QPushButton* pause_ = nullptr;
    bool following_ = true;  // the reader is at the end of the traffic
    QLabel* saved_ = nullptr;
    const doctor::LineAnalyzer* shownLine_ = nullptr;
    doctor::MonitorCursor shown_;
    std::size_t shownScanLines_ = 0;
    QStringList notes_;  // not in the monitor yet: made later, or paused
    int ticksSinceTraffic_ = 0;

    std::unique_ptr<doctor::Scanner> scanner_;
    bool pollingBeforeScan_ = false;
    std::optional<doctor::Found> found_;
    std::function<QWidget*(QWidget*)> makeSection_;

    // Other programs that hold the port: looked for before each open, said after it.
    std::vector<HoldingProcess> holders_;
    // What the computer does to the port, looked at before each open: a finding that explains
    // the verdict joins its words and gives its advice.
    std::vector<HostFinding> host_;
    std::string hostDevice_;
    std::string sharedWarning_;  // the open link shares its device with them
    struct ServerOffer {
        HoldingProcess server;
        std::string text;  // "Com 3 is held by rigctld (process 1234): test through it"
    };
    std::optional<ServerOffer> offer_;
    QPushButton* testThrough_ = nullptr;
};

}  // namespace cat
