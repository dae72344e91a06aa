#!/usr/bin/env bash
# The exe's screen under Wine, scaled as the Linux build scales it. For each filter the exe opens
# on the title screen (a still picture) in its 800 x 600 window, whose client area is the 1:1
# picture, then goes full screen (F11) on a 1920 x 1080 display. The desktop layer's own scaler
# (scale_picture) run on that 1:1 picture must give the full screen: sharp and smooth at
# 1440 x 1080 between bars and sharp in the window made 1000 x 700, within a level; whole at 1:1,
# and sharp on a 1600 x 1200 display (a whole factor of 2), pixel for pixel; with no extra swap
# chain (forced), the picture as Direct3D shows it. Then the Linux build's own full screen, same frame, against the exe's: its
# difference must be no larger than the two builds' 1:1 pictures already differ by (their
# renderers: Wine's Direct3D on OpenGL and our compositor), and the bars black in both.
#   usage: wine_scale_test.sh WINDOWS_BUILD SCALE_PICTURE LINUX_GAME
# Exit 0 when every check passes, 1 at the first that fails, 77 when Wine, Xvfb, ImageMagick or
# the cross build is missing. Prints each difference as ImageMagick's RMSE, 0 (same) to 1.
set -uo pipefail
build=$1 scale_picture=$2 linux_game=$3
for needed in wine wineserver Xvfb xdotool import compare convert; do
    command -v "$needed" >/dev/null || { echo "SKIP: no $needed"; exit 77; }
done
for needed in "$build/zorvalen.exe" "$build/host/assets"; do
    [ -e "$needed" ] || { echo "SKIP: no $needed (cmake --preset windows && cmake --build --preset windows)"; exit 77; }
done

source "$(dirname "$0")/wine_prefix.sh"
rmse() { compare -metric RMSE "$1" "$2" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p'; }
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
# The window's 800 x 600 client area, [the window made 1000 x 700,] then the whole screen after F11.
shoot_window_and_screen() {  # shoot_window_and_screen CLASS PID NAME [resize]
    local window position
    window=$(find_window "$1" "$2") || return 1
    sleep 6
    position=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Position: *\([0-9]*\),\([0-9]*\).*/+\1+\2/p')
    import -window root -crop "800x600$position" +repage "$tmp/$3-window.png"
    if [ $# -gt 3 ]; then
        xdotool windowsize --sync "$window" 1000 700
        sleep 3
        import -window root -crop "1000x700$position" +repage "$tmp/$3-resized.png"
    fi
    xdotool key F11
    sleep 4
    import -window root "$tmp/$3-screen.png"
}

start_display 1920x1080
make_prefix
cp -r "$build/host/assets" "$tmp/game"
cp "$build/zorvalen.exe" "$tmp/game/"

exe_screens() {  # exe_screens FILTER NAME [resize]
    printf '[display]\nfilter = "%s"\n' "$1" >"$tmp/game/settings.toml"
    (cd "$tmp/game" && in_prefix timeout 120 wine ./zorvalen.exe --no-record --settings settings.toml \
        >"$tmp/$2.log" 2>&1) &
    local game=$!
    shoot_window_and_screen '^zorvalen\.exe$' "$game" "$2" "${@:3}" || { cat "$tmp/$2.log"; fail "the exe's window showed ($1)"; }
    in_prefix wineserver -k 2>/dev/null
    wait "$game" 2>/dev/null
    ! grep -q 'Direct3D stretches' "$tmp/$2.log" || { cat "$tmp/$2.log"; fail "the exe scaled the screen itself ($1)"; }
}
linux_screens() {  # linux_screens FILTER NAME
    printf '[display]\nfilter = "%s"\n' "$1" >"$tmp/linux.toml"
    (cd "$tmp/game" && HOME="$tmp/home" SDL_AUDIODRIVER=dummy timeout 120 "$linux_game" --no-record \
        --settings "$tmp/linux.toml" >"$tmp/$2.log" 2>&1) &
    local game=$!
    shoot_window_and_screen '^zorvalen$' "$game" "$2" || { cat "$tmp/$2.log"; fail "the Linux build's window showed ($1)"; }
    kill "$game" 2>/dev/null
    wait "$game" 2>/dev/null
}
# The exe's screen (or resized window) against the desktop scaler on its own window's 1:1 picture:
# at whole factors nothing may differ; where both blend, a channel may differ by one level of 255
# (the GPU rounds its blending weights its own way).
same_as_scaler() {  # same_as_scaler exact|close NAME screen|resized FILTER WIDTH HEIGHT
    convert "$tmp/$2-window.png" ppm:- | "$scale_picture" "$4" "$5" "$6" >"$tmp/$2-scaled.ppm" ||
        fail "the desktop scaler ran on the exe's picture"
    local differing largest
    differing=$(compare -metric AE "$tmp/$2-scaled.ppm" "$tmp/$2-$3.png" null: 2>&1)
    largest=$(compare -metric PAE "$tmp/$2-scaled.ppm" "$tmp/$2-$3.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p')
    largest=$(awk -v a="$largest" 'BEGIN { printf "%d", a * 255 + 0.5 }')
    if [ "$1" = exact ]; then
        [ "$differing" = 0 ] || fail "$2: the exe's $3 is the desktop scaler's $5 x $6 ($differing pixels differ)"
        echo "ok: $2: the exe's $3 ($5 x $6) is the desktop scaler's, pixel for pixel"
    else
        [ "$largest" -le 1 ] || fail "$2: the exe's $3 is within a level of the desktop scaler's $5 x $6 (at most $largest)"
        echo "ok: $2: the exe's $3 ($5 x $6) is the desktop scaler's: $differing pixels differ, by at most $largest of 255"
    fi
}

exe_screens sharp sharp resize
same_as_scaler close sharp resized sharp 1000 700
same_as_scaler close sharp screen sharp 1920 1080
# No extra swap chain, as some drivers give none (forced here): one line says so, and Direct3D
# shows the picture as the game presents it, in the window the same 1:1 picture, in full screen
# stretched by the driver into the picture's 4:3 between black bars, close to the exe's own
# sharp scaling (a black picture, or one shifted by 8 pixels, is ten to twenty times further off).
printf '[display]\nfilter = "sharp"\n' >"$tmp/game/settings.toml"
(cd "$tmp/game" && ZORVALEN_NO_EXTRA_SWAP_CHAIN=1 in_prefix timeout 120 wine ./zorvalen.exe --no-record \
    --settings settings.toml >"$tmp/fallback.log" 2>&1) &
game=$!
shoot_window_and_screen '^zorvalen\.exe$' "$game" fallback ||
    { cat "$tmp/fallback.log"; fail "the exe's window showed without an extra swap chain"; }
in_prefix wineserver -k 2>/dev/null
wait "$game" 2>/dev/null
[ "$(grep -c 'Direct3D stretches' "$tmp/fallback.log")" -eq 1 ] ||
    { cat "$tmp/fallback.log"; fail "one line says the exe leaves the scaling to Direct3D"; }
differing=$(compare -metric AE "$tmp/sharp-window.png" "$tmp/fallback-window.png" null: 2>&1)
[ "$differing" = 0 ] || fail "without an extra swap chain the window shows the 1:1 picture ($differing pixels differ)"
convert "$tmp/sharp-screen.png" -crop 1440x1080+240+0 +repage "$tmp/sharp-area.png"
convert "$tmp/fallback-screen.png" -crop 1440x1080+240+0 +repage "$tmp/fallback-area.png"
difference=$(rmse "$tmp/sharp-area.png" "$tmp/fallback-area.png")
bars=$(convert "$tmp/fallback-screen.png" -region 1440x1080+240+0 -fill black -colorize 100 -format '%[fx:maxima]' info:)
[ "$bars" = 0 ] || fail "without an extra swap chain the bars are black (brightest $bars)"
at_most "$difference" 0.03 ||
    fail "without an extra swap chain full screen shows the picture as sharp scaling does, within 0.03 ($difference)"
echo "ok: no extra swap chain: one line, the window's 1:1 picture, full screen within $difference of sharp scaling"

exe_screens smooth smooth
same_as_scaler close smooth screen linear 1920 1080
exe_screens whole whole
same_as_scaler exact whole screen whole 1920 1080

# The Linux build's own screens, and how far the exe's are from them.
linux_screens sharp linux-sharp
baseline=$(rmse "$tmp/linux-sharp-window.png" "$tmp/sharp-window.png")
echo "the two builds' 1:1 pictures differ by $baseline"
for filter in sharp smooth whole; do
    [ "$filter" = sharp ] || linux_screens "$filter" "linux-$filter"
    # Only the picture's own area counts, so the figure is comparable with the 1:1 one.
    area=1440x1080+240+0
    [ "$filter" = whole ] && area=800x600+560+240
    convert "$tmp/$filter-screen.png" -crop "$area" +repage "$tmp/exe-area.png"
    convert "$tmp/linux-$filter-screen.png" -crop "$area" +repage "$tmp/linux-area.png"
    difference=$(rmse "$tmp/linux-area.png" "$tmp/exe-area.png")
    bars=$(for screen in "$tmp/$filter-screen.png" "$tmp/linux-$filter-screen.png"; do
        convert "$screen" -region "$area" -fill black -colorize 100 -format '%[fx:maxima]\n' info:
    done | sort -u)
    [ "$bars" = 0 ] || fail "$filter: the bars round the picture are black in both builds (brightest $bars)"
    at_most "$difference" "$baseline" ||
        fail "$filter: the exe's full screen is as close to the Linux build's as their 1:1 pictures ($difference > $baseline)"
    echo "ok: $filter: full screen 1920 x 1080, the exe's picture differs from the Linux build's by $difference, bars black in both"
done

# A whole factor of 2: sharp repeats each pixel exactly.
start_display 1600x1200
exe_screens sharp double
same_as_scaler exact double screen sharp 1600 1200
echo "PASS"
