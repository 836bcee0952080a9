#include "qt/ports/serial_transport.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <optional>
#include <utility>

#ifndef _WIN32
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "core/lookup.h"
#include "qt/ports/quit_request.h"

namespace cat {

namespace {

// The longest Write waits for its bytes to leave: a whole command at the slowest line speed we
// are likely to meet (14 bytes take 130 ms at 1200 baud). A port that takes longer (flow control
// holding it) sends the rest once the event loop runs.
constexpr int kLongestWriteWaitMs = 300;

// What may queue up behind a line that flow control holds; older commands are worthless by then.
constexpr qint64 kHeldOutputLimit = 4096;
constexpr qint64 kReadBufferSize = 65536;

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

QSerialPort::FlowControl FlowControlFor(Handshake handshake) {
    return handshake == Handshake::RtsCts ? QSerialPort::HardwareControl
                                          : QSerialPort::NoFlowControl;
}

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

// Who runs the program, for the command that lets them use serial devices.
std::string UserName() {
#ifndef _WIN32
    if (const passwd* entry = ::getpwuid(::getuid())) return entry->pw_name;
#endif
    return "$USER";
}

// Qt reports a lock held by another process, a device opened exclusively and a device we may
// not touch all as PermissionError; only the file's access rights tell them apart. Why the
// system will not let us use the device, when it is not busy: permission, or the device cannot
// be there at all (missing, or a path no file can have). Nothing when it may be used.
std::optional<CommFault> DeviceRefusal(const std::string& device) {
#ifdef _WIN32
    (void)device;
    return std::nullopt;
#else
    if (::access(device.c_str(), R_OK | W_OK) == 0) return std::nullopt;
    if (errno == ENOENT || errno == ENAMETOOLONG || errno == ENOTDIR)
        return CommFault::DeviceNotFound;
    return CommFault::PermissionDenied;
#endif
}

// What the bytes need at the line's speed, twice over, and a margin for the system.
int WriteWaitMs(std::size_t bytes, const LineSettings& line) {
    const long long bits =
        static_cast<long long>(bytes) * (2 + line.dataBits + (line.parity == Parity::None ? 0 : 1));
    const long long lineMs = 2 * bits * 1000 / std::max<std::int32_t>(line.speed, 50);
    return static_cast<int>(std::min<long long>(kLongestWriteWaitMs, 100 + lineMs));
}

}  // namespace

SerialTransport::SerialTransport(std::string device, std::string label, Events events,
                                 QObject* owner)
    : device_(std::move(device)), label_(std::move(label)), events_(std::move(events)) {
    // Destroyed with the transport, before its owner would delete it.
    port_.setParent(owner);
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { HandleError(error); });
    // waitForReadyRead emits readyRead inside itself: the owner only queues its notice there.
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] {
        if (events_.arrived) events_.arrived();
    });
    // A device that floods is read a bounded amount at a time: Qt stops taking bytes from the
    // system while this much waits unread, and the event loop keeps turning.
    port_.setReadBufferSize(kReadBufferSize);
    port_.setPortName(QString::fromStdString(device_));
}

SerialTransport::~SerialTransport() {
    port_.disconnect();
    CloseQuietly();
}

void SerialTransport::Open(const LineSettings& line, Handshake handshake,
                           const ControlLineLevels& levels) {
    quietErrors_ = true;
    // On a closed port these only record the values; open() applies them.
    ApplyLine(line, handshake);
    const bool opened = port_.open(QIODevice::ReadWrite);
    quietErrors_ = false;
    if (!opened) RaiseOpenFailure(line);

    // What arrived before we opened belongs to nobody.
    port_.clear(QSerialPort::Input);
    // The system raised DTR and RTS as it opened the device: put them where this port wants them
    // before anything else happens on the line.
    SetControlLines(levels, handshake);
}

void SerialTransport::SetLine(const LineSettings& line, Handshake handshake) {
    if (ApplyLine(line, handshake)) return;
    RequireOpen();  // the device may have gone while we set it
    throw CommError(CommFault::SettingsRejected, label_, line.text,
                    port_.errorString().toStdString());
}

void SerialTransport::SetHandshake(const LineSettings& line, Handshake handshake) {
    if (port_.setFlowControl(FlowControlFor(handshake))) return;
    RequireOpen();
    const bool rtsCts = handshake == Handshake::RtsCts;
    throw CommError(CommFault::SettingsRejected, label_,
                    line.text + (rtsCts ? " with RTS/CTS handshaking" : " without handshaking"),
                    port_.errorString().toStdString());
}

void SerialTransport::Write(const std::string& bytes, const LineSettings& line) {
    // Bytes still held from an earlier write mean flow control has stopped the line: these queue
    // behind them at once, rather than block the window once more for every command.
    const bool held = port_.bytesToWrite() > 0;
    if (port_.bytesToWrite() > kHeldOutputLimit) port_.clear(QSerialPort::Output);
    // write() only queues; flush() hands the bytes to the system now.
    port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (port_.isOpen()) port_.flush();
    QDeadlineTimer deadline(held ? 0 : WriteWaitMs(bytes.size(), line));
    while (port_.isOpen() && port_.bytesToWrite() > 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) break;
        const WaitResult r =
            WaitForDescriptor(static_cast<int>(port_.handle()), POLLOUT, static_cast<int>(left));
        if (r == WaitResult::QuitRequested) break;
        const qint64 before = port_.bytesToWrite();
        port_.flush();
        // A descriptor reported writable that takes nothing must not become a spin.
        if (port_.isOpen() && port_.bytesToWrite() == before) QThread::msleep(1);
    }
    RequireOpen();
}

int SerialTransport::BytesWaiting() {
    Pull();
    return Waiting();
}

void SerialTransport::DiscardInput() { port_.clear(QSerialPort::Input); }

std::string SerialTransport::ReadAll() {
    // Readers take exactly the bytes BytesWaiting reported; pulling more here would hand them
    // bytes beyond that count, which they drop. Pull only when nothing was counted.
    if (port_.bytesAvailable() == 0) Pull();
    const QByteArray data = port_.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

int SerialTransport::WaitForInput(int count, std::chrono::milliseconds timeout) {
    const qint64 limit = std::clamp<qint64>(timeout.count(), 0, std::numeric_limits<int>::max());
    QDeadlineTimer deadline(limit);
    Pull();
    while (Waiting() < count) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) break;
        // Block in the system until the device has something (or will take what is queued),
        // then let Qt move the bytes without waiting; a request to close ends the wait.
        const short events = POLLIN | (port_.bytesToWrite() > 0 ? POLLOUT : 0);
        const WaitResult r =
            WaitForDescriptor(static_cast<int>(port_.handle()), events, static_cast<int>(left));
        if (r == WaitResult::QuitRequested) break;
        const int before = Waiting();
        const qint64 unsent = port_.bytesToWrite();
        Pull();
        // A wait that ends early with nothing moved (a failing poll) must not become a spin.
        if (r != WaitResult::TimedOut && Waiting() == before && port_.bytesToWrite() == unsent &&
            deadline.remainingTime() > 0)
            QThread::msleep(1);
    }
    return Waiting();
}

int SerialTransport::BytesPending() const {
    if (!port_.isOpen()) return 0;
    qint64 held = port_.bytesToWrite();
#ifndef _WIN32
    int queued = 0;  // what the system holds, when it says
    if (::ioctl(static_cast<int>(port_.handle()), TIOCOUTQ, &queued) == 0) held += queued;
#endif
    return static_cast<int>(std::min<qint64>(held, std::numeric_limits<int>::max()));
}

void SerialTransport::HandleError(QSerialPort::SerialPortError error) {
    if (quietErrors_ || !IsFatal(error) || !port_.isOpen()) return;
    // A write the system refuses for now (a line that flow control holds, reported as a
    // resource error) leaves the device in place, as does a read of bytes already taken: only a
    // hang-up means it has gone.
    if (!DeviceHungUp(port_)) {
        port_.clearError();
        return;
    }
    // A read that meets a hung-up device returns nothing and Qt quotes whatever system error
    // happened last; only write and resource failures carry a message worth showing.
    const std::string detail =
        error == QSerialPort::ReadError ? "" : port_.errorString().toStdString();
    CloseQuietly();
    lost_ = true;
    lostDetail_ = detail;
    if (events_.lost) events_.lost(CommFault::DeviceLost, detail);
}

void SerialTransport::CloseQuietly() {
    if (!port_.isOpen()) return;
    // Closing a vanished device fails to restore its settings; Qt reports that, and the
    // error handler must not close the port a second time from inside close().
    quietErrors_ = true;
    // Bytes still queued (flow control holding the line, a cable without CTS) would make the
    // system drain them at line speed before the close returns, for up to 30 s: drop them.
    port_.clear(QSerialPort::Output);
    // A closed port leaves both lines low, whatever the device's own close does with them: no
    // interface keys a radio from a port nobody has open. (A program that dies leaves them to
    // the system, which drops them on the last close of a serial device.)
    if (port_.flowControl() != QSerialPort::HardwareControl) port_.setRequestToSend(false);
    port_.setDataTerminalReady(false);
    port_.close();
    quietErrors_ = false;
}

void SerialTransport::SetControlLines(const ControlLineLevels& levels, Handshake handshake) {
    if (!port_.isOpen()) return;
    // Pseudo-terminals have no modem lines: failing here is expected and harmless.
    quietErrors_ = true;
    port_.setDataTerminalReady(levels.dtr);
    if (handshake != Handshake::RtsCts) port_.setRequestToSend(levels.rts);
    quietErrors_ = false;
    port_.clearError();
}

ModemLines SerialTransport::Lines() {
    ModemLines lines;
#ifndef _WIN32
    // Asked of the system directly: Qt reports a device without modem lines as all lines low.
    int bits = 0;
    if (!port_.isOpen() || ::ioctl(static_cast<int>(port_.handle()), TIOCMGET, &bits) != 0)
        return lines;
    lines.dtr = (bits & TIOCM_DTR) != 0;
    lines.rts = (bits & TIOCM_RTS) != 0;
    lines.cts = (bits & TIOCM_CTS) != 0;
    lines.dsr = (bits & TIOCM_DSR) != 0;
    lines.dcd = (bits & TIOCM_CAR) != 0;
#else
    if (!port_.isOpen()) return lines;
    const QSerialPort::PinoutSignals pins = port_.pinoutSignals();
    lines.dtr = pins.testFlag(QSerialPort::DataTerminalReadySignal);
    lines.rts = pins.testFlag(QSerialPort::RequestToSendSignal);
    lines.cts = pins.testFlag(QSerialPort::ClearToSendSignal);
    lines.dsr = pins.testFlag(QSerialPort::DataSetReadySignal);
    lines.dcd = pins.testFlag(QSerialPort::DataCarrierDetectSignal);
#endif
    return lines;
}

bool SerialTransport::ApplyLine(const LineSettings& line, Handshake handshake) {
    bool ok = port_.setBaudRate(line.speed);
    ok = port_.setParity(*Lookup(kParities, line.parity)) && ok;
    ok = port_.setDataBits(*Lookup(kDataBits, line.dataBits)) && ok;
    ok = port_.setStopBits(*Lookup(kStopBits, line.stopBits)) && ok;
    ok = port_.setFlowControl(FlowControlFor(handshake)) && ok;
    return ok;
}

void SerialTransport::RaiseOpenFailure(const LineSettings& line) {
    CommFault fault = Lookup(kOpenFailures, port_.error()).value_or(CommFault::OpenFailed);
    if (fault == CommFault::DeviceInUse || fault == CommFault::OpenFailed)
        fault = DeviceRefusal(device_).value_or(fault);
    std::string value;
    if (fault == CommFault::SettingsRejected) value = line.text;
    if (fault == CommFault::PermissionDenied) value = UserName();
    throw CommError(fault, label_, value, port_.errorString().toStdString());
}

// The same words QtCommPort uses for a port that is not open, for a device lost mid-call.
void SerialTransport::RequireOpen() const {
    if (port_.isOpen()) return;
    if (lost_) throw CommError(CommFault::DeviceLost, label_, {}, lostDetail_);
    throw CommError(CommFault::PortNotOpen, label_);
}

void SerialTransport::Pull() {
    // Without an event loop Qt's buffer only grows when asked: poll the system once, no wait.
    port_.waitForReadyRead(0);
    RequireOpen();
}

int SerialTransport::Waiting() const {
    return static_cast<int>(
        std::min<qint64>(port_.bytesAvailable(), std::numeric_limits<int>::max()));
}

}  // namespace cat
