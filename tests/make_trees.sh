#!/usr/bin/env bash
# Makes the test trees that Windows programs cannot make under wine: Unix
# symbolic links that loop, paths longer than the ANSI functions reach, and a
# drive letter mapped to a folder. Usage: make_trees.sh FOLDER
set -euo pipefail
trees=$1
# The file systems mounted by an earlier run go first; --unmount does only that.
grep -o " $trees/[^ ]*" /proc/mounts 2>/dev/null | sort -r | xargs -r -n 1 umount -l 2>/dev/null || true
[ "${2:-}" != --unmount ] || exit 0
chmod -f 700 "$trees/unsearched/a-no-permission" || true     # for a user who is not root
rm -rf "$trees"
mkdir -p "$trees"
# 512 bytes beginning with the compound file signature; the shell's own printf keeps it fast.
genuine() { printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1\x00%503s' '' > "$1"; }

# Loops: links back to the root and to each other.
l=$trees/loops
mkdir -p "$l/a" "$l/m1" "$l/m2" "$l/many"
genuine "$l/a/thumbs.db"
genuine "$l/m2/Thumbs.db"
ln -s .. "$l/a/up"
ln -s . "$l/self"
ln -s ../m2 "$l/m1/to2"
ln -s ../m1 "$l/m2/to1"
for i in 1 2 3 4; do ln -s .. "$l/many/l$i"; done

# Links in both orders: a cache reached directly before a link to it (a, then
# y-to-a) and one reached through links first (b-to-z and c-to-z, then z);
# and three chains of folders too deep for any path (8.3 names have no
# shorter ones), made in another order than they sort.
k=$trees/linked
mkdir -p "$k/a" "$k/z" "$k/x1" "$k/x2" "$k/x3"
genuine "$k/a/thumbs.db"
genuine "$k/z/Thumbs.db"
ln -s a "$k/y-to-a"
ln -s z "$k/b-to-z"
ln -s z "$k/c-to-z"
for x in x3 x1 x2; do mkdir -p "$k/$x/$(printf 'dddddddd/%.0s' {1..30})"; done

# Long paths, measured as wine shows them: Z: and the path with backslashes.
d=$trees/deep
mkdir -p "$d/shallow"
genuine "$d/shallow/thumbs.db"
winlen=$(( 2 + ${#d} ))
pad=$(( 250 - winlen - 2 ))        # P is 250 characters: P\THUMBS.DB is 260
[ "$pad" -gt 0 ] || { echo "tree folder too long: $d" >&2; exit 1; }
p=$d/p$(printf '%*s' "$pad" '' | tr ' ' x)
f=$p/f1234                          # 256 characters: listable, its THUMBS.DB is not
g=$f/gggggggggg                     # 267 characters: never walked
mkdir -p "$g"
genuine "$p/thumbs.db"
echo text > "$p/other.txt"
genuine "$f/thumbs.db"
echo text > "$f/x.txt"
genuine "$g/thumbs.db"

# Drive Q: for the walk of a drive root.
mkdir -p "$trees/drive/sub"
genuine "$trees/drive/thumbs.db"
genuine "$trees/drive/sub/THUMBS.DB"
prefix=${WINEPREFIX:-$HOME/.wine}
mkdir -p "$prefix/dosdevices"
ln -sfn "$trees/drive" "$prefix/dosdevices/q:"

# A tree large enough for a search to run for several seconds: 10,000 folders,
# each with a genuine THUMBS.DB that the walk opens and lists.
b=$trees/big
mkdir -p "$b"/d{001..100}/e{001..100}
for f in "$b"/d*/e*; do genuine "$f/thumbs.db"; done

# A report file on a volume with no space left: every write to it fails.
mkdir -p "$trees/devfull"
ln -s /dev/full "$trees/devfull/report.txt"

# Two file systems that number their files alike (each tmpfs anew from 1), a
# cache on each, the second reached through a link: two files with one index
# and one size. Files written within one clock tick share their times too, so
# the second is dated back, as a cache written another day would be.
# One tree for each program's delete run; where nothing can be mounted, a
# marker says so.
for program in x86_64 i686; do
  v=$trees/volumes-$program
  mkdir -p "$v/root/first" "$v/second"
  if mount -t tmpfs -o size=1m drossweeper "$v/root/first" 2>/dev/null &&
     mount -t tmpfs -o size=1m drossweeper "$v/second" 2>/dev/null; then
    for m in "$v/root/first" "$v/second"; do mkdir "$m/d"; genuine "$m/d/thumbs.db"; echo photo > "$m/d/photo.jpg"; done
    touch -d '2020-01-01 12:00' "$v/second/d/thumbs.db"
    ln -s ../second "$v/root/link"
  else
    touch "$v/no-mounts"
  fi
done

# Hostile names: folders outside the ANSI code page, and a FIFO named thumbs.db
# that would block a reader waiting for a writer.
o=$trees/odd
mkdir -p "$o/ok" "$o/Папка" "$o/日本語" "$o/fifo"
genuine "$o/ok/thumbs.db"
genuine "$o/Папка/thumbs.db"
genuine "$o/日本語/Thumbs.db"
mkfifo "$o/fifo/thumbs.db"

# Names that differ only in case, side by side as a case-sensitive folder may
# hold them; in each folder only one of the two is a genuine cache.
c=$trees/cases
mkdir -p "$c/lower" "$c/upper"
genuine "$c/lower/thumbs.db"
echo "my notes" > "$c/lower/THUMBS.DB"
genuine "$c/upper/THUMBS.DB"
echo "not a cache" > "$c/upper/Thumbs.db"
# The same again, for a delete run of each program to change.
cp -a "$c" "$trees/cases-delete-x86_64"
cp -a "$c" "$trees/cases-delete-i686"
# Wine lists a folder sorted, and its lookup of THUMBS.DB finds the first
# spelling in the folder's own order: made genuine, and never listed first.
m=$trees/mixed
mkdir -p "$m"
for v in Thumbs.db thumbs.db tHumbs.db thUmbs.db thuMbs.db thumBs.db; do echo "not a cache" > "$m/$v"; done
until [ "$(LC_ALL=C ls "$m" | head -n 1)" != "$(ls -U "$m" | head -n 1)" ]; do rm "$m/$(ls -U "$m" | head -n 1)"; done
genuine "$m/$(ls -U "$m" | head -n 1)"

# What a search cannot look at, for a user without rights (root reads everything, so the
# tree is nobody's then): a folder it cannot list, one named outside the ANSI code page, a
# cache it cannot read (its own: wine shows a file its user cannot write as read-only), one
# whose path is 260 characters as wine shows it, and one it can read.
u=$trees/unsearched
long=$u/d$(printf '%*s' $((250 - 2 - ${#u} - 2)) '' | tr ' ' x)
mkdir -p "$u/a-no-permission" "$u/b-Папка" "$u/c-unreadable" "$long" "$u/e-readable"
for f in "$u"/*; do genuine "$f/thumbs.db"; done
[ "$(id -u)" -ne 0 ] || chown -R 65534:65534 "$u"
chmod 200 "$u/c-unreadable/thumbs.db"
chmod 000 "$u/a-no-permission"
