#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a while.
#   scripts/fuzz.sh [SECONDS [TARGET...]]   (default: 30 s, every target)
# The seeds in fuzz/corpus/TARGET are only read; what the fuzzer finds goes
# to build/fuzz/corpus/TARGET and a crashing input to build/fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_build_tools
need_fuzz_tools

seconds="${1:-30}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reader line_scan time_scan title command_line ini)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

for target in "${targets[@]}"; do
  echo "== fuzz: $target for ${seconds} s"
  mkdir -p "build/fuzz/corpus/$target" build/fuzz/crashes
  log="build/fuzz/$target.log"
  if ! "build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/crashes/$target-" \
    "build/fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz: $target failed; the input is in build/fuzz/crashes/" >&2
    exit 1
  fi
  grep -E 'DONE|stat::number_of_executed_units|stat::peak_rss_mb' "$log"
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
