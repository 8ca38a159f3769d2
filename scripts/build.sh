#!/usr/bin/env bash
# Configures and builds one build tree: build.sh DIR [extra cmake arguments...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"; shift
if [ ! -f "$root/$dir/build.ninja" ]; then
  cmake -G Ninja -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=Release "$@" > /dev/null
fi
cmake --build "$root/$dir"
