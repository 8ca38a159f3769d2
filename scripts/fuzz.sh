#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan and UBSan) in build-fuzz and runs each of them on its
# seeds (tests/fuzz/seeds/<target>), new inputs going to a scratch corpus.
#   fuzz.sh          every target briefly, as CI does (CELLWRIGHT_FUZZ_SECONDS each, default 12),
#                    as many at once as there are processors; a failure prints the crashing input
#   fuzz.sh --long   every target (as many at once as there are processors) for
#                    CELLWRIGHT_FUZZ_RUNS executions (default 10 million) or
#                    CELLWRIGHT_FUZZ_SECONDS (default 3600), whichever comes first, then a table of
#                    executions, executions a second, coverage (cov and ft of libFuzzer's final
#                    statistics) and findings per target; a finding does not stop the others, and
#                    the crashing inputs are kept in the folder the table names
#   fuzz.sh --build  only builds them
# CELLWRIGHT_FUZZ_TARGETS (space-separated) runs only those targets.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
long=0
case "${1:-}" in
  "") ;;
  --long) long=1 ;;
  --build) long=-1 ;;
  *) echo "usage: $0 [--long | --build]" >&2; exit 2 ;;
esac
targets=(${CELLWRIGHT_FUZZ_TARGETS:-fuzz_engine fuzz_differential fuzz_readers fuzz_numbers fuzz_tools})

# Only the targets: the tree's other programs (the runner) are built and tested elsewhere.
CC=clang CXX=clang++ cmake -G Ninja -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCELLWRIGHT_FUZZ=ON -DCELLWRIGHT_GUI=OFF -DCELLWRIGHT_TESTS=OFF -DCELLWRIGHT_BENCH=OFF > /dev/null
cmake --build "$root/build-fuzz" --target "${targets[@]}"
[ "$long" -ge 0 ] || exit 0

# The last value of a field ("cov: 123") in libFuzzer's status lines.
field() { grep -aoE "$1: [0-9]+" "$2" | tail -n 1 | awk '{print $2}'; }
stat() { sed -n "s/^stat::$1: *//p" "$2" | tail -n 1; }

# Runs "$1 TARGET" for every target, one a processor at a time, in the background.
for_each_target() {
  local running=0 target
  for target in "${targets[@]}"; do
    if [ "$running" -ge "$(nproc)" ]; then wait -n || true; running=$((running - 1)); fi
    "$1" "$target" &
    running=$((running + 1))
  done
  wait
}

if [ "$long" -eq 0 ]; then
  seconds="${CELLWRIGHT_FUZZ_SECONDS:-12}"
  # Each target keeps its log; the results print in order.
  scratch="$(mktemp -d)"
  trap 'rm -rf "$scratch"' EXIT
  short_run() {
    local target="$1" corpus="$scratch/$1.corpus"
    mkdir -p "$corpus"
    # New inputs go to a scratch folder; the seeds in the repository stay as they are.
    (cd "$corpus" && "$root/build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        "$corpus" "$root/tests/fuzz/seeds/$target" > "$scratch/$target.log" 2>&1) \
      || echo failed > "$scratch/$target.failed"
  }
  for_each_target short_run
  status=0
  for target in "${targets[@]}"; do
    if [ -e "$scratch/$target.failed" ]; then
      tail -n 60 "$scratch/$target.log"
      echo "$target: FAILED (the crashing input is printed above in base64)"
      status=1
    else
      echo "$target: $(grep -aE '^Done' "$scratch/$target.log")"
    fi
  done
  exit "$status"
fi

runs="${CELLWRIGHT_FUZZ_RUNS:-10000000}"
seconds="${CELLWRIGHT_FUZZ_SECONDS:-3600}"
out="$root/build-fuzz/findings-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
echo "Each target: $runs executions or $seconds s, whichever comes first; logs, corpora and findings in $out"
long_run() {
  local target="$1" dir="$out/$1" status=0
  mkdir -p "$dir/corpus" "$dir/crashes"
  # A target stops at its first finding, which lands in crashes/; the other targets still run.
  (cd "$dir" && "$root/build-fuzz/tests/fuzz/$target" -runs="$runs" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$dir/crashes/" "$dir/corpus" "$root/tests/fuzz/seeds/$target" > "$dir/log.txt" 2>&1) || status=$?
  echo "$status" > "$dir/status"
  echo "$target done: $(stat number_of_executed_units "$dir/log.txt") executions, exit $status"
}
for_each_target long_run
failed=0
echo
printf '%-18s %12s %8s %7s %8s  %s\n' target executions exec/s cov ft findings
for target in "${targets[@]}"; do
  dir="$out/$target"
  log="$dir/log.txt"
  status="$(cat "$dir/status")"
  findings="$(find "$dir/crashes" -type f | wc -l)"
  [ "$status" -eq 0 ] || [ "$findings" -gt 0 ] || findings="exit $status"
  [ "$findings" = 0 ] || failed=1
  printf '%-18s %12s %8s %7s %8s  %s\n' "$target" "$(stat number_of_executed_units "$log")" \
    "$(stat average_exec_per_sec "$log")" "$(field cov "$log")" "$(field ft "$log")" "$findings"
done
echo "Findings (crashing inputs) are in $out/<target>/crashes"
exit "$failed"
