#!/usr/bin/env bash
# Folders each with one genuine THUMBS.DB, in groups of 100, for the large-list
# stress tests: 100,000 of them unless told how many hundreds.
# Usage: make_huge_tree.sh FOLDER [HUNDREDS]
set -euo pipefail
h=$1 hundreds=${2:-1000}
rm -rf "$h"
mkdir -p "$h"
cd "$h"
mkdir -p $(eval echo "h{000..$(printf '%03d' $((hundreds - 1)))}")
for g in h*; do mkdir -p "$g"/e{00..99}; done
for d in h*/e*; do printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1\x00%55s' '' > "$d/thumbs.db"; done
