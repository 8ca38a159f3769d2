#!/usr/bin/env bash
# Sets up, builds and starts Cellwright; files named after it open in the IDE:
#   scripts/start.sh [FILE...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" --run
# The two programs only: tests and benchmarks need packages of their own (test.sh turns them on).
"$root/scripts/build.sh" build -DCELLWRIGHT_TESTS=OFF -DCELLWRIGHT_BENCH=OFF
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/cellwright" "$@"
fi
echo "There is no display to show Cellwright's windows on (DISPLAY is not set)."
echo "Running examples/hello.b with the command-line runner instead:"
exec "$root/build/cellwright-run" "$root/examples/hello.b"
