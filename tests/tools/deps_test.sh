#!/usr/bin/env bash
# scripts/deps.sh as root, with sudo, with a sudo that wants a password, and with neither:
# id, dpkg-query, sudo and apt-get are fakes on PATH that log what they were asked, so nothing
# is installed for real. Usage: tests/tools/deps_test.sh [scripts/deps.sh]
set -uo pipefail
unset DEBIAN_FRONTEND
deps=$(readlink -f "${1:-$(dirname "$0")/../scripts/deps.sh}")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/bin" "$tmp/sudo"
# PATH holds only these, so the real sudo is out of reach; common tools stay usable.
for tool in env grep sed cat tr; do ln -s "$(command -v "$tool")" "$tmp/bin/$tool"; done

fake() {  # fake <dir> <name> <body>
    printf '#!%s\n%s\n' "$BASH" "$3" >"$tmp/$1/$2"
    chmod +x "$tmp/$1/$2"
}
fake bin id '[ "$1" = -u ] && echo "$FAKE_UID"'
# Installed when named in FAKE_INSTALLED.
fake bin dpkg-query 'for p in $FAKE_INSTALLED; do [ "$p" = "${!#}" ] && printf "install ok installed" && exit 0; done; exit 1'
fake bin apt-get 'echo "apt-get $* (DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-})" >>"$FAKE_LOG"'
fake sudo sudo 'echo "sudo $*" >>"$FAKE_LOG"
if [ "$1" = -n ]; then [ "$FAKE_SUDO_ASKS" = no ]; exit; fi
exec "$@"'

failed=0
# run <uid> <path> <sudo asks for a password: yes|no> [installed]: installs cmake g++
# libsdl2-dev, of which only cmake is there unless told; stdin is not a terminal, as in CI.
run() {
    : >"$tmp/log"
    output=$(FAKE_UID=$1 FAKE_INSTALLED=${4:-cmake} FAKE_SUDO_ASKS=$3 FAKE_LOG="$tmp/log" PATH=$2 \
        "$BASH" -c 'source "$0"; zv_install_packages cmake g++ libsdl2-dev; echo "returned $?"' "$deps" </dev/null 2>&1)
    status=$?
    log=$(cat "$tmp/log")
}
expect() {  # expect <description> <condition...>
    local description=$1
    shift
    if "$@"; then echo "ok: $description"; else
        echo "FAIL: $description"
        echo "  status $status; output: $output"
        echo "  commands run: ${log:-none}"
        failed=1
    fi
}
has() { grep -qF -- "$2" <<<"$1"; }

install_line="apt-get install -y -qq --no-install-recommends g++ libsdl2-dev (DEBIAN_FRONTEND=noninteractive)"

run 0 "$tmp/bin" no
expect "root: installs only the missing packages, without sudo" \
    [ "$status" -eq 0 -a "$log" = "apt-get update -qq (DEBIAN_FRONTEND=)"$'\n'"$install_line" ]

run 1000 "$tmp/bin:$tmp/sudo" no
expect "user with sudo: installs the missing packages through sudo" \
    [ "$status" -eq 0 -a "$log" = "sudo -n true"$'\n'"sudo apt-get update -qq"$'\n'"apt-get update -qq (DEBIAN_FRONTEND=)"$'\n'"sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends g++ libsdl2-dev"$'\n'"$install_line" ]

run 1000 "$tmp/bin" no
expect "user without sudo: exits 1 and prints the command to run as root, runs nothing" \
    eval '[ "$status" -eq 1 ] && [ -z "$log" ] && ! has "$output" returned &&
          has "$output" "apt-get install -y --no-install-recommends g++ libsdl2-dev" && has "$output" "no sudo"'

run 1000 "$tmp/bin:$tmp/sudo" yes
expect "sudo wanting a password with no terminal: says so and exits 1 instead of waiting" \
    eval '[ "$status" -eq 1 ] && [ "$log" = "sudo -n true" ] && has "$output" password &&
          has "$output" "apt-get install -y --no-install-recommends g++ libsdl2-dev"'

run 1000 "$tmp/bin" no "cmake g++ libsdl2-dev"
expect "nothing missing: quiet, runs nothing, needs neither root nor sudo" [ "$status" -eq 0 -a "$output" = "returned 0" -a -z "$log" ]
exit $failed
