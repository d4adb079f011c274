#!/usr/bin/env bash
# Installs everything the build and the tests need (Debian, root,
# non-interactive). Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev clang-format
  googletest
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64
  xvfb x11-apps imagemagick librsvg2-bin
  locales python3 python3-pyftpdlib
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "prereqs: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "prereqs: all present"
fi
