#!/usr/bin/env bash
# Builds Tessaro and starts it. With a display, Tessaro opens on it. Without
# one, it runs under a virtual display as a scripted tour: every window it
# shows is logged, pictured and answered, and the pictures and the log are
# written to the folder printed at the end.
#
# The program that runs here is the x86-64 build of the same sources under
# 64-bit Wine, which every machine of our kind runs (whether 32-bit Wine
# runs depends on the machine); the shipped 32-bit files are built beside
# it in build/win32/bin.
#
# The board: the Award demo board by default; "--board=ami" as the first
# argument (or TESSARO_BOARD=ami) runs the AMI demo board (1 MB, served by
# the bench's HwIOctl.sys and Memctl.sys, which the program installs from
# its start folder as it would on a real machine).
set -euo pipefail
cd "$(dirname "$0")/.."
export TESSARO_WINE_ARCH=win64
board=${TESSARO_BOARD:-award}
case "${1:-}" in
  --board=*) board=${1#--board=}; shift ;;
esac
case "$board" in
  award | ami) ;;
  *) echo "run: unknown board '$board' (award or ami)" >&2; exit 2 ;;
esac
scripts/prereqs.sh
mkdir -p build
for preset in win32 wine64; do
  log="build/$preset.build.log"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$(nproc)"; } >"$log" 2>&1; then
    tail -40 "$log"
    echo "run: build of $preset failed (whole log: $log)" >&2
    exit 1
  fi
done
# A prefix of its own: the demo board, the driver services and the options
# this run leaves behind must not meet the tests' prefix (build/wineprefix).
export TESSARO_WINEPREFIX="${TESSARO_WINEPREFIX:-$PWD/build/wineprefix-run}"
source scripts/wine-session.sh
bin="$PWD/build/wine64/bin"
# The Award program finds its driver in the prefix; the AMI program
# installs its drivers from the folder it starts in.
install_board() {
  scripts/install-demo-board.sh build/wine64 "$board" >/dev/null
  if [ "$board" = ami ]; then cd build/wine64/run-ami; fi
}
# TESSARO_PROGRAM=TessaroGuiHost.exe shows the same windows on the
# stand-in board of the window tests.
program=${TESSARO_PROGRAM:-Tessaro.exe}

if [ -n "${DISPLAY:-}" ] && [ -z "${TESSARO_TOUR:-}" ]; then
  trap wine_session_stop EXIT
  wine_session_start
  install_board
  "$TESSARO_WINE" "$bin/$program" "$@"
  exit 0
fi

unset DISPLAY
trap wine_session_stop EXIT
wine_session_start
out="$PWD/build/tour/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
install_board
"$TESSARO_WINE" "$bin/$program" "$@" &
app=$!
"$TESSARO_WINE" "$bin/UiTour.exe" "$(winepath -w "$out" 2>/dev/null || echo "Z:${out//\//\\}")" 60 | tee "$out/tour.log"
wait "$app" || true
cd "$OLDPWD" 2>/dev/null || true
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "run: tour pictures and log in $out"
