#!/usr/bin/env bash
# The exe's gamepads under Wine: a stand-in XInput DLL beside the exe (fake_xinput.cpp) plays a
# pad script as a plugged-in pad; the game must quit on the held Back, and the replay it kept
# must give, frame by frame, the state lines of the keyboard-and-mouse script that holds what
# the pad stands for. Then the same exe with no XInput DLL it can load plays on and says so, and
# with FAKE_JOYSTICK (fake_joystick.c) preloaded into the prefix a plain HID joystick, which only
# DirectInput reads, quits it with its held Back.
#   usage: wine_pad_test.sh WINDOWS_BUILD REPLAY_RUNNER ASSET_DIR PAD_SCRIPT KEY_SCRIPT [FAKE_JOYSTICK]
# Exit 0 when every check passes, 1 at the first that fails, 77 when Wine, Xvfb or the cross
# build is missing.
set -uo pipefail
build=$1 runner=$2 assets=$3 pad_script=$4 key_script=$5 fake_joystick=${6:-}
for needed in wine wineserver Xvfb xdotool; do
    command -v "$needed" >/dev/null || { echo "SKIP: no $needed"; exit 77; }
done
for needed in "$build/zorvalen.exe" "$build/fake-pad/xinput1_4.dll" "$build/host/assets"; do
    [ -e "$needed" ] || { echo "SKIP: no $needed (cmake --preset windows && cmake --build --preset windows)"; exit 77; }
done

source "$(dirname "$0")/wine_prefix.sh"

start_display

make_prefix

# The game's folder: its files, the exe, and the pad's DLL beside it, which Windows loads first.
cp -r "$build/host/assets" "$tmp/game"
cp "$build/zorvalen.exe" "$build/fake-pad/xinput1_4.dll" "$tmp/game/"
cp "$pad_script" "$tmp/game/pad.txt"
replays="$tmp/prefix/drive_c/users"

# Wine has an XInput of its own: the DLL beside the exe goes first, as on Windows.
overrides+=";xinput1_4=n"
(cd "$tmp/game" && ZORVALEN_PAD_SCRIPT=pad.txt in_prefix timeout 120 wine ./zorvalen.exe >"$tmp/game.log" 2>&1) &
game=$!
# With no window manager nothing gives the window the focus the game plays in: give it here.
focus_game() { find_window '^zorvalen\.exe$' "$game" >/dev/null; }
focus_game || fail "the game's window showed"
wait "$game"
status=$?
[ "$status" -eq 0 ] || { cat "$tmp/game.log"; fail "the game quit on the pad's held Back (exit status $status)"; }
mapfile -t kept < <(find "$replays" -path '*/Zorvalen/replays/*.zvr')
[ ${#kept[@]} -eq 1 ] || fail "one replay kept (found ${#kept[@]})"
"$runner" --assets "$assets" --state "$tmp/from-pad.jsonl" "${kept[0]}" >/dev/null || fail "the replay ran"
"$runner" --assets "$assets" --state "$tmp/from-keys.jsonl" "$key_script" >/dev/null || fail "the key script ran"
cmp "$tmp/from-pad.jsonl" "$tmp/from-keys.jsonl" || fail "the pad's replay gives the key script's state lines"
echo "ok: the pad's replay gives the key script's $(wc -l <"$tmp/from-keys.jsonl") state lines"

# With quit moved to Y in the settings file, so Back held for more than a second does nothing.
# Pulled out after 20 frames of Y (the hold starts over), back after three looks at slot 0; only
# Y held again for a second ends the game.
printf '[pad]\nquit = ["Y"]\n' >"${kept[0]%/replays/*}/settings.toml"
printf '30\n70 pad:back\n20 pad:y\n3 unplugged\n60 pad:y\n' >"$tmp/game/pad.txt"
(cd "$tmp/game" && ZORVALEN_PAD_SCRIPT=pad.txt in_prefix timeout 60 wine ./zorvalen.exe --no-record >"$tmp/plug.log" 2>&1) &
game=$!
focus_game || fail "the game's window showed"
wait "$game"
status=$?
[ "$status" -eq 0 ] || { cat "$tmp/plug.log"; fail "the pad, plugged in again, quit the game (exit status $status)"; }
read -r asked span < <(sed -n 's/^fake XInput: empty slots asked \([0-9]*\) times in \([0-9]*\) ms.*/\1 \2/p' "$tmp/plug.log")
[ -n "${asked:-}" ] || { cat "$tmp/plug.log"; fail "the game ran till the pad was pulled out (Back, unbound, did not quit)"; }
# Each look for a pad asks slots 1 to 3; looks a frame apart would be some 16 ms apart.
[ $((asked % 3)) -eq 0 ] && [ "$asked" -ge 6 ] && [ "$span" -ge $(((asked / 3 - 1) * 1800)) ] ||
    { cat "$tmp/plug.log"; fail "the empty slots asked at most about every two seconds"; }
echo "ok: quit moved to Y in [pad]; the pad pulled out and back: empty slots asked $asked times in $span ms, and found again"

# No XInput DLL at all (Wine's own turned off): one line, and the game plays on.
rm -f "$tmp/game/xinput1_4.dll"
overrides="${overrides%;xinput1_4=n};xinput1_4,xinput1_3,xinput9_1_0="
(cd "$tmp/game" && in_prefix timeout 60 wine ./zorvalen.exe --no-record >"$tmp/no-pad.log" 2>&1) &
game=$!
focus_game || { cat "$tmp/no-pad.log"; fail "the game's window showed without XInput"; }
sleep 5
kill -0 "$game" 2>/dev/null || { cat "$tmp/no-pad.log"; fail "the game plays on without XInput"; }
in_prefix wineserver -k 2>/dev/null
wait "$game" 2>/dev/null
[ "$(grep -c 'no XInput DLL' "$tmp/no-pad.log")" -eq 1 ] || { cat "$tmp/no-pad.log"; fail "one line says there is no XInput"; }
echo "ok: without XInput the game plays on, with one line"

# Still no XInput: a joystick of the generic layout that Wine's HID bus takes from SDL, its Back
# held for good once the bus has it. Nothing else can end the game before the timeout.
if [ -n "$fake_joystick" ]; then
    # The device host the preloaded library acts in starts with the prefix: start that afresh.
    in_prefix wineserver -w 2>/dev/null
    # Quit back on Back, where the defaults have it.
    rm -f "${kept[0]%/replays/*}/settings.toml"
    (cd "$tmp/game" && LD_PRELOAD="$fake_joystick" in_prefix timeout 60 wine ./zorvalen.exe --no-record \
        >"$tmp/joystick.log" 2>&1) &
    game=$!
    focus_game || { cat "$tmp/joystick.log"; fail "the game's window showed with the joystick"; }
    wait "$game"
    status=$?
    [ "$status" -eq 0 ] && grep -q 'fake joystick: Back held' "$tmp/joystick.log" ||
        { cat "$tmp/joystick.log"; fail "the DirectInput joystick's held Back quit the game (exit status $status)"; }
    echo "ok: a DirectInput joystick, no XInput device, quit the game with its held Back"
fi
echo "PASS"
