#!/usr/bin/env bash
# The game started from a folder that is not its own: it finds its files beside the binary (the
# build's `assets` folder) and where the packages put them relative to it, and draws its title
# from them; with the files nowhere it says so in one line, naming where it looked, and exits 1.
#   usage: game_files_test.sh GAME ASSET_DIR FRAME_DRIVER INSTALL_LIBDIR INSTALL_DATADIR
# Exit 0 when every check passes, 1 when one fails, 77 without Xvfb or ImageMagick.
set -uo pipefail
game=$1 assets=$2 driver=$3 libdir=$4 datadir=$5
for tool in Xvfb identify; do command -v "$tool" >/dev/null || { echo "SKIP: no $tool"; exit 77; }; done

tmp=$(mktemp -d)
xvfb_pid=""
finish() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
    rm -rf "$tmp"
}
trap finish EXIT
failed=0
check() {
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failed=1; fi
}
mkdir -p "$tmp/elsewhere" "$tmp/alone" "$tmp/root/$libdir" "$tmp/root/$datadir"

# Alone, with its files nowhere: one line, and status 1, before any window is opened.
cp "$game" "$tmp/alone/zorvalen"
(cd "$tmp/elsewhere" && DISPLAY= SDL_VIDEODRIVER=dummy XDG_DATA_HOME="$tmp/data" timeout 20 "$tmp/alone/zorvalen") \
    >"$tmp/alone.out" 2>"$tmp/alone.err"
status=$?
said=$(cat "$tmp/alone.err")
one_line() {
    [ "$status" -eq 1 ] && [ "$(wc -l <"$tmp/alone.err")" -eq 1 ] && [ ! -s "$tmp/alone.out" ] &&
        grep -q "font.raw" <<<"$said" && grep -qF "$tmp/elsewhere" <<<"$said" && grep -qF "$tmp/alone" <<<"$said"
}
check "without its files the game says where it looked in one line and exits 1 (got $status: $said)" one_line

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "FAIL: Xvfb started"; exit 1; }

# Plays 25 frames from an unrelated folder; the title's picture must be the game's, not black.
plays() {
    local binary=$1 out=$tmp/out-$2
    mkdir -p "$out"
    (cd "$tmp/elsewhere" && DISPLAY=":$(head -1 "$tmp/display")" SDL_AUDIODRIVER=dummy LD_PRELOAD="$driver" \
        XDG_DATA_HOME="$tmp/data" ZV_FRAMES=25 ZV_OUT_DIR="$out" timeout 60 "$binary") >"$out/log" 2>&1
    local status=$? spread
    spread=$(identify -format '%[fx:standard_deviation]' "$out/title.ppm" 2>/dev/null)
    echo "  status $status, title spread ${spread:-none}"
    [ "$status" -eq 0 ] || sed 's/^/  /' "$out/log"
    [ "$status" -eq 0 ] && awk -v s="${spread:-0}" 'BEGIN { exit !(s > 0.05) }'
}
check "the build's binary finds the assets folder beside it" plays "$game" build

# The packages' layout: the binary in its folder, the files where the install rules put them.
cp "$game" "$tmp/root/$libdir/zorvalen"
cp -r "$assets"/. "$tmp/root/$datadir/"
check "the binary finds the files where the packages install them" plays "$tmp/root/$libdir/zorvalen" installed
exit $failed
