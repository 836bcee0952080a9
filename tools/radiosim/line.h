#pragma once

// The serial line between the computer and the radio as far as a pty lets us see it: the client's
// settings (a pty shares them between its two ends, so the radio's side reads what the program
// set), and what a UART makes of bytes sent at another speed than its own.

#include <termios.h>

#include <string>
#include <string_view>

namespace radiosim {

// The line speeds radiosim's radio can run at, in baud.
bool IsRadioSpeed(int baud);

// The speed of a termios setting in baud; 0 for a speed radiosim does not name.
int Baud(const termios& settings);

// "9600 8N2 rtscts": speed, data bits, parity (N, E, O), stop bits, flow control (rtscts,
// xonxoff or none).
std::string LineText(const termios& settings);

// What a UART reading at `read_baud` receives when these bytes are sent back to back at
// `sent_baud`, both 8N1 with the line idle (high) before and after. Each received byte starts at
// a falling edge and is sampled in the middle of each of its own bit times, as a UART does, so a
// wrong speed gives the usual fault: other bytes, often fewer or more of them, framing errors
// delivered as whatever was sampled. The same input always gives the same output.
std::string Resample(std::string_view bytes, int sent_baud, int read_baud);

}  // namespace radiosim
