#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs them.
#   scripts/fuzz.sh                  list the targets
#   scripts/fuzz.sh <name> [secs]    fuzz <name> (default 60 s); new crashers
#                                    land in fuzz/crashers/<name>/, keep them
#                                    there as regression inputs once fixed.
#   scripts/fuzz.sh campaign <secs> [names...]
#                                    fuzz each target (default: all) for secs,
#                                    merge what it found into fuzz/corpus/<name>
#                                    (minimised), measure the line coverage of
#                                    the target's parser by the kept corpus and
#                                    append the figures to fuzz/campaign-log.tsv.
#                                    FUZZ_JOBS=2 runs two targets at a time.
#   scripts/fuzz.sh coverage [names...]
#                                    only the coverage of the kept corpora.
# Needs clang, libFuzzer (libclang-rt-14-dev) and llvm-14 (llvm-profdata-14,
# llvm-cov-14); scripts/prereqs.sh installs them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The parser each target exercises: its source files and, where a file
# holds more than the parser, the functions that make up the parser (an
# extended regular expression over llvm-cov's function names).
declare -A PARSER_FILES=(
  [award_checkfile]="tessaro/award/AwardFlasher.cpp"
  [award_recipe]="tessaro/award/AwardFlasher.cpp"
  [ami_image]="tessaro/ami/AmiImage.cpp formats/Lh5.cpp"
  [ami_recipe]="tessaro/ami/AmiImage.cpp formats/Lh5.cpp"
  [lh5_decode]="formats/Lh5.cpp"
  [infofile]="tessaro/liveupdate/BiosInfoFile.cpp"
  [ftp_download]="tessaro/liveupdate/FtpDownloader.cpp tessaro/app/LiveUpdatePresenter.cpp"
  [kt9020_replies]="kt9020dll/Kt9020Library.cpp kt9020dll/ControllerCommand.cpp kt9020dll/PortRecord.cpp"
  [sim_description]="sim/SimBench.cpp sim/AwardImageBuilder.cpp"
  [trivel_config]="trivelole/ItemSets.cpp trivelole/InfoDocument.cpp trivelole/XmlDocument_pugi.cpp"
)
# The file checks (with the dry run of the block plan), not the flashing.
award_checks='CAwardFlasher::(SetImage|CheckFile|ApplyFileBootType|FindLh5Bank|ChecksumRange|VerifyImageChecksum|Reseal|CheckImage|CarryOverNvTable|CarryOverHdcp|CheckBiosLock|CheckPartNumber|CheckFlashAreas|CheckModuleBank|StageFits|RunStages|Refuse)\('
lh5_decoder='CBitReader::|CHuffmanTable::|CLh5Decoder::|^Lh5Decode\('
declare -A PARSER_FUNCTIONS=(
  [award_checkfile]="$award_checks"
  [award_recipe]="$award_checks"
  [ami_image]="$lh5_decoder|^(FindRomHeader|FindModule|CheckAmiImage)\(|ReadModule|WalkChain"
  [ami_recipe]="$lh5_decoder|^(FindRomHeader|FindModule|CheckAmiImage)\(|ReadModule|WalkChain"
  [lh5_decode]="$lh5_decoder"
  [ftp_download]='FtpDownloader|ParseFtpUrl|^(Field|ParseBiosEntry|WithServer)\('
  [sim_description]='^Sim(ParseNumber|ParseLines|ParseHexBytes|SplitLine|ResolvePath)\(|^Parse(Award|Mirel)Description\(|^ParseAwardImageRecipe\('
  [kt9020_replies]='CKt9020Library::(Transact|GetAip|SetAip|IsKt9020Exist|PortRequest|InPortB|OutPortB|ReadPortVal|WritePortVal|ReadMsr|WriteMsr)\(|^(GetCommandInputDataLength|GetCommandOutputDataLength|BuildCommandRecord|ParseCommandReply|MakePortRecord|IsPortAccessSize|PortReplyValue)\('
  [trivel_config]='.'
)
# Functions of those files that are no parser: what writes records back
# or puts them back (the target reads and checks only) and the shutdown
# privilege.
# The download's thread start and stop (the target runs the transfer on
# its own thread) are not input handling either.
declare -A PARSER_EXCLUDE=(
  [trivel_config]='Commit|::Record\(|RestoreRecord|CShutdownPrivilege'
  [ftp_download]='~CFtpDownloader|CFtpDownloader::(Start|Stop)\('
)

# Extra libFuzzer flags. The recipe targets keep the images of recent
# recipes between inputs by design, so their inputs allocate more than
# they free and libFuzzer would scan the heap for leaks after every new
# recipe; leaks still show when the sanitizer builds replay the corpus.
declare -A FUZZ_FLAGS=(
  [award_recipe]="-detect_leaks=0"
  [ami_recipe]="-detect_leaks=0"
)

configure_fuzz() {
  cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTESSARO_FUZZ=ON -DTESSARO_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
}
# The same targets as replay programs (fuzz/Replay.cpp) with clang's
# source-based coverage and no sanitizers.
configure_cov() {
  local flags="-fprofile-instr-generate -fcoverage-mapping"
  cmake -S . -B build/fuzz-cov -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate" >/dev/null
}
all_targets() { grep -rhoE 'tessaro_fuzz\(\s*\w+' fuzz | sed 's/tessaro_fuzz(\s*//' | sort; }
jobs_flag="-j${FUZZ_BUILD_JOBS:-2}"
# Large freed blocks are reused sooner with a small quarantine: the image
# targets free a ROM image per input.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}

# coverage <name>: "covered total" lines of the parser, by the kept corpus
# and the crashers.
coverage() {
  local name=$1 dir=build/fuzz-cov/campaign/$name
  rm -rf "$dir" && mkdir -p "$dir"
  LLVM_PROFILE_FILE="$dir/replay.profraw" build/fuzz-cov/bin/"$name" \
    "fuzz/corpus/$name" "fuzz/crashers/$name" >"$dir/replay.log" 2>&1 || true
  llvm-profdata-14 merge -sparse "$dir/replay.profraw" -o "$dir/replay.profdata"
  local files=() f
  for f in ${PARSER_FILES[$name]:-}; do files+=("$root/$f"); done
  [ ${#files[@]} -gt 0 ] || { echo "0 0"; return; }
  local pattern=${PARSER_FUNCTIONS[$name]:-}
  if [ -z "$pattern" ]; then
    # Whole files: the TOTAL row's lines and missed lines.
    llvm-cov-14 report build/fuzz-cov/bin/"$name" -instr-profile="$dir/replay.profdata" \
      "${files[@]}" >"$dir/report.txt"
    awk '/^TOTAL/ { print $8 - $9, $8 }' "$dir/report.txt"
  else
    # Only the parser's functions: their rows of the per-function report
    # (Name Regions Miss Cover Lines Miss Cover ...), each counted once.
    llvm-cov-14 report -show-functions build/fuzz-cov/bin/"$name" \
      -instr-profile="$dir/replay.profdata" "${files[@]}" | c++filt >"$dir/report.txt"
    awk -v re="$pattern" -v ex="${PARSER_EXCLUDE[$name]:-}" '
      NF >= 7 && $NF ~ /%$/ && $0 !~ /^(Name|TOTAL|File)/ {
        n = NF; line = $0
        name = line; sub(/ +[0-9]+ +[0-9]+ +[0-9.]+% +[0-9]+ +[0-9]+ +[0-9.]+%.*$/, "", name)
        if (name ~ re && (ex == "" || name !~ ex) && !(name in seen)) {
          seen[name] = 1
          split(substr(line, length(name) + 1), a, " ")
          total += a[4]; missed += a[5]
        }
      }
      END { print total - missed, total + 0 }' "$dir/report.txt"
  fi
}

# The uncovered lines of the parser (for fuzz/README.md), to a file.
uncovered() {
  local name=$1 dir=build/fuzz-cov/campaign/$name files=() f
  for f in ${PARSER_FILES[$name]:-}; do files+=("$root/$f"); done
  llvm-cov-14 show build/fuzz-cov/bin/"$name" -instr-profile="$dir/replay.profdata" \
    -show-line-counts "${files[@]}" 2>/dev/null |
    awk '/^\/.*:$/ { file = $0 } $2 == "0|" { print file " " $0 }' >"$dir/uncovered.txt" || true
}

# fuzz_one <name> <secs>: one timed run with its progress lines stamped
# with the elapsed seconds, then the merge into the kept corpus.
fuzz_one() {
  local name=$1 secs=$2 work=build/fuzz/campaign/$name
  rm -rf "$work" && mkdir -p "$work/corpus" "fuzz/crashers/$name" "fuzz/corpus/$name"
  cp fuzz/corpus/"$name"/* "$work/corpus/" 2>/dev/null || true
  ls "fuzz/crashers/$name" >"$work/crashers.before"
  local start=$SECONDS
  # shellcheck disable=SC2086 # the extra flags are words
  build/fuzz/bin/"$name" -max_total_time="$secs" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 ${FUZZ_FLAGS[$name]:-} -artifact_prefix="fuzz/crashers/$name/" \
    "$work/corpus" 2>&1 |
    while IFS= read -r line; do printf '%d\t%s\n' $((SECONDS - start)) "$line"; done \
      >"$work/fuzz.log" || true
  ls "fuzz/crashers/$name" >"$work/crashers.after"

  # Minimise: the hand-written seeds (named) stay as they are; every input
  # a campaign kept (named by its hash) is merged again from scratch with
  # what this run found, so the kept corpus holds only what adds coverage.
  mkdir -p "$work/merged" "$work/found"
  local f base
  for f in fuzz/corpus/"$name"/*; do
    [ -f "$f" ] || continue
    base=$(basename "$f")
    if [[ $base =~ ^[0-9a-f]{40}$ ]]; then cp "$f" "$work/found/"; else cp "$f" "$work/merged/"; fi
  done
  cp "$work"/corpus/* "$work/found/" 2>/dev/null || true
  for f in "$work"/found/*; do
    [ -f "$work/merged/$(basename "$f")" ] && rm -f "$f"
  done
  build/fuzz/bin/"$name" -merge=1 -timeout=10 -rss_limit_mb=2048 "$work/merged" "$work/found" \
    >"$work/merge.log" 2>&1 || true
  # Kept inputs above FUZZ_KEEP_KB (default 1024 KB a target) are dropped,
  # largest first: the repository keeps small corpora.
  local budget=$((${FUZZ_KEEP_KB:-1024} * 1024)) used=0 size
  find fuzz/corpus/"$name" -maxdepth 1 -type f -regextype posix-extended \
    -regex '.*/[0-9a-f]{40}' -delete
  while read -r size f; do
    if [ $((used + size)) -le "$budget" ]; then
      cp "$f" fuzz/corpus/"$name"/
      used=$((used + size))
    fi
  done < <(find "$work/merged" -maxdepth 1 -type f -regextype posix-extended \
    -regex '.*/[0-9a-f]{40}' -printf '%s %p\n' | sort -n)
}

# report_one <name> <secs>: the figures of one target's run; prints a row
# and appends it to fuzz/campaign-log.tsv.
report_one() {
  local name=$1 secs=$2 work=build/fuzz/campaign/$name
  local runs rate cov_final cov_at cov_last_at plateau crashers kept cov covered total pct
  runs=$(awk -F'\t' '$2 ~ /^stat::number_of_executed_units:/ { print $NF }' "$work/fuzz.log" |
    awk '{ print $NF }')
  rate=$(awk -F'\t' '$2 ~ /^stat::average_exec_per_sec:/ { print $NF }' "$work/fuzz.log" |
    awk '{ print $NF }')
  # Plateau: the coverage counter (cov:) reached by two thirds of the time
  # is the final one. The stamped lines are "secs<TAB>#runs<TAB>EVENT cov: N ...":
  # libFuzzer separates the run count by a tab of its own.
  read -r cov_at cov_final cov_last_at < <(awk -F'\t' -v t=$((secs * 2 / 3)) '
    match($0, / cov: [0-9]+/) {
      c = substr($0, RSTART + 6, RLENGTH - 6) + 0
      if (c > last) { last = c; when = $1 }
      if ($1 <= t && c > at) at = c
    }
    END { print at + 0, last + 0, when + 0 }' "$work/fuzz.log")
  plateau=no
  [ "$cov_final" -gt 0 ] && [ "$cov_at" -ge "$cov_final" ] && plateau=yes
  crashers=$(comm -13 "$work/crashers.before" "$work/crashers.after" | wc -l)
  kept=$(find fuzz/corpus/"$name" -maxdepth 1 -type f | wc -l)
  read -r covered total < <(coverage "$name")
  uncovered "$name"
  pct=$(awk -v c="$covered" -v t="$total" 'BEGIN { printf "%.1f", t ? 100 * c / t : 0 }')
  printf '%-16s %6ss %10s %8s/s %6s/%-6s %6s%% %6s %5s  %s (last new at %s s)\n' "$name" "$secs" \
    "${runs:-0}" "${rate:-0}" "$covered" "$total" "$pct" "$kept" "$crashers" "$plateau" "$cov_last_at"
  [ -f fuzz/campaign-log.tsv ] || printf 'date\ttarget\tseconds\truns\truns_per_s\tlines_covered\tlines_total\tcoverage_pct\tcorpus_files\tcrashers\tplateau\tlast_new_cov_s\n' >fuzz/campaign-log.tsv
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%Y-%m-%d)" "$name" "$secs" \
    "${runs:-0}" "${rate:-0}" "$covered" "$total" "$pct" "$kept" "$crashers" "$plateau" \
    "$cov_last_at" >>fuzz/campaign-log.tsv
}

header() {
  printf '%-16s %7s %10s %10s %13s %7s %6s %5s  %s\n' target time runs rate "parser lines" cover \
    corpus crash plateau
}

# The CPU time every target has had over all campaigns, against one hour.
cumulative() {
  [ -f fuzz/campaign-log.tsv ] || return 0
  echo "cumulative fuzzing time (goal: 3600 s a target):"
  awk -F'\t' 'NR > 1 { s[$2] += $3; r[$2] += $4 }
    END { for (t in s) printf "  %-16s %6d s %12d runs %5.1f%% of the goal\n", t, s[t], r[t], 100 * s[t] / 3600 }' \
    fuzz/campaign-log.tsv | sort
}

if [ $# -eq 0 ]; then
  all_targets
  exit 0
fi

case $1 in
  campaign)
    secs=${2:?usage: scripts/fuzz.sh campaign <seconds-per-target> [targets...]}
    shift 2
    targets=("$@")
    [ ${#targets[@]} -gt 0 ] || mapfile -t targets < <(all_targets)
    configure_fuzz
    configure_cov
    cmake --build build/fuzz --target "${targets[@]}" "$jobs_flag" >/dev/null
    cmake --build build/fuzz-cov --target "${targets[@]}" "$jobs_flag" >/dev/null
    jobs_max=${FUZZ_JOBS:-1}
    for name in "${targets[@]}"; do
      while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do wait -n || true; done
      echo "fuzzing $name for $secs s" >&2
      fuzz_one "$name" "$secs" &
    done
    wait
    header
    for name in "${targets[@]}"; do report_one "$name" "$secs"; done
    cumulative
    ;;
  coverage)
    shift
    targets=("$@")
    [ ${#targets[@]} -gt 0 ] || mapfile -t targets < <(all_targets)
    configure_cov
    cmake --build build/fuzz-cov --target "${targets[@]}" "$jobs_flag" >/dev/null
    for name in "${targets[@]}"; do
      read -r covered total < <(coverage "$name")
      uncovered "$name"
      printf '%-16s %6s/%-6s lines  (uncovered: build/fuzz-cov/campaign/%s/uncovered.txt)\n' \
        "$name" "$covered" "$total" "$name"
    done
    ;;
  *)
    configure_fuzz
    name=$1
    secs=${2:-60}
    cmake --build build/fuzz --target "$name" "$jobs_flag" >/dev/null
    mkdir -p "fuzz/crashers/$name" "build/fuzz/corpus/$name"
    cp -n fuzz/corpus/"$name"/* "build/fuzz/corpus/$name/" 2>/dev/null || true
    build/fuzz/bin/"$name" -max_total_time="$secs" -artifact_prefix="fuzz/crashers/$name/" \
      "build/fuzz/corpus/$name"
    ;;
esac
