#!/usr/bin/env bash
# Installs what is missing, builds, and starts the notifier.
# --demo: the same with a throwaway local mailbox that gets new mail.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
demo=
[[ ${1:-} == --demo ]] && demo=1
scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" ${demo:+"${DEMO_PACKAGES[@]}"}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tallowin icons
[[ -n $demo ]] && exec scripts/demo.sh
exec build/app/tallowin
