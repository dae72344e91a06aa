#!/usr/bin/env bash
# The Debian package as a player gets it: built by CPack from a build tree, unpacked with
# dpkg-deb into a scratch root, checked to hold every file the game opens, its launcher
# started from an unrelated folder under Xvfb to play 300 frames, and its desktop entry,
# metadata and package checked by desktop-file-validate, appstreamcli and lintian.
#
# Usage: tests/package/package_test.sh BUILD_DIR FRAME_DRIVER.so [zorvalen_VERSION_amd64.deb]
#   Without a .deb, one is made from BUILD_DIR with cpack. FRAME_DRIVER.so is preloaded into
#   the game to play it (tests/package/frame_driver.c). Exit 0 when every check passes, 1
#   when one fails, 77 when a tool it needs is missing (scripts/deps.sh ZV_PACKAGE_TEST_PACKAGES).
set -uo pipefail
build=$(readlink -f "$1")
driver=$(readlink -f "$2")
deb=${3:-}

for tool in cpack dpkg-deb Xvfb desktop-file-validate appstreamcli lintian identify compare; do
    command -v "$tool" >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done

tmp=$(mktemp -d)
xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
    rm -rf "$tmp"
}
trap cleanup EXIT
failed=0
check() {  # check <description> <command...>
    local description=$1
    shift
    if "$@"; then echo "ok: $description"; else echo "FAIL: $description"; failed=1; fi
}

if [ -z "$deb" ]; then
    (cd "$build" && cpack -G DEB -B "$tmp/packages" >"$tmp/cpack.log" 2>&1) ||
        { cat "$tmp/cpack.log"; echo "FAIL: cpack made a .deb"; exit 1; }
    deb=$(ls "$tmp"/packages/zorvalen_*.deb)
fi
root="$tmp/root"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x $deb"; exit 1; }
echo "package: $(basename "$deb"), $(find "$root" -type f | wc -l) files"

# Every file the game opens, byte for byte as the build generated it.
same_assets() {
    local name bad=()
    for file in "$build"/assets/*; do
        name=$(basename "$file")
        cmp -s "$file" "$root/usr/share/games/zorvalen/$name" || bad+=("$name")
    done
    [ ${#bad[@]} -eq 0 ] || echo "  missing or different: ${bad[*]}"
    [ ${#bad[@]} -eq 0 ] && [ -n "$name" ]
}
check "every picture, sound and the font in /usr/share/games/zorvalen" same_assets
desktop_files() {
    local f missing=()
    for f in usr/games/zorvalen usr/lib/games/zorvalen/zorvalen usr/share/applications/zorvalen.desktop \
             usr/share/applications/zorvalen-watch.desktop usr/share/mime/packages/zorvalen.xml \
             usr/share/man/man6/zorvalen.6.gz usr/share/doc/zorvalen/copyright \
             usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/zorvalen.png; do
        [ -f "$root/$f" ] || missing+=("$f")
    done
    ls "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null 2>&1 || missing+=(metainfo)
    [ ${#missing[@]} -eq 0 ] || echo "  missing: ${missing[*]}"
    [ ${#missing[@]} -eq 0 ]
}
check "launcher, binary, menu entry, replay entry and type, icons, metadata, man page and copyright" desktop_files
icon_sizes() {
    local size got
    for size in 16 32 48 64 128 256; do
        got=$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/zorvalen.png")
        [ "$got" = "${size}x${size}" ] || { echo "  ${size}x${size} icon is $got"; return 1; }
    done
}
check "each icon has its folder's size" icon_sizes

check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/zorvalen.desktop" \
    "$root/usr/share/applications/zorvalen-watch.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
lintian_ok() {
    lintian --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1
    local status=$?
    grep -v 'root privileges' "$tmp/lintian.log" | sed 's/^/  /'
    return $status
}
check "lintian: no errors or warnings" lintian_ok

# --- the installed binary started without its launcher, from another folder: it finds its files
# where the package put them, and goes on to want a window (there is no display here)

mkdir -p "$tmp/elsewhere"
message=$(cd "$tmp/elsewhere" && DISPLAY= WAYLAND_DISPLAY= SDL_VIDEODRIVER= XDG_DATA_HOME="$tmp/data" \
    timeout 20 "$root/usr/lib/games/zorvalen/zorvalen" 2>&1)
grep -q 'cannot open a window' <<<"$message" && ! grep -q "cannot find the game's files" <<<"$message"
check "the binary alone finds the installed files from any folder (said: $message)" test $? -eq 0

# --- the installed launcher on a system without SDL2 (an ldd that cannot find it)

mkdir -p "$tmp/no-sdl"
printf '#!/bin/sh\necho "\tlibSDL2-2.0.so.0 => not found"\n' >"$tmp/no-sdl/ldd"
chmod +x "$tmp/no-sdl/ldd"
message=$(PATH="$tmp/no-sdl:$PATH" "$root/usr/games/zorvalen" 2>&1)
status=$?
[ "$status" -eq 1 ] && grep -q 'apt-get install libsdl2-2.0-0' <<<"$message"
check "without SDL2 the launcher names the package and exits 1 (got $status: $message)" test $? -eq 0

# --- the installed launcher, from an unrelated folder, on a virtual display, no sound device

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "FAIL: Xvfb started"; exit 1; }
mkdir -p "$tmp/elsewhere" "$tmp/out"
(cd "$tmp/elsewhere" && DISPLAY=":$(head -1 "$tmp/display")" SDL_AUDIODRIVER=dummy LD_PRELOAD="$driver" \
    XDG_DATA_HOME="$tmp/data" ZV_FRAMES=300 ZV_OUT_DIR="$tmp/out" timeout 120 "$root/usr/games/zorvalen") \
    >"$tmp/game.log" 2>&1
status=$?
frames=$(cat "$tmp/out/frames" 2>/dev/null)
[ "$status" -eq 0 ] && [ "${frames:-0}" -ge 300 ]
check "the launcher starts the installed game, which plays ${frames:-no} frames and exits with 0 (got $status)" test $? -eq 0
[ "$status" -eq 0 ] || sed 's/^/  /' "$tmp/game.log"
pictures() {
    [ -f "$tmp/out/title.ppm" ] && [ -f "$tmp/out/play.ppm" ] || { echo "  no pictures kept"; return 1; }
    local title play change
    title=$(identify -format '%[fx:standard_deviation]' "$tmp/out/title.ppm")
    play=$(identify -format '%[fx:standard_deviation]' "$tmp/out/play.ppm[800x28+0+0]")
    change=$(compare -metric RMSE "$tmp/out/title.ppm" "$tmp/out/play.ppm" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p')
    echo "  title spread $title, HUD strip spread $play, change from the title $change"
    if [ -n "${ZV_KEEP_PICTURES:-}" ]; then cp "$tmp/out/title.ppm" "$tmp/out/play.ppm" "$ZV_KEEP_PICTURES/"; fi
    awk -v t="$title" -v p="$play" -v c="$change" 'BEGIN { exit !(t > 0.05 && p > 0.03 && c > 0.05) }'
}
check "it drew the title from the installed files, and Space started play" pictures
replay_kept() {
    local replays=("$tmp"/data/zorvalen/replays/zorvalen-*.zvr)
    [ -f "${replays[0]}" ] || { echo "  none in $tmp/data/zorvalen/replays"; return 1; }
    # The frame driver closes the window after its last frame: the replay's trailer says so.
    od -An -tx1 -j $(($(stat -c %s "${replays[0]}") - 35)) -N 5 "${replays[0]}" | grep -q '45 1c 00'
}
check "the game kept its replay, whole, in the player's replay folder" replay_kept
exit $failed
