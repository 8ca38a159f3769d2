#!/usr/bin/env bash
# Sets up, builds and runs every test: the release build (engine, corpus, runner, settings,
# window and desktop tests, the staged installation) and its Debian package, then all of them
# again under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, the run-control
# and stress tests under ThreadSanitizer, and each fuzz target briefly. The subsets are chosen
# by CTest label (see tests/CMakeLists.txt).
#   test.sh           everything, as CI runs it
#   test.sh --quick   the release build's tests only, for development
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
"$root/scripts/setup.sh"
jobs="$(nproc)"

"$root/scripts/build.sh" build -DCELLWRIGHT_TESTS=ON -DCELLWRIGHT_BENCH=ON
(cd "$root/build" && ctest --output-on-failure -j "$jobs")
[ "$quick" -eq 0 ] || exit 0

echo "== Debian package =="
"$root/scripts/package.sh" build

echo "== AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer =="
# Every test but the long corpus runs (label heavy), which take the engine through the same
# paths as the short ones for minutes more. Lighter optimisation and line tables only keep the
# build quick.
# This tree is built with clang and warnings as errors, so the tree stays warning-free with both
# compilers. The compiler of a tree is fixed when it is first configured (CC and CXX are read
# only then), hence a directory of its own rather than the gcc-made build-asan of earlier runs.
CC=clang CXX=clang++ "$root/scripts/build.sh" build-asan-clang -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -g1 -Werror" \
  -DCELLWRIGHT_BENCH=OFF -DCELLWRIGHT_SANITIZE=address,undefined
(cd "$root/build-asan-clang" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -LE heavy)

echo "== ThreadSanitizer =="
# The engine's run control, its property tests and the stress test (this tree has no windows).
"$root/scripts/build.sh" build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELLWRIGHT_BENCH=OFF -DCELLWRIGHT_GUI=OFF \
  -DCELLWRIGHT_SANITIZE=thread
(cd "$root/build-tsan" && TSAN_OPTIONS=halt_on_error=1 \
  ctest --output-on-failure -j "$jobs" -L '^(runcontrol|stress)$')

echo "== Fuzzing (each target briefly, on its seeds) =="
"$root/scripts/fuzz.sh"
