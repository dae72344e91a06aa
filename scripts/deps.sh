# Shared by scripts/run and scripts/test: installs the Debian packages the build needs,
# and only those that are missing, so a second run is quick.
# shellcheck shell=bash

zv_install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

ZV_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libsdl2-dev libstb-dev)
ZV_TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev libssl-dev libegl1 libegl-mesa0 libgl1-mesa-dri libgles2)
# The Windows build: Debian's mingw-w64 cross compiler (brings its binutils, objdump included).
ZV_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64)
