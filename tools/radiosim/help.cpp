// radiosim --help: the whole story in one place, kept next to the README's tables.

#include "tools/radiosim/options.h"

namespace radiosim {
namespace {

constexpr const char* kHelp = R"(Usage: radiosim [OPTION]...
A virtual transceiver on a pseudo-terminal: open the pty it names as a serial
port and it answers like an ICOM (CI-V), Kenwood or FT-817 radio.

Radio:
  --protocol icom|kenwood|ft817   command language (default icom)
  --address HH      CI-V address in hexadecimal, icom only (default 5E)
  --freq MHZ        starting frequency in MHz, '.' as decimal point (default 14.074)
  --mode NAME       starting mode (default USB); one of
                    LSB USB CW CW-R AM FM WFM FSK FSK-R PKT
  --echo            repeat every received byte back at once, before any answer,
                    as a one-wire CI-V bus does (works with every protocol)
  --transceive      icom: announce every new frequency (command 00) and mode
                    (command 01) to address 00, FE FE 00 <addr> 00|01 ... FD

Faults, for tests:
  --silent          never transmit: set commands still take effect and are
                    reported, but no answer, acknowledgement or announcement
                    leaves the radio (a broken wire towards the computer);
                    --echo still echoes, since the bus does that, not the radio
  --garble          replace every answer by noise of the same length, as a wrong
                    line speed would; the noise never holds FD, FE or ';', so it
                    never forms a frame or ends a reply
  --delay MS        hold every answer back MS milliseconds (echo is not held)

Where the program finds it:
  --link PATH       make PATH a symlink to the pty (replaced if it is a symlink,
                    refused if it is anything else); removed again at exit
  --com N           write Ports/ComN=<pty> into the program's settings, so that
                    "Com N" in its port list opens the pty (N = 1..32)
  --settings FILE   the INI file for --com (default $XDG_CONFIG_HOME/CAT/CAT.ini
                    or ~/.config/CAT/CAT.ini); every other line is kept, the
                    file and its folders are created when missing
  --quiet           print only the first line (pty ...), no events
  -h, --help        show this text

Standard output, one line per event, flushed at once:
  pty PATH          always the first line, once the pty, --link and --com are ready
  rx HEX            bytes read from the pty, one line per read, e.g.
                    rx fe fe 5e e0 03 fd 00   (a command may span several lines)
  tx HEX            bytes the radio transmits (answers, FB/FA, announcements,
                    noise, 'send' lines), when they are written; echoed bytes
                    are not listed
  freq HZ           the frequency was set (by a command or a control line), in Hz
  mode NAME         the mode was set, e.g. mode CW
  open, close       a client opened or closed the pty (Linux)
  silent on|off, garble on|off, delay MS, pong [TEXT]
                    answers to the control lines below
Set commands report freq/mode every time they are accepted, even when the value
does not change. Errors and warnings go to standard error.

Control lines on standard input (end of input is not a reason to stop):
  freq MHZ          tune, as if the operator turned the dial, e.g. freq 7.074
  mode NAME         select a mode, e.g. mode CW
  silent on|off     garble on|off     delay MS      switch the faults above
  send HEX...       transmit these bytes as they are, e.g. send fe fe e0 5e fb fd
  ping [TEXT]       answer pong [TEXT]: everything read before has been handled
Lines that are empty or start with # are skipped.

What the radio answers:
  icom     03 -> FE FE <from> <addr> 03 <5 BCD bytes, least significant first> FD
           04 -> FE FE <from> <addr> 04 <mode> <filter> FD
           05 <4|5 BCD bytes>, 06 <mode> [<filter 1..3>] -> FB; anything else,
           or a bad value -> FA. Frames for other addresses are ignored, bytes
           between frames (such as a 00 after each frame) are skipped.
           Modes: 00 LSB 01 USB 02 AM 03 CW 04 FSK 05 FM 06 WFM 07 CW-R 08 FSK-R
           (11, synchronous AM, is taken as AM). Replies go to the address the
           command came from.
  kenwood  IF; FA; MD; ID; (ID019;) PS; (PS1;) AI; (AI0;) are answered;
           FA<11 digits>; MD<digit>; AI0; are taken without answer; anything
           else -> ?;  Mode digits: 1 LSB 2 USB 3 CW 4 FM 5 AM 6 FSK 7 CW-R 9 FSK-R.
           The IF reply is IF, 11 frequency digits, 0000+00000000000, the mode
           digit, 0000000 and ';' (38 characters).
  ft817    five-byte commands P1 P2 P3 P4 opcode, counted from the first byte:
           03 -> 4 BCD bytes of 10 Hz, most significant first, and the mode byte;
           01 sets the frequency from P1..P4, 07 the mode from P1; E7 -> 00,
           F7 -> FF, BB -> 00 00; other opcodes are ignored.
           Modes: 00 LSB 01 USB 02 CW 03 CW-R 04 AM 06 WFM 08 FM 0A FSK 0C PKT.
  A mode a protocol has no code for reads back as its nearest one (PKT as USB
  on icom and kenwood, WFM as FM on kenwood, FSK-R as 0A on ft817).

Notes:
  Frequencies run from 0 to below 10 GHz (icom, kenwood) or 1 GHz (ft817, which
  tunes in 10 Hz steps). 'send' lines ignore the silent, garble and delay faults.
  Keep reading standard output, or use --quiet or send it to /dev/null: a full
  pipe stalls the radio. The line speed is not simulated (a pty has none).
  The ComN entry stays in the settings after exit; the next run rewrites it.

It stops cleanly on SIGTERM, SIGINT or SIGHUP. Exit status: 0 after a signal,
1 when the pty, the link or the settings cannot be set up, 2 for a bad option.
)";

}  // namespace

const char* HelpText() { return kHelp; }

}  // namespace radiosim
