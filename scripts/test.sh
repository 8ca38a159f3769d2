#!/usr/bin/env bash
# Sets up, builds and runs every test: the release build (engine, corpus, runner, settings,
# window and desktop tests, the staged installation) and its Debian package, then all of them
# again under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, the run-control
# and stress tests under ThreadSanitizer, and each fuzz target briefly. The subsets are chosen
# by CTest label (see tests/CMakeLists.txt). Each sanitizer tree compiles, at the lowest
# priority, while the tests of the tree before it run; the thread sanitizer's tests run beside
# the address sanitizer's.
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
# Each stage's heading says when it began, so that a slow stage shows in the log.
stage() { printf '== %s (at %d:%02d) ==\n' "$1" $((SECONDS / 60)) $((SECONDS % 60)); }

stage "Release build"
"$root/scripts/build.sh" build -DCELLWRIGHT_TESTS=ON -DCELLWRIGHT_BENCH=ON
if [ "$quick" -eq 1 ]; then
  (cd "$root/build" && ctest --output-on-failure -j "$jobs")
  exit 0
fi

# The next tree compiles while the tests of the previous one run, at the lowest priority: the
# tests spend much of their time waiting (for windows, virtual screens, threads), and the
# compiler takes what processor time they leave. Its output is shown when it is waited for.
background=""
background_log="$(mktemp)"
trap '[ -z "$background" ] || kill -- "-$background" 2> /dev/null || true; rm -f "$background_log"' EXIT
in_background() {
  setsid nice -n 19 "$@" > "$background_log" 2>&1 &
  background=$!
}
wait_background() {
  local status=0
  wait "$background" || status=$?
  background=""
  cat "$background_log"
  [ "$status" -eq 0 ] || { echo "test.sh: the build above failed" >&2; exit "$status"; }
  printf '(its build was ready at %d:%02d)\n' $((SECONDS / 60)) $((SECONDS % 60))
}

# Every test but the long corpus runs (label heavy), which take the engine through the same
# paths as the short ones for minutes more. Lighter optimisation and line tables only keep the
# build quick.
# This tree is built with clang and warnings as errors, so the tree stays warning-free with both
# compilers. The compiler of a tree is fixed when it is first configured (CC and CXX are read
# only then), hence a directory of its own rather than the gcc-made build-asan of earlier runs.
in_background env CC=clang CXX=clang++ "$root/scripts/build.sh" build-asan-clang -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="-O1 -g1 -Werror" -DCELLWRIGHT_BENCH=OFF -DCELLWRIGHT_SANITIZE=address,undefined
stage "Release tests"
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

stage "Debian package"
"$root/scripts/package.sh" build

stage "AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer"
wait_background
# Beside these tests, which spend half their time waiting for windows and threads: the thread
# sanitizer tree, built and tested at the lowest priority (the engine's run control, its property
# tests and the stress test; this tree has no windows, and only those executables are built, see
# tests_<label> in tests/CMakeLists.txt), then the fuzz targets' build.
in_background sh -c 'cmake -G Ninja -S "$1" -B "$1/build-tsan" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="-O1 -g1" -DCELLWRIGHT_BENCH=OFF -DCELLWRIGHT_GUI=OFF -DCELLWRIGHT_SANITIZE=thread > /dev/null &&
  cmake --build "$1/build-tsan" --target tests_runcontrol tests_stress &&
  echo "== ThreadSanitizer ==" && cd "$1/build-tsan" &&
  TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$2" -L "^(runcontrol|stress)\$" &&
  "$1/scripts/fuzz.sh" --build' sh "$root" "$jobs"
# One more test at a time than there are processors: the monkey and the window tests wait most of
# the time.
(cd "$root/build-asan-clang" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j "$((jobs + 1))" -LE heavy)

stage "ThreadSanitizer tests and the fuzz targets' build (beside the tests above)"
wait_background

stage "Fuzzing (each target briefly, on its seeds)"
"$root/scripts/fuzz.sh"
stage "All passed"
