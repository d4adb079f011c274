#!/usr/bin/env bash
# Benchmark of Live Update's FTP download (not a test): one file of
# TESSARO_BENCH_FTP_MB MiB (default 64) from the test FTP server on this
# machine, fetched by curl (the baseline) and by the program's downloader
# over WinINet under 64-bit Wine (ftp_download_bench, built here in the
# wine64 configuration). Both fetch in active mode, as the program does.
# Prints both times, the throughput ratio and how quickly the window
# thread answered during the download.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
size_mb=${TESSARO_BENCH_FTP_MB:-64}
command -v curl >/dev/null || { echo "bench-ftp: curl is missing (scripts/prereqs.sh installs it)" >&2; exit 1; }

cmake --preset wine64 >/dev/null
cmake --build --preset wine64 -j2 --target ftp_download_bench >/dev/null

state=$root/build/wine64/ftp-bench
source scripts/wine-session.sh
cleanup() {
  tests/ftp/ftp-fixture.sh stop "$state" || true
  wine_session_stop
  rm -f "$state/root/pub/big.bin" "$state/curl.bin" "$state/wine.bin"
}
trap cleanup EXIT
tests/ftp/ftp-fixture.sh start "$state" >/dev/null
port=$(cat "$state/port")
mkdir -p "$state/root/pub"
head -c $((size_mb * 1024 * 1024)) /dev/urandom >"$state/root/pub/big.bin"
url="ftp://127.0.0.1:$port/pub/big.bin"
wine_session_start >/dev/null 2>&1

# The baseline, to a file as the downloader writes one.
start=$(date +%s.%N)
curl -s --ftp-port - -o "$state/curl.bin" "$url"
end=$(date +%s.%N)
curl_s=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
cmp -s "$state/curl.bin" "$state/root/pub/big.bin" || { echo "bench-ftp: curl's copy differs" >&2; exit 1; }

target='Z:'$(tr / '\\' <<<"$state/wine.bin")
out=$(scripts/wine-run.sh build/wine64/bin/ftp_download_bench.exe "$url" "$target")
cmp -s "$state/wine.bin" "$state/root/pub/big.bin" || { echo "bench-ftp: the downloaded copy differs" >&2; echo "$out" >&2; exit 1; }
value() { sed -n "s/^$1=//p" <<<"$out" | tr -d '\r'; }

silent_s=$(value silent_seconds)
window_s=$(value window_seconds)
echo "file: $size_mb MiB over loopback"
echo "curl:                          ${curl_s} s"
echo "downloader, no progress shown: ${silent_s} s ($(value silent_mbps) MB/s)"
echo "downloader, progress shown:    ${window_s} s ($(value window_mbps) MB/s)"
awk -v c="$curl_s" -v s="$silent_s" -v w="$window_s" 'BEGIN {
  printf "throughput against curl: %.4f (no progress shown), %.4f (progress shown);", c / s, c / w
  printf " curl is %.0fx and %.0fx as fast\n", s / c, w / c }'
echo "window thread during the download: $(value ui_probes) probes, median $(value ui_median_ms) ms," \
  "95th percentile $(value ui_p95_ms) ms, max $(value ui_max_ms) ms, $(value ui_timeouts) unanswered"
