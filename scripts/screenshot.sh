#!/usr/bin/env bash
# Takes the README's screenshot: the IDE on a virtual 1280x800 screen under the openbox window
# manager, examples/numbers.b opened from the command line and paused by Run to Cursor in the
# middle of its eighth number, so the editor marks the command, the output window shows the
# numbers so far and the memory window its cells.
#   scripts/screenshot.sh [OUTPUT.png]     (default: docs/screenshot.png)
# Needs a built tree in build/ (scripts/build.sh build), Xvfb, openbox and xdotool
# (scripts/setup.sh), and ImageMagick's import and convert, which it installs when missing
# (as root).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
output="${1:-$root/docs/screenshot.png}"
exe="$root/build/cellwright"
# The editor's caption shows the file's path: a short one that is the same on every machine.
shown="/tmp/cellwright-examples"
example="$shown/numbers.b"

[ -x "$exe" ] || { echo "screenshot: $exe is missing: run scripts/build.sh build first" >&2; exit 1; }
for tool in Xvfb openbox xdotool; do
  command -v "$tool" > /dev/null || { echo "screenshot: $tool is missing: run scripts/setup.sh" >&2; exit 1; }
done
if ! command -v import > /dev/null || ! command -v convert > /dev/null; then
  echo "screenshot: installing ImageMagick"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends imagemagick > /dev/null
fi

scratch="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$scratch" "$shown"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3> "$scratch/display" 2> /dev/null &
pids+=($!)
for ((i = 0; i < 100; i++)); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$scratch/display")"
openbox --sm-disable > /dev/null 2>&1 &
pids+=($!)
for ((i = 0; i < 100; i++)); do xprop -root _NET_WORKAREA 2> /dev/null | grep -q = && break; sleep 0.1; done

# A copy of the executable in the scratch folder: its settings file stays there, so the windows
# take the computed first arrangement whatever the build folder holds.
cp "$exe" "$scratch/cellwright"
mkdir -p "$shown"
cp "$root/examples/numbers.b" "$example"
(cd "$scratch" && exec ./cellwright "$example" > "$scratch/cellwright.log" 2>&1) &
pids+=($!)

window() {
  local id=""
  for ((i = 0; i < 100; i++)); do
    id="$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -n 1 || true)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "screenshot: no window named $1" >&2
  cat "$scratch/cellwright.log" >&2
  exit 1
}
editor="$(window "^Source Editor - $example\$")"
window '^Memory$' > /dev/null
sleep 2  # the arrangement settles once openbox has framed the windows

# The caret to the start of line 19, the second division, then Run to Cursor eight times: each
# run stops there once more, one number later.
xdotool windowactivate --sync "$editor"
xdotool key --clearmodifiers ctrl+Home
xdotool key --clearmodifiers --repeat 18 --delay 20 Down
xdotool key --clearmodifiers Home
for ((i = 0; i < 8; i++)); do
  xdotool key --clearmodifiers F4
  sleep 0.7
done
sleep 1

mkdir -p "$(dirname "$output")"
import -window root "$scratch/shot.png"
# A palette of 256 colours keeps the picture small; the windows use few colours.
convert "$scratch/shot.png" -colors 256 "PNG8:$output"
echo "screenshot: $output ($(du -k "$output" | cut -f1) KB)"
