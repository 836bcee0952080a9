#include "qt/ports/qt_comm_port.h"

#include <optional>
#include <utility>

#include "core/port_names.h"
#include "qt/ports/network_transport.h"
#include "qt/ports/serial_transport.h"

namespace cat {

QtCommPort::QtCommPort(SettingsStore& store, QObject* parent) : QObject(parent), store_(store) {}

QtCommPort::~QtCommPort() = default;

void QtCommPort::SelectPort(int number) {
    if (number == 0) throw CommError(CommFault::NoPortChosen);
    if (number < kFirstPort || number > kLastPort)
        throw CommError(CommFault::InvalidPortNumber, {}, std::to_string(number));
    if (IsOpen() && number != number_) throw CommError(CommFault::PortChangeWhileOpen, Label());
    number_ = number;
}

void QtCommPort::SetLineSettings(const LineSettings& line) {
    line_ = line;
    if (IsOpen()) transport_->SetLine(line_, handshake_);
}

void QtCommPort::SetHandshake(Handshake mode) {
    handshake_ = mode;
    if (IsOpen()) transport_->SetHandshake(line_, handshake_);
}

void QtCommPort::Open() {
    if (IsOpen()) throw CommError(CommFault::PortAlreadyOpen, Label());
    if (number_ == 0) throw CommError(CommFault::NoPortChosen);
    device_ = DeviceForPort(store_, number_);
    lost_ = false;
    transport_.reset();
    std::unique_ptr<PortTransport> transport = TransportFor(device_);
    transport->Open(line_, handshake_, levels_);
    transport_ = std::move(transport);
}

// The one place that tells a network port from a local device.
std::unique_ptr<PortTransport> QtCommPort::TransportFor(const std::string& device) {
    PortTransport::Events events;
    events.arrived = [this] { NotifyArrival(); };
    events.lost = [this](CommFault fault, const std::string& detail) { ReportLost(fault, detail); };
    if (!IsNetworkAddress(device))
        return std::make_unique<SerialTransport>(device, Label(), std::move(events), this);
    const std::optional<PortTarget> target = ParsePortTarget(device);
    if (!target) throw CommError(CommFault::InvalidNetworkAddress, Label(), device);
    return std::make_unique<NetworkTransport>(*target, Label(), std::move(events));
}

void QtCommPort::Close() {
    transport_.reset();
    lost_ = false;
}

bool QtCommPort::IsOpen() const { return transport_ && transport_->IsOpen(); }

void QtCommPort::Write(const std::string& bytes) {
    RequireOpen();
    if (bytes.empty()) return;
    transport_->Write(bytes, line_);
}

int QtCommPort::BytesWaiting() {
    RequireOpen();
    return transport_->BytesWaiting();
}

void QtCommPort::DiscardInput() {
    RequireOpen();
    transport_->DiscardInput();
}

std::string QtCommPort::ReadAll() {
    RequireOpen();
    return transport_->ReadAll();
}

int QtCommPort::WaitForInput(int count, std::chrono::milliseconds timeout) {
    RequireOpen();
    return transport_->WaitForInput(count, timeout);
}

int QtCommPort::BytesPending() { return transport_ ? transport_->BytesPending() : 0; }

void QtCommPort::SetControlLines(const ControlLineLevels& levels) {
    levels_ = levels;
    if (IsOpen()) transport_->SetControlLines(levels_, handshake_);
}

ModemLines QtCommPort::Lines() { return IsOpen() ? transport_->Lines() : ModemLines{}; }

int QtCommPort::Descriptor() const { return IsOpen() ? transport_->Descriptor() : -1; }

std::string QtCommPort::WireBytes(std::string_view data) const {
    return transport_ ? transport_->WireBytes(data) : std::string(data);
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

void QtCommPort::NotifyArrival() {
    if (arrivalQueued_) return;
    arrivalQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            arrivalQueued_ = false;
            emit BytesArrived();
        },
        Qt::QueuedConnection);
}

void QtCommPort::RequireOpen() const {
    if (IsOpen()) return;
    if (lost_)
        throw CommError(lostFault_, Label(),
                        lostFault_ == CommFault::ConnectionLost ? device_ : std::string{},
                        lostDetail_);
    throw CommError(CommFault::PortNotOpen, Label());
}

std::string QtCommPort::Label() const {
    if (!name_.empty()) return name_;
    if (number_ == 0) return "The serial port";
    return PortLabel(static_cast<std::int16_t>(number_), DeviceName());
}

}  // namespace cat
