# Sourced by the Wine tests: a temporary folder, an Xvfb display, and a fresh Wine prefix set up
# as scripts/wine-smoke sets its own (Direct3D on one thread, focus from X, sound into ALSA's
# null device), all gone at exit. A test that starts servers of its own stops them in
# before_finish, which it defines after sourcing this.
tmp=$(mktemp -d)
xvfb_pid=""
overrides="mscoree,mshtml=;winepulse.drv=d;winemenubuilder.exe=d"
in_prefix() {
    # No proxy of the caller's between the exe and a loopback server.
    env -u http_proxy -u https_proxy -u HTTP_PROXY -u HTTPS_PROXY -u all_proxy -u ALL_PROXY \
        HOME="$tmp/home" WINEPREFIX="$tmp/prefix" WINEARCH=win64 WINEDEBUG=-all \
        WINEDLLOVERRIDES="$overrides" "$@"
}
stop_display() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
    xvfb_pid=""
}
start_display() {  # start_display [WxH], 1024x768 unless said
    stop_display
    rm -f "$tmp/display"
    Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
    [ -s "$tmp/display" ] || fail "Xvfb started"
    export DISPLAY=":$(head -1 "$tmp/display")"
}
before_finish() { :; }
finish() {
    before_finish
    [ -d "$tmp/prefix" ] && { in_prefix wineserver -k 2>/dev/null; in_prefix wineserver -w 2>/dev/null; }
    stop_display
    rm -rf "$tmp"
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }
# The window of a class, once visible, with the focus given to it (no window manager does):
# prints its id; fails if the program PID ends first or nothing shows within a minute.
find_window() {  # find_window CLASS PID
    local window=""
    for _ in $(seq 600); do
        window=$(xdotool search --onlyvisible --class "$1" 2>/dev/null | head -1)
        [ -n "$window" ] && break
        kill -0 "$2" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -n "$window" ] && xdotool windowfocus --sync "$window" && echo "$window"
}
make_prefix() {
    mkdir -p "$tmp/home"
    printf 'pcm.!default { type null }\n' >"$tmp/home/.asoundrc"
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Direct3D]\n"csmt"=dword:00000000\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"UseTakeFocus"="N"\n' >"$tmp/wine.reg"
    (in_prefix wine wineboot --init && in_prefix wine reg import "$tmp/wine.reg" && in_prefix wineserver -w) \
        >"$tmp/prefix.log" 2>&1 || { cat "$tmp/prefix.log"; fail "a Wine prefix made"; }
}
