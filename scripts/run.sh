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
#
# Live Update: a local FTP server (tests/ftp/ftp-fixture.sh) serves the
# board's update for the length of the run, from
# build/wine64/run-ftp-<board>/root; the program is sent there by the
# registry value LiveUpdateServer ("127.0.0.1:<port>") of its options key.
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
# build_preset <preset> [target...]
build_preset() {
  local preset=$1 log="build/$1.build.log" targets=()
  shift
  [ $# -eq 0 ] || targets=(--target "$@")
  if ! { cmake --preset "$preset" &&
         cmake --build --preset "$preset" -j"$(nproc)" ${targets[@]+"${targets[@]}"}; } >"$log" 2>&1; then
    tail -40 "$log"
    echo "run: build of $preset failed (whole log: $log)" >&2
    exit 1
  fi
}
build_preset win32
build_preset wine64
# The Live Update server's files are written by a native tool.
build_preset native liveupdate_tree
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

# Live Update's server for this run: the FTP server on a free local port,
# the information file listing the board's update.bin as a newer BIOS (at
# the public and the beta path), the BIOS file on the one site it names,
# and the program's LiveUpdateServer value pointing at the server. Each
# board has a tree of its own. The local copy of the information file a
# former run left in the prefix's system folder goes: it names that run's
# port, and a copy of the same date wins over the download.
ftp_fixture="$PWD/tests/ftp/ftp-fixture.sh"
ftp_state="$PWD/build/wine64/run-ftp-$board"
if [ "$board" = ami ]; then
  update="$PWD/build/wine64/sim/boards/ami/update.bin"
else
  update="$PWD/build/wine64/sim/boards/demo/update.bin"
fi
tree_tool="$PWD/build/native/bin/liveupdate_tree"
start_live_update_server() {
  bash "$ftp_fixture" stop "$ftp_state" >/dev/null 2>&1 || true
  rm -rf "$ftp_state"
  if ! bash "$ftp_fixture" start "$ftp_state" || [ ! -s "$ftp_state/port" ]; then
    echo "run: the FTP server for Live Update did not start ($ftp_fixture)" >&2
    exit 1
  fi
  local port
  port=$(cat "$ftp_state/port")
  "$tree_tool" --root "$ftp_state/root" --port "$port" --board "$board" --bios "$update" --beta
  if ! wine_reg add 'HKLM\Software\ULVO\Tessaro' /v LiveUpdateServer /t REG_SZ \
         /d "127.0.0.1:$port" /f; then
    echo "run: could not set LiveUpdateServer in $WINEPREFIX" >&2
    exit 1
  fi
  rm -f "$WINEPREFIX/drive_c/windows/system32/Tessaro.sys" \
        "$WINEPREFIX/drive_c/windows/syswow64/Tessaro.sys"
  echo "run: Live Update server ftp://127.0.0.1:$port/ serving $ftp_state/root"
}
# Runs on every exit, a failed one included.
end_run() {
  wine_session_stop
  bash "$ftp_fixture" stop "$ftp_state" >/dev/null 2>&1 || true
}
trap end_run EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -n "${DISPLAY:-}" ] && [ -z "${TESSARO_TOUR:-}" ]; then
  wine_session_start
  start_live_update_server
  install_board
  "$TESSARO_WINE" "$bin/$program" "$@"
  exit 0
fi

unset DISPLAY
wine_session_start
out="$PWD/build/tour/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
start_live_update_server
install_board
"$TESSARO_WINE" "$bin/$program" "$@" &
app=$!
"$TESSARO_WINE" "$bin/UiTour.exe" "$(winepath -w "$out" 2>/dev/null || echo "Z:${out//\//\\}")" 300 | tee "$out/tour.log"
wait "$app" || true
cd "$OLDPWD" 2>/dev/null || true
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "run: tour pictures and log in $out"
