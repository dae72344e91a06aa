#!/usr/bin/env bash
# The exe's own board client (WinHTTP) under Wine against the real board on a free loopback port:
# `zorvalen.exe --submit URL --name NAME FILE` must get the run verified at rank 1 and exit 0;
# against a port nothing listens on it must say so on one line and exit non-zero.
#   usage: wine_board_test.sh WINDOWS_BUILD BOARD REPLAY_RUNNER ASSET_DIR SCRIPT
# Exit 0 when every check passes, 1 at the first that fails, 77 when Wine or the cross build is
# missing.
set -uo pipefail
build=$1 board=$2 runner=$3 assets=$4 script=$5
for needed in wine wineserver python3; do
    command -v "$needed" >/dev/null || { echo "SKIP: no $needed"; exit 77; }
done
[ -e "$build/zorvalen.exe" ] || { echo "SKIP: no $build/zorvalen.exe (cmake --preset windows && cmake --build --preset windows)"; exit 77; }

tmp=$(mktemp -d)
board_pid=""
in_prefix() {
    # No proxy of the caller's between the exe and the loopback board.
    env -u http_proxy -u https_proxy -u HTTP_PROXY -u HTTPS_PROXY -u all_proxy -u ALL_PROXY \
        HOME="$tmp/home" WINEPREFIX="$tmp/prefix" WINEARCH=win64 WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$@"
}
finish() {
    [ -d "$tmp/prefix" ] && { in_prefix wineserver -k 2>/dev/null; in_prefix wineserver -w 2>/dev/null; }
    if [ -n "$board_pid" ]; then kill "$board_pid" 2>/dev/null; wait "$board_pid" 2>/dev/null; fi
    rm -rf "$tmp"
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

mkdir -p "$tmp/home" "$tmp/game"
(in_prefix wine wineboot --init && in_prefix wineserver -w) >"$tmp/prefix.log" 2>&1 || { cat "$tmp/prefix.log"; fail "a Wine prefix made"; }
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
said=$(grep -vc '^$' "$tmp/closed.err")
[ "$status" -ne 0 ] && [ "$said" -eq 1 ] && [ ! -s "$tmp/closed.out" ] && grep -q "cannot be reached" "$tmp/closed.err" ||
    { cat "$tmp/closed.out" "$tmp/closed.err"; fail "a closed port is one line and a failure (exit status $status)"; }
echo "ok: $(cat "$tmp/closed.err")"
