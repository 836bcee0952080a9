#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing.
#   scripts/install-deps.sh run    what building and starting the program needs (make run, demo)
#   scripts/install-deps.sh test   that, and what the tests, the benchmarks and the package need
#                                  (make test, make build, make package); the default
set -euo pipefail

what=${1:-test}
packages=(
    cmake ninja-build g++ pkg-config git
    qt6-base-dev qt6-serialport-dev libgl-dev
)
case "$what" in
    run) ;;
    test)
        packages+=(
            libgtest-dev libgmock-dev libbenchmark-dev
            # outside programs the tests run against radiosim and the program; ser2net
            # publishes a pseudo-terminal on the network for the remote-radio tests; rigctld
            # (in libhamlib-utils) and flrig are the rig-sharing servers the server links meet
            libhamlib-utils ser2net flrig
            # the package and its check: dpkg-shlibdeps, validators, man page rendering, lintian
            dpkg-dev desktop-file-utils appstream groff-base lintian
        )
        ;;
    *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# Another apt (an unattended upgrade, a second terminal) may hold the lock: wait for it.
apt_get() {
    local attempt
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        if $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=120 "$@"; then
            return 0
        fi
        echo "apt-get failed (attempt $attempt); retrying in 15 s" >&2
        sleep 15
    done
    return 1
}

apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}"
