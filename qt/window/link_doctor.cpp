#include "qt/window/link_doctor.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "core/cat_error.h"
#include "core/session_state.h"
#include "doctor/monitor_text.h"
#include "protocols/families.h"
#include "qt/ports/device_facts.h"
#include "qt/ports/qt_comm_port.h"
#include "shell/startup.h"

namespace cat {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

constexpr int kTicksPerTrafficUpdate = 4;
// More lines than a reader can follow in that time: a flood is counted, not laid out.
constexpr std::size_t kTrafficLinesPerUpdate = 500;

}  // namespace

LinkDoctor::LinkDoctor(LinkDoctorHost& window, QtCommPort& port, doctor::LinkWatch& watch,
                       QObject* parent)
    : QObject(parent), window_(window), port_(port), watch_(watch) {
    ticker_.setInterval(100);
    connect(&ticker_, &QTimer::timeout, this, &LinkDoctor::Update);
    Update();
}

LinkDoctor::~LinkDoctor() {
    if (scanner_) scanner_->Cancel();
    delete panel_;
}

doctor::LinkFacts LinkDoctor::Facts() const {
    doctor::LinkFacts f;
    f.protocol = window_.State().protocol;
    f.radioAddress = window_.State().radioAddress;
    f.port = "Com " + std::to_string(window_.PortNumber());
    f.device = port_.DeviceName();
    f.speed = window_.SpeedText();
    f.handshaking = port_.CurrentHandshake() == Handshake::RtsCts;
    return f;
}

void LinkDoctor::Opened() {
    if (window_.State().protocol == Protocol::None) {
        watch_.NoProtocolChosen(Facts());
    } else {
        watch_.Opened(Facts());
    }
    ticker_.start();
    Update();
}

void LinkDoctor::OpenFailed(const CatError& error) {
    const doctor::LinkFacts facts = Facts();
    const doctor::OpenFailure failure = OpenFailureFacts(error, facts.device);
    if (window_.State().protocol == Protocol::None) {
        watch_.NoProtocolChosen(facts);
    } else {
        watch_.OpenFailed(facts, failure);
    }
    ticker_.stop();
    Update();
}

void LinkDoctor::Closed() {
    watch_.Closed();
    if (!scanner_) ticker_.stop();
    Update();
}

void LinkDoctor::Lost() {
    watch_.Lost(port_.LostDetail());
    Update();
}

void LinkDoctor::WaitingForDevice(bool waiting) {
    watch_.WaitingForDevice(waiting);
    Update();
}

void LinkDoctor::Update() {
    const doctor::Verdict verdict = watch_.Diagnose();
    const bool changed = verdict.brief != verdict_.brief || verdict.text != verdict_.text;
    verdict_ = verdict;
    if (changed) ShowVerdict();
    // Old values must not pass for live ones: the display is greyed unless the radio answers.
    ShowStale(verdict_.kind != doctor::VerdictKind::Answering);
    if (panel_ && panel_->isVisible()) {
        if (changed) FillPanel();
        // The traffic scrolls a few times a second, not on every tick: laying out text is what
        // costs, and a reader sees no difference.
        if (++ticksSinceTraffic_ >= kTicksPerTrafficUpdate) {
            ticksSinceTraffic_ = 0;
            AppendTraffic();
        }
    }
}

void LinkDoctor::ShowVerdict() {
    QString whole = Q(verdict_.text);
    if (!verdict_.advice.empty()) whole += QStringLiteral("\n") + Q(verdict_.advice);
    window_.ShowStatus(Q(verdict_.brief), verdict_.problem, whole);
}

void LinkDoctor::ShowStale(bool stale) {
    if (stale == stale_) return;
    stale_ = stale;
    window_.ShowReadingStale(stale);
}

void LinkDoctor::ShowDetails() {
    if (!panel_) BuildPanel();
    FillPanel();
    AppendTraffic();
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

void LinkDoctor::BuildPanel() {
    // Made on first use only: most sessions never open it, and start-up stays as light as the
    // window alone.
    panel_ = new QWidget(nullptr, Qt::Window);
    panel_->setObjectName(QStringLiteral("linkDetails"));
    panel_->setWindowTitle(QStringLiteral("CAT: link details"));
    panel_->setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(panel_);

    diagnosis_ = new QLabel(panel_);
    diagnosis_->setObjectName(QStringLiteral("diagnosis"));
    diagnosis_->setWordWrap(true);
    diagnosis_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    diagnosis_->setAccessibleName(QStringLiteral("Diagnosis"));
    layout->addWidget(diagnosis_);
    BuildActions(*layout);
    if (makeSection_) layout->addWidget(makeSection_(panel_));
    BuildMonitor(*layout);
    panel_->resize(640, 420);
    // Beside the window, not over it: the display and the status line stay in sight.
    panel_->move(window_.Frame().topRight() + QPoint(8, 0));
}

void LinkDoctor::BuildActions(QVBoxLayout& layout) {
    auto* actions = new QHBoxLayout;
    useAddress_ = new QPushButton(panel_);
    useAddress_->setObjectName(QStringLiteral("useAddress"));
    findRadio_ = new QPushButton(QStringLiteral("Find radio"), panel_);
    findRadio_->setObjectName(QStringLiteral("findRadio"));
    findRadio_->setToolTip(
        QStringLiteral("Tries this port for every protocol at every speed of the list"));
    apply_ = new QPushButton(panel_);
    apply_->setObjectName(QStringLiteral("applyFound"));
    auto* copy = new QPushButton(QStringLiteral("Copy"), panel_);
    copy->setObjectName(QStringLiteral("copyReport"));
    copy->setToolTip(QStringLiteral("Copies the diagnosis and the traffic, to post or to keep"));
    for (QPushButton* b : {useAddress_, findRadio_, apply_, copy}) actions->addWidget(b);
    actions->addStretch();
    layout.addLayout(actions);
    connect(useAddress_, &QPushButton::clicked, this, &LinkDoctor::UseAddress);
    connect(findRadio_, &QPushButton::clicked, this,
            [this] { scanner_ ? CancelScan() : FindRadio(); });
    connect(apply_, &QPushButton::clicked, this, &LinkDoctor::ApplyFound);
    connect(copy, &QPushButton::clicked, this, &LinkDoctor::CopyReport);
}

void LinkDoctor::BuildMonitor(QVBoxLayout& layout) {
    scanState_ = new QLabel(panel_);
    scanState_->setObjectName(QStringLiteral("scanState"));
    layout.addWidget(scanState_);

    monitor_ = new QPlainTextEdit(panel_);
    monitor_->setObjectName(QStringLiteral("monitor"));
    monitor_->setAccessibleName(QStringLiteral("Traffic"));
    monitor_->setReadOnly(true);
    monitor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    monitor_->setMaximumBlockCount(static_cast<int>(doctor::LineAnalyzer::kKeptUnits));
    monitor_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout.addWidget(monitor_, 1);
}

void LinkDoctor::FillPanel() {
    QString html = QStringLiteral("<b>%1</b><br>%2")
                       .arg(Q(verdict_.brief).toHtmlEscaped(), Q(verdict_.text).toHtmlEscaped());
    if (!verdict_.advice.empty())
        html += QStringLiteral("<br>Try: ") + Q(verdict_.advice).toHtmlEscaped();
    if (verdict_.problem)
        html = QStringLiteral("<span style=\"color:%1\">%2</span>")
                   .arg(QLatin1String(kProblemColour), html);
    diagnosis_->setText(html);
    useAddress_->setVisible(!verdict_.useAddress.empty());
    useAddress_->setText(QStringLiteral("Use address %1").arg(Q(verdict_.useAddress)));
    findRadio_->setText(scanner_ ? QStringLiteral("Cancel") : QStringLiteral("Find radio"));
    apply_->setVisible(found_.has_value() && !scanner_);
    if (found_) apply_->setText(QStringLiteral("Use these settings"));
}

void LinkDoctor::AppendTraffic() {
    // A new link starts a new account of the line, and the monitor with it.
    const doctor::LineAnalyzer& line = watch_.Line();
    if (&line != shownLine_) {
        shownLine_ = &line;
        shown_ = {};
        monitor_->appendPlainText(QStringLiteral("--- %1 on %2 at %3 baud ---")
                                      .arg(Q(doctor::ProtocolName(watch_.Facts().protocol)),
                                           Q(watch_.Facts().port), Q(watch_.Facts().speed)));
    }
    // One append per update: a block of lines lays out once, not once a line.
    QStringList lines;
    for (const std::string& text : doctor::NextMonitorLines(
             line, shown_, watch_.Facts().protocol, watch_.OpenedAt(), kTrafficLinesPerUpdate))
        lines << Q(text);
    if (scanner_)
        for (; shownScanLines_ < scanner_->Log().size(); ++shownScanLines_)
            lines << Q(scanner_->Log()[shownScanLines_]);
    if (!lines.isEmpty()) monitor_->appendPlainText(lines.join(QLatin1Char('\n')));
}

void LinkDoctor::FindRadio() {
    if (scanner_) return;
    if (!panel_) BuildPanel();
    // The scan needs the port to itself: the link closes, and polling waits until it is over.
    window_.ReleaseOpen();
    pollingBeforeScan_ = window_.PausePolling();
    found_.reset();

    try {
        port_.SelectPort(static_cast<std::int16_t>(window_.PortNumber()));
    } catch (const CatError& e) {
        // No scan runs, so none will give polling back when it ends.
        if (pollingBeforeScan_) window_.ResumePolling();
        scanState_->setText(Q(e.Description()));
        return;
    }
    scanner_ = std::make_unique<doctor::Scanner>(
        port_, doctor::ScanPlan(window_.SpeedChoices(), ProtocolNamed(window_.ProtocolText()),
                                QString::fromStdString(window_.SpeedText()).toInt()));
    shownScanLines_ = 0;
    monitor_->appendPlainText(
        QStringLiteral("--- Find radio on Com %1 ---").arg(window_.PortNumber()));
    FillPanel();
    ScanStep();
}

void LinkDoctor::ScanStep() {
    if (!scanner_) return;
    const std::optional<double> wait = scanner_->Step(watch_.Now());
    AppendTraffic();
    if (!wait) {
        ScanOver();
        return;
    }
    const std::size_t done = std::min(scanner_->ProbesDone() + 1, scanner_->ProbesTotal());
    scanState_->setText(QStringLiteral("Trying every protocol and speed on this port (%1 of %2)")
                            .arg(done)
                            .arg(scanner_->ProbesTotal()));
    QTimer::singleShot(static_cast<int>(*wait * 1000), this, &LinkDoctor::ScanStep);
}

void LinkDoctor::CancelScan() {
    if (!scanner_) return;
    scanner_->Cancel();
    ScanOver();
    scanState_->setText(QStringLiteral("Find radio was cancelled."));
}

void LinkDoctor::ScanOver() {
    AppendTraffic();
    found_ = scanner_->Result();
    if (found_) {
        scanState_->setText(QStringLiteral("Found: %1.").arg(Q(doctor::Describe(*found_))));
    } else if (!scanner_->Failure().empty()) {
        scanState_->setText(Q(scanner_->Failure()));
    } else if (scanner_->ProbesDone() >= scanner_->ProbesTotal()) {
        scanState_->setText(
            QStringLiteral("No radio answered on this port, at any speed, in any protocol."));
    }
    scanner_.reset();
    if (pollingBeforeScan_) window_.ResumePolling();
    if (!window_.LinkTicked()) ticker_.stop();
    FillPanel();
}

void LinkDoctor::UseAddress() {
    if (verdict_.useAddress.empty()) return;
    window_.ReopenWith({std::nullopt, std::nullopt, verdict_.useAddress});
}

void LinkDoctor::ApplyFound() {
    if (!found_) return;
    window_.ReleaseOpen();
    LinkSettingsChange change{std::nullopt, found_->speed, found_->address};
    if (const RadioFamily* family = FamilyFor(found_->protocol))
        change.protocolPosition = ListPosition(*family);
    found_.reset();
    window_.ReopenWith(change);
}

void LinkDoctor::CopyReport() {
    QString report = Q(verdict_.brief) + QStringLiteral("\n") + Q(verdict_.text);
    if (!verdict_.advice.empty()) report += QStringLiteral("\nTry: ") + Q(verdict_.advice);
    report += QStringLiteral("\n\n") + monitor_->toPlainText();
    QApplication::clipboard()->setText(report);
}

}  // namespace cat
