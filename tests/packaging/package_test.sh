#!/usr/bin/env bash
# The Debian package as a user gets it: built with CPack from the finished build, unpacked into a
# temporary root, its control fields and file list checked, its desktop entry, AppStream file and
# manual pages validated, and the unpacked programs started without a display.
#   package_test.sh BUILD_DIR CPACK APP_ID
# Exit status 77 (skipped) when a tool is missing; the message names its Debian package.
set -euo pipefail

build=$1
cpack=$2
id=$3

need() {
    command -v "$1" > /dev/null || { echo "SKIPPED: $1 is missing (Debian package $2)"; exit 77; }
}
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need desktop-file-validate desktop-file-utils
need appstreamcli appstream
need groff groff-base

work=$(mktemp -d "${TMPDIR:-/tmp}/catlink-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

if ! timeout 300 "$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    fail "cpack could not build the package"
    exit 1
fi
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || { fail "expected one .deb, got: ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "built $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = catlink ] || fail "Package is '$(field Package)'"
[ "$(field Section)" = hamradio ] || fail "Section is '$(field Section)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
# Computed from the binaries, plus the window-system plugins no binary names.
for dependency in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 qt6-qpa-plugins; do
    field Depends | tr ',' '\n' | grep -q "^ *$dependency\b" || fail "Depends lacks $dependency: $(field Depends)"
done

# Every file, exactly, all under /usr and none under /usr/local, all owned by root.
expected=$(
    printf '%s\n' \
        ./usr/bin/catlink \
        ./usr/bin/catlink-radiosim \
        "./usr/share/applications/$id.desktop" \
        ./usr/share/doc/catlink/changelog.gz \
        ./usr/share/doc/catlink/copyright \
        "./usr/share/icons/hicolor/scalable/apps/$id.svg" \
        ./usr/share/man/man1/catlink-radiosim.1.gz \
        ./usr/share/man/man1/catlink.1.gz \
        "./usr/share/metainfo/$id.metainfo.xml"
    for size in 16 22 24 32 48 64 128 256; do
        echo "./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    done
)
listing=$(dpkg-deb -c "$deb")
actual=$(awk '$6 !~ /\/$/ {print $6}' <<< "$listing" | sort)
diff <(sort <<< "$expected") <(echo "$actual") > "$work/files.diff" ||
    { cat "$work/files.diff"; fail "the package's files differ from the list (< expected, > packaged)"; }
owners=$(awk '{print $2}' <<< "$listing" | sort -u)
[ "$owners" = root/root ] || fail "owners: $owners"

root="$work/root"
timeout 60 dpkg-deb -x "$deb" "$root"

# desktop-file-validate prints hints it does not fail on: any output counts.
report=$(timeout 30 desktop-file-validate "$root/usr/share/applications/$id.desktop" 2>&1) && [ -z "$report" ] ||
    fail "desktop-file-validate: $report"
timeout 60 appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" > "$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log"; fail "appstreamcli validate"; }
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "the AppStream file does not launch $id.desktop"

# Each PNG is the size its folder names (width and height are bytes 16 to 23 of the file).
for png in "$root"/usr/share/icons/hicolor/*x*/apps/*.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$png")
    [ "${w}x${h}" = "$size" ] || fail "$png is ${w}x${h}"
done
grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/$id.svg" || fail "the SVG icon is no SVG"

# Both programs start from the unpacked tree, with no display, and answer.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$@"; }
version=$(sed -n 's/^#define CATLINK_VERSION "\(.*\)"$/\1/p' "$build/generated/qt/catlink_version.h")
said=$(run "$root/usr/bin/catlink" --version) || fail "catlink --version failed"
[ "$said" = "catlink $version" ] || fail "catlink --version said '$said', not 'catlink $version'"
[ -z "$(ls -A "$HOME" 2> /dev/null)" ] || fail "catlink --version wrote into the home folder"

# Each manual page renders without a warning and names every option its program's --help lists.
for program in catlink catlink-radiosim; do
    page="$root/usr/share/man/man1/$program.1.gz"
    warnings=$(zcat "$page" | timeout 30 groff -man -Tascii -ww -z 2>&1) || true
    [ -z "$warnings" ] || fail "$program.1: $warnings"
    text=$(zcat "$page" | timeout 30 groff -man -Tascii -P-cbou 2> /dev/null)
    help=$(run "$root/usr/bin/$program" --help) || fail "$program --help failed"
    for option in $(grep -o -- '--[a-z][a-z-]*' <<< "$help" | sort -u); do
        grep -q -- "$option" <<< "$text" || fail "$program.1 does not mention $option"
    done
done

# Lintian, when it is installed (Debian package lintian), works offline; warnings count too.
if command -v lintian > /dev/null; then
    timeout 240 lintian --fail-on error,warning --tag-display-limit 0 "$deb" > "$work/lintian.log" 2>&1 ||
        fail "lintian: $(cat "$work/lintian.log")"
    echo "lintian: $(grep -c '^[EWIP]:' "$work/lintian.log" || true) tags"
else
    echo "lintian not run: it is missing (Debian package lintian)"
fi

[ "$failures" -eq 0 ] || exit 1
echo "the package passed: $(basename "$deb"), $(wc -l <<< "$actual") files"
