#!/usr/bin/env bash
# Inside the X server: the program's walk without its windows' share
# (walk_bench.exe) with 1, 2, 4 and 8 walker threads, in turns, on each tree,
# and a table of the medians with each count's time against one walker's.
# Usage: walkers.sh TREES REPEATS NAME...
set -uo pipefail
trees=$1 repeats=$2; shift 2
wine=/usr/lib/wine/wine64
win() { echo "Z:${1//\//\\}"; }
counts="1 2 4 8"
raw=$trees/walkers-raw.txt out=$(mktemp)
: > "$raw"
for name in "$@"; do
  root=$trees/$name
  find "$root" -iname thumbs.db -exec cat {} + > /dev/null
  for ((i = 0; i < repeats; i++)); do
    order=$counts; ((i % 2)) && order=$(echo $counts | tr ' ' '\n' | tac | tr '\n' ' ')
    for n in $order; do
      # Through a file: a program that wine starts with the first may keep a pipe open.
      BENCH_WALKERS=$n "$wine" build/x86_64/bench/walk_bench.exe "$(win "$root")" x 1 >"$out" 2>&1
      echo "$name $n round=$i $(grep direct "$out")" >> "$raw"
    done
  done
done
rm -f "$out"
python3 - "$raw" $counts <<'PY'
import re, statistics, sys
raw, counts = sys.argv[1], sys.argv[2:]
times, rounds = {}, {}
for line in open(raw):
    m = re.match(r"(\S+) (\d+) round=(\d+) direct\s+([\d.]+) s", line)
    if m:
        name, n, r, t = m.group(1), m.group(2), m.group(3), float(m.group(4))
        times.setdefault(name, {}).setdefault(n, []).append(t)
        rounds.setdefault(name, {}).setdefault(r, {})[n] = t
print("| tree | " + " | ".join("%s walker%s (s)" % (n, "" if n == "1" else "s") for n in counts) + " | "
      + " | ".join("%s/1 round by round" % n for n in counts[1:]) + " |")
print("|---" * (2 * len(counts)) + "|")
for name in sorted(times):
    cells = []
    for n in counts:
        v = times[name].get(n, [])
        cells.append("%.2f (%.2f-%.2f)" % (statistics.median(v), min(v), max(v)) if v else "-")
    for n in counts[1:]:
        ratios = [r[n] / r["1"] for r in rounds[name].values() if n in r and r.get("1")]
        cells.append("%.2f" % statistics.median(ratios) if ratios else "-")
    print("| %s | %s |" % (name.upper(), " | ".join(cells)))
PY
