#!/usr/bin/env bash
# Runs the test of what a search could not look at as a user without rights to
# every folder and file: root reads everything, whatever the permissions. The
# user (nobody) gets a wine prefix, a home, an X server and a tree of its own.
# Where this cannot become another user, the test runs as this one and skips
# the permission cases. Usage: as_another_user.sh TEST_EXE PROGRAM_WINDOWS_PATH
set -euo pipefail
test_exe=$1 program=$2
arch=$(basename "$(dirname "$(dirname "$test_exe")")")
home=$(cd "$(dirname "$test_exe")/.." && pwd)/nobody
tree=$home/unsearched-$arch
genuine() { printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1\x00%503s' '' > "$1"; }
wine_path() { local p=${1//\//\\}; echo "Z:$p"; }

another=0
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  another=1
fi
if [ "$another" = 1 ]; then
  mkdir -p "$home"
  chown 65534:65534 "$home"
fi
rm -rf "$tree"
mkdir -p "$tree"

# One genuine cache that can be read, and one in a folder named outside the ANSI code page.
mkdir -p "$tree/e-readable" "$tree/b-Папка"
genuine "$tree/e-readable/thumbs.db"
genuine "$tree/b-Папка/thumbs.db"
# One whose full path, as wine shows it, is 260 characters: its folder's is 250.
pad=$(( 250 - ${#tree} - 2 - 1 ))
[ "$pad" -gt 0 ] || { echo "tree folder too long: $tree" >&2; exit 1; }
long=$tree/d$(printf '%*s' "$((pad - 1))" '' | tr ' ' x)
mkdir -p "$long"
genuine "$long/thumbs.db"
if [ "$another" = 1 ]; then
  # A folder that cannot be listed, and a cache that cannot be read; both the
  # user's own, since wine shows a file its user cannot write as read-only.
  mkdir -p "$tree/a-no-permission" "$tree/c-unreadable"
  genuine "$tree/a-no-permission/thumbs.db"
  genuine "$tree/c-unreadable/thumbs.db"
  chown -R 65534:65534 "$tree"
  chmod 000 "$tree/a-no-permission"
  chmod 200 "$tree/c-unreadable/thumbs.db"
else
  echo "This test cannot become another user (it needs root and setpriv): the permission cases are skipped."
fi

tests=(DROSS_EXE="$program" DROSS_UNSEARCHED_TREE="$(wine_path "$tree")" DROSS_AS_ANOTHER_USER=$another)
if [ "$another" = 0 ]; then
  exec env "${tests[@]}" /usr/lib/wine/wine64 "$test_exe" --gtest_filter='UnsearchedTest.*' </dev/null
fi

as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups env -i HOME="$home" WINEPREFIX="$home/prefix"
         WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" PATH=/usr/bin:/bin)
# The user's own prefix, made once, with the virtual desktop the other tests use.
if [ ! -f "$home/prefix/.drossweeper-ready" ]; then
  "${as_user[@]}" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  "${as_user[@]}" /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "${as_user[@]}" /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
  "${as_user[@]}" /usr/lib/wine/wineserver -w
  touch "$home/prefix/.drossweeper-ready"
fi
status=0
"${as_user[@]}" "${tests[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" \
  /usr/lib/wine/wine64 "$test_exe" --gtest_filter='UnsearchedTest.*' </dev/null || status=$?
"${as_user[@]}" /usr/lib/wine/wineserver -k 2>/dev/null || true
chmod 700 "$tree/a-no-permission"
exit $status
