# Sourced by the scripts that run Windows programs: one dedicated prefix
# per architecture inside the build tree, never ~/.wine. The loader and
# server of that architecture are called directly.
#   TESSARO_WINE_ARCH=win64 (default): build/wineprefix, 64-bit Wine; the
#     wine64 configuration (x86-64 build), which runs on every machine.
#   TESSARO_WINE_ARCH=win32: build/wineprefix32, 32-bit Wine; the wine32
#     configuration (the shipped i686 build). Whether it can run depends on
#     the machine: its kernel must execute 32-bit code and wine32:i386 must
#     be installed (scripts/prereqs.sh installs it where it can).
# TESSARO_WINEPREFIX overrides the prefix of the architecture chosen.
TESSARO_ROOT="${TESSARO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
TESSARO_WINE_ARCH="${TESSARO_WINE_ARCH:-win64}"
case "$TESSARO_WINE_ARCH" in
  win64)
    TESSARO_WINE=/usr/lib/wine/wine64
    TESSARO_WINESERVER=/usr/lib/wine/wineserver64
    export WINEPREFIX="${TESSARO_WINEPREFIX:-$TESSARO_ROOT/build/wineprefix}"
    ;;
  win32)
    TESSARO_WINE=/usr/lib/wine/wine
    TESSARO_WINESERVER=/usr/lib/wine/wineserver32
    export WINEPREFIX="${TESSARO_WINEPREFIX:-$TESSARO_ROOT/build/wineprefix32}"
    ;;
  *)
    echo "wine-env: TESSARO_WINE_ARCH must be win32 or win64, not '$TESSARO_WINE_ARCH'" >&2
    return 2 2>/dev/null || exit 2
    ;;
esac
export TESSARO_WINE_ARCH
export WINEARCH="$TESSARO_WINE_ARCH"
export WINELOADER="$TESSARO_WINE"
export WINESERVER="$TESSARO_WINESERVER"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installation prompts.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Why this machine cannot run Windows programs of the chosen architecture,
# printed; nothing when it can. For win32 the kernel must execute 32-bit
# code (on some machines even the 32-bit C library's loader fails with
# "Exec format error") and 32-bit Wine must be installed.
wine_arch_unavailable() {
  if [ "$TESSARO_WINE_ARCH" = win32 ] && ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
    echo "this machine cannot run 32-bit code"
  elif [ ! -x "$TESSARO_WINE" ] || [ ! -x "$TESSARO_WINESERVER" ]; then
    echo "${TESSARO_WINE_ARCH#win}-bit Wine is not installed"
  fi
}
