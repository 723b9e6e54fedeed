#!/usr/bin/env bash
# Inside the X server: runs A, B, F, Fp, F0, P and C on each tree, then on T2 the
# delete run D and its floor DF, and prints the tables.
# Usage: run.sh TREES REPEATS NAME...
set -uo pipefail
trees=$1 repeats=$2; shift 2
wine=/usr/lib/wine/wine64
win() { echo "Z:${1//\//\\}"; }
exe=$(win "$PWD/build/x86_64/drossweeper.exe")
raw=$trees/raw.txt
: > "$raw"
for name in "$@"; do
  root=$trees/$name
  n=$repeats; [ "$name" = t3 ] && n=1
  # Every figure on a warm tree, its folders listed and its candidates read
  # beforehand: otherwise the first run, A's, read them from the disk.
  find "$root" -iname thumbs.db -exec cat {} + > /dev/null
  # A, B, F, Fp, F0, P and C take turns, so that a slower spell of the machine touches them all.
  # A, F and Fp run back to back, in reverse order in alternate rounds: the
  # machine's speed drifts within a minute, and each round's A/F and A/Fp are
  # read from the round's own figures.
  for ((i = 0; i < n; i++)); do
    out=$(mktemp)
    for kind in $( ((i % 2)) && echo Fp F A || echo A F Fp); do
      case $kind in
      A)
        "$wine" build/x86_64/bench/bench_driver.exe "$exe" "$(win "$root")" >"$out" 2>&1
        echo "$name A round=$i $(grep seconds= "$out")" >> "$raw" ;;
      F)
        BENCH_FLOOR=1 "$wine" build/x86_64/bench/walk_bench.exe "$(win "$root")" x 1 >"$out" 2>&1
        echo "$name F round=$i $(grep floor "$out")" >> "$raw" ;;
      Fp)
        # As many threads as the program's walk uses.
        BENCH_FLOOR=1 BENCH_FLOOR_THREADS=0 "$wine" build/x86_64/bench/walk_bench.exe "$(win "$root")" x 1 >"$out" 2>&1
        echo "$name Fp round=$i $(grep floorp "$out")" >> "$raw" ;;
      esac
    done
    BENCH_BARE=1 "$wine" build/x86_64/bench/walk_bench.exe "$(win "$root")" x 1 >"$out" 2>&1
    echo "$name B $(grep bare "$out")" >> "$raw"
    BENCH_FLOOR0=1 "$wine" build/x86_64/bench/walk_bench.exe "$(win "$root")" x 1 >"$out" 2>&1
    echo "$name F0 $(grep floor0 "$out")" >> "$raw"
    start=$(date +%s.%N)
    (cd "$root" && "$wine" cmd /c dir /s /b /a THUMBS.DB >"$out" 2>&1)
    echo "$name P seconds=$(echo "$(date +%s.%N) - $start" | bc) listed=$(grep -ci 'thumbs.db' "$out")" >> "$raw"
    rm -f "$out"
    if [ "$name" != t3 ]; then
      start=$(date +%s.%N)
      find "$root" -iname thumbs.db > /dev/null
      echo "$name C seconds=$(echo "$(date +%s.%N) - $start" | bc)" >> "$raw"
    fi
  done
done
# D: every file of a fresh copy of T2 deleted through the program with a report
# (Verify No), from the save dialog's Save to "Drossweeping Complete."; DF: the
# same paths written and flushed to a report and deleted in a plain loop. Never
# on the tree the search figures use.
if [ -d "$trees/t2" ]; then
  copy=$trees/t2-delete report=$trees/delete-report.txt
  # Each run on a copy written out to the disk, its folders listed and its
  # candidates read: the same state for both.
  fresh() {
    rm -rf "$copy" "$report"
    cp -a "$trees/t2" "$copy"
    sync
    find "$copy" -iname thumbs.db -exec cat {} + > /dev/null
  }
  for ((i = 0; i < repeats; i++)); do
    out=$(mktemp)
    fresh
    "$wine" build/x86_64/bench/bench_driver.exe "$exe" "$(win "$copy")" "$(win "$report")" >"$out" 2>&1
    echo "t2 D $(grep delete_seconds= "$out")" >> "$raw"
    fresh
    BENCH_DELETE_FLOOR="$(win "$report")" "$wine" build/x86_64/bench/walk_bench.exe "$(win "$copy")" >"$out" 2>&1
    echo "t2 DF $(grep delete_floor "$out")" >> "$raw"
    rm -f "$out"
  done
  rm -rf "$copy" "$report"
fi
python3 bench/table.py "$raw"
echo
echo "What one hit costs under wine64 (build/x86_64/bench/hit_costs.exe, a THUMBS.DB of T1):"
echo '```'
out=$(mktemp)
"$wine" build/x86_64/bench/hit_costs.exe "$(win "$trees/t1/g0/f0")" Thumbs.db >"$out" 2>&1
cat "$out"
rm -f "$out"
echo '```'
