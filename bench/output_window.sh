#!/usr/bin/env bash
# Output into the output window: bench/output_5mb.b (63,750 lines of 80 letters, 5 MB) run to its
# end in the IDE's real windows on the offscreen platform (bench_large run-file=..., the
# settings' output buffer of 128 bytes, so about 40,000 hand-overs with their 1 ms pause each),
# side by side with cellwright-run printing the same program to /dev/null. Both take turns,
# A B then B A, RUNS times (default 3); the IDE's window text must equal the runner's output
# byte for byte. The table gives the medians of the wall seconds and the ratio IDE / runner.
#
#   bench/output_window.sh [--runs N] [PROGRAM.b]
set -euo pipefail
export LC_ALL=C

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs=3
die() {
  echo "bench/output_window.sh: $*" >&2
  exit 2
}
if [ "${1:-}" = --runs ]; then
  [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || die "--runs takes a positive number"
  runs="$2"; shift 2
fi
[ $# -le 1 ] || die "usage: bench/output_window.sh [--runs N] [PROGRAM.b]"
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
# The IDE's own figure: from Run to the ready state (the window set's start not included).
ide_once() {
  local line
  line="$("$ide" "run-file=$program" 2> /dev/null)" || die "failed: $ide run-file=$program"
  [[ "$line" == *"output_sha1=$want "* ]] || die "the window's text differs from the runner's output: $line"
  sed -n 's/.* seconds=\([0-9.]*\) .*/\1/p' <<< "$line"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

want="$("$runner" "$program" < /dev/null | sha1sum | cut -d' ' -f1)"
bytes="$("$runner" "$program" < /dev/null | wc -c)"
ide_s=(); run_s=()
for ((r = 1; r <= runs; r++)); do
  if ((r % 2)); then
    a="$(ide_once)"; b="$(runner_once)"
  else
    b="$(runner_once)"; a="$(ide_once)"
  fi
  ide_s+=("$a"); run_s+=("$b")
  echo "round $r/$runs: IDE $a s, runner $b s" >&2
done
mi="$(median "${ide_s[@]}")"; mr="$(median "${run_s[@]}")"
printf '%-16s %9s %4s  %-8s %-8s %s\n' program bytes runs "IDE s" "runner s" "IDE / runner"
printf '%-16s %9s %4s  %-8s %-8s %s\n' "$(basename "$program")" "$bytes" "$runs" "$mi" "$mr" \
  "$(awk -v a="$mi" -v b="$mr" 'BEGIN { printf "%.0f", a / b }')"
