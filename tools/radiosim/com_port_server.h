#pragma once

// The access server's side of a telnet connection carrying the Com Port Control Option (RFC
// 2217), as a serial port server on the network speaks it: the client sets the line and the
// control lines of the serial port behind it and exchanges data through it. No I/O here: bytes
// from the network go in, and the serial data, the answers for the wire and the changes of DTR
// and RTS come out through the Listener in the order they happened, so a test drives it from
// byte traces.
//
//   client sets 9600 baud:  ff fa 2c 01 00 00 25 80 ff f0
//   the answer:             ff fa 2c 65 00 00 25 80 ff f0   (command + 100, the value in use)
//   client drops RTS:       ff fa 2c 05 0c ff f0            answer ff fa 2c 69 0c ff f0
//   modem lines:            ff fa 2c 6b 30 ff f0            (NOTIFY-MODEMSTATE: CTS and DSR on)

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace radiosim {

// The serial line as the client set it; a new connection starts at 9600 8N1 without flow
// control and with DTR and RTS raised, as a port that was just opened.
struct ComPortLine {
    int baud = 9600;
    int data_bits = 8;
    char parity = 'N';     // N O E M S
    char stop_bits = '1';  // 1, 2, or 5 for one and a half
    bool hardware_flow = false;
    bool software_flow = false;
    bool dtr = true;
    bool rts = true;
};

// "9600 8N1 none", as radiosim reports the pty's line: speed, data bits, parity, stop bits and
// flow control (rtscts, xonxoff or none).
std::string ComPortLineText(const ComPortLine& line);

class ComPortServer {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // Data bytes for the serial port, telnet escapes removed.
        virtual void SerialData(std::string_view bytes) = 0;
        // Bytes for the wire: answers to the client's requests and notifications.
        virtual void Answer(std::string bytes) = 0;
        // DTR or RTS changed; line() tells the new levels.
        virtual void ControlLinesChanged() = 0;
    };

    explicit ComPortServer(Listener& listener) : listener_(listener) {}

    // What the server offers as the connection opens: suppress-go-ahead and binary both ways,
    // and it asks the client to control the port.
    std::string Greeting();

    void Receive(std::string_view bytes);

    // Data for the wire: 0xFF doubled, and CR followed by NUL unless the client takes binary.
    std::string EncodeData(std::string_view data) const;

    const ComPortLine& line() const { return line_; }

    // CTS, DSR and DCD as the radio drives them. A change the client's mask lets through is
    // notified to it at once.
    void SetModemLines(bool cts, bool dsr, bool dcd);

private:
    enum class State { kData, kIac, kVerb, kSub, kSubIac };
    enum class Side : std::uint8_t { kNo, kWantYes, kYes };

    void Take(char c);
    void TakeCommand(std::uint8_t b);
    void Negotiate(std::uint8_t verb, std::uint8_t option);
    void EndSubnegotiation();
    void SetBaudRate(const std::string& value);
    void SetControl(std::uint8_t value);
    void Reply(std::uint8_t command, std::string_view value);
    void NotifyModemState(std::uint8_t deltas);
    std::uint8_t ModemState() const;

    Listener& listener_;
    ComPortLine line_;
    State state_ = State::kData;
    std::uint8_t verb_ = 0;
    std::string sub_;
    bool sub_overflow_ = false;
    bool last_was_cr_ = false;
    std::array<Side, 256> us_{};   // options the server performs
    std::array<Side, 256> him_{};  // options the client performs
    bool break_on_ = false;
    std::uint8_t inbound_flow_ = 14;  // SET-CONTROL code: no inbound flow control
    std::uint8_t modem_mask_ = 0xFF;  // RFC 2217: every modem line is notified until told
    std::uint8_t line_state_mask_ = 0;
    bool cts_ = true;
    bool dsr_ = true;
    bool dcd_ = false;
};

}  // namespace radiosim
