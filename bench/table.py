#!/usr/bin/env python3
"""Turns the raw lines of bench/run.sh into a Markdown table of medians and ratios."""
import re
import statistics
import sys

rows = {}
for line in open(sys.argv[1]):
    parts = line.split()
    if len(parts) < 3:
        continue
    name, kind = parts[0], parts[1]
    entry = rows.setdefault(name, {"A": [], "B": [], "C": [], "gap": [], "mem": []})
    if kind == "A":
        fields = dict(re.findall(r"(\w+)=([\d.]+)", line))
        if "seconds" in fields:
            entry["A"].append(float(fields["seconds"]))
            entry["gap"].append(float(fields["longest_tick_gap_ms"]))
            entry["mem"].append(float(fields["peak_working_set_mib"]))
    elif kind == "B":
        m = re.search(r"bare\s+([\d.]+) s", line)
        if m:
            entry["B"].append(float(m.group(1)))
    elif kind == "C":
        m = re.search(r"seconds=([\d.]+)", line)
        if m:
            entry["C"].append(float(m.group(1)))

def med(values):
    return statistics.median(values) if values else None

def fmt(value, pattern="%.2f"):
    return pattern % value if value is not None else "-"

print("| tree | A program (s) | B bare walk (s) | C find (s) | A/B | A/C | longest tick gap (ms) | peak working set (MiB) |")
print("|---|---|---|---|---|---|---|---|")
for name in sorted(rows):
    r = rows[name]
    a, b, c = med(r["A"]), med(r["B"]), med(r["C"])
    ab = a / b if a and b else None
    ac = a / c if a and c else None
    gap = max(r["gap"]) if r["gap"] else None
    mem = max(r["mem"]) if r["mem"] else None
    print("| %s | %s | %s | %s | %s | %s | %s | %s |" % (name.upper(), fmt(a), fmt(b), fmt(c), fmt(ab), fmt(ac),
                                                    fmt(gap, "%.0f"), fmt(mem, "%.1f")))
