# Sourced by the scripts that run Windows programs: one dedicated prefix
# inside the build tree, never ~/.wine. This machine cannot execute 32-bit
# code, so the prefix is 64-bit and the loader is called directly.
TESSARO_ROOT="${TESSARO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${TESSARO_WINEPREFIX:-$TESSARO_ROOT/build/wineprefix}"
export WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installation prompts.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
TESSARO_WINE=/usr/lib/wine/wine64
TESSARO_WINESERVER=/usr/lib/wine/wineserver64
