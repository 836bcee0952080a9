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
#include <pwd.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "core/comm_errors.h"
#include "core/line_settings.h"
#include "core/lookup.h"
#include "core/port_names.h"
#include "qt/network_port.h"
#include "qt/quit_request.h"

namespace cat {

namespace {

// The longest Output waits for its bytes to leave: a whole command at the slowest line speed we
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
// Why the system will not let us use the device, when it is not busy: permission, or the device
// cannot be there at all (missing, or a path no file can have). Nothing when it may be used.
// Who runs the program, for the command that lets them use serial devices.
std::string UserName() {
#ifndef _WIN32
    if (const passwd* entry = ::getpwuid(::getuid())) return entry->pw_name;
#endif
    return "$USER";
}

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

}  // namespace

QtCommPort::QtCommPort(SettingsStore& store, QObject* parent)
    : QObject(parent), store_(store), port_(this) {
    connect(&port_, &QSerialPort::errorOccurred, this, &QtCommPort::HandleError);
    // waitForReadyRead emits readyRead inside itself: OnComm must not run there.
    connect(&port_, &QSerialPort::readyRead, this, &QtCommPort::ScheduleOnComm);
    // A device that floods is read a bounded amount at a time: Qt stops taking bytes from the
    // system while this much waits unread, and the event loop keeps turning.
    port_.setReadBufferSize(kReadBufferSize);
}

QtCommPort::~QtCommPort() {
    port_.disconnect(this);
    net_.reset();
    CloseQuietly();
}

void QtCommPort::SelectPort(int number) {
    if (number == 0) throw CommError(CommFault::NoPortChosen);
    if (number < kFirstPort || number > kLastPort)
        throw CommError(CommFault::InvalidPortNumber, {}, std::to_string(number));
    if (IsOpen() && number != number_) throw CommError(CommFault::PortChangeWhileOpen, Label());
    number_ = number;
}

void QtCommPort::SetLineSettings(const LineSettings& settings) {
    line_ = settings;
    if (net_ && net_->IsOpen()) return net_->Apply(line_, handshaking_ == 2);
    if (!port_.isOpen()) return;
    if (!ApplyLineSettings()) {
        RequireOpen();  // the device may have gone while we set it
        throw CommError(CommFault::SettingsRejected, Label(), settings.text,
                        port_.errorString().toStdString());
    }
}

void QtCommPort::SetHandshake(Handshake handshake) {
    const int mode = handshake == Handshake::RtsCts ? 2 : 0;
    handshaking_ = mode;
    if (net_ && net_->IsOpen()) return net_->Apply(line_, handshaking_ == 2);
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

void QtCommPort::Close() {
    net_.reset();
    CloseQuietly();
    lost_ = false;
}

void QtCommPort::Open() {
    if (IsOpen()) throw CommError(CommFault::PortAlreadyOpen, Label());
    if (number_ == 0) throw CommError(CommFault::NoPortChosen);

    device_ = DeviceForPort(store_, number_);
    lost_ = false;
    net_.reset();
    if (IsNetworkAddress(device_)) return OpenNetworkPort();
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

void QtCommPort::OpenNetworkPort() {
    const std::optional<PortTarget> target = ParsePortTarget(device_);
    if (!target) throw CommError(CommFault::InvalidNetworkAddress, Label(), device_);
    NetworkPort::Events events;
    events.arrived = [this] { ScheduleOnComm(); };
    events.lost = [this](const std::string& detail) {
        ReportLost(CommFault::ConnectionLost, detail);
    };
    auto net = std::make_unique<NetworkPort>(*target, Label(), std::move(events));
    net->Open(line_, handshaking_ == 2);
    net_ = std::move(net);
}

bool QtCommPort::IsOpen() const { return net_ ? net_->IsOpen() : port_.isOpen(); }

// What the bytes need at the line's speed, twice over, and a margin for the system.
int QtCommPort::WriteWaitMs(std::size_t bytes) const {
    const long long bits = static_cast<long long>(bytes) *
                           (2 + line_.dataBits + (line_.parity == Parity::None ? 0 : 1));
    const long long lineMs = 2 * bits * 1000 / std::max<std::int32_t>(line_.speed, 50);
    return static_cast<int>(std::min<long long>(kLongestWriteWaitMs, 100 + lineMs));
}

void QtCommPort::Write(const std::string& bytes) {
    RequireOpen();
    if (bytes.empty()) return;
    if (net_) return net_->Output(bytes, line_.speed);
    // Bytes still held from an earlier write mean flow control has stopped the line: these queue
    // behind them at once, rather than block the window once more for every command.
    const bool held = port_.bytesToWrite() > 0;
    if (port_.bytesToWrite() > kHeldOutputLimit) port_.clear(QSerialPort::Output);
    // write() only queues; flush() hands the bytes to the system now.
    port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (port_.isOpen()) port_.flush();
    QDeadlineTimer deadline(held ? 0 : WriteWaitMs(bytes.size()));
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

int QtCommPort::BytesWaiting() {
    RequireOpen();
    if (net_) return net_->Pull();
    Pull();
    return Waiting();
}

void QtCommPort::DiscardInput() {
    RequireOpen();
    if (net_) return net_->Clear();
    port_.clear(QSerialPort::Input);
}

std::string QtCommPort::ReadAll() {
    RequireOpen();
    if (net_) return net_->Take();
    // Readers take exactly the bytes BytesWaiting reported; pulling more here would hand
    // them bytes beyond that count, which they drop. Pull only when nothing was counted.
    if (port_.bytesAvailable() == 0) Pull();
    const QByteArray data = port_.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

int QtCommPort::WaitForInput(int count, std::chrono::milliseconds timeout) {
    RequireOpen();
    if (net_) return net_->WaitFor(count, timeout);
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

int QtCommPort::BytesPending() {
    if (net_) return net_->IsOpen() ? net_->Unsent() : 0;
    if (!port_.isOpen()) return 0;
    qint64 held = port_.bytesToWrite();
#ifndef _WIN32
    int queued = 0;  // what the system holds, when it says
    if (::ioctl(static_cast<int>(port_.handle()), TIOCOUTQ, &queued) == 0) held += queued;
#endif
    return static_cast<int>(std::min<qint64>(held, std::numeric_limits<int>::max()));
}

std::string QtCommPort::DeviceName() const {
    if (IsOpen() || lost_) return device_;
    return DeviceForPort(store_, number_);
}

void QtCommPort::ReportLost(CommFault fault, const std::string& detail) {
    lost_ = true;
    lostFault_ = fault;
    lostDetail_ = detail;
    const std::string value = fault == CommFault::ConnectionLost ? device_ : std::string{};
    const QString description =
        QString::fromStdString(CommErrorText(fault, Label(), value, lostDetail_));
    QMetaObject::invokeMethod(
        this, [this, description] { emit PortLost(description); }, Qt::QueuedConnection);
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
    // A read that meets a hung-up device returns nothing and Qt quotes whatever system error
    // happened last; only write and resource failures carry a message worth showing.
    const std::string detail =
        error == QSerialPort::ReadError ? "" : port_.errorString().toStdString();
    CloseQuietly();
    ReportLost(CommFault::DeviceLost, detail);
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
    // Bytes still queued (flow control holding the line, a cable without CTS) would make the
    // system drain them at line speed before the close returns, for up to 30 s: drop them.
    port_.clear(QSerialPort::Output);
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
    if (fault == CommFault::DeviceInUse || fault == CommFault::OpenFailed)
        fault = DeviceRefusal(device_).value_or(fault);
    std::string value;
    if (fault == CommFault::SettingsRejected) value = line_.text;
    if (fault == CommFault::PermissionDenied) value = UserName();
    throw CommError(fault, Label(), value, port_.errorString().toStdString());
}

void QtCommPort::RequireOpen() const {
    if (IsOpen()) return;
    if (lost_)
        throw CommError(lostFault_, Label(),
                        lostFault_ == CommFault::ConnectionLost ? device_ : std::string{},
                        lostDetail_);
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
    if (!name_.empty()) return name_;
    if (number_ == 0) return "The serial port";
    return PortLabel(number_, DeviceName());
}

}  // namespace cat
