#!/usr/bin/env bash
# make demo: the program against the virtual radio, with a settings store of its own.
#   scripts/demo.sh BUILD_DIR [icom|kenwood|ft817]
set -euo pipefail

build=${1:-build}
protocol=${2:-icom}
case "$protocol" in
    icom) type=0 ;;
    kenwood) type=1 ;;
    ft817) type=2 ;;
    *) echo "PROTOCOL must be icom, kenwood or ft817 (not '$protocol')" >&2; exit 2 ;;
esac
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "make demo opens a window: run it from a desktop session (no DISPLAY is set)" >&2
    exit 1
fi

# The demo's own store: the user's ~/.config/CAT is never read or written.
home=$(mktemp -d "${TMPDIR:-/tmp}/cat-demo.XXXXXX")
radio_pid=""
cleanup() {
    [ -n "$radio_pid" ] && kill "$radio_pid" 2>/dev/null && wait "$radio_pid" 2>/dev/null
    rm -rf "$home"
}
trap cleanup EXIT INT TERM

mkdir -p "$home/CAT"
cat > "$home/CAT/CAT.ini" <<INI
[Setup]
Type=$type
ComPort=0
Speed=1
Address=5E
INI

# radiosim writes Ports/Com1 into the store once its pty is ready, then prints "pty PATH".
log="$home/radiosim.log"
"$build/tools/radiosim/catlink-radiosim" --protocol "$protocol" --settings "$home/CAT/CAT.ini" \
    --com 1 > "$log" &
radio_pid=$!
for _ in $(seq 100); do
    grep -q '^pty ' "$log" 2>/dev/null && break
    kill -0 "$radio_pid" 2>/dev/null || { echo "radiosim did not start" >&2; exit 1; }
    sleep 0.1
done
first=$(grep -m1 '^pty ' "$log")
echo "Virtual $protocol radio on ${first#pty } (Com 1), 14.074 MHz USB."
echo "Tick \"Open\" in the window: the display shows the radio's frequency and mode."
echo "What the radio receives and does is logged in $log while the demo runs."

status=0
XDG_CONFIG_HOME="$home" "$build/catlink" || status=$?
case $status in
    0) ;;
    3) echo "make demo: a copy of CAT is already running (its window is now in front); the demo" \
            "needs its own copy: close that one and run make demo again." >&2 ;;
    *) echo "make demo: the program ended with status $status." >&2 ;;
esac
exit $status
