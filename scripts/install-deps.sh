#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libhamlib-utils
)

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
