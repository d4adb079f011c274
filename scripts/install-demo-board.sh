#!/usr/bin/env bash
# Installs the simulated demo board into the Wine prefix: the bench's kernel
# drivers (WinFlash.sys, Mirel.sys) and their state files go into the
# prefix's system32\drivers, where the programs look for the drivers and the
# drivers look for their state ("<driver>.state" beside the driver). Each
# call resets the board to the demo BIOS. Needs no running Wine: it only
# copies files (tests remove the state paths they set in service keys).
# Usage: install-demo-board.sh <build dir, e.g. build/wine64> [award|ami]
# "ami" prepares the AMI demo board instead: the program installs the AMI
# drivers itself from its start folder, so HwIOctl.sys, Memctl.sys and the
# board's state (Memctl.state, beside Memctl, which owns the board) go into
# <build dir>/run-ami/, the folder the program is then started in; the
# folder's path is printed last.
# build/wine32 installs into the 32-bit prefix (TESSARO_WINE_ARCH decides
# when set).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/wine64}"
board="${2:-award}"
if [ "$board" = ami ]; then
  start="$build/run-ami"
  mkdir -p "$start"
  cp "$build/bin/HwIOctl.sys" "$build/bin/Memctl.sys" "$start/"
  cp "$build/sim/boards/ami/ami.state" "$start/Memctl.state"
  echo "AMI demo board installed: $start"
  exit 0
fi
case "$build" in
  */wine32 | */wine32/ | wine32) TESSARO_WINE_ARCH="${TESSARO_WINE_ARCH:-win32}" ;;
esac
source scripts/wine-env.sh
drivers="$WINEPREFIX/drive_c/windows/system32/drivers"
mkdir -p "$drivers"
for name in WinFlash Mirel; do
  cp "$build/bin/$name.sys" "$drivers/$name.sys"
done
# A 32-bit program under WOW64 asks for WinFlash64.sys: the same driver.
cp "$build/bin/WinFlash.sys" "$drivers/WinFlash64.sys"
cp "$build/sim/boards/demo/demo.state" "$drivers/WinFlash.state"
cp "$build/sim/boards/demo/mirel.state" "$drivers/Mirel.state"
echo "demo board installed: $drivers"
