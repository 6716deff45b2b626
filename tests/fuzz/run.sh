#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each for the seconds given (default
# 20) on a copy of its committed corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-20}
cmake -S tests/fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/findings
for name in stat_reply profile; do
  mkdir "$work/$name"
  cp tests/fuzz/corpus/$name/* "$work/$name/"
  echo "fuzzing $name for ${seconds}s"
  # A crash, a leak or a timeout ends the run with a failure status.
  if ! "build-fuzz/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/ "$work/$name" >"$work/$name.log" 2>&1; then
    tail -n 40 "$work/$name.log"
    echo "FAIL: ${name}_fuzz found an input that breaks it (kept in build-fuzz/findings)"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$work/$name.log"
done
echo "fuzzers: no finding"
