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
for name in stat_reply profile; do
  mkdir "$work/$name"
  cp tests/fuzz/corpus/$name/* "$work/$name/"
  echo "fuzzing $name for ${seconds}s"
  (cd "$work" && "$OLDPWD/build-fuzz/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
    "$work/$name" 2>&1 | grep -E '^(Done|stat::number_of_executed_units|SUMMARY|==)' || true)
  # Any one kind of finding fails the run.
  if compgen -G "$work/crash-*" >/dev/null || compgen -G "$work/leak-*" >/dev/null ||
    compgen -G "$work/timeout-*" >/dev/null; then
    mkdir -p build-fuzz/findings
    cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* build-fuzz/findings/ 2>/dev/null || true
    echo "FAIL: ${name}_fuzz found an input that breaks it (kept in build-fuzz/findings)"
    exit 1
  fi
done
echo "fuzzers: no finding"
