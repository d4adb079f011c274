#!/usr/bin/env bash
# Installs the prerequisites, runs the static checks, builds every
# configuration and runs every test: native, native with sanitizers, the
# shipped 32-bit files, the x86-64 Windows build under 64-bit Wine and,
# where the machine runs 32-bit code, the shipped i686 build with its tests
# under 32-bit Wine (otherwise the summary says it was skipped and why).
# TESSARO_SKIP_WINE32=1 skips the 32-bit Wine run as on a machine that
# cannot run it.
set -uo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
jobs=$(nproc)

scripts/prereqs.sh || exit 1
scripts/lint.sh || exit 1

passed=0
failed=0
declare -a summary

run_ctest() {
  local preset=$1 log
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
  else
    bad=1 total=1
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  # GoogleTest cases inside those test programs, from CTest's full log.
  local cases
  cases=$(grep -hoE '^\[==========\] [0-9]+ tests? from .* ran' "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null |
    awk '{n += $2} END {print n + 0}')
  summary+=("$preset: $((total - bad)) of $total test programs passed ($cases test cases)")
  rm -f "$log"
}

# Whether the wine32 configuration can run here; empty when it can, else
# the reason it is skipped.
source scripts/wine-session.sh
if [ "${TESSARO_SKIP_WINE32:-0}" = 1 ]; then
  wine32_skip="TESSARO_SKIP_WINE32=1"
else
  wine_use_arch win32
  wine32_skip=$(wine_arch_unavailable)
fi
wine_use_arch win64
presets=(native native-asan win32 wine64)
[ -n "$wine32_skip" ] || presets+=(wine32)

mkdir -p build
for preset in "${presets[@]}"; do
  echo "== build $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j"$jobs"; } >"build/$preset.build.log" 2>&1; then
    cat "build/$preset.build.log"
    echo "build of $preset failed"
    failed=$((failed + 1))
    summary+=("$preset: build failed")
  fi
done

echo "== test native"
run_ctest native
echo "== test native-asan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest native-asan
echo "== test win32 (shipped files)"
run_ctest win32
echo "== test wine64 (under Wine)"
trap wine_session_stop EXIT
wine_build_locale
wine_session_start
run_ctest wine64
wine_session_stop
trap - EXIT
if [ -z "$wine32_skip" ]; then
  # A session of its own: the 32-bit prefix, server and display.
  echo "== test wine32 (shipped i686 files under 32-bit Wine)"
  wine32_started=$(date +%s)
  wine_use_arch win32
  trap wine_session_stop EXIT
  wine_session_start
  run_ctest wine32
  wine_session_stop
  trap - EXIT
  wine_use_arch win64
  echo "wine32: tests took $(($(date +%s) - wine32_started)) s"
else
  echo "== test wine32: skipped ($wine32_skip)"
  summary+=("wine32: skipped ($wine32_skip)")
fi

echo
printf '%s\n' "${summary[@]}"
echo "time: $(( $(date +%s) - started )) s"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
