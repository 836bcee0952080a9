// The yardstick for the program's start-up: a Qt Widgets window with the same kinds and number of
// widgets as the program's window, the same texts and sizes, and no logic behind them. Drawing
// text alone loads the font libraries, so an empty window would flatter the comparison.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace {

void AddReadingAndSetFrames(QWidget& window) {
    auto* display = new QGroupBox(QStringLiteral("Monotoring"), &window);
    display->setGeometry(2, -2, 234, 51);
    auto* frequency = new QLineEdit(display);
    frequency->setGeometry(7, 14, 219, 30);
    QFont bold(QStringLiteral("MS Sans Serif"), 12, QFont::Bold);
    frequency->setFont(bold);

    auto* set = new QGroupBox(QStringLiteral("Set Frequency Mode"), &window);
    set->setGeometry(2, 50, 234, 44);
    (new QLineEdit(set))->setGeometry(10, 14, 94, 22);
    (new QPushButton(QStringLiteral("Set"), set))->setGeometry(113, 14, 37, 22);
    auto* mode = new QComboBox(set);
    mode->addItems({"LSB", "USB", "CW", "AM", "FM", "FSK", "PKT"});
    mode->setGeometry(158, 14, 66, 19);
}

void AddSetupFrame(QWidget& window) {
    auto* setup = new QGroupBox(QStringLiteral("Setup"), &window);
    setup->setGeometry(2, 96, 234, 90);
    (new QLabel(QStringLiteral("Protocol"), setup))->setGeometry(5, 14, 85, 13);
    (new QLabel(QStringLiteral("Adrs"), setup))->setGeometry(106, 12, 37, 15);
    (new QLabel(QStringLiteral("Speed"), setup))->setGeometry(138, 12, 64, 14);
    (new QLabel(QStringLiteral("Com Port >"), setup))->setGeometry(8, 62, 88, 13);
    auto* protocol = new QComboBox(setup);
    protocol->addItems({"ICOM", "Kenwood", "FT-817"});
    protocol->setGeometry(4, 30, 93, 21);
    (new QLineEdit(QStringLiteral("5E"), setup))->setGeometry(104, 30, 30, 20);
    auto* speed = new QComboBox(setup);
    speed->addItems({"4800", "9600", "19200", "57600", "115200"});
    speed->setGeometry(140, 30, 88, 21);
    auto* port = new QComboBox(setup);
    for (int i = 1; i <= 32; ++i) port->addItem(QStringLiteral("Com %1").arg(i));
    port->setGeometry(106, 58, 77, 21);
    auto* open = new QPushButton(QStringLiteral("Open"), setup);
    open->setCheckable(true);
    open->setGeometry(188, 56, 38, 26);
}

void AddButtonsAndStatusLine(QWidget& window) {
    (new QPushButton(&window))->setGeometry(6, 190, 27, 22);
    auto* onTop = new QPushButton(QStringLiteral("On top"), &window);
    onTop->setCheckable(true);
    onTop->setGeometry(37, 190, 54, 22);
    (new QPushButton(QStringLiteral("Exit"), &window))->setGeometry(182, 190, 54, 22);

    // The status line below the buttons.
    window.setFixedSize(239, 257);
    (new QLabel(QStringLiteral("Closed"), &window))->setGeometry(6, 216, 176, 18);
    auto* details = new QPushButton(QStringLiteral("Details"), &window);
    details->setFlat(true);
    details->setGeometry(182, 216, 54, 18);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("CAT"));
    window.setFixedSize(239, 239);
    AddReadingAndSetFrames(window);
    AddSetupFrame(window);
    AddButtonsAndStatusLine(window);
    window.show();
    return app.exec();
}
