#!/usr/bin/env bash
# The IDE in a Wayland session: GNOME's compositor (mutter, headless, with XWayland) runs, both
# WAYLAND_DISPLAY and DISPLAY are set, and the IDE goes to XWayland, where its four windows tile
# the work area as laid out (on Wayland itself the compositor would place them).
#   wayland_session.sh CELLWRIGHT_EXECUTABLE
# Exits 77 (skipped) when the tools are missing, except under CI, where that fails.
set -euo pipefail

exe="$1"
source "$(dirname "$0")/virtual_screen.sh"
needs_tools mutter Xwayland dbus-run-session setsid xdotool xprop xwininfo

mkdir -m 700 "$scratch/run"
export XDG_RUNTIME_DIR="$scratch/run"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
setsid dbus-run-session -- mutter --wayland --headless --virtual-monitor 1600x1000 --wayland-display=cw-session \
  > "$scratch/mutter.log" 2>&1 &
pids+=("-$!")  # the whole session
until_true 300 grep -q 'Using public X11 display' "$scratch/mutter.log" || fail "mutter did not start XWayland"
export DISPLAY="$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$scratch/mutter.log" | head -n 1)"
XAUTHORITY="$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2> /dev/null | head -n 1)" || true
export XAUTHORITY
export WAYLAND_DISPLAY=cw-session XDG_SESSION_TYPE=wayland
until_true 100 sh -c 'xprop -root _NET_WORKAREA 2> /dev/null | grep -q =' || fail "XWayland does not answer"
read -r work_w work_h < <(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | cut -d' ' -f3-4)

cp "$exe" "$scratch/cellwright"
(cd "$scratch" && exec ./cellwright > "$scratch/cellwright.log" 2>&1) &
app=$!
pids+=("$app")

# The windows are X windows: the IDE went to XWayland.
ids=()
for name in '^Cellwright 1\.4\.7$' '^Source Editor' '^Output$' '^Memory$'; do
  id=""
  until_true 200 eval 'id="$(xdotool search --onlyvisible --name "$name" 2> /dev/null | head -n 1)"; [ -n "$id" ]' ||
    fail "no X window $name: the IDE did not run on XWayland"
  ids+=("$id")
done

# The outer frames, "x y width height", once they stay the same for half a second.
frames() {
  for id in "${ids[@]}"; do
    local l r t b ax ay w h
    read -r l r t b < <(xprop -id "$id" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ',') || true
    read -r ax ay w h < <(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
      /^  Width:/{w=$2} /^  Height:/{h=$2} END{print x, y, w, h}')
    echo "$((ax - ${l:-0})) $((ay - ${t:-0})) $((w + ${l:-0} + ${r:-0})) $((h + ${t:-0} + ${b:-0}))"
  done
}
last="" layout=""
for ((n = 0; n < 40; n++)); do
  layout="$(frames)"
  [ "$layout" = "$last" ] && break
  last="$layout"
  sleep 0.5
done
echo "frames on XWayland (main, editor, output, memory):"
echo "$layout" | sed 's/^/  /'
# The first arrangement: the main window centred at the top, the editor with 0.66 of the height
# below it, the output window under the editor down to the bottom, the memory window on the right.
echo "$layout" | awk -v W="$work_w" -v H="$work_h" '
  { x[NR]=$1; y[NR]=$2; w[NR]=$3; h[NR]=$4 }
  END {
    want = int((H - (y[1] + h[1])) * 0.66 + 0.5)
    if (y[1] != 0 || (x[1] - (W - w[1]) / 2) ^ 2 > 4) { print "the main window is not centred at the top"; bad=1 }
    if (h[2] - want > 1 || want - h[2] > 1) { print "editor height " h[2] ", expected " want; bad=1 }
    if (x[2] != 0 || y[2] != y[1] + h[1] || x[3] != 0 || y[3] != y[2] + h[2] || y[3] + h[3] != H ||
        x[4] + w[4] != W || y[4] != y[2] || x[2] + w[2] != x[4]) { print "the windows do not tile the work area"; bad=1 }
    exit bad }' || fail "the layout fell apart"
echo "Wayland session: the IDE ran on XWayland and its windows tile the work area"
