#!/usr/bin/env bash
# The exe's own board client (WinHTTP) under Wine against the real board on a free loopback port:
# `zorvalen.exe --submit URL --name NAME FILE` must get the run verified at rank 1 and exit 0;
# against a port nothing listens on it must say so on one line and exit non-zero. Then a game
# played with the stand-in pad (as in wine_pad_test.sh), with the settings' [board] set to submit
# every game, must reach the board when it ends, its verdict one line on stderr.
#   usage: wine_board_test.sh WINDOWS_BUILD BOARD REPLAY_RUNNER ASSET_DIR SCRIPT PAD_SCRIPT
# Exit 0 when every check passes, 1 at the first that fails, 77 when Wine or the cross build is
# missing.
set -uo pipefail
build=$1 board=$2 runner=$3 assets=$4 script=$5 pad_script=$6
for needed in wine wineserver python3 Xvfb xdotool; do
    command -v "$needed" >/dev/null || { echo "SKIP: no $needed"; exit 77; }
done
for needed in "$build/zorvalen.exe" "$build/fake-pad/xinput1_4.dll" "$build/host/assets"; do
    [ -e "$needed" ] || { echo "SKIP: no $needed (cmake --preset windows && cmake --build --preset windows)"; exit 77; }
done

source "$(dirname "$0")/wine_prefix.sh"
board_pid=""
before_finish() {
    if [ -n "$board_pid" ]; then kill "$board_pid" 2>/dev/null; wait "$board_pid" 2>/dev/null; fi
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

start_display

mkdir -p "$tmp/game"
make_prefix
cp "$build/zorvalen.exe" "$tmp/game/"
"$runner" --assets "$assets" "$script" --record "$tmp/game/run.zvr" >/dev/null || fail "a replay recorded"

port=$(free_port)
"$board" --listen "127.0.0.1:$port" --database "sqlite:$tmp/board.sqlite" --workers 1 --assets "$assets" \
    >"$tmp/board.log" 2>&1 &
board_pid=$!
for _ in $(seq 100); do grep -q "the board is at" "$tmp/board.log" && break; sleep 0.1; done
grep -q "the board is at" "$tmp/board.log" || { cat "$tmp/board.log"; fail "the board started"; }

(cd "$tmp/game" && in_prefix timeout 120 wine ./zorvalen.exe --submit "http://127.0.0.1:$port" --name Wine run.zvr \
    >"$tmp/sent.out" 2>"$tmp/sent.err")
status=$?
grep -q "verified: rank 1" "$tmp/sent.out" && [ "$status" -eq 0 ] ||
    { cat "$tmp/sent.out" "$tmp/sent.err"; fail "the exe's submit is verified at rank 1 (exit status $status)"; }
echo "ok: $(cat "$tmp/sent.out")"

closed=$(free_port)
(cd "$tmp/game" && in_prefix timeout 120 wine ./zorvalen.exe --submit "http://127.0.0.1:$closed" run.zvr \
    >"$tmp/closed.out" 2>"$tmp/closed.err")
status=$?
said=$(grep -c '^zorvalen' "$tmp/closed.err")
[ "$status" -ne 0 ] && [ "$said" -eq 1 ] && [ ! -s "$tmp/closed.out" ] && grep -q "cannot be reached" "$tmp/closed.err" ||
    { cat "$tmp/closed.out" "$tmp/closed.err"; fail "a closed port is one line and a failure (exit status $status)"; }
echo "ok: $(cat "$tmp/closed.err")"

# The end of a game: the game's folder with the stand-in pad, whose held Back ends it.
cp -r "$build/host/assets/." "$tmp/game/"
cp "$build/fake-pad/xinput1_4.dll" "$tmp/game/"
cp "$pad_script" "$tmp/game/pad.txt"
roaming=$(find "$tmp/prefix/drive_c/users" -maxdepth 3 -type d -name Roaming | head -1)
[ -n "$roaming" ] || fail "the prefix has a Roaming folder"
mkdir -p "$roaming/Zorvalen"
printf '[board]\nurl = "http://127.0.0.1:%s"\nname = "WineGame"\nsubmit = "all"\n' "$port" >"$roaming/Zorvalen/settings.toml"
overrides+=";xinput1_4=n"
(cd "$tmp/game" && ZORVALEN_PAD_SCRIPT=pad.txt in_prefix timeout 120 wine ./zorvalen.exe >"$tmp/game.log" 2>&1) &
game=$!
# Focus for the pad script's keys; the game's exit status below says whether it ran.
find_window '^zorvalen\.exe$' "$game" >/dev/null
wait "$game"
status=$?
said=$(grep "zorvalen: the board:" "$tmp/game.log")
[ "$status" -eq 0 ] && [ "$(printf '%s\n' "$said" | grep -c "the board: verified: rank")" -eq 1 ] ||
    { cat "$tmp/game.log"; fail "the game, once over, reached the board (exit status $status)"; }
echo "ok: at the game's end, $said"
