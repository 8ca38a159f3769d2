#!/usr/bin/env bash
# Sets up, builds and starts Cellwright.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build
# The windows come with a later release; until then the example runs on the command-line runner.
echo "Running examples/hello.b with the command-line runner:"
exec "$root/build/cellwright-run" "$root/examples/hello.b"
