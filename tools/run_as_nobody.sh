#!/usr/bin/env bash
# Runs a command as the user nobody, for what a user without rights meets: root
# reads every file, whatever its permissions. Nobody gets a wine prefix (made
# once, with the one virtual desktop of the tests), a home and an X server of
# its own. Run by another user, the command runs as that one, whose permissions
# apply already; where root cannot become nobody, it says so and runs the
# command as root with DROSS_READS_EVERYTHING set.
# Nobody's locale is UTF-8, as a user's is: wine reads the tree's names in it.
# Usage: run_as_nobody.sh HOME [NAME=VALUE...] COMMAND...
set -euo pipefail
home=$1; shift
[ "$(id -u)" -eq 0 ] || exec env "$@" </dev/null
as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups env -i HOME="$home" WINEPREFIX="$home/prefix" LANG=C.UTF-8
           WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" PATH=/usr/bin:/bin)
# Wine's helpers outlive the command and inherit its output, so the output
# goes through a file, as in tools/wine-run.
as_root() {
  echo "$1: running as root, which reads every file."
  local out status=0
  out=$(mktemp)
  env DROSS_READS_EVERYTHING=1 "${@:2}" </dev/null >"$out" 2>&1 || status=$?
  cat "$out"
  rm -f "$out"
  exit $status
}
"${as_nobody[@]}" true 2>/dev/null || as_root "Cannot become the user nobody here" "$@"
mkdir -p "$home"
chown 65534:65534 "$home"
# A folder above the home that others may not enter (mktemp -d makes such
# folders) keeps nobody out of the home, the program and the tree alike.
"${as_nobody[@]}" test -w "$home" || as_root "The user nobody cannot reach $home (a folder above it is closed to others)" "$@"
if [ ! -f "$home/prefix/.drossweeper-ready" ]; then
  "${as_nobody[@]}" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  "${as_nobody[@]}" /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
    "${as_nobody[@]}" /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1 &&
    "${as_nobody[@]}" /usr/lib/wine/wineserver -w ||
    { echo "Could not make the wine prefix of the user nobody in $home/prefix."; exit 1; }
  touch "$home/prefix/.drossweeper-ready"
fi
variables=()
while [[ "${1:-}" == *=* ]]; do variables+=("$1"); shift; done
status=0
"${as_nobody[@]}" "${variables[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" "$@" </dev/null || status=$?
"${as_nobody[@]}" /usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
