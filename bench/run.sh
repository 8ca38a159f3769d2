#!/usr/bin/env bash
# Speed comparison, side by side in one invocation (see bench/README.md):
#   - cellwright-run (native code, --engine jit) against cellwright-run --engine fast (the fast
#     form), cellwright-run --plain (the folded list as it is) and the baseline yardstick (bench/baseline.c) on the programs of bench/programs, each
#     with its input and comment setting from bench/programs/MANIFEST.tsv, and, when the
#     program corpus is at hand, on Mandelbrot.b, Hanoi.b, Long.b, SelfInt.b, Life.b and
#     awib-0.4.b from it as well;
#   - Debug latency at full speed through bench_latency;
#   - the start of a run (Run to the first command) of deep nesting and 2 MB programs, fast form
#     against plain, through bench_start;
#   - with the corpus, the analysis of LostKng.b through `cellwright-run --dump-lists` and
#     bench_analysis.
# Each timed command runs RUNS times (default 5) after one warm-up run that also checks its
# output and executed count against its manifest; the table gives the median, min and max
# wall-clock seconds and the speed-ups of the medians.
#
#   bench/run.sh [--runs N] [PROGRAM.b ...]
#
# A PROGRAM is looked up in bench/programs first, then in the corpus.
# Environment: CELLWRIGHT_CORPUS (the corpus folder, else ../shared/corpus beside the checkout;
# optional), CELLWRIGHT_BASELINE (another baseline.c than bench/baseline.c).
set -euo pipefail
export LC_ALL=C

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
runs=5
programs=()
progdir="$root/bench/programs"
# The corpus programs of the table that bench/programs cannot hold (see its NOTICES.md).
corpus_extras=(Mandelbrot.b Hanoi.b Long.b SelfInt.b Life.b awib-0.4.b)

die() {
  echo "bench/run.sh: $*" >&2
  exit 2
}
note() { echo "$*" >&2; }

while [ $# -gt 0 ]; do
  case "$1" in
    --runs)
      if [ $# -lt 2 ] || ! [[ "$2" =~ ^[1-9][0-9]*$ ]]; then die "--runs takes a positive number"; fi
      runs="$2"; shift 2 ;;
    -h|--help)
      awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "${BASH_SOURCE[0]}"
      exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) programs+=("$1"); shift ;;
  esac
done
[ "$runs" -ge 5 ] || note "note: medians of fewer than 5 runs are not figures to quote"

# A column of the first row naming a program in a manifest: manifest FILE PROGRAM COLUMN.
manifest() {
  awk -F'\t' -v p="$2" -v c="$3" 'NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
    $1 == p { print $col[c]; exit }' "$1"
}
listed() { [ -n "$(manifest "$1" "$2" program)" ]; }

[ -f "$progdir/MANIFEST.tsv" ] || die "$progdir/MANIFEST.tsv is missing"

# ---- The corpus, found as the tests find it; optional ----
corpus=""
if [ -n "${CELLWRIGHT_CORPUS:-}" ]; then
  if [ -f "$CELLWRIGHT_CORPUS/MANIFEST.tsv" ]; then
    corpus="$(cd "$CELLWRIGHT_CORPUS" && pwd)"
  else
    note "note: CELLWRIGHT_CORPUS=$CELLWRIGHT_CORPUS is not the program corpus (no MANIFEST.tsv there): its programs are left out"
  fi
elif [ -f "$root/../shared/corpus/MANIFEST.tsv" ]; then
  corpus="$(cd "$root/../shared/corpus" && pwd)"
fi

if [ ${#programs[@]} -eq 0 ]; then
  while IFS=$'\t' read -r p _; do programs+=("$p"); done < <(tail -n +2 "$progdir/MANIFEST.tsv")
  if [ -n "$corpus" ]; then
    for p in "${corpus_extras[@]}"; do
      if listed "$corpus/MANIFEST.tsv" "$p" && [ -f "$corpus/$p" ]; then programs+=("$p"); fi
    done
  else
    note "note: no program corpus: ${corpus_extras[*]} are left out"
  fi
fi
[ -n "$corpus" ] || note "note: no program corpus: the analysis of LostKng.b is left out"

# The folder of each program: bench/programs, else the corpus. A program in neither is left
# out with a note (a corpus program where the corpus is missing); none left stops the run.
named=("${programs[@]}")
programs=()
dirs=()
for p in "${named[@]}"; do
  if listed "$progdir/MANIFEST.tsv" "$p"; then
    dir="$progdir"
  elif [ -n "$corpus" ] && listed "$corpus/MANIFEST.tsv" "$p"; then
    dir="$corpus"
  else
    note "note: $p is left out: it is neither in bench/programs nor in the program corpus${corpus:+ at $corpus}"
    continue
  fi
  [ -f "$dir/$p" ] || die "$p is missing from $dir"
  out="$(manifest "$dir/MANIFEST.tsv" "$p" output)"
  [ -f "$dir/$out" ] || die "$out (the expected output of $p) is missing from $dir"
  programs+=("$p")
  dirs+=("$dir")
done
[ ${#programs[@]} -gt 0 ] || die "no program to time"
lost=""
if [ -n "$corpus" ] && [ -f "$corpus/LostKng.b" ]; then lost="$corpus/LostKng.b"; fi

baseline_src="${CELLWRIGHT_BASELINE:-$root/bench/baseline.c}"
[ -f "$baseline_src" ] || die "${CELLWRIGHT_BASELINE:+CELLWRIGHT_BASELINE=}$baseline_src: no such file"

# ---- Build what is timed ----
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

if [ ! -f "$build/CMakeCache.txt" ]; then
  note "configuring $build"
  cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release > "$tmp/cmake.log" 2>&1 ||
    { cat "$tmp/cmake.log" >&2; die "configuring the build failed"; }
elif grep -q '^CELLWRIGHT_BENCH:BOOL=OFF' "$build/CMakeCache.txt"; then
  note "turning CELLWRIGHT_BENCH on in $build"
  cmake -S "$root" -B "$build" -DCELLWRIGHT_BENCH=ON > "$tmp/cmake.log" 2>&1 ||
    { cat "$tmp/cmake.log" >&2; die "configuring the build failed"; }
fi
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")"
[ "$build_type" = Release ] ||
  note "warning: $build is a '$build_type' build, not Release: the figures are not comparable"
note "building $build"
cmake --build "$build" > "$tmp/build.log" 2>&1 ||
  { cat "$tmp/build.log" >&2; die "the build failed"; }

runner="$build/cellwright-run"
analysis="$build/bench/bench_analysis"
[ -x "$runner" ] || die "$runner was not built"
[ -x "$analysis" ] || note "warning: $analysis was not built (is libbenchmark-dev installed?)"

baseline="$build/bench-baseline"
if [ ! -x "$baseline" ] || [ "$baseline_src" -nt "$baseline" ]; then
  command -v cc > /dev/null || die "cc not found: the baseline cannot be compiled"
  cc -O2 -o "$baseline" "$baseline_src" || die "compiling $baseline_src failed"
fi
latency="$build/bench/bench_latency"
[ -x "$latency" ] || note "warning: $latency was not built: no latency figures"
starter="$build/bench/bench_start"
[ -x "$starter" ] || note "warning: $starter was not built: no start figures"

# ---- Timing ----
# The standard input of the commands timed: the program's input file, or nothing.
stdin_file=/dev/null

# Runs a command once with its output discarded; prints its wall-clock seconds: from just before
# the shell starts the process to just after it has ended. The clock is read without a
# subshell where the shell has EPOCHREALTIME: starting one costs this shell a fork, about a
# millisecond on a virtual machine, which would be counted as the command's.
time_once() {
  local start end
  if [ -n "${EPOCHREALTIME:-}" ]; then start=$EPOCHREALTIME; else start="$(date +%s.%N)"; fi
  "$@" > /dev/null 2> "$tmp/stderr" < "$stdin_file" ||
    { cat "$tmp/stderr" >&2; die "failed: $*"; }
  if [ -n "${EPOCHREALTIME:-}" ]; then end=$EPOCHREALTIME; else end="$(date +%s.%N)"; fi
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

# "median min max" of the numbers given.
stats() {
  printf '%s\n' "$@" | sort -g |
    awk '{ v[NR] = $1 }
         END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
               printf "%.6f %.6f %.6f\n", m, v[1], v[NR] }'
}

# Runs once with the output kept and compares it with the expected file.
verify() {
  local expected="$1"; shift
  "$@" > "$tmp/out" 2> "$tmp/stderr" < "$stdin_file" ||
    { cat "$tmp/stderr" >&2; die "failed: $*"; }
  cmp -s "$tmp/out" "$expected" || die "output differs from $(basename "$expected"): $*"
}

cell() {  # "median [min-max]" or "-"
  [ -n "$1" ] || { echo "-"; return; }
  read -r m lo hi <<< "$1"
  printf '%.3f [%.3f-%.3f]' "$m" "$lo" "$hi"
}

rows=()
row() {  # program runs native fast plain baseline speed-up fast-speed-up plain-speed-up fast/native rate
  rows+=("$(printf '%-24s %4s  %-24s %-24s %-24s %-24s %-22s %-7s %-7s %-9s %s' "$@")")
}

read -r load_start _ < /proc/loadavg
note "programs: $progdir; corpus: ${corpus:-none}"
note "runs: $runs timed after one warm-up; load average at start: $load_start ($(nproc) cores)"

for i in "${!programs[@]}"; do
  p="${programs[$i]}"
  dir="${dirs[$i]}"
  list="$dir/MANIFEST.tsv"
  prog="$dir/$p"
  expected="$dir/$(manifest "$list" "$p" output)"
  input="$(manifest "$list" "$p" input)"
  comments="$(manifest "$list" "$p" comments)"
  opts=()
  [ "$comments" = 1 ] || opts+=(--no-comment-markers)
  stdin_file=/dev/null
  if [ -n "$input" ] && [ "$input" != - ]; then
    [ -f "$dir/$input" ] || die "$input (the input of $p) is missing from $dir"
    stdin_file="$dir/$input"
  fi
  # cellwright-run reads its input file first, then standard input: the same bytes here.
  cw=("$runner" --engine jit "${opts[@]}" "$prog")
  fast=("$runner" --engine fast "${opts[@]}" "$prog")
  plain=("$runner" --plain "${opts[@]}" "$prog")
  base=("$baseline" "$prog")

  # Warm-up: every command once, its output checked; the runner's run also gives Executed.
  note "$p: warm-up and output check"
  verify "$expected" "$runner" --stats --engine jit "${opts[@]}" "$prog"
  executed="$(awk '/^executed:/ { print $2 }' "$tmp/stderr")"
  want="$(manifest "$list" "$p" executed)"
  [ -z "$want" ] || [ "$want" = - ] || [ "$executed" = "$want" ] ||
    die "$p: executed $executed, the manifest says $want"
  verify "$expected" "$runner" --stats --engine fast "${opts[@]}" "$prog"
  [ "$(awk '/^executed:/ { print $2 }' "$tmp/stderr")" = "$executed" ] ||
    die "$p: the fast form executed another count than native code"
  verify "$expected" "${plain[@]}"
  verify "$expected" "${base[@]}"

  t_cw=(); t_fast=(); t_plain=(); t_base=(); ratios=()
  for ((r = 1; r <= runs; r++)); do
    # The order turns every round, so no command always runs first.
    if ((r % 2)); then
      a="$(time_once "${cw[@]}")"; f="$(time_once "${fast[@]}")"; c="$(time_once "${plain[@]}")"
      b="$(time_once "${base[@]}")"
    else
      b="$(time_once "${base[@]}")"; c="$(time_once "${plain[@]}")"; f="$(time_once "${fast[@]}")"
      a="$(time_once "${cw[@]}")"
    fi
    t_cw+=("$a"); t_fast+=("$f"); t_plain+=("$c"); t_base+=("$b")
    ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.6f", b / a }')")
    note "$p: round $r/$runs: --engine jit $a s, --engine fast $f s, --plain $c s, baseline $b s"
  done
  s_cw="$(stats "${t_cw[@]}")"; s_fast="$(stats "${t_fast[@]}")"; s_plain="$(stats "${t_plain[@]}")"
  s_base="$(stats "${t_base[@]}")"
  read -r m_cw _ <<< "$s_cw"; read -r m_fast _ <<< "$s_fast"; read -r m_plain _ <<< "$s_plain"
  read -r m_base _ <<< "$s_base"
  read -r _ r_lo r_hi <<< "$(stats "${ratios[@]}")"
  speedup="$(awk -v a="$m_cw" -v b="$m_base" -v lo="$r_lo" -v hi="$r_hi" \
    'BEGIN { printf "%.2f [%.2f-%.2f]", b / a, lo, hi }')"
  fast_speedup="$(awk -v a="$m_fast" -v b="$m_base" 'BEGIN { printf "%.2f", b / a }')"
  plain_speedup="$(awk -v a="$m_plain" -v b="$m_base" 'BEGIN { printf "%.2f", b / a }')"
  over_fast="$(awk -v a="$m_cw" -v c="$m_fast" 'BEGIN { printf "%.2f", c / a }')"
  rate="$(awk -v n="$executed" -v t="$m_cw" 'BEGIN { printf "%.3g", n / t }')"
  row "$p" "$runs" "$(cell "$s_cw")" "$(cell "$s_fast")" "$(cell "$s_plain")" "$(cell "$s_base")" \
    "$speedup" "$fast_speedup" "$plain_speedup" "$over_fast" "$rate"
done
stdin_file=/dev/null

latency_out=""
if [ -x "$latency" ]; then
  note "bench_latency: Debug at full speed, 11 requests per program and engine"
  # It takes Fractal.b from bench/programs and Long.b from the corpus, if there is one.
  latency_out="$(CELLWRIGHT_CORPUS="${corpus:-$progdir}" "$latency" 11)" || die "bench_latency failed"
fi
start_out=""
if [ -x "$starter" ]; then
  note "bench_start: Run to the first command, $runs runs per program and engine"
  start_out="$(CELLWRIGHT_CORPUS="${corpus:-$progdir}" "$starter" "$runs")" || die "bench_start failed"
fi

# ---- Analysis of LostKng.b, from the corpus ----
commands=""
if [ -n "$lost" ]; then
  note "LostKng.b: analysis through --dump-lists"
  "$runner" --dump-lists "$lost" > "$tmp/lists" 2> "$tmp/stderr" < /dev/null ||
    { cat "$tmp/stderr" >&2; die "failed: $runner --dump-lists $lost"; }
  [ "$(tail -n 1 "$tmp/lists")" = "error: 0" ] || die "the analysis of LostKng.b reports an error"
  commands="$(grep -c '^C ' "$tmp/lists")"
  t_dump=()
  for ((r = 1; r <= runs; r++)); do t_dump+=("$(time_once "$runner" --dump-lists "$lost")"); done
  s_dump="$(stats "${t_dump[@]}")"
  read -r m_dump _ <<< "$s_dump"
  row "LostKng.b --dump-lists" "$runs" "$(cell "$s_dump")" "-" "-" "-" "-" "-" "-" "-" \
    "$(awk -v n="$commands" -v t="$m_dump" 'BEGIN { printf "%.3g", n / t }')*"
fi

analysis_out=""
if [ -x "$analysis" ]; then
  note "bench_analysis: $runs repetitions of each benchmark"
  # Without LostKng.b its rows are left out: an errored row stops the CSV report.
  only=()
  [ -n "$lost" ] || only=(--benchmark_filter=-LostKng)
  CELLWRIGHT_CORPUS="${corpus:-$progdir}" "$analysis" "${only[@]}" --benchmark_repetitions="$runs" \
    --benchmark_display_aggregates_only=true \
    --benchmark_out="$tmp/analysis.csv" --benchmark_out_format=csv \
    > "$tmp/analysis.txt" 2>&1 || { cat "$tmp/analysis.txt" >&2; die "bench_analysis failed"; }
  analysis_out="$(cat "$tmp/analysis.txt")"
  # The row that matches --dump-lists: comment markers on, a fresh engine as a run has.
  name='BM_Analyze/LostKng/markers:1/pbrain:0/fresh:1'
  seconds=()
  while IFS=, read -r n _ real _ unit _; do
    [ "$n" = "\"$name\"" ] || continue
    seconds+=("$(awk -v t="$real" -v u="$unit" \
      'BEGIN { f = u == "ns" ? 1e-9 : u == "us" ? 1e-6 : u == "ms" ? 1e-3 : 1; printf "%.6f", t * f }')")
  done < "$tmp/analysis.csv"
  if [ ${#seconds[@]} -gt 0 ] && [ -n "$commands" ]; then
    s_an="$(stats "${seconds[@]}")"
    read -r m_an _ <<< "$s_an"
    row "LostKng.b bench_analysis" "$runs" "$(cell "$s_an")" "-" "-" "-" "-" "-" "-" "-" \
      "$(awk -v n="$commands" -v t="$m_an" 'BEGIN { printf "%.3g", n / t }')*"
  elif [ -n "$lost" ]; then
    note "warning: bench_analysis gave no LostKng row (see its output below)"
  fi
fi

read -r load_end _ < /proc/loadavg

# ---- Report ----
echo
echo "Seconds are wall-clock medians [min-max] of $runs runs. speed-up: baseline / --engine jit,"
echo "of the medians [min-max of the ratios round by round]; fast: baseline / --engine fast;"
echo "plain: baseline / --plain; over fast: --engine fast / --engine jit; commands/s: Executed /"
echo "the --engine jit median."
echo
row_header="$(printf '%-24s %4s  %-24s %-24s %-24s %-24s %-22s %-7s %-7s %-9s %s' program runs \
  "--engine jit s" "--engine fast s" "--plain s" "baseline s" "speed-up" "fast" "plain" "over fast" \
  "commands/s")"
echo "$row_header"
printf '%s\n' "$row_header" | tr -c '\n' '-'
printf '%s\n' "${rows[@]}"
echo
if [ -n "$lost" ]; then
  echo "* LostKng.b rows: the analysis only; commands/s there is commands analysed per second"
  echo "  ($commands commands). --dump-lists times a whole process that also prints every record;"
  echo "  bench_analysis times Analyze alone (comment markers on, a fresh engine per iteration)."
fi
echo "Load average: $load_start at the start, $load_end at the end, on $(nproc) cores."
if [ -n "$latency_out" ]; then
  echo
  echo "Debug latency at full speed (bench_latency: request to pause, medians and maxima of 11):"
  echo "$latency_out"
fi
if [ -n "$start_out" ]; then
  echo
  echo "Start of a run (bench_start: Run to the first command, fast form against plain):"
  echo "$start_out"
fi
if [ -n "$analysis_out" ]; then
  echo
  echo "bench_analysis (medians of $runs repetitions):"
  echo "$analysis_out" | grep -E '^(BM_.*_median |Benchmark)'
fi
