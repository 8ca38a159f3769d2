#!/usr/bin/env bash
# Sets up, builds and runs every test: the release build (engine, corpus, runner and window
# tests), then the engine tests under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# run-control and stress tests under ThreadSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
jobs="$(nproc)"

"$root/scripts/build.sh" build
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

echo "== AddressSanitizer and UndefinedBehaviorSanitizer =="
"$root/scripts/build.sh" build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELLWRIGHT_BENCH=OFF -DCELLWRIGHT_GUI=OFF \
  -DCELLWRIGHT_SANITIZE=address,undefined
(cd "$root/build-asan" && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -E 'Heavy')

echo "== ThreadSanitizer =="
"$root/scripts/build.sh" build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELLWRIGHT_BENCH=OFF -DCELLWRIGHT_GUI=OFF \
  -DCELLWRIGHT_SANITIZE=thread
(cd "$root/build-tsan" && TSAN_OPTIONS=halt_on_error=1 \
  ctest --output-on-failure -j "$jobs" -R 'RunControl|Properties|Stress')
