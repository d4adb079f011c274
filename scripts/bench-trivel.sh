#!/usr/bin/env bash
# Benchmark of the overclocking plug-in (not a test): PlugIn_GetObject to a
# returned pointer, Apply of a changed profile and GetInfo, each against the
# bare GetAIP round trip to the bench's Mirel.sys in the same run, under
# 64-bit Wine (trivel_bench, built here in the wine64 configuration, in the
# tests' prefix; it installs and removes the Mirel service itself).
# Prints the medians in milliseconds and the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset wine64 >/dev/null
cmake --build --preset wine64 -j2 --target trivel_bench >/dev/null
source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start >/dev/null 2>&1
export TESSARO_BINARY_DIR="$PWD/build/wine64"
out=$(cd build/wine64/bin && "$TESSARO_WINE" trivel_bench.exe | tr -d '\r')
value() { sed -n "s/^$1=//p" <<<"$out"; }
if [ -z "$(value getaip_ms)" ]; then echo "bench-trivel: $out" >&2; exit 1; fi
echo "GetAIP round trip (1 byte):        $(value getaip_ms) ms"
echo "PlugIn_GetObject to a pointer:     $(value getobject_ms) ms  ($(value getobject_ratio) round trips)"
echo "Apply of a changed profile:        $(value apply_ms) ms  ($(value apply_ratio) round trips)"
echo "GetInfo:                           $(value getinfo_ms) ms  ($(value getinfo_ratio) round trips)"
