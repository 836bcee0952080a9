#pragma once

// The line below the buttons, drawn from whichever source outranks the others (StatusRanking).
// What the window says of the operator's own request holds the line a few seconds, then the
// doctor's words come back.

#include <QObject>
#include <QString>
#include <QTimer>

#include "shell/status_words.h"

class QLabel;

namespace cat {

class StatusLineView : public QObject {
public:
    // `line` is the window's label, made before any words come.
    explicit StatusLineView(QLabel*& line);

    void ShowDoctor(const QString& brief, bool problem, const QString& whole);
    void ShowNotice(const QString& brief, const QString& whole);
    // A transmit alert holds the line until it is cleared.
    void ShowTransmitAlert(const QString& brief, const QString& whole);
    void ClearTransmitAlert();

private:
    void Draw();

    QLabel*& line_;
    StatusRanking ranking_;
    QTimer noticeTimer_;
};

}  // namespace cat
