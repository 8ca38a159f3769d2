#!/usr/bin/env bash
# Drives the real IDE from outside, as a user does, on a virtual screen under a window manager
# (Xvfb and openbox): the window arrangement, a run that reads a typed line, the dialogs and a
# message box as they stand on the screen, File > Exit, the restored arrangement, a run pausing
# at a breakpoint set with Ctrl+B, a traced run stepped back, a run stopping at a watchpoint set
# from the memory window's menu, and Alt+F4 with a modified document.
#   desktop_session.sh CELLWRIGHT_EXECUTABLE [openbox|metacity|bare]
# With "metacity" the session runs under that window manager, which honours window types that
# openbox ignores. With "bare" it runs on the X server without a window manager: no frames, and
# Alt+F4 reaches the program as a key.
# Set DESKTOP_SHOTS to a folder to keep the pictures of the dialogs taken from the screen.
# Exits 77 (skipped) when the X tools are missing, except under CI, where that fails.
set -euo pipefail

exe="$1"
mode="${2:-openbox}"
case "$mode" in
  openbox | metacity) bare="" ;;
  bare) bare=bare ;;
  *) echo "desktop test: unknown mode $mode"; exit 2 ;;
esac
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/virtual_screen.sh"
tools=(Xvfb xdotool xprop xwininfo xclip python3)
[ -n "$bare" ] || tools+=("$mode" wmctrl)
needs_tools "${tools[@]}"

# A copy of the executable in a scratch folder: it keeps its settings file beside it.
cp "$exe" "$scratch/cellwright"
start_screen "$mode"

app=""
start_app() {
  (cd "$scratch" && exec ./cellwright > "$scratch/cellwright.log" 2>&1) &
  app=$!
  pids+=("$app")
}

# The id of the visible window whose name matches the pattern, once it exists.
find_window() {
  local id=""
  for ((i = 0; i < 100; i++)); do
    id="$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -n 1 || true)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# The outer frame of a window, "x y width height": its client grown by the frame extents.
outer_frame() {
  local l=0 r=0 t=0 b=0 ax ay w h
  read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ',') || true
  read -r ax ay w h < <(xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /^  Width:/{w=$2} /^  Height:/{h=$2} END{print x, y, w, h}')
  echo "$((ax - ${l:-0})) $((ay - ${t:-0})) $((w + ${l:-0} + ${r:-0})) $((h + ${t:-0} + ${b:-0}))"
}

main_id="" editor_id="" output_id="" memory_id=""
find_windows() {
  main_id="$(find_window '^Cellwright 1\.4\.7$')" || fail "no main window"
  editor_id="$(find_window '^Source Editor')" || fail "no editor window"
  output_id="$(find_window '^Output$')" || fail "no output window"
  memory_id="$(find_window '^Memory$')" || fail "no memory window"
}

frames() {
  for id in "$main_id" "$editor_id" "$output_id" "$memory_id"; do outer_frame "$id"; done
}

# Waits until the frames stay the same for half a second (the windows are placed again once
# the window manager has framed them), then prints them.
settled_frames() {
  local last="" now
  for ((i = 0; i < 50; i++)); do
    now="$(frames)"
    if [ "$now" = "$last" ]; then
      echo "$now"
      return 0
    fi
    last="$now"
    sleep 0.5
  done
  fail "the windows did not settle"
}

# The four frames lie inside the work area and do not overlap; the editor has the given share
# of the height below the main window.
check_layout() {
  local label="$1" factor="$2" layout="$3"
  echo "$label:"
  echo "$layout" | paste -d' ' <(printf 'main\neditor\noutput\nmemory\n') - | sed 's/^/  /'
  echo "$layout" | awk -v W="$work_w" -v H="$work_h" -v f="$factor" -v label="$label" '
    { x[NR]=$1; y[NR]=$2; w[NR]=$3; h[NR]=$4
      if ($1 < 0 || $2 < 0 || $1 + $3 > W || $2 + $4 > H) { print label ": window " NR " leaves the screen"; bad=1 } }
    END {
      for (i = 1; i <= 4; i++) for (j = i + 1; j <= 4; j++)
        if (x[i] < x[j] + w[j] && x[j] < x[i] + w[i] && y[i] < y[j] + h[j] && y[j] < y[i] + h[i]) {
          print label ": windows " i " and " j " overlap"; bad=1 }
      want = int((H - (y[1] + h[1])) * f + 0.5)
      if (f > 0 && (h[2] - want > 1 || want - h[2] > 1)) { print label ": editor height " h[2] ", expected " want; bad=1 }
      if (y[2] != y[1] + h[1] || y[3] != y[2] + h[2] || y[3] + h[3] != H || x[4] + w[4] != W) {
        print label ": the windows do not tile the work area"; bad=1 }
      exit bad }' || fail "$label"
}

# Without a window manager nobody activates windows: the focus is given directly.
activate() {
  if [ -z "$bare" ]; then xdotool windowactivate --sync "$1"; else xdotool windowraise "$1" windowfocus --sync "$1"; fi
}
active_window() {
  if [ -z "$bare" ]; then xdotool getactivewindow; else xdotool getwindowfocus; fi
}

key_to() {
  activate "$1" > /dev/null 2>&1 || true
  shift
  xdotool key --clearmodifiers "$@"
}

# The message box: titled as the application, a window of its own beside the main window.
find_box() {
  local id
  for ((i = 0; i < 100; i++)); do
    for id in $(xdotool search --onlyvisible --name '^Cellwright 1\.4\.7$' 2> /dev/null || true); do
      [ "$id" != "$main_id" ] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

# Answers the message box with a key.
answer_box() {
  local box
  box="$(find_box)" || fail "no message box appeared"
  key_to "$box" "$1"
}

# The client area of a window on the screen as the user sees it is not a single colour: the
# window was drawn there, not left a black (or any one-coloured) body.
check_drawn() {
  local label="$1" id="$2" x y w h
  read -r x y w h < <(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /^  Width:/{w=$2} /^  Height:/{h=$2} END{print x, y, w, h}')
  local shot=()
  [ -n "${DESKTOP_SHOTS:-}" ] && shot=(--png "$DESKTOP_SHOTS/$mode-$label.png")
  # The frame's edge is left out: only what the program drew is judged.
  python3 "$here/screen_area.py" "$scratch/fb/Xvfb_screen0" $((x + 2)) $((y + 2)) $((w - 4)) $((h - 4)) "${shot[@]}" \
    > /dev/null || fail "$label is a single colour on the screen"
}

# The editor holds the text (its whole text, copied to the clipboard).
editor_holds() {
  local copied=""
  for ((i = 0; i < 50; i++)); do
    key_to "$editor_id" ctrl+a ctrl+c
    copied="$(xclip -o -selection clipboard 2> /dev/null || true)"
    [[ "$copied" == *"$1"* ]] && return 0
    sleep 0.1
  done
  echo "the editor holds '$copied'"
  return 1
}

# The output window holds exactly the text (its whole text, copied to the clipboard); otherwise
# says what it holds.
output_holds() {
  local copied=""
  for ((i = 0; i < 50; i++)); do
    key_to "$output_id" ctrl+a ctrl+c
    copied="$(xclip -o -selection clipboard 2> /dev/null || true)"
    [ "$copied" = "$1" ] && return 0
    sleep 0.1
  done
  echo "the output window holds '$copied'"
  return 1
}

ended_within() {
  until_true "$(($1 * 10))" sh -c "! kill -0 $app 2> /dev/null"
}

# ---- First start: the computed arrangement, F2, a run with typed input, File > Exit ----
start_app
find_windows
check_layout "first start" 0.66 "$(settled_frames)"
key_to "$main_id" F2
check_layout "after F2" 0.33 "$(settled_frames)"
key_to "$main_id" F2
check_layout "after F2 again" 0.66 "$(settled_frames)"

# A program that echoes the typed line up to its line break.
activate "$editor_id"
xdotool type --delay 10 ',----------[++++++++++.,----------]'
key_to "$editor_id" F9
export -f active_window
export bare
until_true 100 bash -c "[ \"\$(active_window)\" = $output_id ]" || fail "the input panel did not get the focus"
xdotool type --delay 10 'Hello, desktop'
xdotool key Return
# The output window shows the echo of the typed line, then what the program printed.
output_holds "$(printf 'Hello, desktop\nHello, desktop')" || fail "the run's output is missing"
echo "run: the output window shows the echo and the program's output"

# Closing the modified document asks about saving; after Cancel the keys go where they went.
key_to "$editor_id" ctrl+F4
box="$(find_box)" || fail "no save question appeared"
sleep 0.5
check_drawn save-question "$box"
answer_box Escape
sleep 0.3
xdotool type --delay 10 '>>'
copied=""
for ((i = 0; i < 50; i++)); do
  key_to "$editor_id" ctrl+a ctrl+c
  copied="$(xclip -o -selection clipboard 2> /dev/null || true)"
  [[ "$copied" == *">>"* ]] && break
  sleep 0.1
done
[[ "$copied" == *">>"* ]] || fail "keys typed after the save question were lost: the editor holds '$copied'"
echo "save question: the editor kept the focus"

# The dialogs stand drawn on the screen, every time they open, and the keys typed after one was
# closed reach the editor that had the focus.
dialog_keys=(ctrl+f ctrl+F10 shift+F2 F5 F6)
dialog_names=('^Find & Replace$' '^Set Running Speed for Watch$' '^Set Output Buffer Size$' '^Set Input File$'
  '^Set Output File$')
dialog_labels=(find speed buffer-size input-file output-file)
for opening in 1 2; do
  for i in "${!dialog_keys[@]}"; do
    key_to "$editor_id" "${dialog_keys[$i]}"
    dialog="$(find_window "${dialog_names[$i]}")" || fail "${dialog_labels[$i]} did not open"
    sleep 0.5
    check_drawn "${dialog_labels[$i]}" "$dialog"
    if [ -z "$bare" ] && [ "$opening" = 1 ] && [ "$i" = 0 ]; then
      # A window manager may minimise a modal dialog whatever its hints say: it comes back.
      xdotool windowminimize "$dialog"
      sleep 1
      xprop -id "$dialog" WM_STATE | grep -q 'window state: Normal' || fail "a minimised dialog stayed minimised"
      activate "$dialog"
    fi
    xdotool key --clearmodifiers Escape
    until_true 50 sh -c "! xdotool search --onlyvisible --name '${dialog_names[$i]}' > /dev/null 2>&1" ||
      fail "${dialog_labels[$i]} did not close"
    if [ "$opening" = 2 ] && [ "$i" = 0 ]; then
      sleep 0.3
      xdotool type --delay 10 '<<'
      editor_holds '<<' || fail "keys typed after Find & Replace were lost"
    fi
  done
done
# Colors, from the Extras menu.
activate "$main_id"
xdotool key --clearmodifiers alt+x
sleep 0.3
xdotool key c
dialog="$(find_window '^Colors$')" || fail "Colors did not open"
sleep 0.5
check_drawn colors "$dialog"
xdotool key --clearmodifiers Escape
echo "dialogs: drawn on the screen; the keys after a dialog reached the editor"

first="$(settled_frames)"
activate "$main_id"
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key x
answer_box n  # the typed program is not saved
ended_within 5 || fail "File > Exit did not end the program within 5 seconds"
grep -q '^main_x=' "$scratch/cellwr.ini" || fail "cellwr.ini was not written"
echo "File > Exit: ended, cellwr.ini written"

# ---- Second start: the restored arrangement, Alt+F4 with a modified document ----
start_app
find_windows
second="$(settled_frames)"
[ "$second" = "$first" ] || fail "the restored frames differ: $(echo $second) against $(echo $first)"
check_layout "restored" 0 "$second"

# A breakpoint by Ctrl+B on the second '.': Run pauses before it, so A is out and B is not; one
# Trace prints B, and Program Reset ends the run before C.
activate "$editor_id"
xdotool type --delay 10 '++++++++[>++++++++<-]>+.+.+.'
key_to "$editor_id" End Left Left Left ctrl+b
key_to "$editor_id" F9
sleep 1
key_to "$editor_id" F7
sleep 0.5
key_to "$editor_id" ctrl+F2
output_holds AB || fail "after a breakpoint, a trace and a reset the output is not AB"
echo "breakpoint: the run paused at the breakpointed command"

# Stepping back: ,[.,] traced with F7 and the typed line abc. After the second '.' the output
# window holds the echo of the line, then a and b; two Step Backs (Shift+F7) take the b away.
# The window is read once Program Reset has ended the run, which leaves its text as it is (the
# Edit commands are off while a program exists).
key_to "$editor_id" ctrl+a
xdotool type --delay 10 ',[.,]'
key_to "$editor_id" F7
sleep 0.5
key_to "$editor_id" F7
until_true 100 bash -c "[ \"\$(active_window)\" = $output_id ]" || fail "the traced read did not open the input panel"
xdotool type --delay 10 'abc'
xdotool key Return
for step in 1 2 3 4 5 back back; do
  sleep 0.5
  if [ "$step" = back ]; then key_to "$editor_id" shift+F7; else key_to "$editor_id" F7; fi
done
sleep 0.5
if [ -n "${DESKTOP_SHOTS:-}" ]; then
  python3 "$here/screen_area.py" "$scratch/fb/Xvfb_screen0" 0 0 "$work_w" "$work_h" \
    --png "$DESKTOP_SHOTS/$mode-stepback.png" > /dev/null
fi
key_to "$editor_id" ctrl+F2
output_holds "$(printf 'abc\na')" || fail "two Step Backs did not take the b away"
echo "step back: the output window holds the typed line and a"

# A watchpoint from the memory window's menu: the program puts A in cell 1, prints it, then
# changes cell 2 and prints that. Traced to its start, a right-click on the row of cell 2 and C
# (Break on Change) set the watchpoint; Run then stops right after the change, before the last
# '.', so after Program Reset the output window holds the A alone.
key_to "$editor_id" ctrl+a
xdotool type --delay 10 '++++++++[>++++++++<-]>+.>+.'
key_to "$editor_id" F7
sleep 0.5
read -r mx my _ _ < <(xwininfo -id "$memory_id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
  END{print x, y, 0, 0}')
# Row 2: 8 pixels of margin and two rows of 16 above it.
xdotool mousemove --sync $((mx + 60)) $((my + 8 + 2 * 16 + 8)) click 3
sleep 0.5
if [ -n "${DESKTOP_SHOTS:-}" ]; then
  python3 "$here/screen_area.py" "$scratch/fb/Xvfb_screen0" 0 0 "$work_w" "$work_h" \
    --png "$DESKTOP_SHOTS/$mode-watch-menu.png" > /dev/null
fi
xdotool key c
sleep 0.3
key_to "$editor_id" F9
sleep 1
if [ -n "${DESKTOP_SHOTS:-}" ]; then
  python3 "$here/screen_area.py" "$scratch/fb/Xvfb_screen0" 0 0 "$work_w" "$work_h" \
    --png "$DESKTOP_SHOTS/$mode-watch-pause.png" > /dev/null
fi
key_to "$editor_id" ctrl+F2
output_holds A || fail "the run did not stop at the watchpoint on cell 2"
echo "watchpoint: set from the memory window's menu, the run stopped after the change"

# Alt+letter in the editor opens the main window's menu and types nothing: Alt+V and Alt+R are
# closed again with Escape, Alt+F is followed by N (File > New, a new tab, closed again).
check_alt_letters() {
  local before after name
  editor_text() {
    local copied=""
    for ((i = 0; i < 20; i++)); do
      printf 'none' | xclip -selection clipboard
      key_to "$editor_id" ctrl+a ctrl+c Right
      copied="$(xclip -o -selection clipboard 2> /dev/null || true)"
      [ "$copied" != "none" ] && break
      sleep 0.1
    done
    echo "$copied"
  }
  before="$(editor_text)"
  name="$(xdotool getwindowname "$editor_id")"
  activate "$editor_id"
  for chord in alt+v alt+r alt+f; do
    xdotool key --clearmodifiers "$chord"
    sleep 0.3
    if [ "$chord" = alt+f ]; then xdotool key n; else xdotool key Escape; fi
    sleep 0.3
  done
  until_true 30 sh -c "[ \"\$(xdotool getwindowname $editor_id)\" != '$name' ]" ||
    fail "Alt+F, N in the editor did not open a new document: the editor is still '$name'"
  key_to "$editor_id" ctrl+F4
  until_true 30 sh -c "[ \"\$(xdotool getwindowname $editor_id)\" = '$name' ]" || fail "the new document did not close"
  after="$(editor_text)"
  [ "$after" = "$before" ] || fail "Alt+letters changed the editor's text: '$before' became '$after'"
  echo "Alt+letters: the menus opened from the editor and the text stayed '$after'"
}
check_alt_letters

activate "$editor_id"
xdotool type '+'
key_to "$main_id" alt+F4
answer_box n
ended_within 5 || fail "Alt+F4 did not end the program within 5 seconds"
echo "Alt+F4: ended"

# ---- Saved frames: a maximised editor and a file of earlier versions ----
# Under a window manager: exiting with the editor maximised saves the frame it has when shown
# normally; a file holding client rectangles (as earlier versions wrote) restores the frames.
if [ -z "$bare" ]; then
  ini_key() { sed -n "s/^$1=\([-0-9]*\).*/\1/p" "$scratch/cellwr.ini"; }
  set_key() { sed -i "s/^$1=.*/$1=$2\r/" "$scratch/cellwr.ini"; }
  start_app
  find_windows
  [ "$(settled_frames)" = "$first" ] || fail "the frames are not restored before maximising"
  clients=()
  for id in "$main_id" "$editor_id" "$output_id" "$memory_id"; do
    clients+=("$(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
      /^  Width:/{w=$2} /^  Height:/{h=$2} END{print x, y, w, h}')")
  done
  # The request a title bar's maximise button sends; metacity ignores a double click on the title
  # when no desktop settings say what it does.
  # A window manager that offers no maximising for the editor's kind of window (metacity) leaves
  # nothing to check.
  if xprop -id "$editor_id" _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE; then
    wmctrl -i -r "$editor_id" -b add,maximized_vert,maximized_horz
    until_true 50 sh -c "xprop -id $editor_id _NET_WM_STATE | grep -q MAXIMIZED" || fail "the editor was not maximised"
    key_to "$main_id" alt+F4
    ended_within 5 || fail "Alt+F4 did not end the program with the editor maximised"
    read -r fex fey few feh < <(echo "$first" | sed -n 2p)
    saved="$(ini_key editor_x) $(ini_key editor_y) $(ini_key editor_width) $(ini_key editor_height)"
    [ "$saved" = "$fex $fey $few $feh" ] || fail "a maximised editor saved $saved, not its frame $fex $fey $few $feh"
    echo "maximised: the editor's normal frame was saved"
  else
    echo "maximised: $mode offers no maximising for the editor"
    key_to "$main_id" alt+F4
    ended_within 5 || fail "Alt+F4 did not end the program"
  fi

  i=0
  for name in main editor output memory; do
    read -r x y w h <<< "${clients[$i]}"
    set_key "${name}_x" "$x"
    set_key "${name}_y" "$y"
    [ "$name" = main ] || set_key "${name}_height" "$h"
    [ "$name" = main ] || [ "$name" = memory ] || set_key "${name}_width" "$w"
    i=$((i + 1))
  done
  start_app
  find_windows
  earlier="$(settled_frames)"
  [ "$earlier" = "$first" ] || fail "client rectangles gave the frames $(echo $earlier), not $(echo $first)"
  key_to "$main_id" alt+F4
  ended_within 5 || fail "Alt+F4 did not end the program"
  echo "earlier file: client rectangles restore the frames"
fi
echo "PASS"
