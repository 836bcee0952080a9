#include "qt/window/status_line_view.h"

#include <QApplication>
#include <QLabel>

#include "qt/platform/qt_text.h"
#include "qt/window/link_doctor_host.h"

namespace cat {

namespace {

// How long the status line holds what it says of the operator's own request.
constexpr int kNoticeMs = 5000;

StatusWords Words(const QString& brief, bool problem, const QString& whole) {
    return {brief.toStdString(), problem, whole.toStdString()};
}

}  // namespace

StatusLineView::StatusLineView(QLabel*& line) : line_(line) {
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, this, [this] {
        ranking_.SetNotice(std::nullopt);
        Draw();
    });
}

void StatusLineView::ShowDoctor(const QString& brief, bool problem, const QString& whole) {
    ranking_.SetDoctor(Words(brief, problem, whole));
    Draw();
}

void StatusLineView::ShowNotice(const QString& brief, const QString& whole) {
    ranking_.SetNotice(Words(brief, true, whole));
    Draw();
    noticeTimer_.start(kNoticeMs);
}

void StatusLineView::ShowTransmitAlert(const QString& brief, const QString& whole) {
    ranking_.SetTransmitAlert(Words(brief, true, whole));
    Draw();
}

void StatusLineView::ClearTransmitAlert() {
    ranking_.SetTransmitAlert(std::nullopt);
    Draw();
}

void StatusLineView::Draw() {
    const StatusWords& words = ranking_.Shown();
    QLabel& line = *line_;
    // Every brief is made short enough for the line, its key fact first; what is longer all the
    // same (an entry quoted back) is cut at its end, and the whole stays in the tooltip and the
    // details. A problem is marked by a sign and a colour, so it reads as one at a glance.
    const QString sign = words.problem ? QStringLiteral("! ") : QString();
    line.setText(
        line.fontMetrics().elidedText(sign + Q(words.brief), Qt::ElideRight, line.width()));
    QPalette palette = line.palette();
    palette.setColor(QPalette::WindowText,
                     words.problem ? QColor(QLatin1String(kProblemColour))
                                   : QApplication::palette(&line).color(QPalette::WindowText));
    line.setPalette(palette);
    line.setToolTip(Q(words.whole));
    line.setAccessibleDescription(Q(words.whole));
}

}  // namespace cat
