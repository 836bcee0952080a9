#pragma once

// The client's side of a telnet connection carrying the Com Port Control Option (RFC 2217), as
// ser2net's telnet(rfc2217) accepter speaks it: the program sets the far serial port's line and
// exchanges data through it. A value with no I/O of its own: bytes received go in, data for the
// reader and answers for the wire come out, so it is tested from byte traces.
//
//   set 9600 baud:  ff fa 2c 01 00 00 25 80 ff f0  (IAC SB COM-PORT-OPTION SET-BAUDRATE .. IAC SE)
//   the far end:    ff fa 2c 65 00 00 25 80 ff f0  (the same command + 100, the value in use)
//   data byte ff:   ff ff                          (doubled both ways)

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/line_settings.h"

namespace cat {

namespace telnet {
inline constexpr std::uint8_t kSE = 240;
inline constexpr std::uint8_t kSB = 250;
inline constexpr std::uint8_t kWILL = 251;
inline constexpr std::uint8_t kWONT = 252;
inline constexpr std::uint8_t kDO = 253;
inline constexpr std::uint8_t kDONT = 254;
inline constexpr std::uint8_t kIAC = 255;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;
}  // namespace telnet

// Commands from the client; the access server answers with the same code plus 100.
enum class ComPortCommand : std::uint8_t {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyModemState = 7,  // sent by the access server only (107)
    SetModemStateMask = 11,
};
inline constexpr std::uint8_t kServerReplyOffset = 100;

// SET-CONTROL values.
enum class ComPortControl : std::uint8_t {
    NoFlowControl = 1,
    HardwareFlowControl = 3,
    RequestDtr = 7,
    DtrOn = 8,
    DtrOff = 9,
    RequestRts = 10,
    RtsOn = 11,
    RtsOff = 12,
};

class TelnetSession {
public:
    enum class Agreement { Pending, Accepted, Refused };

    // The client's opening: WILL COM-PORT-OPTION, and binary both ways so that every byte value
    // passes unchanged; whatever the far end has already offered and we took is not asked again.
    std::string Start();

    // Takes bytes from the network: data bytes are appended to `data`, answers the far end is due
    // (option negotiation) to `reply`.
    void Receive(std::string_view bytes, std::string& data, std::string& reply);

    // Data for the wire: 0xFF doubled; CR sent as CR NUL while the far end has not agreed to
    // binary, as telnet requires.
    std::string EncodeData(std::string_view data) const;

    // Whether the far end lets us control its serial port.
    Agreement ComPortAgreement() const;

    // The value the far end last reported for a setting (its answer to a request), nothing until
    // one came after the last ForgetReports(). SET-CONTROL's answers about DTR and RTS are kept
    // apart from its answers about flow control, which this reports.
    std::optional<std::uint32_t> Reported(ComPortCommand command) const;
    void ForgetReports();

    // The far port's DTR and RTS as its last answers put them; its modem state (NOTIFY-MODEMSTATE:
    // 0x80 DCD, 0x20 DSR, 0x10 CTS) as last notified. Not forgotten with the reports: they are
    // the line's state, not answers to the last request.
    std::optional<bool> ReportedDtr() const { return dtr_; }
    std::optional<bool> ReportedRts() const { return rts_; }
    std::optional<std::uint8_t> ModemState() const { return modemState_; }

    // IAC SB COM-PORT-OPTION <command> <value> IAC SE, the value's bytes doubled where they are
    // 0xFF.
    static std::string SetBaudRate(std::uint32_t baud);
    static std::string SetDataSize(int bits);
    static std::string SetParity(Parity parity);
    static std::string SetStopSize(StopBits stopBits);
    static std::string SetControl(ComPortControl value);
    static std::string SetModemStateMask(std::uint8_t mask);

    // The wire value of a parity or stop-bit setting, for comparing with Reported().
    static std::uint8_t ParityValue(Parity parity);
    static std::uint8_t StopSizeValue(StopBits stopBits);

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    enum class Side { No, WantYes, Yes };

    void Take(char c, std::string& data, std::string& reply);
    void TakeData(char c, std::string& data);
    void TakeCommand(char c, std::string& data);
    void KeepSubnegotiationByte(char c);
    void TakeAfterSubnegotiationIac(char c, std::string& data, std::string& reply);
    void Negotiate(std::uint8_t verb, std::uint8_t option, std::string& reply);
    void EndSubnegotiation();
    void TakeControlAnswer(std::uint8_t value);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::string sub_;
    bool subOverflow_ = false;
    bool lastWasCr_ = false;
    std::array<Side, 256> us_{};   // options we perform (WILL/WONT from us)
    std::array<Side, 256> him_{};  // options the far end performs
    bool comPortRefused_ = false;
    std::array<std::optional<std::uint32_t>, 16> reported_{};
    std::optional<bool> dtr_;
    std::optional<bool> rts_;
    std::optional<std::uint8_t> modemState_;
};

}  // namespace cat
