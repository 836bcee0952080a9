#include "qt/serial_port.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#ifndef _WIN32
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "core/comm_errors.h"
#include "core/line_settings.h"
#include "core/lookup.h"
#include "core/port_names.h"

namespace cat {

namespace {

// Long enough for a whole command at the slowest line speed we are likely to meet (14 bytes take
// 130 ms at 1200 baud); a port that takes longer (flow control holding it) sends the rest once
// the event loop runs.
constexpr int kWriteWaitMs = 300;

// What may queue up behind a line that flow control holds; older commands are worthless by then.
constexpr qint64 kHeldOutputLimit = 4096;

constexpr std::array<std::pair<Parity, QSerialPort::Parity>, 5> kParities{{
    {Parity::None, QSerialPort::NoParity},
    {Parity::Even, QSerialPort::EvenParity},
    {Parity::Odd, QSerialPort::OddParity},
    {Parity::Mark, QSerialPort::MarkParity},
    {Parity::Space, QSerialPort::SpaceParity},
}};
constexpr std::array<std::pair<int, QSerialPort::DataBits>, 4> kDataBits{{
    {5, QSerialPort::Data5},
    {6, QSerialPort::Data6},
    {7, QSerialPort::Data7},
    {8, QSerialPort::Data8},
}};
constexpr std::array<std::pair<StopBits, QSerialPort::StopBits>, 3> kStopBits{{
    {StopBits::One, QSerialPort::OneStop},
    {StopBits::OneAndHalf, QSerialPort::OneAndHalfStop},
    {StopBits::Two, QSerialPort::TwoStop},
}};

// How a failed open reads to the operator; PermissionError is split further below.
constexpr std::array<std::pair<QSerialPort::SerialPortError, CommFault>, 4> kOpenFailures{{
    {QSerialPort::DeviceNotFoundError, CommFault::DeviceNotFound},
    {QSerialPort::PermissionError, CommFault::DeviceInUse},
    {QSerialPort::OpenError, CommFault::PortAlreadyOpen},
    {QSerialPort::UnsupportedOperationError, CommFault::SettingsRejected},
}};

bool IsFatal(QSerialPort::SerialPortError error) {
    return error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
           error == QSerialPort::ResourceError;
}

// Qt takes a read that returns no bytes for a read error. A device that hung up does that, but so
// does a terminal in raw mode when the bytes Qt was told about were already taken by a synchronous
// read: only the hang-up leaves the descriptor flagged.
bool DeviceHungUp(const QSerialPort& port) {
#ifdef _WIN32
    Q_UNUSED(port);
    return true;
#else
    pollfd fd{static_cast<int>(port.handle()), POLLIN, 0};
    if (fd.fd < 0) return true;
    if (::poll(&fd, 1, 0) < 0) return true;
    return (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#endif
}

// Qt reports a lock held by another process, a device opened exclusively and a device we may
// not touch all as PermissionError; only the file's access rights tell them apart.
bool MayUseDevice(const std::string& device) {
#ifdef _WIN32
    (void)device;
    return true;
#else
    return ::access(device.c_str(), R_OK | W_OK) == 0;
#endif
}

}  // namespace

QtCommPort::QtCommPort(SettingsStore& store, QObject* parent)
    : QObject(parent), store_(store), port_(this) {
    connect(&port_, &QSerialPort::errorOccurred, this, &QtCommPort::HandleError);
    // waitForReadyRead emits readyRead inside itself: OnComm must not run there.
    connect(&port_, &QSerialPort::readyRead, this, &QtCommPort::ScheduleOnComm);
}

QtCommPort::~QtCommPort() {
    port_.disconnect(this);
    CloseQuietly();
}

void QtCommPort::SetCommPort(std::int16_t number) {
    if (number == 0) throw CommError(CommFault::NoPortChosen);
    if (number < kFirstPort || number > kLastPort)
        throw CommError(CommFault::InvalidPortNumber, {}, std::to_string(number));
    if (port_.isOpen() && number != number_)
        throw CommError(CommFault::PortChangeWhileOpen, Label());
    number_ = number;
}

void QtCommPort::SetSettings(const std::string& settings) {
    const std::optional<LineSettings> parsed = ParseLineSettings(settings);
    if (!parsed) throw CommError(CommFault::InvalidSettings, {}, settings);
    line_ = *parsed;
    if (!port_.isOpen()) return;
    if (!ApplyLineSettings()) {
        RequireOpen();  // the device may have gone while we set it
        throw CommError(CommFault::SettingsRejected, Label(), settings,
                        port_.errorString().toStdString());
    }
}

void QtCommPort::SetHandshaking(int mode) {
    if (mode != 0 && mode != 2)
        throw CommError(CommFault::InvalidHandshaking, {}, std::to_string(mode));
    handshaking_ = mode;
    if (!port_.isOpen()) return;
    if (!port_.setFlowControl(mode == 2 ? QSerialPort::HardwareControl
                                        : QSerialPort::NoFlowControl)) {
        RequireOpen();
        throw CommError(
            CommFault::SettingsRejected, Label(),
            line_.text + (mode == 2 ? " with RTS/CTS handshaking" : " without handshaking"),
            port_.errorString().toStdString());
    }
}

void QtCommPort::SetInputMode(int mode) {
    if (mode != 0 && mode != 1)
        throw CommError(CommFault::InvalidInputMode, {}, std::to_string(mode));
    inputMode_ = mode;
}

void QtCommPort::SetPortOpen(bool open) {
    if (!open) {
        CloseQuietly();
        lost_ = false;
        return;
    }
    if (port_.isOpen()) throw CommError(CommFault::PortAlreadyOpen, Label());
    if (number_ == 0) throw CommError(CommFault::NoPortChosen);

    device_ = DeviceForPort(store_, number_);
    lost_ = false;
    port_.setPortName(QString::fromStdString(device_));

    quietErrors_ = true;
    // On a closed port these only record the values; open() applies them.
    ApplyLineSettings();
    const bool opened = port_.open(QIODevice::ReadWrite);
    quietErrors_ = false;
    if (!opened) RaiseOpenFailure();

    // What arrived before we opened belongs to nobody.
    port_.clear(QSerialPort::Input);
    SetLineDefaults();
}

bool QtCommPort::PortOpen() const { return port_.isOpen(); }

void QtCommPort::Output(const std::string& bytes) {
    RequireOpen();
    if (bytes.empty()) return;
    // Bytes still held from an earlier write mean flow control has stopped the line: these queue
    // behind them at once, rather than block the window once more for every command.
    const bool held = port_.bytesToWrite() > 0;
    if (port_.bytesToWrite() > kHeldOutputLimit) port_.clear(QSerialPort::Output);
    // write() only queues; flush() hands the bytes to the system now.
    port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (port_.isOpen()) port_.flush();
    if (!held && port_.isOpen() && port_.bytesToWrite() > 0)
        port_.waitForBytesWritten(kWriteWaitMs);
    RequireOpen();
}

int QtCommPort::InBufferCount() {
    RequireOpen();
    Pull();
    return Waiting();
}

void QtCommPort::ClearInBuffer() {
    RequireOpen();
    port_.clear(QSerialPort::Input);
}

std::string QtCommPort::Input() {
    RequireOpen();
    // Readers take exactly the bytes InBufferCount reported; pulling more here would hand
    // them bytes beyond that count, which they drop. Pull only when nothing was counted.
    if (port_.bytesAvailable() == 0) Pull();
    const QByteArray data = port_.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

int QtCommPort::WaitForInput(int count, std::chrono::milliseconds timeout) {
    RequireOpen();
    const qint64 limit = std::clamp<qint64>(timeout.count(), 0, std::numeric_limits<int>::max());
    QDeadlineTimer deadline(limit);
    Pull();
    while (Waiting() < count) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) break;
        const bool woke = port_.waitForReadyRead(static_cast<int>(left));
        RequireOpen();
        // A wait that ends early with nothing read (a failing poll) must not become a spin.
        if (!woke && deadline.remainingTime() > 0) QThread::msleep(1);
    }
    return Waiting();
}

int QtCommPort::OutBufferCount() {
    if (!port_.isOpen()) return 0;
    qint64 held = port_.bytesToWrite();
#ifndef _WIN32
    int queued = 0;  // what the system holds, when it says
    if (::ioctl(static_cast<int>(port_.handle()), TIOCOUTQ, &queued) == 0) held += queued;
#endif
    return static_cast<int>(std::min<qint64>(held, std::numeric_limits<int>::max()));
}

std::string QtCommPort::DeviceName() const {
    if (port_.isOpen() || lost_) return device_;
    return DeviceForPort(store_, number_);
}

void QtCommPort::HandleError(QSerialPort::SerialPortError error) {
    if (quietErrors_ || !IsFatal(error) || !port_.isOpen()) return;
    // A write the system refuses for now (a line that flow control holds, reported as a
    // resource error) leaves the device in place, as does a read of bytes already taken: only a
    // hang-up means it has gone.
    if (!DeviceHungUp(port_)) {
        port_.clearError();
        return;
    }
    // A vanished device keeps reporting the same failure thousands of times a second while
    // the port stays open: close at the first one.
    lost_ = true;
    // A read that meets a hung-up device returns nothing and Qt quotes whatever system error
    // happened last; only write and resource failures carry a message worth showing.
    lostDetail_ = error == QSerialPort::ReadError ? "" : port_.errorString().toStdString();
    CloseQuietly();
    const QString description =
        QString::fromStdString(CommErrorText(CommFault::DeviceLost, Label(), {}, lostDetail_));
    QMetaObject::invokeMethod(
        this, [this, description] { emit PortLost(description); }, Qt::QueuedConnection);
}

void QtCommPort::ScheduleOnComm() {
    if (onCommQueued_) return;
    onCommQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            onCommQueued_ = false;
            emit OnComm();
        },
        Qt::QueuedConnection);
}

void QtCommPort::CloseQuietly() {
    if (!port_.isOpen()) return;
    // Closing a vanished device fails to restore its settings; Qt reports that, and the
    // error handler must not close the port a second time from inside close().
    quietErrors_ = true;
    port_.close();
    quietErrors_ = false;
}

void QtCommPort::SetLineDefaults() {
    // Linux raises DTR and RTS when a port opens, and some interfaces key the transmitter from
    // RTS. Pseudo-terminals have no modem lines: failing here is expected and harmless.
    quietErrors_ = true;
    port_.setDataTerminalReady(true);
    if (handshaking_ != 2) port_.setRequestToSend(false);
    quietErrors_ = false;
    port_.clearError();
}

bool QtCommPort::ApplyLineSettings() {
    bool ok = port_.setBaudRate(line_.speed);
    ok = port_.setParity(*Lookup(kParities, line_.parity)) && ok;
    ok = port_.setDataBits(*Lookup(kDataBits, line_.dataBits)) && ok;
    ok = port_.setStopBits(*Lookup(kStopBits, line_.stopBits)) && ok;
    ok = port_.setFlowControl(handshaking_ == 2 ? QSerialPort::HardwareControl
                                                : QSerialPort::NoFlowControl) &&
         ok;
    return ok;
}

void QtCommPort::RaiseOpenFailure() {
    CommFault fault = Lookup(kOpenFailures, port_.error()).value_or(CommFault::OpenFailed);
    if (fault == CommFault::DeviceInUse && !MayUseDevice(device_))
        fault = CommFault::PermissionDenied;
    throw CommError(fault, Label(), fault == CommFault::SettingsRejected ? line_.text : "",
                    port_.errorString().toStdString());
}

void QtCommPort::RequireOpen() const {
    if (port_.isOpen()) return;
    if (lost_) throw CommError(CommFault::DeviceLost, Label(), {}, lostDetail_);
    throw CommError(CommFault::PortNotOpen, Label());
}

void QtCommPort::Pull() {
    // Without an event loop Qt's buffer only grows when asked: poll the system once, no wait.
    port_.waitForReadyRead(0);
    RequireOpen();
}

int QtCommPort::Waiting() const {
    return static_cast<int>(
        std::min<qint64>(port_.bytesAvailable(), std::numeric_limits<int>::max()));
}

std::string QtCommPort::Label() const {
    if (number_ == 0) return "The serial port";
    return PortLabel(number_, DeviceName());
}

}  // namespace cat
