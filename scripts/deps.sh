# Shared by scripts/run and scripts/test: installs the Debian packages the build needs,
# and only those that are missing, so a second run is quick.
# shellcheck shell=bash

zv_install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) != "install ok installed" ]]; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        # Without root, say what to run rather than fail on a sudo that is not there or that
        # would wait for a password nobody can type. Exiting here ends the calling script.
        local why=""
        if ! command -v sudo >/dev/null 2>&1; then
            why="You are not root and this system has no sudo."
        elif ! sudo -n true 2>/dev/null && ! [ -t 0 ]; then
            why="sudo needs a password, and this run has no terminal to ask for it on."
        fi
        if [ -n "$why" ]; then
            echo "Missing Debian packages: ${missing[*]}"
            echo "$why Run this as root, then try again:"
            echo "    apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
            exit 1
        fi
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Sending finished games and replays to a board: libcurl for HTTP, nlohmann-json for its answers. A
# build without them leaves the board client out, and says so.
ZV_BOARD_CLIENT_PACKAGES=(libcurl4-openssl-dev nlohmann-json3-dev)
ZV_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libsdl2-dev libstb-dev libcli11-dev libtomlplusplus-dev
    "${ZV_BOARD_CLIENT_PACKAGES[@]}")
# FFmpeg's libraries encode zorvalen-replay --video's files (libavcodec59 brings x264, libvpx and
# Opus); the game does not need them, so a build without them leaves --video out. ffmpeg and
# ffprobe look at and listen to what the export wrote.
ZV_VIDEO_PACKAGES=(libavcodec-dev libavformat-dev libswscale-dev libswresample-dev libavutil-dev)
ZV_TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev libssl-dev libegl1 libegl-mesa0 libgl1-mesa-dri libgles2
    "${ZV_VIDEO_PACKAGES[@]}" ffmpeg)
# The Windows build: Debian's mingw-w64 cross compiler (brings its binutils, objdump included),
# and NSIS's makensis for the setup program.
ZV_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 nsis)
# Packing the .deb (dpkg-shlibdeps, Debian's build flags, file) and checking it in the package test.
ZV_PACKAGE_PACKAGES=(dpkg-dev file)
ZV_PACKAGE_TEST_PACKAGES=("${ZV_PACKAGE_PACKAGES[@]}" lintian desktop-file-utils appstream xvfb imagemagick)
# The browser build and its test: Debian's emscripten, Chromium to play the page headless, and
# FFmpeg to compress the page's sounds and pictures.
ZV_WEB_PACKAGES=(emscripten chromium python3 ffmpeg)
# Node.js and npm for the page's browser tests (playwright-core from tests/web's lockfile);
# scripts/test asks for them only where the system has no node or npm of its own.
ZV_NODE_PACKAGES=(nodejs npm)
# bench/xvfb-bench and bench/display-cost: a display server of its own for each program, input
# and window sizes from outside, and the peer shooter starfighter, run beside the game as a
# baseline of what a small 2D game costs.
ZV_BENCH_PACKAGES=(xvfb xdotool x11-utils starfighter)
# scripts/bench's builds: the benchmarks, and the debug build's configure (the page's assets).
ZV_BENCH_BUILD_PACKAGES=(libbenchmark-dev googletest libgtest-dev libssl-dev)
# Running the Windows build: Wine (64-bit only: the exe and its setup program are both 64-bit).
ZV_WINE_PACKAGES=(wine wine64)
# scripts/wine-smoke: the same, screenshots and the window's properties (xprop).
ZV_WINE_SMOKE_PACKAGES=("${ZV_WINE_PACKAGES[@]}" xvfb xdotool imagemagick x11-utils cmake)
# zorvalen-board, the board of proven runs: its HTTP server, its database, JSON, the names' Unicode
# checks, the verifier's seccomp filter and the replays' SHA-256; libpq for a PostgreSQL database.
ZV_BOARD_PACKAGES=(libmicrohttpd-dev libsqlite3-dev nlohmann-json3-dev libicu-dev libseccomp-dev libssl-dev libpq-dev)
# The board's tests on PostgreSQL: the server's programs (initdb, pg_ctl, psql), for a throwaway
# cluster of the test's own; its system service is not used.
ZV_BOARD_TEST_PACKAGES=(postgresql)
# The fuzz preset: Debian's clang with libFuzzer and the sanitizer runtimes.
ZV_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
