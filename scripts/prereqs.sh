#!/usr/bin/env bash
# Installs everything the build and the tests need (Debian, root,
# non-interactive). Safe to run again: it installs only what is missing.
# Where the machine executes 32-bit code it also installs 32-bit Wine, so
# the shipped i686 files run their tests too (the wine32 configuration);
# where it cannot, that part is left out and the run goes on.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev clang-format
  llvm-14   # llvm-profdata-14 and llvm-cov-14: the coverage figures of scripts/fuzz.sh
  googletest libpugixml-dev   # pugixml: the XML documents of the native build
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64
  nsis   # makensis: the setup program (installer/)
  # The faces the windows ask for. Wine's own fonts (Tahoma for "MS Shell
  # Dlg", Marlett for the caption buttons' glyphs) are only recommended by
  # wine, which is installed without recommends; Liberation Sans has
  # Arial's metrics and stands in for the labels' Arial.
  fonts-wine fonts-liberation
  xvfb x11-apps imagemagick librsvg2-bin
  locales python3 python3-pyftpdlib curl   # curl: the baseline of scripts/bench-ftp.sh
  lhasa jlha-utils   # archive tools the module-compression tests check against (jlha brings a JRE)
)

export DEBIAN_FRONTEND=noninteractive
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
updated=0

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# install <package>...: installs those not yet installed; lists are fetched
# once per run, and only when something is missing.
install() {
  local p missing=()
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "prereqs: installing ${missing[*]}"
  if [ $updated = 0 ]; then
    $SUDO apt-get update -qq
    updated=1
  fi
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install "${packages[@]}"

# 32-bit Wine. Whether the kernel runs 32-bit code is a property of the
# machine, not of Debian: on some kernels of our kind the 32-bit loader
# fails with "Exec format error". Only the C library comes first, then the
# loader itself says whether it can run; the 32-bit Wine comes only after.
wine32_status="present"
if ! installed wine32:i386; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "prereqs: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
    updated=0
  fi
  if ! install libc6:i386; then
    wine32_status="not installed (the 32-bit C library could not be installed)"
  elif ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
    wine32_status="not installed (this machine cannot run 32-bit code)"
  elif install wine32:i386; then
    wine32_status="installed"
  else
    wine32_status="not installed (apt-get failed)"
  fi
fi
echo "prereqs: ready; 32-bit Wine: $wine32_status"
