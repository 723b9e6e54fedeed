#!/usr/bin/env bash
# Makes a deterministic benchmark tree: FOLDERS folders (in groups of 100),
# FILES files in each, and GENUINE of them genuine THUMBS.DB files spread evenly.
# Usage: make_tree.sh ROOT FOLDERS FILES GENUINE
set -euo pipefail
root=$1 folders=$2 files=$3 genuine=$4
[ -f "$root/.complete" ] && [ "$(cat "$root/.complete")" = "$folders $files $genuine" ] && exit 0
rm -rf "$root"
mkdir -p "$root"
every=$(( genuine > 0 ? folders / genuine : 0 ))
n=0
for ((g = 0; g * 100 < folders; g++)); do
  for ((i = 0; i < 100 && g * 100 + i < folders; i++)); do
    d=$root/g$g/f$i
    mkdir -p "$d"
    for ((f = 0; f < files - 1; f++)); do : > "$d/file$f.jpg"; done
    if [ "$genuine" -gt 0 ] && [ "$every" -gt 0 ] && (( n % every == 0 )) && (( n / every < genuine )); then
      printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1\x00%503s' '' > "$d/Thumbs.db"
    else
      : > "$d/file$f.jpg"
    fi
    n=$((n + 1))
  done
done
echo "$folders $files $genuine" > "$root/.complete"
