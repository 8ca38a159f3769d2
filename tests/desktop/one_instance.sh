#!/usr/bin/env bash
# Two real IDE processes on one virtual display (Xvfb without a window manager): a later
# "cellwright FILE" hands FILE to the running IDE, which opens it and takes the focus, and ends
# without a window; "cellwright --new-instance" starts a second IDE, which says that it keeps
# its settings unsaved and leaves the first one's settings file as that one wrote it; a socket
# left by a killed IDE does not stop the next start.
#   one_instance.sh CELLWRIGHT_EXECUTABLE
# Exits 77 (skipped) when the X tools are missing, except under CI, where that fails.
set -euo pipefail

exe="$1"
source "$(dirname "$0")/virtual_screen.sh"
needs_tools Xvfb xdotool xprop xwininfo

# A copy of the executable keeps its settings beside it; the socket lives in a runtime folder
# of the test's own.
cp "$exe" "$scratch/cellwright"
mkdir -m 700 "$scratch/run"
export XDG_RUNTIME_DIR="$scratch/run"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE
start_screen bare
until_true 100 sh -c 'xdotool getmouselocation > /dev/null 2>&1' || fail "Xvfb does not answer"

started=""
start() {
  (cd "$scratch" && exec ./cellwright "$@" >> "$scratch/cellwright.log" 2>&1) &
  started=$!
  pids+=("$started")
}
# The visible windows of a process whose names match a pattern.
windows_of() { xdotool search --all --onlyvisible --pid "$1" --name "$2" 2> /dev/null || true; }
window_of() {
  local id=""
  for ((i = 0; i < 200; i++)); do
    id="$(windows_of "$1" "$2" | head -n 1)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
file_exit() {
  xdotool windowraise "$1" windowfocus --sync "$1"
  xdotool key --clearmodifiers alt+f
  sleep 0.3
  xdotool key x
}
ended() { ! kill -0 "$1" 2> /dev/null; }
# Gives the focus to a window; a key then lets Qt see the server's time after that change (without
# a window manager Qt focuses a window itself, with the time of the last event it saw).
focus_main() { xdotool windowfocus --sync "$1" key shift; }
editor_focused() { [ "$(xdotool getwindowfocus)" = "$editor" ]; }
main_name='^Cellwright 1\.4\.7$'

printf '+.' > "$scratch/a.b"
start
first=$started
first_main="$(window_of "$first" "$main_name")" || fail "the first IDE showed no main window"

# A later start with a file: it ends at once with status 0, and the first IDE has the file in
# its editor, which has the focus.
focus_main "$first_main"
status=0
(cd "$scratch" && timeout 30 ./cellwright a.b) || status=$?
[ "$status" = 0 ] || fail "the second start ended with status $status (124: it did not end)"
editor="$(window_of "$first" '^Source Editor - .*/a\.b$')" || fail "the first IDE did not open a.b"
until_true 50 editor_focused || fail "the editor did not take the focus"
[ "$(xdotool search --onlyvisible --name "$main_name" | wc -l)" = 1 ] || fail "a second main window appeared"
# Without a file it only brings the IDE to the front.
focus_main "$first_main"
(cd "$scratch" && timeout 30 ./cellwright) || fail "a start without a file did not end with status 0"
until_true 50 editor_focused || fail "the IDE did not come to the front"
echo "hand-over: the later starts ended; the running IDE opened a.b and took the focus"

# --new-instance: a second IDE, which says once that it will not save its settings.
start --new-instance
second=$started
second_main="$(window_of "$second" "$main_name")" || fail "--new-instance showed no main window"
box=""
for ((i = 0; i < 100; i++)); do
  box="$(windows_of "$second" "$main_name" | grep -vx "$second_main" | head -n 1 || true)"
  [ -n "$box" ] && break
  sleep 0.1
done
[ -n "$box" ] || fail "the second IDE did not say that it keeps its settings unsaved"
xdotool windowraise "$box" windowfocus --sync "$box" key Return

# The first IDE ends and writes its settings (a.b among the recent files); the second, ending
# later, leaves them as they are.
file_exit "$first_main"
until_true 300 ended "$first" || fail "the first IDE did not end"
grep -q "^1=$scratch/a.b" "$scratch/cellwr.ini" || fail "the first IDE's settings do not list a.b"
cp "$scratch/cellwr.ini" "$scratch/first.ini"
file_exit "$second_main"
until_true 300 ended "$second" || fail "the second IDE did not end"
cmp -s "$scratch/cellwr.ini" "$scratch/first.ini" || fail "the second IDE overwrote the first one's settings"
echo "--new-instance: a second IDE ran; the first one's settings survived its end"

# A killed IDE leaves its socket behind; the next start takes its place.
start
killed=$started
window_of "$killed" "$main_name" > /dev/null || fail "the IDE did not start"
{ kill -9 "$killed" && wait "$killed"; } 2> /dev/null || true
start a.b
window_of "$started" '^Source Editor - .*/a\.b$' > /dev/null || fail "a start after a killed IDE did not open its file"
echo "a killed IDE's socket: the next start runs"
