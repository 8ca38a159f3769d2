#!/usr/bin/env python3
"""The start of a run: cellwright-run against the baseline yardstick on a two-command program.

Both run `+.` (one increment, one output byte) from start to end as whole processes, taking
turns round by round (runner, baseline, then baseline, runner), RUNS times (default 200) after
ten warm-up rounds; standard input and output are /dev/null. The table gives the medians of the
wall-clock and CPU milliseconds (user + system, from the kernel's accounting of the reaped
child), and the medians of the differences and ratios to the baseline taken round by round,
which hold when the machine's speed drifts.

  bench/startup.py [--runs N] [--busy N] [--other RUNNER]

--busy N starts N processes that spin at normal priority (`yes > /dev/null`) for the timed
rounds and ends them afterwards: the figures of a busy machine. --other adds another runner
(one built from an earlier commit, say) to the rounds.

Environment: CELLWRIGHT_BASELINE (another baseline.c than bench/baseline.c), compiled with
`cc -O2` into build/bench-baseline as bench/run.sh does.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")


def die(message):
    sys.exit(f"bench/startup.py: {message}")


def baseline_executable():
    source = os.environ.get("CELLWRIGHT_BASELINE") or os.path.join(ROOT, "bench", "baseline.c")
    if not os.path.isfile(source):
        die(f"{source}: no such file")
    target = os.path.join(BUILD, "bench-baseline")
    if not os.path.exists(target) or os.path.getmtime(source) > os.path.getmtime(target):
        subprocess.run(["cc", "-O2", "-o", target, source], check=True)
    return target


def main():
    parser = argparse.ArgumentParser(description="cellwright-run's start against the baseline")
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--busy", type=int, default=0, metavar="N")
    parser.add_argument("--other", metavar="RUNNER")
    args = parser.parse_args()
    if args.runs < 1:
        die("--runs takes a positive number")
    runner = os.path.join(BUILD, "cellwright-run")
    if not os.access(runner, os.X_OK):
        die(f"{runner} is not built (scripts/build.sh build)")
    if args.other and not os.access(args.other, os.X_OK):
        die(f"{args.other} is not an executable")

    with tempfile.TemporaryDirectory() as tmp:
        program = os.path.join(tmp, "two.b")
        with open(program, "w") as f:
            f.write("+.")
        commands = {"cellwright-run": [runner, program]}
        if args.other:
            commands["other runner"] = [args.other, program]
        commands["baseline"] = [baseline_executable(), program]
        null = os.open(os.devnull, os.O_RDWR)
        actions = [(os.POSIX_SPAWN_DUP2, null, 0), (os.POSIX_SPAWN_DUP2, null, 1)]

        def once(argv):  # (wall ms, cpu ms) of one whole process
            start = time.perf_counter_ns()
            pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
            _, status, usage = os.wait4(pid, 0)
            wall = (time.perf_counter_ns() - start) / 1e6
            if status != 0:
                die(f"{' '.join(argv)} failed (status {status})")
            return wall, (usage.ru_utime + usage.ru_stime) * 1e3

        names = list(commands)
        hogs = []
        try:
            for _ in range(10):
                for name in names:
                    once(commands[name])
            for _ in range(args.busy):
                hogs.append(subprocess.Popen(["yes"], stdout=subprocess.DEVNULL))
            load_start = os.getloadavg()[0]
            times = {name: [] for name in names}
            for r in range(args.runs):
                for name in names if r % 2 == 0 else reversed(names):
                    times[name].append(once(commands[name]))
            load_end = os.getloadavg()[0]
        finally:
            for hog in hogs:
                hog.kill()
                hog.wait()

    median = statistics.median
    base = times["baseline"]
    print(f"{args.runs} rounds, {args.busy} spinning processes, load average {load_start:.2f} at the "
          f"start and {load_end:.2f} at the end, {os.cpu_count()} cores")
    print(f"{'command':<16} {'wall ms':>9} {'cpu ms':>8} {'wall - baseline':>16} {'wall / baseline':>16} "
          f"{'cpu - baseline':>15}")
    for name in names:
        t = times[name]
        row = f"{name:<16} {median(w for w, _ in t):9.3f} {median(c for _, c in t):8.3f}"
        if name != "baseline":
            row += (f" {median(a[0] - b[0] for a, b in zip(t, base)):16.3f}"
                    f" {median(a[0] / b[0] for a, b in zip(t, base)):16.3f}"
                    f" {median(a[1] - b[1] for a, b in zip(t, base)):15.3f}")
        print(row)


if __name__ == "__main__":
    main()
