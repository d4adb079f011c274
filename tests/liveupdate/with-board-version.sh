#!/usr/bin/env bash
# Runs a command in a private mount namespace whose /sys/class/dmi/id holds
# the given board version (and the other firmware identity files), so that
# Win32_BaseBoard reports it. Exits 77 (skipped) when no namespace can be
# made.
#   with-board-version.sh <version> <command> [args...]
set -uo pipefail
version=$1; shift
if ! unshare -m true 2>/dev/null; then
  echo "with-board-version: no private mount namespace here; skipped"; exit 77
fi
exec unshare -m bash -c '
  mount -t tmpfs none /sys/class 2>/dev/null || { echo "with-board-version: cannot mount; skipped"; exit 77; }
  set -e
  mkdir -p /sys/class/dmi/id
  cd /sys/class/dmi/id
  for f in bios_vendor bios_version bios_date sys_vendor product_name product_version \
           product_serial product_uuid product_sku product_family board_vendor board_name \
           board_serial board_asset_tag chassis_vendor chassis_version chassis_serial \
           chassis_asset_tag; do
    echo "Test" > "$f"
  done
  echo 3 > chassis_type
  printf "%s\n" "$0" > board_version
  cd /
  exec "$@"
' "$version" "$@"
