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
    entry = rows.setdefault(name, {"A": [], "B": [], "F": [], "F0": [], "P": [], "C": [], "gap": [], "mem": [],
                                   "D": [], "DF": [], "unanswered": [], "Fp": [], "roundA": {}, "roundF": {}, "roundFp": {}})
    round_no = re.search(r"round=(\d+)", line)
    if kind == "A":
        fields = dict(re.findall(r"(\w+)=([\d.]+)", line))
        if "seconds" in fields:
            entry["A"].append(float(fields["seconds"]))
            if round_no:
                entry["roundA"][round_no.group(1)] = float(fields["seconds"])
            entry["gap"].append(float(fields["longest_tick_gap_ms"]))
            entry["mem"].append(float(fields["peak_working_set_mib"]))
    elif kind in ("B", "F", "Fp", "F0"):
        m = re.search(r"(?:bare|floor0|floorp|floor)\s+([\d.]+) s", line)
        if m:
            entry[kind].append(float(m.group(1)))
            if kind in ("F", "Fp") and round_no:
                entry["round" + kind][round_no.group(1)] = float(m.group(1))
    elif kind == "D":
        fields = dict(re.findall(r"(\w+)=([\d.]+)", line))
        if "delete_seconds" in fields:
            entry["D"].append(float(fields["delete_seconds"]))
            entry["unanswered"].append(float(fields["longest_unanswered_ms"]))
    elif kind == "DF":
        m = re.search(r"delete_floor\s+([\d.]+) s", line)
        if m:
            entry["DF"].append(float(m.group(1)))
    elif kind in ("P", "C"):
        m = re.search(r"seconds=([\d.]+)", line)
        if m:
            entry[kind].append(float(m.group(1)))

def med(values):
    return statistics.median(values) if values else None

def fmt(value, pattern="%.2f"):
    return pattern % value if value is not None else "-"

def paired(r, floor="roundF"):
    """A/F (or A/Fp) of each round, the two having run back to back: the median
    of those ratios with their range, which a drift between rounds does not move."""
    return spread([r["roundA"][k] / r[floor][k] for k in r["roundA"] if r[floor].get(k)])

def spread(values):
    """The median with the range of the runs: this machine's speed drifts between runs."""
    if len(values) < 2:
        return fmt(med(values))
    return "%.2f (%.2f-%.2f)" % (med(values), min(values), max(values))

print("| tree | A program (s) | B bare walk (s) | F floor (s) | Fp floor, threads (s) | F0 floor, run-time listing (s) "
      "| P dir /s (s) | C find (s) | A/B | A/F | A/F round by round | A/Fp round by round | F/F0 | A/P | A/C "
      "| longest tick gap (ms) | peak working set (MiB) |")
print("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
for name in sorted(rows):
    r = rows[name]
    a, b, f, f0, p, c = (med(r[k]) for k in ("A", "B", "F", "F0", "P", "C"))
    ratio = lambda x: a / x if a and x else None
    floor_ratio = f / f0 if f and f0 else None
    gap = max(r["gap"]) if r["gap"] else None
    mem = max(r["mem"]) if r["mem"] else None
    print("| %s |" % name.upper() + " %s |" * 16 % (spread(r["A"]), fmt(b), spread(r["F"]), spread(r["Fp"]),
                                                   spread(r["F0"]), fmt(p), fmt(c), fmt(ratio(b)), fmt(ratio(f)),
                                                   paired(r), paired(r, "roundFp"), fmt(floor_ratio), fmt(ratio(p)),
                                                   fmt(ratio(c)), fmt(gap, "%.0f"), fmt(mem, "%.1f")))

deletes = [name for name in sorted(rows) if rows[name]["D"]]
if deletes:
    print()
    print("| tree | D delete run (s) | DF floor (s) | D/DF | longest stretch without an answer (ms) |")
    print("|---|---|---|---|---|")
    for name in deletes:
        r = rows[name]
        d, df = med(r["D"]), med(r["DF"])
        print("| %s | %s | %s | %s | %s |" % (name.upper(), spread(r["D"]), spread(r["DF"]),
                                           fmt(d / df if d and df else None), fmt(max(r["unanswered"]), "%.0f")))
