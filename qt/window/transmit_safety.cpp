#include "qt/window/transmit_safety.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/failure_policy.h"
#include "core/port_names.h"
#include "link/poll_cycle.h"
#include "protocols/families.h"
#include "qt/platform/qt_text.h"
#include "qt/ports/last_words.h"
#include "qt/ports/qt_comm_port.h"
#include "qt/window/link_doctor_host.h"

namespace cat {

namespace {

constexpr int kTicksPerLinesUpdate = 10;  // the modem lines are shown once a second

int Milliseconds(Seconds from, Seconds to) {
    return std::max(0, static_cast<int>(std::lround((to - from).count() * 1000)));
}

void SetProblem(QLabel& label, bool problem) {
    label.setStyleSheet(problem ? QStringLiteral("color:%1").arg(QLatin1String(kProblemColour))
                                : QString());
}

}  // namespace

TransmitSafety::TransmitSafety(Link& link, Platform& platform, QtCommPort& port,
                               SettingsStore& store, QWidget& window)
    : QObject(&window),
      state_(link.State()),
      platform_(platform),
      port_(port),
      store_(store),
      window_(window),
      watch_(link.Transmit()) {
    for (QTimer* timer : {&readTimer_, &endTimer_}) timer->setSingleShot(true);
    connect(&readTimer_, &QTimer::timeout, this, &TransmitSafety::ReadWhileKeyed);
    connect(&endTimer_, &QTimer::timeout, this, [this] { EndTest(PttEnd::TimeUp); });
}

TransmitSafety::~TransmitSafety() {
    EndTest(PttEnd::Closed);
    delete section_;
}

int TransmitSafety::Port() const { return port_.PortNumber(); }

void TransmitSafety::Opened() {
    entryLine_.reset();
    findingText_.clear();
    emit AlertCleared();
    ShowFinding();
}

void TransmitSafety::Closing() {
    EndTest(PttEnd::Closed);
    watch_.Closed();
    if (section_) lines_->setText(QStringLiteral("The link is closed."));
}

void TransmitSafety::PortLost() {
    EndTest(PttEnd::PortLost);
    watch_.Closed();
}

void TransmitSafety::Ticked(const std::optional<TransmitFinding>& finding) {
    if (finding) Show(*finding);
    if (state_.busy || test_ || !port_.IsOpen()) return;
    if (++ticks_ >= kTicksPerLinesUpdate) {
        ticks_ = 0;
        ShowLines();
    }
}

void TransmitSafety::Show(const TransmitFinding& finding) {
    const QString brief = Q(TransmitBrief(finding));
    const QString whole = Q(TransmitAdvice(finding, Port()));
    if (finding.event == TransmitEvent::BackToReceive) {
        emit AlertCleared();
    } else {
        emit Alert(brief, whole);
    }
    entryLine_ = finding.keyingLine;
    findingText_ = whole;
    findingProblem_ = finding.event != TransmitEvent::BackToReceive;
    ShowFinding();
    if (finding.event == TransmitEvent::KeyedAtOpen) emit WantsDetails();
}

void TransmitSafety::ShowFinding() {
    if (!section_) return;
    finding_->setText(findingText_);
    SetProblem(*finding_, findingProblem_);
    writeEntry_->setVisible(entryLine_.has_value());
    if (entryLine_)
        writeEntry_->setText(QStringLiteral("Set %1").arg(
            Q(ControlLineEntry(static_cast<std::int16_t>(Port()), *entryLine_, false))));
}

void TransmitSafety::ShowLines() {
    if (!section_ || !section_->isVisible()) return;
    if (!port_.IsOpen()) {
        lines_->setText(QStringLiteral("The link is closed."));
        return;
    }
    const std::string text = DescribeModemLines(port_.Lines());
    lines_->setText(text.empty() ? QStringLiteral("This port does not report its lines.")
                                 : Q(text));
}

void TransmitSafety::WriteLineEntry() {
    if (!entryLine_) return;
    const auto port = static_cast<std::int16_t>(Port());
    store_.Write(kPortsGroup, ControlLineKey(port, *entryLine_), "off");
    findingText_ =
        Q("Saved " + ControlLineEntry(port, *entryLine_, false) + ": this port opens with " +
          std::string(LineName(*entryLine_)) + " low from now on.");
    findingProblem_ = false;
    entryLine_.reset();
    ShowFinding();
}

bool TransmitSafety::Confirmed(PttMethod method, Seconds duration) {
    const std::string reading = DisplayText(state_);
    const QString where = reading.empty() ? QStringLiteral(
                                                "on the frequency it is tuned to (it has not "
                                                "reported one)")
                                          : QStringLiteral("on %1").arg(Q(reading));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("CAT: test PTT"),
                    QStringLiteral("The radio will transmit %1 for %2 s, keyed by %3.\n\nIs an "
                                   "antenna or a dummy load connected, and the frequency free?")
                        .arg(where, QString::number(duration.count(), 'g', 2),
                             Q(std::string(PttMethodName(method)))),
                    QMessageBox::NoButton, &window_);
    QPushButton* transmit = box.addButton(QStringLiteral("Transmit"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    return box.clickedButton() == transmit;
}

void TransmitSafety::StartTest() {
    const RadioFamily* family = FamilyFor(state_.protocol);
    if (test_ || !family || !port_.IsOpen()) {
        if (section_)
            result_->setText(
                QStringLiteral("Open the link first: the test reads the "
                               "radio's transmit state before and after."));
        return;
    }
    const auto method = static_cast<PttMethod>(method_->currentIndex());
    if (const std::string refused = ServerKeyingRefusal(method, state_.protocol);
        !refused.empty()) {
        result_->setText(Q(refused));
        SetProblem(*result_, true);
        return;
    }
    const Seconds duration = PttDuration(seconds_->value());
    if (!Confirmed(method, duration) || !port_.IsOpen()) return;
    // A program that dies while the radio is keyed still unkeys a CAT key: its last write is the
    // unkey, armed before the key goes out.
    if (method == PttMethod::Cat) {
        const std::string refused =
            ArmUnkey(port_.Descriptor(), port_.WireBytes(family->UnkeyBytes(state_)));
        if (!refused.empty()) {
            result_->setText(Q(refused));
            SetProblem(*result_, true);
            return;
        }
    }
    emit HoldPolling(true);
    watch_.SetTestRunning(true);
    test_ = std::make_unique<PttTest>(method, duration, port_.CurrentHandshake());
    result_->setText(QStringLiteral("Keying by %1...").arg(Q(std::string(PttMethodName(method)))));
    testButton_->setEnabled(false);
    if (!test_->Start(*family, state_, platform_)) {
        EndTest(PttEnd::Closed);
        return;
    }
    const Seconds now = platform_.clock.Now();
    readTimer_.start(Milliseconds(now, test_->ReadAt()));
    endTimer_.start(Milliseconds(now, test_->EndsAt()));
}

void TransmitSafety::ReadWhileKeyed() {
    const RadioFamily* family = FamilyFor(state_.protocol);
    if (test_ && family) test_->ReadWhileKeyed(*family, state_, platform_);
}

void TransmitSafety::EndTest(PttEnd end) {
    if (!test_) return;
    readTimer_.stop();
    endTimer_.stop();
    if (const RadioFamily* family = FamilyFor(state_.protocol))
        test_->Finish(*family, state_, platform_, end);
    DisarmLastWords();
    const std::string summary = test_->Summary(Port());
    const bool problem = !summary.empty() && summary[0] == '!';
    if (section_) {
        result_->setText(Q(problem ? summary.substr(2) : summary));
        SetProblem(*result_, problem);
    }
    if (problem) emit Alert(Q(summary.substr(2)), Q(summary.substr(2)));
    test_.reset();
    watch_.SetTestRunning(false);
    if (section_) testButton_->setEnabled(true);
    emit HoldPolling(false);
}

QWidget* TransmitSafety::MakeSection(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Transmit"), parent);
    box->setObjectName(QStringLiteral("transmitSection"));
    section_ = box;
    auto* layout = new QVBoxLayout(box);

    lines_ = new QLabel(QStringLiteral("The link is closed."), box);
    lines_->setObjectName(QStringLiteral("modemLines"));
    lines_->setAccessibleName(QStringLiteral("Modem lines"));
    finding_ = new QLabel(box);
    finding_->setObjectName(QStringLiteral("transmitFinding"));
    finding_->setWordWrap(true);
    writeEntry_ = new QPushButton(box);
    writeEntry_->setObjectName(QStringLiteral("writeLineEntry"));
    writeEntry_->setToolTip(QStringLiteral("Writes the entry to the settings file's [Ports]"));
    writeEntry_->hide();
    connect(writeEntry_, &QPushButton::clicked, this, &TransmitSafety::WriteLineEntry);

    auto* test = new QHBoxLayout;
    method_ = new QComboBox(box);
    method_->setObjectName(QStringLiteral("pttMethod"));
    method_->setAccessibleName(QStringLiteral("Key by"));
    for (PttMethod m : {PttMethod::Cat, PttMethod::Rts, PttMethod::Dtr})
        method_->addItem(Q(std::string(PttMethodName(m))));
    seconds_ = new QDoubleSpinBox(box);
    seconds_->setObjectName(QStringLiteral("pttSeconds"));
    seconds_->setAccessibleName(QStringLiteral("Seconds to transmit"));
    seconds_->setRange(kShortestPtt.count(), kLongestPtt.count());
    seconds_->setSingleStep(0.1);
    seconds_->setDecimals(1);
    seconds_->setValue(kDefaultPtt.count());
    seconds_->setSuffix(QStringLiteral(" s"));
    testButton_ = new QPushButton(QStringLiteral("Test PTT"), box);
    testButton_->setObjectName(QStringLiteral("testPtt"));
    testButton_->setToolTip(QStringLiteral(
        "Keys the radio for the time chosen, after you confirm, and says whether keying and "
        "unkeying worked"));
    connect(testButton_, &QPushButton::clicked, this, &TransmitSafety::StartTest);
    test->addWidget(new QLabel(QStringLiteral("Key by"), box));
    test->addWidget(method_);
    test->addWidget(seconds_);
    test->addWidget(testButton_);
    test->addStretch();
    result_ = new QLabel(box);
    result_->setObjectName(QStringLiteral("pttResult"));
    result_->setWordWrap(true);

    layout->addWidget(lines_);
    layout->addWidget(finding_);
    layout->addWidget(writeEntry_, 0, Qt::AlignLeft);
    layout->addLayout(test);
    layout->addWidget(result_);
    ShowFinding();
    // Shown at once when the panel comes up, then once a second.
    QTimer::singleShot(0, this, &TransmitSafety::ShowLines);
    return box;
}

}  // namespace cat
