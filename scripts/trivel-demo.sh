#!/usr/bin/env bash
# The overclocking plug-in on the bench's controller, in one command: builds
# the host program, the plug-in and the controller library (x86-64, for
# 64-bit Wine, as the run command does), puts the bench's Mirel.sys and a
# demo controller (tools/trivelhost/demo-controller.txt) into the prefix's
# drivers folder, where KT9020DLL starts it, registers the plug-in as a
# host's installer does (HKLM\Software\ULVO\Velmar, ULVOTRIVEL_PLUGIN ->
# build/wine64/trivel/Common/TrivelOLE.dll, configuration in
# trivel/mirel/00A3) and opens the host with the page.
#
# With a display the host opens there (its Apply, OK and Cancel buttons call
# the plug-in; the line below them shows the plug-in's notifications).
# Without one it runs on a virtual display: the script waits for the page,
# saves a picture of it and ends the host.
#   scripts/trivel-demo.sh [--info N]   (--info: print profile N's document)
set -euo pipefail
cd "$(dirname "$0")/.."
export TESSARO_WINE_ARCH=win64
scripts/prereqs.sh
build=build/wine64
log=build/trivel-demo.build.log
mkdir -p build
if ! { cmake --preset wine64 &&
       cmake --build "$build" -j"$(nproc)" --target TrivelHost trivel_layout KT9020DLL sim_drivers \
         sim_demo_board; } >"$log" 2>&1; then
  tail -40 "$log"
  echo "trivel-demo: build failed (whole log: $log)" >&2
  exit 1
fi
# The run command's prefix: the tests' prefix stays as the tests left it.
export TESSARO_WINEPREFIX="${TESSARO_WINEPREFIX:-$PWD/build/wineprefix-run}"
source scripts/wine-session.sh
trap 'wine_session_stop' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The demo controller, afresh on every run.
state="$PWD/$build/trivel/demo-controller.state"
"$build/host/simtool" mirel-state tools/trivelhost/demo-controller.txt "$state"
headless=0
[ -n "${DISPLAY:-}" ] || headless=1
# Before the session starts: a boot-start Mirel service of an earlier run
# comes up with it and loads the state beside its driver.
drivers="$WINEPREFIX/drive_c/windows/system32/drivers"
mkdir -p "$drivers"
cp "$build/bin/Mirel.sys" "$drivers/Mirel.sys"
cp "$state" "$drivers/Mirel.state"
wine_session_start
plugin="$(winepath -w "$PWD/$build/trivel/Common/TrivelOLE.dll" 2>/dev/null)"
wine_reg add 'HKLM\Software\ULVO\Velmar' /v ULVOTRIVEL_PLUGIN /t REG_SZ /d "$plugin" /f
echo "trivel-demo: plug-in registered as $plugin"

cd "$build/bin"
if [ "${1:-}" = --info ]; then
  out="$PWD/../trivel/info-${2:-0}.xml"
  "$TESSARO_WINE" TrivelHost.exe --info "${2:-0}" "$(winepath -w "$out" 2>/dev/null)"
  cat "$out"; echo
  exit 0
fi
if [ $headless -eq 0 ]; then
  "$TESSARO_WINE" TrivelHost.exe
  exit 0
fi
"$TESSARO_WINE" TrivelHost.exe &
host=$!
shot="$PWD/../gui-shots/trivel-demo.png"
mkdir -p "$(dirname "$shot")"
for _ in $(seq 150); do
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"Trivel Host"/ {print $1; exit}')
  [ -n "$id" ] && break
  sleep 0.2
done
if [ -z "${id:-}" ]; then
  echo "trivel-demo: the host window did not appear" >&2
  kill "$host" 2>/dev/null || true
  exit 1
fi
sleep 1  # the page paints after the window maps
xwd -id "$id" -silent | convert xwd:- "$shot"
kill "$host" 2>/dev/null || true
wait "$host" 2>/dev/null || true
echo "trivel-demo: no display; picture of the page: $shot"
