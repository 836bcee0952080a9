#pragma once

// The radio on its pseudo-terminal: one poll() loop over the pty, standard input (control
// lines), client opens and closes, and the signals that stop it. The radio's behaviour lives in
// Radio; here is only what needs a file descriptor or a clock.

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "tools/radiosim/options.h"
#include "tools/radiosim/radio.h"

namespace radiosim {

// Thrown rather than exiting, so the link made so far is removed on the way out.
struct SetupFailure {
    std::string problem;
};

class Simulator final : public Radio::Listener {
public:
    explicit Simulator(const Options& options);
    ~Simulator() override;
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the pty, the link and the settings entry, and prints "pty PATH".
    void Setup();
    // Until a signal arrives.
    void Run();

    void Transmit(std::string bytes) override;
    void Report(std::string line) override { Line(line); }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };

    void InstallSignals();
    void OpenHeldSlave();
    void WatchClients();
    void ReadClientEvents();
    void MakeLink();
    void RemoveLink();
    void Line(const std::string& line, bool always = false);
    void ReadPty();
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
};

}  // namespace radiosim
