#!/usr/bin/env bash
# Sets up, builds and starts Cellwright; files named after it open in the IDE:
#   scripts/start.sh [FILE...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Their reports go to standard error: standard output is the programs' own when they run
# through the command-line runner below.
"$root/scripts/setup.sh" --run >&2
# The two programs only: tests and benchmarks need packages of their own (test.sh turns them on).
"$root/scripts/build.sh" build -DCELLWRIGHT_TESTS=OFF -DCELLWRIGHT_BENCH=OFF >&2
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/cellwright" "$@"
fi
# No display: the files named (hello.b when none is) run through the command-line runner, each
# in turn, a .pb file with --pbrain; the notes go to standard error, the programs' output to
# standard output. The status is the last failing run's, else 0.
[ $# -gt 0 ] || set -- "$root/examples/hello.b"
echo "There is no display to show Cellwright's windows on (DISPLAY is not set)." >&2
status=0
for file in "$@"; do
  options=()
  case "$file" in *.pb) options=(--pbrain) ;; esac
  echo "Running $file with the command-line runner instead:" >&2
  "$root/build/cellwright-run" "${options[@]}" "$file" || status=$?
done
exit "$status"
