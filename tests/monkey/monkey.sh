#!/usr/bin/env bash
# The monkey test (monkey.py) on a virtual desktop with openbox.
#   monkey.sh CELLWRIGHT_EXECUTABLE [SECONDS [SEED]]     (or MONKEY_SECONDS, MONKEY_SEED)
# Exits 77 (skipped) when the X tools are missing, except under CI, where that fails.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../desktop/virtual_screen.sh"
needs_tools Xvfb openbox xdotool xprop
# The Python that has python3-xlib (Debian's; a python3 earlier in PATH may lack it).
python=""
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import Xlib' 2> /dev/null; then python="$candidate"; break; fi
done
if [ -z "$python" ]; then
  echo "monkey: python3-xlib is missing (scripts/setup.sh installs it)"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi
start_screen openbox
"$python" "$here/monkey.py" "$1" "$scratch" ${2:+--seconds "$2"} ${3:+--seed "$3"}
