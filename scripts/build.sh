#!/usr/bin/env bash
# Configures and builds one build tree: build.sh DIR [extra cmake arguments...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"; shift
# Configured every time, so that a tree made with other options takes the current ones;
# with nothing changed this takes a moment and rebuilds nothing.
cmake -G Ninja -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=Release "$@" > /dev/null
cmake --build "$root/$dir"
