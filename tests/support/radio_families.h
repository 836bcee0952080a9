#pragma once

// The radio families an end-to-end window test runs once each: the text the protocol list shows
// and the protocol radiosim is started with. One table, so a family added to the program is added
// to every such test at once.

#include <QString>
#include <QTest>
#include <iterator>
#include <ostream>

#include "protocols/families.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/window_controls.h"

namespace cat::test {

struct FamilyRow {
    const char* name;      // in test names
    const char* listText;  // as the protocol list shows it
    const char* radiosim;  // radiosim's --protocol
};

inline constexpr FamilyRow kFamilyRows[] = {
    {"Icom", "ICOM", "icom"},
    {"Kenwood", "Kenwood", "kenwood"},
    {"Ft817", "FT-817", "ft817"},
    {"Yaesu", "Yaesu", "yaesu"},
};

// Test names and failures show the row by its name.
inline void PrintTo(const FamilyRow& row, std::ostream* out) { *out << row.name; }

// The radio's dial moves to 7.0xx MHz and the window's reading follows: the link is live, not
// showing old news.
inline bool ReadingFollows(const QWidget& window, Radiosim& radio, int khz) {
    radio.Control(QStringLiteral("freq 7.%1").arg(khz, 3, 10, QChar('0')));
    const QString shown = QStringLiteral(" 7.%1.00").arg(khz, 3, 10, QChar('0'));
    return QTest::qWaitFor([&] { return Reading(window)->text().startsWith(shown); }, 8000);
}

}  // namespace cat::test
