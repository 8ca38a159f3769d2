#!/usr/bin/env bash
# The runner's output path, side by side with another runner (one built from an earlier commit):
#   - bench/output_lines.b: ten million lines of ten letters (110 MB), output and little else;
#   - Mandelbrot.b from the corpus: long computation that prints as it goes.
# Both runners write to /dev/null (not a terminal: output is written in blocks and at the timed
# flushes). They take turns, A B then B A, RUNS times (default 5); the table gives the medians of
# the CPU seconds (user + system, steadier than wall time on a shared machine) and of the wall
# seconds, and the ratio of this tree's runner to the other.
#
#   bench/output.sh [--runs N] OTHER_RUNNER
#
# Environment: CELLWRIGHT_CORPUS (the corpus folder, else ../shared/corpus beside the checkout).
set -euo pipefail
export LC_ALL=C

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs=5
die() {
  echo "bench/output.sh: $*" >&2
  exit 2
}
if [ "${1:-}" = --runs ]; then
  [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || die "--runs takes a positive number"
  runs="$2"; shift 2
fi
[ $# -eq 1 ] || die "usage: bench/output.sh [--runs N] OTHER_RUNNER"
other="$1"
runner="$root/build/cellwright-run"
[ -x "$runner" ] || die "$runner is not built (scripts/build.sh build)"
[ -x "$other" ] || die "$other is not an executable"
corpus="${CELLWRIGHT_CORPUS:-$root/../shared/corpus}"
[ -f "$corpus/Mandelbrot.b" ] || die "Mandelbrot.b not found in $corpus: set CELLWRIGHT_CORPUS"

# "cpu wall" seconds of one run with the output discarded.
time_once() {
  local TIMEFORMAT='%3U %3S %3R' line
  line="$({ time "$@" > /dev/null 2> /dev/null < /dev/null; } 2>&1)" || die "failed: $*"
  awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' <<< "$line"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-18s %4s  %-10s %-10s %-10s %-10s %s\n' program runs "cpu s" "other cpu" "wall s" "other wall" "cpu ratio"
for program in "$root/bench/output_lines.b" "--no-comment-markers $corpus/Mandelbrot.b"; do
  read -r -a args <<< "$program"
  cpu_a=(); cpu_b=(); wall_a=(); wall_b=()
  for ((r = 1; r <= runs; r++)); do
    if ((r % 2)); then
      read -r ca wa <<< "$(time_once "$runner" "${args[@]}")"; read -r cb wb <<< "$(time_once "$other" "${args[@]}")"
    else
      read -r cb wb <<< "$(time_once "$other" "${args[@]}")"; read -r ca wa <<< "$(time_once "$runner" "${args[@]}")"
    fi
    cpu_a+=("$ca"); cpu_b+=("$cb"); wall_a+=("$wa"); wall_b+=("$wb")
  done
  ma="$(median "${cpu_a[@]}")"; mb="$(median "${cpu_b[@]}")"
  printf '%-18s %4s  %-10s %-10s %-10s %-10s %s\n' "$(basename "${args[-1]}")" "$runs" "$ma" "$mb" \
    "$(median "${wall_a[@]}")" "$(median "${wall_b[@]}")" "$(awk -v a="$ma" -v b="$mb" 'BEGIN { printf "%.3f", a / b }')"
done
