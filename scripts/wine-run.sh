#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix of one
# architecture (the test emulator of the wine64 and wine32 configurations).
#   wine-run.sh [--arch=win32|win64] <program> [args...]
# Without --arch, TESSARO_WINE_ARCH decides (default win64).
case "${1:-}" in
  --arch=*)
    export TESSARO_WINE_ARCH="${1#--arch=}"
    shift
    ;;
esac
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh" || exit
if [ -z "${DISPLAY:-}" ] && [ -f "$WINEPREFIX/.display" ]; then
  DISPLAY="$(cat "$WINEPREFIX/.display")"
  export DISPLAY
fi
exec "$TESSARO_WINE" "$@"
