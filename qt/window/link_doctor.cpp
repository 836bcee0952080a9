#include "qt/window/link_doctor.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "core/cat_error.h"
#include "core/failure_policy.h"
#include "core/port_names.h"
#include "core/session_state.h"
#include "doctor/monitor_text.h"
#include "protocols/families.h"
#include "qt/platform/qt_text.h"
#include "qt/ports/device_facts.h"
#include "qt/ports/qt_comm_port.h"
#include "shell/startup.h"

namespace cat {

namespace {

constexpr int kTicksPerTrafficUpdate = 4;
// More lines than a reader can follow in that time: a flood is counted, not laid out.
constexpr std::size_t kTrafficLinesPerUpdate = 500;
// The diagnosis gets this many lines of its own; longer advice scrolls within them.
constexpr int kDiagnosisLines = 5;

}  // namespace

LinkDoctor::LinkDoctor(LinkDoctorHost& window, Link& link, QtCommPort& port,
                       doctor::LinkWatch& watch, QObject* parent)
    : QObject(parent), window_(window), link_(link), port_(port), watch_(watch) {
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
    f.protocol = link_.State().protocol;
    f.radioAddress = link_.State().radioAddress;
    f.port = PortLabel(static_cast<std::int16_t>(window_.PortNumber()), {});
    f.com = window_.PortNumber();
    f.device = port_.DeviceName();
    f.speed = window_.SpeedText();
    f.handshaking = port_.CurrentHandshake() == Handshake::RtsCts;
    return f;
}

void LinkDoctor::LookForHolders(const std::string& device) {
    holders_ = OtherHolders(device);
    hostDevice_ = device;
    const auto target = ParsePortTarget(device);
    host_ = target && target->kind != PortKind::Device ? std::vector<HostFinding>{}
                                                       : CheckHost(ThisProcessView({device}));
}

void LinkDoctor::Opened() {
    // What a scan found belongs to the link before this one: it must not sit beside another
    // radio's verdict with a button that would undo this link's settings.
    found_.reset();
    // Linux lets another program keep the device open beside us; the open succeeds, and what
    // follows on the line is both programs' commands mixed. The link stays; the operator is told.
    const std::vector<HoldingProcess> holders = std::exchange(holders_, {});
    const std::string port = Facts().port;
    sharedWarning_ = SharedOpenWarning(holders, port);
    OfferServer(holders, port);
    if (panel_) {
        scanState_->clear();
        FillPanel();
    }
    if (link_.State().protocol == Protocol::None) {
        watch_.NoProtocolChosen(Facts());
    } else {
        watch_.Opened(Facts());
    }
    ticker_.start();
    Update();
    if (!sharedWarning_.empty()) {
        QString whole = Q(sharedWarning_);
        if (offer_) whole += QStringLiteral("\n") + Q(offer_->text);
        emit SharedOpen(QStringLiteral("Also open in %1").arg(Q(holders.front().program)), whole);
    }
}

void LinkDoctor::OpenFailed(const CatError& error) {
    const doctor::LinkFacts facts = Facts();
    const doctor::OpenFailure failure = OpenFailureFacts(error, facts.device);
    // A port in use by a rig-sharing server can still be tested: through the server.
    std::vector<HoldingProcess> holders = std::exchange(holders_, {});
    sharedWarning_.clear();
    offer_.reset();
    if (failure.fault == CommFault::DeviceInUse) {
        if (holders.empty()) holders = OtherHolders(facts.device);
        OfferServer(holders, facts.port);
    }
    // A network entry that is no address is its own fault, whatever the protocol.
    if (link_.State().protocol == Protocol::None &&
        failure.fault != CommFault::InvalidNetworkAddress) {
        watch_.NoProtocolChosen(facts);
    } else {
        watch_.OpenFailed(facts, failure);
    }
    ticker_.stop();
    Update();
    if (panel_) FillPanel();
}

void LinkDoctor::Closed() {
    watch_.Closed();
    sharedWarning_.clear();
    offer_.reset();
    if (!scanner_) ticker_.stop();
    Update();
    if (panel_) FillPanel();
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
    const doctor::Verdict verdict = ExplainedByHost(watch_.Diagnose(), host_, hostDevice_);
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
    panel_->show();
    AppendTraffic();
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

    diagnosis_ = new QLabel;
    diagnosis_->setObjectName(QStringLiteral("diagnosis"));
    diagnosis_->setWordWrap(true);
    diagnosis_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    diagnosis_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    diagnosis_->setAccessibleName(QStringLiteral("Diagnosis"));
    // A height of its own: advice that grows scrolls here instead of moving the buttons below.
    auto* diagnosisArea = new QScrollArea(panel_);
    diagnosisArea->setObjectName(QStringLiteral("diagnosisArea"));
    diagnosisArea->setWidget(diagnosis_);
    diagnosisArea->setWidgetResizable(true);
    diagnosisArea->setFrameShape(QFrame::NoFrame);
    diagnosisArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    diagnosisArea->setFixedHeight(diagnosis_->fontMetrics().lineSpacing() * kDiagnosisLines);
    layout->addWidget(diagnosisArea);
    BuildActions(*layout);
    if (makeSection_) layout->addWidget(makeSection_(panel_));
    BuildMonitor(*layout);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), panel_);
    connect(escape, &QShortcut::activated, panel_, &QWidget::close);
    panel_->resize(640, 500);
    // Beside the window, not over it: the display and the status line stay in sight.
    panel_->move(window_.Frame().topRight() + QPoint(8, 0));
}

void LinkDoctor::BuildActions(QVBoxLayout& layout) {
    // The buttons that are always there come first, so the ones that come and go with the
    // diagnosis (Use address, Use these settings) never push them aside.
    auto* actions = new QHBoxLayout;
    auto button = [this](const char* caption, const char* name, const char* tip) {
        auto* b = new QPushButton(QString::fromUtf8(caption), panel_);
        b->setObjectName(QString::fromLatin1(name));
        if (tip) b->setToolTip(QString::fromUtf8(tip));
        return b;
    };
    findRadio_ = button("&Find radio", "findRadio",
                        "Tries this port for every protocol at every speed of the list");
    // Wide enough for "Cancel" too, so its caption changing moves nothing beside it.
    findRadio_->setMinimumWidth(findRadio_->sizeHint().width());
    auto* copy =
        button("&Copy", "copyReport", "Copies the diagnosis and the traffic, to post or to keep");
    auto* save =
        button("&Save...", "saveReport", "Saves the diagnosis and the traffic in a text file");
    auto* clear = button("C&lear", "clearTraffic", "Empties the traffic shown below");
    pause_ = button("&Pause", "pauseTraffic",
                    "Holds the traffic still to read it; what comes meanwhile follows after");
    pause_->setCheckable(true);
    useAddress_ = button("", "useAddress", nullptr);
    apply_ = button("", "applyFound", nullptr);
    testThrough_ = button("", "testThroughServer", nullptr);
    for (QPushButton* b :
         {findRadio_, copy, save, clear, pause_, useAddress_, apply_, testThrough_})
        actions->addWidget(b);
    actions->addStretch();
    saved_ = new QLabel(panel_);
    saved_->setObjectName(QStringLiteral("saveState"));
    actions->addWidget(saved_);
    layout.addLayout(actions);
    connect(useAddress_, &QPushButton::clicked, this, &LinkDoctor::UseAddress);
    connect(findRadio_, &QPushButton::clicked, this,
            [this] { scanner_ ? CancelScan() : FindRadio(); });
    connect(apply_, &QPushButton::clicked, this, &LinkDoctor::ApplyFound);
    connect(testThrough_, &QPushButton::clicked, this, [this] {
        if (offer_) emit TestThroughServer(Q(ServerEntry(*offer_->server.server)));
    });
    connect(copy, &QPushButton::clicked, this, &LinkDoctor::CopyReport);
    connect(save, &QPushButton::clicked, this, &LinkDoctor::AskAndSave);
    connect(clear, &QPushButton::clicked, this, [this] { monitor_->clear(); });
    connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused) AppendTraffic();
    });
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

    // The traffic follows the newest line while the reader is at the end. The text edit follows
    // only a view that shows the end already: when the monitor got shorter (the diagnosis or the
    // transmit section above it grew, as they did at each Open) the end slipped out of the view
    // and it never followed again. The end is kept in view across such changes here.
    QScrollBar* bar = monitor_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { following_ = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (following_) bar->setValue(maximum);
    });
}

void LinkDoctor::FillPanel() {
    // Only what is wrong is red; the advice is what to do, in the panel's own colour.
    QString html = QStringLiteral("<b>%1</b><br>%2")
                       .arg(Q(verdict_.brief).toHtmlEscaped(), Q(verdict_.text).toHtmlEscaped());
    if (verdict_.problem)
        html = QStringLiteral("<span style=\"color:%1\">%2</span>")
                   .arg(QLatin1String(kProblemColour), html);
    if (!sharedWarning_.empty())
        html += QStringLiteral("<br><span style=\"color:%1\">%2</span>")
                    .arg(QLatin1String(kProblemColour), Q(sharedWarning_).toHtmlEscaped());
    if (!verdict_.advice.empty())
        html += QStringLiteral("<br>Try: ") + Q(verdict_.advice).toHtmlEscaped();
    if (offer_) html += QStringLiteral("<br>") + Q(offer_->text).toHtmlEscaped();
    diagnosis_->setText(html);
    testThrough_->setVisible(offer_.has_value() && !scanner_);
    if (offer_) {
        const QString entry = Q(ServerEntry(*offer_->server.server));
        testThrough_->setText(QStringLiteral("Test through %1").arg(Q(offer_->server.program)));
        testThrough_->setToolTip(
            QStringLiteral("Maps a free Com number to %1 in the settings file's [Ports], "
                           "chooses it and opens it")
                .arg(entry));
    }
    useAddress_->setVisible(!verdict_.useAddress.empty());
    useAddress_->setText(QStringLiteral("Use address %1").arg(Q(verdict_.useAddress)));
    findRadio_->setText(scanner_ ? QStringLiteral("Cancel") : QStringLiteral("&Find radio"));
    apply_->setVisible(found_.has_value() && !scanner_);
    if (found_) apply_->setText(QStringLiteral("Use these settings"));
}

void LinkDoctor::AppendTraffic() {
    // Paused, nothing moves; the cursors stay where they are, so the lines that came meanwhile
    // follow once it runs again.
    if (pause_->isChecked()) return;
    // A new link starts a new account of the line, and the monitor with it.
    const doctor::LineAnalyzer& line = watch_.Line();
    if (&line != shownLine_) {
        shownLine_ = &line;
        shown_ = {};
        const doctor::LinkFacts& facts = watch_.Facts();
        // A sharing server sets the radio's line itself: its address says more than a speed.
        const QString where = IsSharingServer(facts.protocol)
                                  ? QStringLiteral("(%1)").arg(Q(facts.device))
                                  : QStringLiteral("at %1 baud").arg(Q(facts.speed));
        monitor_->appendPlainText(
            QStringLiteral("--- %1 on %2 %3 ---")
                .arg(Q(doctor::ProtocolName(facts.protocol)), Q(facts.port), where));
    }
    // One append per update: a block of lines lays out once, not once a line.
    QStringList lines;
    for (const std::string& text : doctor::NextMonitorLines(
             line, shown_, watch_.Facts().protocol, watch_.OpenedAt(), kTrafficLinesPerUpdate))
        lines << Q(text);
    if (scanner_)
        for (; shownScanLines_ < scanner_->Log().size(); ++shownScanLines_)
            lines << Q(scanner_->Log()[shownScanLines_]);
    lines << notes_;
    notes_.clear();
    if (!lines.isEmpty()) monitor_->appendPlainText(lines.join(QLatin1Char('\n')));
}

void LinkDoctor::Note(const QString& whole) {
    // Kept until the monitor shows them, the newest when the panel is never opened.
    constexpr qsizetype kKeptNotes = 20;
    notes_ << QStringLiteral("--- %1 ---").arg(whole);
    if (notes_.size() > kKeptNotes) notes_.removeFirst();
    if (monitor_) AppendTraffic();
}

void LinkDoctor::FindRadio() {
    if (scanner_) return;
    if (!panel_) BuildPanel();
    if (RefuseScan()) return;
    // The scan needs the port to itself: the link closes, and polling waits until it is over.
    window_.ReleaseOpen();
    pollingBeforeScan_ = link_.PausePolling();
    found_.reset();

    try {
        port_.SelectPort(static_cast<std::int16_t>(window_.PortNumber()));
    } catch (const CatError& e) {
        // No scan runs, so none will give polling back when it ends.
        if (pollingBeforeScan_) link_.ResumePolling();
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
    if (pollingBeforeScan_) link_.ResumePolling();
    if (!window_.LinkTicked()) ticker_.stop();
    FillPanel();
}

// A port Find radio must not probe is left as it is, and so is the link on it.
bool LinkDoctor::RefuseScan() {
    try {
        port_.SelectPort(static_cast<std::int16_t>(window_.PortNumber()));
    } catch (const CatError&) {
        return false;  // the scan's own start says what is wrong with the port
    }
    const std::string port = "Com " + std::to_string(window_.PortNumber());
    const std::vector<HoldingProcess> holders = OtherHolders(port_.DeviceName());
    const std::string refusal = ScanRefusal(port_.DeviceName(), holders, port);
    if (refusal.empty()) return false;
    scanState_->setText(Q(refusal));
    monitor_->appendPlainText(QStringLiteral("--- Find radio: %1 ---").arg(Q(refusal)));
    OfferServer(holders, port);
    FillPanel();
    return true;
}

void LinkDoctor::OfferServer(const std::vector<HoldingProcess>& holders, const std::string& port) {
    offer_.reset();
    if (const std::optional<HoldingProcess> server = SharingServer(holders))
        offer_ = ServerOffer{*server, TestThroughText(*server, port)};
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

QString LinkDoctor::ReportText() const {
    QString report = Q(verdict_.brief) + QStringLiteral("\n") + Q(verdict_.text);
    if (!sharedWarning_.empty()) report += QStringLiteral("\n") + Q(sharedWarning_);
    if (!verdict_.advice.empty()) report += QStringLiteral("\nTry: ") + Q(verdict_.advice);
    if (offer_) report += QStringLiteral("\n") + Q(offer_->text);
    return report + QStringLiteral("\n\n") + monitor_->toPlainText() + QStringLiteral("\n");
}

void LinkDoctor::CopyReport() { QApplication::clipboard()->setText(ReportText()); }

void LinkDoctor::AskAndSave() {
    const QString path =
        QFileDialog::getSaveFileName(panel_, QStringLiteral("Save the diagnosis and the traffic"),
                                     QDir::home().filePath(QStringLiteral("catlink-report.txt")),
                                     QStringLiteral("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty()) SaveReport(path);
}

bool LinkDoctor::SaveReport(const QString& path) {
    if (!panel_) BuildPanel();
    // Written whole or not at all: a half-written report in place of an older one helps nobody.
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Text) &&
                       file.write(ReportText().toUtf8()) >= 0 && file.commit();
    if (saved) {
        saved_->setText(QStringLiteral("Saved to %1").arg(QFileInfo(path).fileName()));
        saved_->setStyleSheet(QString());
    } else {
        saved_->setText(QStringLiteral("Not saved: %1").arg(file.errorString()));
        saved_->setStyleSheet(QStringLiteral("color:%1").arg(QLatin1String(kProblemColour)));
    }
    saved_->setToolTip(QDir::toNativeSeparators(path));
    return saved;
}

}  // namespace cat
