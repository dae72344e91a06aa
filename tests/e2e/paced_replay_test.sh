#!/usr/bin/env bash
# A real game, paced, in its window on a display of its own (Xvfb), played by the game's own test
# hook ZORVALEN_INPUT_SCRIPT as a player's keys and mouse: its replay must be in the player's
# replay folder, pass zorvalen-replay --verify, and give the very state lines of the same input
# run as a script; one byte changed in its input must make --verify refuse it.
#   usage: paced_replay_test.sh GAME REPLAY_RUNNER ASSET_DIR SCRIPT
# Exit 0 when every check passes, 1 at the first that fails, 77 when there is no Xvfb.
set -euo pipefail
game=$1 runner=$2 assets=$3 script=$4
command -v Xvfb >/dev/null || { echo "SKIP: no Xvfb"; exit 77; }

tmp=$(mktemp -d)
xvfb_pid=""
finish() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$tmp"
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || fail "Xvfb started"

# The script, then Escape to end the game.
{ cat "$script"; echo "1 ESCAPE"; } >"$tmp/input.txt"
(cd "$assets" && DISPLAY=":$(head -1 "$tmp/display")" SDL_AUDIODRIVER=dummy XDG_DATA_HOME="$tmp/data" \
    ZORVALEN_INPUT_SCRIPT="$tmp/input.txt" "$game") || fail "the game ended with status $?"

replays=("$tmp"/data/zorvalen/replays/zorvalen-*.zvr)
[ ${#replays[@]} -eq 1 ] && [ -f "${replays[0]}" ] || fail "one replay in the replay folder (found: ${replays[*]})"
replay=${replays[0]}
echo "recorded $(basename "$replay"): $(stat -c %s "$replay") bytes"

"$runner" --assets "$assets" --verify "$replay" || fail "--verify accepted the replay"
"$runner" --assets "$assets" --state "$tmp/from-replay.jsonl" "$replay" || fail "the replay ran as a script"
"$runner" --assets "$assets" --state "$tmp/from-script.jsonl" "$tmp/input.txt" || fail "the script ran"
cmp "$tmp/from-replay.jsonl" "$tmp/from-script.jsonl" || fail "the replay's state lines are the script's"
echo "state lines: $(wc -l <"$tmp/from-replay.jsonl") the same"

# One byte in the middle of the input stream, changed.
cp "$replay" "$tmp/changed.zvr"
size=$(stat -c %s "$replay")
offset=$((size / 2))
old=$(od -An -tu1 -j "$offset" -N1 "$replay" | tr -d ' ')
printf "$(printf '\\%03o' $(((old + 1) % 256)))" | dd of="$tmp/changed.zvr" bs=1 seek="$offset" conv=notrunc status=none
status=0
"$runner" --assets "$assets" --verify "$tmp/changed.zvr" || status=$?
[ "$status" -eq 2 ] || fail "--verify refuses a replay with byte $offset changed (exit $status, not 2)"
echo "PASS"
