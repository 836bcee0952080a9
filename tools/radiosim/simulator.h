#pragma once

// The radio on its pseudo-terminal, or on a network serial port (--rfc2217): one poll() loop over
// the pty or the connection, standard input (control lines), clients coming and going, and the
// signals that stop it. The radio's behaviour lives in Radio and the telnet side in
// ComPortServer; here is only what needs a file descriptor or a clock.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "tools/radiosim/com_port_server.h"
#include "tools/radiosim/flrig_server.h"
#include "tools/radiosim/options.h"
#include "tools/radiosim/radio.h"

namespace radiosim {

// Thrown rather than exiting, so the link made so far is removed on the way out.
struct SetupFailure {
    std::string problem;
};

class Simulator final : public Radio::Listener,
                        public ComPortServer::Listener,
                        public FlrigServer::Listener {
public:
    explicit Simulator(const Options& options);
    ~Simulator() override;
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the pty, the link and the settings entry, and prints "pty PATH"; with --rfc2217
    // listens instead and prints "rfc2217 HOST:PORT", with --flrig "flrig HOST:PORT".
    void Setup();
    // Until a signal arrives.
    void Run();

    void Transmit(std::string bytes) override;
    // The radio's events and the flrig server's calls alike.
    void Report(std::string line) override { Line(line); }
    void Event(std::string line) override { TimedLine(line); }

    void SerialData(std::string_view bytes) override;
    // Answers of the telnet side or of the flrig server, for the connection as they are.
    void Answer(std::string bytes) override;
    void ControlLinesChanged() override;

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::string bytes;
        bool reported = true;  // a "tx" line says it left (flrig's answers have none)
    };

    // Schedules an answer to leave at `due`: whole, or in two halves --split apart.
    void Schedule(Clock::time_point due, std::string bytes, bool reported);

    void InstallSignals();
    void OpenHeldSlave();
    void WatchClients();
    void ReadClientEvents();
    void MakeLink();
    void RemoveLink();
    void Line(const std::string& line, bool always = false);
    // A line with the time it happened: see report_time.h.
    void TimedLine(const std::string& line);
    void ReadPty();
    // Bytes the client sent to the radio's serial port, from the pty or the connection.
    void Received(std::string_view bytes);
    // Bytes the radio puts on the line towards the client.
    void Deliver(std::string_view bytes);
    bool Flrig() const { return options_.flrig_port >= 0; }
    bool Network() const { return options_.rfc2217_port >= 0 || Flrig(); }
    int PortFd() const { return Network() ? client_fd_ : master_; }
    void Listen(const std::string& host, int port);
    void Accept();
    void ReadClient();
    void Disconnect();
    // The network client's line settings: reported when they change.
    void CheckNetworkLine();
    // The wired PTT line follows DTR or RTS.
    void WirePtt(bool dtr, bool rts);
    static bool RtsLevel(const ComPortLine& line);
    bool ReadControl();
    void Control(std::string_view line);
    void Warn(const std::string& text);
    int Timeout() const;
    void ReleaseDue();
    void Flush();
    std::uint8_t Noise();
    // The client's line settings: reported when they change, and the speed it talks at.
    void CheckLine(bool report_always);
    bool WrongSpeed() const { return options_.speed != 0 && client_baud_ != options_.speed; }
    bool Stopped();

    const Options& options_;
    const Clock::time_point started_ = Clock::now();
    bool silent_;
    bool garble_;
    int delay_;
    Radio radio_;
    std::string pty_path_;
    int master_ = -1;
    int held_slave_ = -1;
    int watch_ = -1;  // client opens and closes of the pty
    int signal_pipe_[2] = {-1, -1};
    bool link_made_ = false;
    int hangups_ = 0;
    std::string control_;
    std::deque<Pending> scheduled_;
    std::string outgoing_;
    std::uint32_t noise_ = 0x2545F491;
    int clients_ = 0;  // open descriptors of the pty besides ours
    std::string line_text_;
    int client_baud_ = 0;
    bool commanded_ = false;  // --stop-after counts from the first command
    Clock::time_point first_command_;
    bool stopped_ = false;

    int listen_fd_ = -1;
    int client_fd_ = -1;
    std::string address_;  // HOST:PORT listened on
    std::optional<ComPortServer> server_;
    std::optional<FlrigServer> flrig_;
    std::string held_;  // what the client sent while CTS holds it back
};

}  // namespace radiosim
