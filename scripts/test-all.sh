#!/usr/bin/env bash
# Installs the prerequisites, runs the static checks, builds every
# configuration and runs every test: native, native with sanitizers, the
# shipped 32-bit files, and the Windows build under Wine.
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

mkdir -p build
for preset in native native-asan win32 wine64; do
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
source scripts/wine-session.sh
trap wine_session_stop EXIT
wine_build_locale
wine_session_start
run_ctest wine64
wine_session_stop
trap - EXIT

echo
printf '%s\n' "${summary[@]}"
echo "time: $(( $(date +%s) - started )) s"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
