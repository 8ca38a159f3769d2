# The virtual desktop the scripts that drive the real IDE run on, sourced by them after
# `set -euo pipefail`:
#   needs_tools TOOL...   exits 77 (skipped) when one is missing, except under CI, where that fails
#   start_screen MODE     Xvfb with openbox, metacity or (bare) no window manager; sets DISPLAY,
#                         work_w and work_h (the work area); the screen's pixels are kept in
#                         $scratch/fb/Xvfb_screen0
# Every process started in the background goes into pids (a process group as its negated id);
# all of them end, and $scratch goes, when the script exits. fail prints what the IDE ($scratch/cellwright.log) and Xvfb printed last.

needs_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" > /dev/null; then
      echo "$(basename "$0"): $tool is missing (scripts/setup.sh installs it)"
      [ "${CI:-}" = "true" ] && exit 1
      exit 77
    fi
  done
}

scratch="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -- "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  if [ -s "$scratch/cellwright.log" ]; then
    echo "What cellwright printed:"
    tail -n 20 "$scratch/cellwright.log"
  fi
  if [ -s "$scratch/xvfb.log" ]; then
    echo "What Xvfb printed:"
    tail -n 10 "$scratch/xvfb.log"
  fi
  exit 1
}

# Polls a command for up to $1 tenths of a second.
until_true() {
  local tenths="$1"
  shift
  for ((i = 0; i < tenths; i++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

start_screen() {
  local mode="$1"
  # -noreset: without a window manager every client may come and go, and a server that resets
  # when its last client leaves refuses connections for a moment. -fbdir: the screen's memory is
  # kept in a file, where the pixels the user sees are read (xwd -root is no judge here: it puts
  # its picture together window by window, per colour map, and shows a window that lies within
  # another of the same colour map, as Qt's dialogs do, as a black body although it is drawn).
  mkdir "$scratch/fb"
  Xvfb -displayfd 3 -screen 0 1600x1000x24 -fbdir "$scratch/fb" -nolisten tcp -noreset 3> "$scratch/display" \
    2> "$scratch/xvfb.log" &
  pids+=($!)
  until_true 100 test -s "$scratch/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$scratch/display")"
  if [ "$mode" != bare ]; then
    if [ "$mode" = openbox ]; then openbox --sm-disable > /dev/null 2>&1 & else metacity > /dev/null 2>&1 & fi
    pids+=($!)
    until_true 100 sh -c 'xprop -root _NET_WORKAREA | grep -q =' || fail "$mode did not start"
    read -r _ _ work_w work_h < <(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | cut -d' ' -f1-4)
  else
    until_true 100 sh -c 'xwininfo -root > /dev/null 2>&1' || fail "Xvfb did not start"
    work_w=1600 work_h=1000
  fi
}
