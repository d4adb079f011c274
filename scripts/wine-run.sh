#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix (the test
# emulator of the wine64 configuration).
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if [ -z "${DISPLAY:-}" ] && [ -f "$WINEPREFIX/.display" ]; then
  DISPLAY="$(cat "$WINEPREFIX/.display")"
  export DISPLAY
fi
exec "$TESSARO_WINE" "$@"
