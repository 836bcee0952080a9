// radiosim --help: the whole story in one place, kept next to the README's tables.

#include "tools/radiosim/options.h"

namespace radiosim {
namespace {

constexpr const char* kHelp = R"(Usage: catlink-radiosim [OPTION]...
A virtual transceiver on a pseudo-terminal: open the pty it names as a serial
port and it answers like an ICOM (CI-V), Kenwood, FT-817 or Yaesu text radio.
With --rfc2217 it is a serial port on the network instead, with DTR and RTS;
with --flrig the rig-sharing server flrig with this radio behind it.

Radio:
  --protocol icom|kenwood|ft817|yaesu   command language (default icom)
  --model NAME      play one radio: its address or identity, speeds, frequency
                    ranges, modes and the commands it answers; one of
                    ic7300 ic705 ic9700 ic7610 ic706mk2g (icom); ts590s ts890s
                    ts2000 k3 kx3 k4 qmx sdr (kenwood); ft817 ft818 (ft817);
                    ft991a ft891 ft710 ftdx10 ftdx101d (yaesu). It sets the
                    protocol; without it radiosim is a generic radio of the
                    protocol, as described below
  --address HH      CI-V address in hexadecimal, icom only (default 5E, or the
                    model's: 94 IC-7300, A4 IC-705, A2 IC-9700, 98 IC-7610,
                    58 IC-706MKIIG)
  --any-address     icom: answer a frame sent to any address, from that address,
                    as some clones and interfaces do; 19 00 still gives the
                    radio's own address
  --freq MHZ        starting frequency in MHz, '.' as decimal point (default
                    14.074; 144.3 on the IC-9700)
  --mode NAME       starting mode (default USB); one of
                    LSB USB CW CW-R AM FM WFM FSK FSK-R PKT (DV DD on models
                    that have them; DATA-L DATA-FM FM-N AM-N C4FM on yaesu);
                    a model offers only its own modes
  --echo            repeat every received byte back at once, before any answer,
                    as a one-wire CI-V bus does (works with every protocol)
  --transceive      icom: announce every new frequency (command 00) and mode
                    (command 01) to address 00, FE FE 00 <addr> 00|01 ... FD
  --keyed           transmitting from the start, as with the PTT button held,
                    VOX or a stuck foot switch ('key off' releases it)

The serial port on the network:
  --rfc2217 [HOST:]PORT  serve the radio as a telnet RFC 2217 (Com Port Control)
                    port on TCP instead of a pty; HOST defaults to 127.0.0.1,
                    PORT 0 picks a free port. One client at a time (another
                    hears 'Port already in use' and is closed). A connection
                    raises DTR and RTS at once, as opening a port does; closing
                    it drops both. It answers SET-BAUDRATE, -DATASIZE, -PARITY,
                    -STOPSIZE, SET-CONTROL (flow control, DTR 7/8/9, RTS
                    10/11/12, break) and the masks with the value in use,
                    notifies the modem state (CTS and DSR on, DCD off; CTS off
                    with --cts-low), and doubles FF in the data both ways. The
                    speed the client sets counts for --speed as on the pty.
  --ptt rts|dtr     that line keys the transmitter: while it is raised the radio
                    transmits (needs --rfc2217: a pty has no modem lines)

The rig-sharing server:
  --flrig [HOST:]PORT  serve the radio as flrig 1.4.7 does on its XML-RPC port
                    (flrig's is 12345) instead of a pty; HOST defaults to
                    127.0.0.1, PORT 0 picks a free port. One client at a time,
                    HTTP/1.1 kept alive, one call read at a time (a second call
                    sent with the first is never answered, as with flrig).
                    It answers main.get_version (1.4.7), rig.get_xcvr (the
                    model's name, radiosim without --model), rig.get_vfo,
                    rig.get_mode and rig.get_modes (the model's modes in flrig's
                    names for that maker: RTTY and USB-D on an ICOM, CW-U and
                    DATA-U on a Yaesu), rig.get_ptt, rig.set_vfo, rig.set_mode,
                    rig.set_ptt; any other method draws a fault. With --silent
                    (or 'silent on') flrig has no transceiver: rig.get_xcvr
                    answers empty, rig.get_vfo and rig.get_mode flrig's own
                    14070000 and USB, and sets change nothing

Faults, for tests and for the link doctor:
  --speed N         the radio's line runs at N baud (1200 2400 4800 9600 19200
                    38400 57600 115200; a model only its own). When the speed
                    the program set on the pty differs, bytes are garbled both
                    ways as a UART at the wrong speed garbles them: each byte is
                    re-sampled bit by bit at the other speed, so bytes change,
                    vanish or multiply; always the same way for the same bytes.
                    Without --speed the radio follows whatever speed is set.
  --echo-only       an interface that echoes every byte with no radio behind it:
                    nothing but the echo comes back
  --cts-low         the radio holds CTS low: with RTS/CTS flow control nothing
                    the program writes leaves its port (on the pty its output
                    is stopped whatever the flow control; with --rfc2217 what
                    it sends under RTS/CTS waits until flow control is off)
  --refuse          refuse every command: Kenwood answers ?; and ICOM FA
  --stop-after S    answer normally for S seconds (e.g. 2 or 0.5) after the
                    first command, then never again (prints 'stopped')
  --silent          never transmit: set commands still take effect and are
                    reported, but no answer, acknowledgement or announcement
                    leaves the radio (a broken wire towards the computer);
                    --echo still echoes, since the bus does that, not the radio
  --garble          replace every answer by noise of the same length; the noise
                    never holds FD, FE or ';', so it never forms a frame or
                    ends a reply
  --delay MS        hold every answer back MS milliseconds (echo is not held)
  --split MS        send every answer in two halves, the second MS milliseconds
                    after the first, as a slow network or a busy server delivers
                    it; flrig's answers too
  Replies of another protocol: run radiosim with another --protocol than the
  program uses (CI-V frames sent to a Kenwood radiosim draw ?;, Kenwood text
  sent to an ICOM radiosim draws nothing).

Where the program finds it:
  --link PATH       make PATH a symlink to the pty (replaced if it is a symlink,
                    refused if it is anything else); removed again at exit;
                    not with --rfc2217
  --com N           write Ports/ComN=<pty> into the program's settings, so that
                    "Com N" in its port list opens the pty (N = 1..32); with
                    --rfc2217 ComN=rfc2217://HOST:PORT, with --flrig
                    ComN=flrig://HOST:PORT
  --settings FILE   the INI file for --com (default $XDG_CONFIG_HOME/CAT/CAT.ini
                    or ~/.config/CAT/CAT.ini); every other line is kept, the
                    file and its folders are created when missing
  --quiet           print only the first line (pty, rfc2217 or flrig), no events
  -h, --help        show this text
Options take their value as the next word or after '=' (--speed=9600).

Standard output, one line per event, flushed at once:
  pty PATH          always the first line, once the pty, --link and --com are ready
  rfc2217 HOST:PORT the first line instead with --rfc2217, once it listens
  flrig HOST:PORT   the first line instead with --flrig, once it listens
  call METHOD       a call to the flrig server (--flrig), e.g. call rig.get_vfo
  rx HEX            bytes read from the pty, one line per read, e.g.
                    rx fe fe 5e e0 03 fd 00   (a command may span several lines)
  tx HEX            bytes the radio transmits (answers, FB/FA, announcements,
                    noise, 'send' lines), when they are written; echoed bytes
                    are not listed
  freq HZ           the frequency was set (by a command or a control line), in Hz
  mode NAME         the mode was set, e.g. mode CW
  unselected freq HZ, unselected mode NAME   the same for the other VFO
  vfo A|B, vfo equal, vfo exchange, split on|off, data N, setting ITEM VALUE,
  lock on|off, clar on|off, power on|off
                    what a set command changed
  ptt on|off        a CAT transmit request, taken (it keys or releases)
  transmit on (cat|rts|dtr|key), transmit off
                    the transmitter changed state; 'on' names what keyed it: a
                    CAT command, the wired line, or the operator (--keyed, key)
  lines dtr on|off rts on|off   the client changed DTR or RTS (--rfc2217), also
                    when it connects (both on) and disconnects (both off)
  write LANGUAGE COMMAND   every received command that asks for a change, taken
                    or not, never a read: write civ 05 00 40 07 14 00,
                    write kenwood FA00014074000;  write yaesu MD02;
                    write ft817 lock on (00 00 00 00 00)
                    write flrig rig.set_vfo 7074000.0 (every call but a read)
  unknown ...       a command this radio does not know, e.g.
                    unknown fe fe 94 e0 1b fd    unknown XY;    unknown 00 00 00 00 10
  line SPEED FORMAT FLOW   the client's line settings, when a client opens and
                    whenever they change, e.g. line 9600 8N2 rtscts
  open, close       a client opened or closed the pty (Linux) or connected to
                    or left the network port
  stopped           --stop-after has run out
  silent on|off, garble on|off, delay MS, pong [TEXT]
                    answers to the control lines below
open, close, line, lines and transmit end with the time they happened, t=SECONDS
  since radiosim started (steady clock): transmit on (rts) t=0.512345
Set commands report freq/mode every time they are accepted, even when the value
does not change. Errors and warnings go to standard error.

Control lines on standard input (end of input is not a reason to stop):
  freq MHZ          tune, as if the operator turned the dial, e.g. freq 7.074
  mode NAME         select a mode, e.g. mode CW
  silent on|off     garble on|off     delay MS      switch the faults above
  send HEX...       transmit these bytes as they are, e.g. send fe fe e0 5e fb fd
  key on|off        the operator presses or releases PTT
  ping [TEXT]       answer pong [TEXT]: everything read before has been handled
Lines that are empty or start with # are skipped.

What the radio answers:
  icom     Only frames that start with two FE bytes. Every radio:
           03 -> FE FE <from> <addr> 03 <5 BCD bytes, least significant first> FD
           04 -> FE FE <from> <addr> 04 <mode> <filter> FD
           05 <4|5 BCD bytes>, 06 <mode> [<filter 1..3>] -> FB; a bad value -> FA.
           A model also has 00/01 (taken, no answer), 07 (VFO; D0/D1 on the
           IC-9700 and IC-7610), 0F (split), 15 02 (S-meter: S9), 19 00 (its
           address) and, except the IC-706MKIIG, 1A 05 (set-mode items), 1A 06
           (data mode), 1C 00 (reads 00 receiving, 01 transmitting; 1C 00 01
           keys, 1C 00 00 releases, FB), 25 and 26 (selected/unselected VFO
           frequency, mode).
           Anything else -> FA and an 'unknown' line. Frames for other
           addresses are ignored (with --any-address every address but 00 is
           the radio's), bytes between frames are skipped. 19 00 sent to 00
           is the one broadcast answered: FE FE E0 <addr> 19 00 <addr> FD.
           Modes: 00 LSB 01 USB 02 AM 03 CW 04 FSK 05 FM 06 WFM 07 CW-R 08 FSK-R
           17 DV 22 DD (11, synchronous AM, is taken as AM). Replies go to the
           address the command came from.
  kenwood  Every radio: IF; FA; MD; ID; PS; (PS1;) AI; are answered; FA<11
           digits>; MD<digit>; AI0; are taken without answer. The generic radio
           answers ID019;. A model also has FB, FR/FT (receive and transmit
           VFO), SM0 (S9), TX/TX0..2 and RX (key and release), PS0/PS1, AI0..4
           (AI on sends IF after a change), and FV and DA on the TS-590S and
           TS-890S. ID: TS-590S 021, TS-890S 024, TS-2000 019. Anything else
           -> ?; and an 'unknown' line. Every byte up to the next ';' is kept:
           bytes in front of a command make it unknown (?;); a lone ; ends them.
           Mode digits: 1 LSB 2 USB 3 CW 4 FM 5 AM 6 FSK 7 CW-R 9 FSK-R.
           The IF reply is IF, 11 frequency digits, 0000+0000000000, the TX/RX
           digit (index 28, 1 transmitting), the mode digit, the VFO digit, 0,
           the split digit, 0000 and ';' (38 characters).
           k3 kx3 k4 (ID017): also K2 K3 (command modes), OM (option modules),
           RVx (firmware), BW (width), TQ (TQ0; or TQ1; transmitting), MD$;
           and the Elecraft IF with blanks:
           IF<11>     +000000 00<tx><mode><vfo>0<split>001 ;
           qmx (ID020): the TS-480 IF with blanks for the step:
           IF<11>     +000000000<tx><mode><vfo>0<split>000 ;
           sdr (ID019): a TS-2000 with ZZFA ZZFB (11 digits), ZZMD (00 LSB
           01 USB 03 CW-R 04 CW 05 FM 06 AM 07 FSK-R 09 FSK) and ZZIF.
  yaesu    Commands end in ';', either case. FA; FB; -> 9 digits, FA<9>; sets;
           MD0; -> MD0<c>; MD0<c>; sets (1 LSB 2 USB 3 CW 4 FM 5 AM 6 FSK 7 CW-R
           8 DATA-L 9 FSK-R A DATA-FM B FM-N C PKT D AM-N E C4FM); IF; ->
           IF001<9 digits>+0000<rx clar><tx clar><c>00000; (28 characters);
           ID; -> 4 digits (0670 FT-991A, 0650 FT-891, 0800 FT-710, 0761 FTDX10,
           0681 FTDX101D); TX; -> TX0; receiving, TX1; keyed by CAT, TX2;
           keyed otherwise (TX1; TX2; key, TX0; releases); AI PS
           VS FT ST AB EX SH NA RF. Anything else or a bad value -> ?;
  ft817    five-byte commands P1 P2 P3 P4 opcode, counted from the first byte
           (a half block is dropped after 200 ms without a byte):
           03 -> 4 BCD bytes of 10 Hz, most significant first, and the mode byte;
           01 sets the frequency from P1..P4, 07 the mode from P1; E7 -> 00 (a
           model: 09, S9), F7 -> FF receiving, bit 7 clear transmitting (20;
           00 in split), BB -> the two EEPROM bytes at P1 P2 (byte 0055 bit 0:
           VFO B in use; the rest reads 00). A model also takes lock 00/80, PTT
           08/88 (key, release), split 02/82, clarifier 05/85 (each answers 00,
           or F0 when it was so already), F5, VFO A/B 81, 09 F9 0A 0B 0C, power
           0F/8F. Other opcodes: no answer, 'unknown' line.
           Modes: 00 LSB 01 USB 02 CW 03 CW-R 04 AM 06 WFM 08 FM 0A FSK 0C PKT.
  A mode a protocol has no code for reads back as its nearest one (PKT as USB
  on icom and kenwood, WFM as FM on kenwood, FSK-R as 0A on ft817).

Notes:
  Without a model frequencies run from 0 to below 10 GHz (icom, kenwood) or
  1 GHz (ft817, which tunes in 10 Hz steps); a model tunes its own ranges and
  refuses the rest. 'send' lines ignore the faults.
  Keep reading standard output, or use --quiet or send it to /dev/null: a full
  pipe stalls the radio. The ComN entry stays in the settings after exit.

It stops cleanly on SIGTERM, SIGINT or SIGHUP. Exit status: 0 after a signal,
1 when the pty, the link or the settings cannot be set up, 2 for a bad option.
)";

}  // namespace

const char* HelpText() { return kHelp; }

}  // namespace radiosim
