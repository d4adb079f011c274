#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs one of them.
#   scripts/fuzz.sh                  list the targets
#   scripts/fuzz.sh <name> [secs]    fuzz <name> (default 60 s); new crashers
#                                    land in fuzz/crashers/<name>/, keep them
#                                    there as regression inputs once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSARO_FUZZ=ON -DTESSARO_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ $# -eq 0 ]; then
  grep -rhoE 'tessaro_fuzz\(\s*\w+' fuzz | sed 's/tessaro_fuzz(\s*//'
  exit 0
fi
name=$1; secs=${2:-60}
cmake --build build/fuzz --target "$name" -j"$(nproc)" >/dev/null
mkdir -p "fuzz/crashers/$name" "build/fuzz/corpus/$name"
cp -n fuzz/corpus/"$name"/* "build/fuzz/corpus/$name/" 2>/dev/null || true
build/fuzz/bin/"$name" -max_total_time="$secs" -artifact_prefix="fuzz/crashers/$name/" \
  "build/fuzz/corpus/$name"
