#!/usr/bin/env bash
# The exe's replay viewer under Wine, with the Linux build's keys. A replay of the first level,
# recorded by the replay runner, is watched twice in the exe's 800 x 600 window:
# - Up four times (16x) and F10: the overlay's bar and the volume display are on the picture a
#   moment later, then Escape, and the
#   place the exe says the replay was left must be well past where 1x could have got (at least
#   4x: a speed check that no load on the machine fails; bench/wine-viewer measures the speed);
# - Space (pause), R (from the start), Right three times (30 s on) and Left (10 s back, from the
#   snapshot taken on the way), Space and Escape: it must be left at 0:20 (or a second on).
#   usage: wine_viewer_test.sh WINDOWS_BUILD REPLAY_RUNNER ASSET_DIR SCRIPT
# Exit 0 when every check passes, 1 at the first that fails, 77 when Wine, Xvfb, ImageMagick or
# the cross build is missing.
set -uo pipefail
build=$1 runner=$2 assets=$3 script=$4
for needed in wine wineserver Xvfb xdotool import convert; do
    command -v "$needed" >/dev/null || { echo "SKIP: no $needed"; exit 77; }
done
for needed in "$build/zorvalen.exe" "$build/host/assets"; do
    [ -e "$needed" ] || { echo "SKIP: no $needed (cmake --preset windows && cmake --build --preset windows)"; exit 77; }
done

source "$(dirname "$0")/wine_prefix.sh"

"$runner" --assets "$assets" --record "$tmp/level.zvr" "$script" >/dev/null || fail "the runner recorded the replay"
start_display
make_prefix
cp -r "$build/host/assets" "$tmp/game"
cp "$build/zorvalen.exe" "$tmp/level.zvr" "$tmp/game/"

# watch NAME STEP...: the replay watched, each STEP a key for xdotool, sleep:S or shot:FILE (the
# window's client area); Escape ends it. Prints where the exe says the replay was left.
watch() {
    local name=$1 window="" step position
    shift
    (cd "$tmp/game" && in_prefix timeout 120 wine ./zorvalen.exe --replay level.zvr >"$tmp/$name.log" 2>&1) &
    local game=$!
    window=$(find_window '^zorvalen\.exe$' "$game") || { cat "$tmp/$name.log"; fail "the viewer's window showed"; }
    sleep 1
    for step in "$@" Escape; do
        case $step in
        sleep:*) sleep "${step#sleep:}" ;;
        shot:*)
            position=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Position: *\([0-9]*\),\([0-9]*\).*/+\1+\2/p')
            import -window root -crop "800x600$position" +repage "$tmp/${step#shot:}"
            ;;
        # Held a while, as a player's finger does: the game looks at its keys once a frame.
        *) xdotool keydown "$step"; sleep 0.15; xdotool keyup "$step"; sleep 0.25 ;;
        esac
    done
    wait "$game" || { cat "$tmp/$name.log"; fail "$name: the viewer quit on Escape"; }
    sed -n 's/^zorvalen: replay left at: //p' "$tmp/$name.log"
}
seconds() { sed -n 's/^[A-Z0-9 ]*  *\([0-9]*\):\([0-9]*\) \/.*/\1 \2/p' <<<"$1" | awk '{ print $1 * 60 + $2 }'; }

left=$(watch fast Up Up Up Up F10 shot:fast.png sleep:4)
echo "fast: left at: $left"
[[ $left == "PLAYING 16X "* ]] || fail "four Ups play at 16x"
[ "$(seconds "$left")" -ge 20 ] || fail "16x made at least 20 s of the replay in some 5 s"
# The bar (its backdrop 0A0E1A) over the picture's bottom 32 rows in play, or its top ones on the title.
# The volume display's box (backdrop 101820), 200 x 36 at (300, 56).
share() {  # share PICTURE GEOMETRY COLOUR: how much of that part of the picture is the colour
    convert "$1" -crop "$2" +repage -fill white +opaque "$3" -fill black -opaque "$3" -format '%[fx:1-mean]' info:
}
bar=$(share "$tmp/fast.png" 800x32+0+568 '#0A0E1A')
awk -v s="$bar" -v t="$(share "$tmp/fast.png" 800x32+0+0 '#0A0E1A')" 'BEGIN { exit !(s > 0.5 || t > 0.5) }' ||
    fail "the overlay's bar drawn over the picture at 16x (bottom $bar)"
volume=$(share "$tmp/fast.png" 200x36+300+56 '#101820')
awk -v s="$volume" 'BEGIN { exit !(s > 0.5) }' || fail "the volume display drawn over the picture (its box $volume)"
echo "ok: 16x, with the overlay's bar (bottom rows $bar its backdrop) and the volume display ($volume) over the picture"

left=$(watch jump space r Right Right Right Left space)
echo "jump: left at: $left"
at=$(seconds "$left")
[ "$at" -ge 20 ] && [ "$at" -le 21 ] || fail "from the start, 30 s on and 10 s back lands at 0:20"
echo "ok: paused, restarted, 30 s on and 10 s back: left at 0:$at"
echo "PASS"
