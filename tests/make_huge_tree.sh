#!/usr/bin/env bash
# 100,000 folders, each with one genuine THUMBS.DB, for the large-list stress test.
# Usage: make_huge_tree.sh FOLDER
set -euo pipefail
h=$1
rm -rf "$h"
mkdir -p "$h"
cd "$h"
mkdir -p h{000..999}/e{00..99}
for d in h*/e*; do printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1\x00%55s' '' > "$d/thumbs.db"; done
