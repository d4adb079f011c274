#!/usr/bin/env bash
# Runs the setup program's tests in a Wine prefix made for this run alone
# (<build dir>/installer-prefix, removed and made again each time), with the
# demo board's drivers in its drivers folder. Pictures of the setup pages go to
# <build dir>/installer-shots/ (PNG).
#   run-installer-tests.sh <build dir> <test program> [gtest arguments]
# Exit code 77 (skipped) where 32-bit Windows programs cannot run.
set -uo pipefail
build=$(cd "$1" && pwd)
exe=$2
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
# No menu entries on the Linux desktop for the shortcut the setup creates.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The setup program is 32-bit: the 32-bit Wine runs it. With
# TESSARO_INSTALLER_WOW64=1 it runs in a 64-bit prefix instead, as on 64-bit
# Windows; the bench's drivers there would be 64-bit, so the cases that
# start the installed programs on the demo board are left out.
gtest_filter=()
if [ "${TESSARO_INSTALLER_WOW64:-0}" = 1 ]; then
  export TESSARO_WINE_ARCH=win32
  source "$root/scripts/wine-env.sh"
  why=$(wine_arch_unavailable)
  export TESSARO_WINE_ARCH=win64
  export TESSARO_WINEPREFIX="$build/installer-prefix-wow64"
  shots_name=installer-shots-wow64
  gtest_filter=("--gtest_filter=-*ReachesItsMainWindow*:*HostLoadsTheRegisteredPlugin*")
else
  export TESSARO_WINE_ARCH=win32
  export TESSARO_WINEPREFIX="$build/installer-prefix"
  shots_name=installer-shots
fi
source "$root/scripts/wine-session.sh"
why=${why:-$(wine_arch_unavailable)}
if [ -n "$why" ]; then
  echo "installer tests skipped: $why"
  exit 77
fi
rm -rf "$WINEPREFIX"
shots="$build/$shots_name"
rm -rf "$shots"
mkdir -p "$shots"
started=$(date +%s)
trap wine_session_stop EXIT
wine_session_start >/dev/null
# Wine links the prefix's user folders (Desktop, Documents, Templates, ...)
# to the home folder: the tests list the whole drive before and after, and
# would walk the host's home with whatever else writes there meanwhile.
# Empty folders of the prefix's own take their place.
find "$WINEPREFIX/drive_c/users" -type l -print0 |
  while IFS= read -r -d '' link; do
    rm -f "$link" && mkdir "$link"
  done
[ "$TESSARO_WINE_ARCH" = win32 ] && "$root/scripts/install-demo-board.sh" "$build" >/dev/null
# A drive where nothing can be created or written, whoever runs the tests
# (root included): the kernel's own read-only /sys.
if [ -d /sys/class ] && ! mkdir /sys/tessaro-probe 2>/dev/null; then
  ln -sfn /sys "$WINEPREFIX/dosdevices/r:"
  export TESSARO_READONLY_DRIVE=R:
else
  rmdir /sys/tessaro-probe 2>/dev/null
fi
echo "installer tests: prefix ready after $(($(date +%s) - started)) s"
TESSARO_INSTALLER_SHOTS=$(winepath -w "$shots" 2>/dev/null) \
  "$TESSARO_WINE" "$exe" --gtest_brief=1 "${gtest_filter[@]}" "$@"
rc=$?
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "installer tests: $(($(date +%s) - started)) s"
exit $rc
