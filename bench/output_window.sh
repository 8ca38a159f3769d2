#!/usr/bin/env bash
# Output into the output window: bench/output_5mb.b (63,750 lines of 80 letters, 5 MB) run to its
# end in the IDE's real windows on the offscreen platform (bench_large run-file=..., the
# settings' output buffer of 128 bytes, so about 40,000 hand-overs with their 1 ms pause each),
# side by side with cellwright-run printing the same program to /dev/null, and optionally with
# another build's bench_large (one built from an earlier commit). They take turns, the order
# turning every round, RUNS times (default 3); every IDE's window text must equal the runner's
# output byte for byte. The table gives the medians of the wall seconds (for the IDE: from Run
# to the ready state), the IDE process's CPU seconds (user + system, start-up included) and the
# ratio of the wall medians to the runner's.
#
#   bench/output_window.sh [--runs N] [--other OTHER_BENCH_LARGE] [PROGRAM.b]
set -euo pipefail
export LC_ALL=C

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs=3
other=""
die() {
  echo "bench/output_window.sh: $*" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --runs)
      [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || die "--runs takes a positive number"
      runs="$2"; shift 2 ;;
    --other)
      [ -x "${2:-}" ] || die "--other takes an executable bench_large"
      other="$(realpath "$2")"; shift 2 ;;
    -*) die "usage: bench/output_window.sh [--runs N] [--other OTHER_BENCH_LARGE] [PROGRAM.b]" ;;
    *) break ;;
  esac
done
[ $# -le 1 ] || die "usage: bench/output_window.sh [--runs N] [--other OTHER_BENCH_LARGE] [PROGRAM.b]"
program="$(realpath "${1:-$root/bench/output_5mb.b}")"
runner="$root/build/cellwright-run"
ide="$root/build/bench/bench_large"
[ -x "$runner" ] || die "$runner is not built (scripts/build.sh build)"
[ -x "$ide" ] || die "$ide is not built (scripts/build.sh build -DCELLWRIGHT_BENCH=ON)"

now() { echo "${EPOCHREALTIME:-$(date +%s.%N)}"; }
runner_once() {
  local start end
  start="$(now)"
  "$runner" "$program" > /dev/null 2> /dev/null < /dev/null || die "failed: $runner $program"
  end="$(now)"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
# "wall cpu" of one IDE run: its own figure from Run to the ready state, and the process's CPU.
ide_once() {
  local TIMEFORMAT='%3U %3S' line cpu
  { cpu="$({ time "$1" "run-file=$program" > "$tmp/line" 2> /dev/null < /dev/null; } 2>&1)"; } ||
    die "failed: $1 run-file=$program"
  line="$(cat "$tmp/line")"
  [[ "$line" == *"output_sha1=$want "* ]] || die "the window's text differs from the runner's output: $line"
  sed -n 's/.* seconds=\([0-9.]*\) .*/\1/p' <<< "$line" | tr '\n' ' '
  awk '{ printf "%.3f\n", $1 + $2 }' <<< "$cpu"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
want="$("$runner" "$program" < /dev/null | sha1sum | cut -d' ' -f1)"
bytes="$("$runner" "$program" < /dev/null | wc -c)"
read -r load_start _ < /proc/loadavg
ide_w=(); ide_c=(); oth_w=(); oth_c=(); run_s=()
for ((r = 1; r <= runs; r++)); do
  o_w=-; o_c=-
  if ((r % 2)); then
    read -r i_w i_c <<< "$(ide_once "$ide")"
    [ -z "$other" ] || read -r o_w o_c <<< "$(ide_once "$other")"
    b="$(runner_once)"
  else
    b="$(runner_once)"
    [ -z "$other" ] || read -r o_w o_c <<< "$(ide_once "$other")"
    read -r i_w i_c <<< "$(ide_once "$ide")"
  fi
  ide_w+=("$i_w"); ide_c+=("$i_c"); run_s+=("$b")
  [ -z "$other" ] || { oth_w+=("$o_w"); oth_c+=("$o_c"); }
  echo "round $r/$runs: IDE $i_w s (cpu $i_c s), other IDE $o_w s (cpu $o_c s), runner $b s" >&2
done
read -r load_end _ < /proc/loadavg
mr="$(median "${run_s[@]}")"
ratio() { awk -v a="$1" -v b="$mr" 'BEGIN { printf "%.0f", a / b }'; }
printf '%-14s %-13s %9s %4s  %-9s %-9s %-9s %s\n' program ide bytes runs "wall s" "cpu s" "runner s" "wall / runner"
row() {
  local mw mc
  mw="$(median "${@:3}")"
  mc="$(median "${cpu[@]}")"
  printf '%-14s %-13s %9s %4s  %-9s %-9s %-9s %s\n' "$(basename "$program")" "$1" "$bytes" "$runs" "$mw" "$mc" "$mr" "$(ratio "$mw")"
}
cpu=("${ide_c[@]}"); row "this tree" - "${ide_w[@]}"
if [ -n "$other" ]; then cpu=("${oth_c[@]}"); row "other" - "${oth_w[@]}"; fi
echo "Load average: $load_start at the start, $load_end at the end, on $(nproc) cores."
