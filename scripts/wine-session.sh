# Sourced: prepares the prefix, a display and a persistent wineserver for
# one run of Windows programs. Call wine_session_start, and
# wine_session_stop when done (the caller installs the trap). The
# architecture comes from TESSARO_WINE_ARCH (see wine-env.sh); one script
# may run several sessions one after the other, switching with
# wine_use_arch between them.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# wine_use_arch win32|win64: the following sessions and programs use that
# architecture's loader, server and prefix.
wine_use_arch() {
  TESSARO_WINE_ARCH=$1
  source "$TESSARO_ROOT/scripts/wine-env.sh"
}

wine_session_start() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in 99 98 97 96 95; do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    TESSARO_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    "$TESSARO_WINE" wineboot -i >/dev/null 2>&1 || true
    # Without a window manager every window close otherwise takes seconds.
    wine_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    # The USB and HID bus drivers poll for devices that a test machine does
    # not have and keep the server busy; nothing here needs them.
    local svc
    for svc in WineBus wineusb winehid; do
      wine_reg add "HKLM\\System\\CurrentControlSet\\Services\\$svc" /v Start /t REG_DWORD /d 4 /f
    done
    "$TESSARO_WINESERVER" -k >/dev/null 2>&1 || true
  fi
  echo "$DISPLAY" > "$WINEPREFIX/.display"
  # One persistent server for the whole run.
  "$TESSARO_WINESERVER" -p
  wine_use_fonts
  # Start the prefix's services (winedevice and friends) now, detached from
  # our output: started by the first test instead, they would inherit its
  # output pipe and ctest would wait for them until the test times out.
  "$TESSARO_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

# The fonts the windows ask for. Wine's own (Tahoma for "MS Shell Dlg",
# Marlett for the caption buttons' glyphs; package fonts-wine) are not read
# from Wine's data folder by this Wine: they go into the prefix's Fonts
# folder, where Windows keeps its fonts. The main window's labels ask for
# Arial: Wine is to draw them with Liberation Sans (fonts-liberation), whose
# letters have Arial's widths, and not with whatever face it falls back to.
# Prefixes made before this get both on their next session.
wine_use_fonts() {
  local own=/usr/share/wine/fonts fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -d "$own" ]; then
    mkdir -p "$fonts"
    cp -n "$own"/* "$fonts"/ 2>/dev/null || true
  fi
  grep -qs '^"Arial"="Liberation Sans"' "$WINEPREFIX/user.reg" && return 0
  wine_reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ \
    /d 'Liberation Sans' /f || true
}

wine_reg() {
  "$TESSARO_WINE" reg "$@" >/dev/null 2>&1
}

wine_session_stop() {
  "$TESSARO_WINESERVER" -k >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX/.display"
  if [ -n "${TESSARO_XVFB_PID:-}" ]; then
    kill "$TESSARO_XVFB_PID" 2>/dev/null || true
    wait "$TESSARO_XVFB_PID" 2>/dev/null || true
    # The display is gone with its server: a later session starts its own.
    unset TESSARO_XVFB_PID DISPLAY
  fi
}

# A German locale for the satellite test, built into the build tree.
wine_build_locale() {
  local dir="$TESSARO_ROOT/build/locale"
  if [ ! -d "$dir/de_DE.UTF-8" ]; then
    mkdir -p "$dir"
    localedef -i de_DE -f UTF-8 "$dir/de_DE.UTF-8" >/dev/null 2>&1 || true
  fi
}
