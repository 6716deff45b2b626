#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: in the plain
# build, and in a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
install_suite_packages

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLOWIN_WERROR=ON
cmake --build build -j"$jobs"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTALLOWIN_SANITIZE=ON -DTALLOWIN_WERROR=ON
cmake --build build-sanitize -j"$jobs"

status=0
(cd build && ctest -j"$jobs" --output-on-failure) || status=1
# The desktop tests drive the program from outside and gain nothing here.
(cd build-sanitize &&
  ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 \
  LSAN_OPTIONS=suppressions=$PWD/../tests/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest -j"$jobs" --output-on-failure -LE "desktop|soak|package") || status=1
exit $status
