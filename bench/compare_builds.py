#!/usr/bin/env python3
"""Runs one benchmark of two builds in turn (A B A B ...) and prints, for
every figure line the benchmark prints, the median of each build and their
ratio. Taking the runs in turn keeps the ratio fair when the machine's speed
drifts during the call.

  bench/compare_builds.py [-n RUNS] [--limit RATIO] [--match REGEX] BUILD_A BUILD_B BENCH [ARG ...]

BENCH is the benchmark's path inside a build folder, e.g.
  bench/compare_builds.py build ../old/build bench/tree_core/bench_tree_core
A figure line is a line with a number followed by "ms" or "us"; the first
such number is the figure, the text before it the line's name.
With --limit every ratio A/B is held to RATIO (e.g. 1.05: A at most 5 %
slower than B) and marked as the benchmarks' shared limit helper marks a
figure past its limit (bench/common/limit.h): "limit 1.05 x: OVER THE LIMIT".
With --match only the lines whose name the regular expression finds are
compared.
"""
import os
import re
import statistics
import subprocess
import sys

FIGURE = re.compile(r"^(?P<name>.*?\S)\s+(?P<value>\d+(?:\.\d+)?)\s*(?P<unit>ms|us)\b")


def figures(build, bench, args):
    env = dict(os.environ, QT_QPA_PLATFORM=os.environ.get("QT_QPA_PLATFORM", "offscreen"))
    out = subprocess.run([os.path.join(build, bench), *args], env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True, check=True).stdout
    found = []
    for line in out.splitlines():
        m = FIGURE.match(line.strip())
        if m:
            found.append((m["name"], float(m["value"]), m["unit"]))
    return found


# The wording of limitStated() in bench/common/limit.h.
def limit_stated(limit, unit, over):
    return f"limit {limit:g}{' ' + unit if unit else ''}{': OVER THE LIMIT' if over else ''}"


def main():
    argv = sys.argv[1:]
    runs = 5
    limit = None
    match = None
    while len(argv) > 1 and argv[0] in ("-n", "--limit", "--match"):
        if argv[0] == "-n":
            runs = int(argv[1])
        elif argv[0] == "--limit":
            limit = float(argv[1])
        else:
            match = re.compile(argv[1])
        argv = argv[2:]
    if len(argv) < 3:
        sys.exit(__doc__)
    build_a, build_b, bench, args = argv[0], argv[1], argv[2], argv[3:]
    values = {}
    order = []
    for _ in range(runs):
        for which, build in (("a", build_a), ("b", build_b)):
            for index, (name, value, unit) in enumerate(figures(build, bench, args)):
                key = (index, name, unit)
                if key not in values:
                    values[key] = {"a": [], "b": []}
                    order.append(key)
                values[key][which].append(value)
    print(f"{bench} {' '.join(args)}: median of {runs} runs each, taken in turn")
    print(f"{'':58} {'A':>10} {'B':>10}  A/B")
    for key in order:
        a, b = values[key]["a"], values[key]["b"]
        if not a or not b or (match and not match.search(key[1])):
            continue
        ma, mb = statistics.median(a), statistics.median(b)
        ratio = ma / mb if mb else float("nan")
        line = f"{key[1][:58]:58} {ma:10.2f} {mb:10.2f}  {ratio:5.3f}  {key[2]}"
        if limit is not None:
            line += "  " + limit_stated(limit, "x", not ratio <= limit)
        print(line)


if __name__ == "__main__":
    main()
