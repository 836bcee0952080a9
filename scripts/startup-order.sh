#!/usr/bin/env bash
# Lists the functions catlink runs from its start until its window is up, as the linker's section
# names, for qt/startup_order.txt: linked first and side by side, they take a few pages of memory
# instead of touching the whole program (the kernel maps a file's pages in blocks around each one
# used). Run it again when start-up has changed much; startup_bench shows what it gains.
#   scripts/startup-order.sh BUILD_DIR [OUTPUT]
# Needs valgrind and Xvfb.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [OUTPUT]}
out=${2:-$(dirname "$0")/../qt/startup_order.txt}
program=$(realpath "$build/catlink")
work=$(mktemp -d "${TMPDIR:-/tmp}/startup-order.XXXXXX")
server_pid="" program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

display=":$((70 + $$ % 20))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
server_pid=$!
sleep 1
# Under valgrind the window takes some seconds to come up; what runs after it is idle waiting.
HOME=$work XDG_CONFIG_HOME=$work DISPLAY=$display QT_QPA_PLATFORM=xcb \
    valgrind --tool=callgrind --demangle=no --callgrind-out-file="$work/profile" "$program" \
    >/dev/null 2>&1 &
program_pid=$!
sleep "${STARTUP_WAIT:-20}"
callgrind_control -d "$program_pid" >/dev/null 2>&1
sleep 2

# The functions with a cost of their own in the program (not in the libraries it loads). Names
# are given once with their number and by the number after that, after fn=, cfn=, ob= and cob=.
{
    # Static constructors and main: all of them run at every start.
    echo '.text.startup.*'
    awk -v program="$program" '
        function named(text, table,    id) {
            if (match(text, /^\([0-9]+\)/)) {
                id = substr(text, 2, RLENGTH - 2)
                text = substr(text, RLENGTH + 1)
                sub(/^ /, "", text)
                if (text != "") table[id] = text
                return table[id]
            }
            return text
        }
        /^ob=/  { object = named(substr($0, 4), objects); next }
        /^cob=/ { named(substr($0, 5), objects); next }
        /^cfn=/ { named(substr($0, 5), functions); next }
        /^fn=/  {
            name = named(substr($0, 4), functions)
            # Only symbols have sections: not an address without a name (0x...), nor the
            # profiler naming what calls main "(below main)".
            if (object == program && name ~ /^[_A-Za-z]/ && name !~ /^0x/ && !(name in seen)) {
                seen[name] = 1
                print ".text." name
                # A constructor or destructor is one body under two names; either may be seen.
                twin = name
                if (sub(/C1E/, "C2E", twin) || sub(/C2E/, "C1E", twin) ||
                    sub(/D1E/, "D2E", twin) || sub(/D2E/, "D1E", twin))
                    print ".text." twin
            }
        }
    ' "$work/profile"*.1 | LC_ALL=C sort -u
} > "$out"
echo "$(wc -l < "$out") sections written to $out"
