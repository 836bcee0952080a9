#pragma once

// How the window looks: its controls as one table (places in twips, captions, what a screen
// reader says, the keys that reach them), made once at start, and the conversions between twips
// and the screen's pixels that the stored position and size need. What the controls do is the
// window's; this file only makes and draws them.

#include <QPoint>
#include <QRect>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace cat {

// Every control the window works with, filled as the table makes them. The names are the
// window's own members: it holds them as a base, so its handlers read them as they always have.
struct WindowControls {
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
};

// Sizes `window`, makes its controls with their object names (tests and the screen reader find
// them by those), keys, fonts, list entries and tab order, and fills `controls`.
void BuildWindowControls(QWidget& window, WindowControls& controls);

// Keeps the window above all others or lets it go, where it is, without activating it.
void KeepOnTop(QWidget& window, bool onTop);

// 1440 twips per inch at the screen's logical DPI: 15 at 96 DPI.
double TwipsPerPixelX(const QWidget& window);
double TwipsPerPixelY(const QWidget& window);

// The stored top left corner in twips as a place on screen; a place no screen shows any more (a
// monitor since removed) becomes the top left of the primary screen.
QPoint PlaceFromTwips(const QWidget& window, double topTwips, double leftTwips);

// The window's frame on screen in whole twips, as the store keeps it.
struct FrameTwips {
    long left = 0, top = 0, width = 0, height = 0;
};
FrameTwips FrameInTwips(const QWidget& window);

}  // namespace cat
