#!/usr/bin/env bash
# A small sample tree for the demo: genuine, fake and read-only thumbs.db files.
set -euo pipefail
t=$1
genuine() { printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1\x00%*s' "$2" '' > "$1"; }
rm -rf "$t"
mkdir -p "$t/Pictures/Holiday 2009" "$t/Pictures/Family" "$t/Music/Albums/Covers" \
         "$t/Documents/Scans" "$t/Downloads" "$t/Archive (read-only)"
genuine "$t/Pictures/Holiday 2009/Thumbs.db" 48000
genuine "$t/Pictures/Family/thumbs.db" 23500
genuine "$t/Music/Albums/Covers/THUMBS.DB" 130000
genuine "$t/Documents/Scans/Thumbs.db" 9200
echo "not a thumbnail cache" > "$t/Downloads/thumbs.db"
genuine "$t/Archive (read-only)/Thumbs.db" 5000
chmod a-w "$t/Archive (read-only)/Thumbs.db"
echo "notes" > "$t/Documents/notes.txt"
