#!/usr/bin/env bash
# The Windows setup program, without Wine: packs it from the cross build with CPack and
# makensis into a scratch folder and checks that it is a 64-bit Windows program, that it carries
# every file of the install tree (the exe and each asset), and that its uninstaller deletes
# exactly those files and takes folders away only once they are empty. scripts/wine-smoke runs it.
# Usage: tests/package/windows_setup_test.sh WINDOWS_BUILD_DIR
# Exit status 77 (skipped) where makensis or the cross build is missing.
set -uo pipefail
build=$(readlink -f "${1:-build/windows}")
if ! command -v makensis >/dev/null; then echo "skip: no makensis (Debian's nsis)"; exit 77; fi
if [ ! -f "$build/zorvalen.exe" ] || [ ! -f "$build/CPackConfig.cmake" ]; then
    echo "skip: no cross build in $build"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
check() {  # check <description> <command...>
    if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failed=1; fi
}

if ! cpack --config "$build/CPackConfig.cmake" -G NSIS -B "$tmp" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    echo "FAIL: cpack -G NSIS"
    exit 1
fi
setup=$(ls "$tmp"/zorvalen-*-windows-x86_64-setup.exe 2>/dev/null)
check "made $(basename "${setup:-no setup program}")" test -f "$setup"
[ -f "$setup" ] || exit 1
check "a 64-bit Windows program: $(file -b "$setup" | cut -d, -f1)" grep -q 'PE32+ executable (GUI) x86-64' <<<"$(file -b "$setup")"

tree=$(dirname "$(find "$tmp/_CPack_Packages" -name zorvalen.exe | head -1)")
script=$(find "$tmp/_CPack_Packages" -name project.nsi | head -1)
installed=$(cd "$tree" && find . -type f | sed 's|^\./||' | sort)
assets=$(cd "$build/host/assets" && find . -type f ! -name .assetgen.stamp | sed 's|^\./||' | sort)
check "the install tree holds the exe and all $(wc -l <<<"$assets") assets" \
    test "$installed" = "$(printf '%s\n' "$assets" zorvalen.exe | sort)"
check "the setup program takes the whole install tree" grep -q 'File /r .*\\\*\.\*"' "$script"
uninstall=$(sed -n '/^Section "Uninstall"/,/^SectionEnd/p' "$script")
deleted=$(sed -n 's|^ *Delete "\$INSTDIR\\\(.*\)"$|\1|p' <<<"$uninstall" | grep -vx '\${UNINSTALLER}' | tr '\\' / | sort)
check "the uninstaller deletes each installed file by name, and no other" test "$deleted" = "$installed"
check "nothing in the install folder is deleted by pattern or with its folder" \
    test -z "$(grep -E '(Delete|RMDir).*\$INSTDIR' <<<"$uninstall" | grep -E '\*|/r')"
# Opening a replay watches it: .zvr names the game's replay type, whose open command is the
# installed exe with --replay; the uninstaller takes the type away, and the extension with it.
install=$(sed -n '/^Section "${GAME}"/,/^SectionEnd/p' "$script")
check "the setup program registers .zvr to be watched by the installed exe" \
    grep -qF "WriteRegStr SHCTX \"Software\\Classes\\\${REPLAY_TYPE}\\shell\\open\\command\" \"\" '\"\$INSTDIR\\\${EXE}\" --replay \"%1\"'" <<<"$install"
check "the extension names that type" grep -q 'REPLAY_EXT}" "" "${REPLAY_TYPE}"' <<<"$install"
check "the uninstaller removes the replay type and the extension" \
    test "$(grep -c 'DeleteRegKey SHCTX "Software\\Classes\\${REPLAY_\(TYPE\|EXT\)}"' <<<"$uninstall")" -eq 2
exit $failed
