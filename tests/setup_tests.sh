#!/usr/bin/env bash
# The 32-bit set-up's decisions, with the system's answers stubbed: what the
# probe met mapped to what the scripts do, the emulator entry made and taken
# back, an earlier entry named, the backports source and its key.
cd "$(dirname "$0")/.."
source scripts/common.sh
set +e
passed=0 failed=0
check() {   # check NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
  fi
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Stubs: the machine as each case has it.
SUDO=""
id() { echo 0; }
is_installed() { return 0; }
qemu_version() { echo 10; }
WINE32=true
probe_answers=()
i386_probe() { echo "${probe_answers[0]}"; probe_answers=("${probe_answers[@]:1}"); }
registered=0
register_emulator() { registered=1; }

probe_answers=("other: Permission denied")
setup_i386
check "other failure: no registration" "1 0" "$? $registered"
check "other failure: the reason" "the 32-bit probe in build/ could not run (Permission denied)" "$I386_WHY"
probe_answers=(format)
setup_i386
check "format: registered" "0 1" "$? $registered"

# The entry made, and taken back when 32-bit programs still do not run through it.
unset -f register_emulator
source <(sed -n '/^register_emulator()/,/^}/p' scripts/common.sh)
BINFMT=$scratch/binfmt
mkdir -p "$BINFMT" && : > "$BINFMT/register"
probe_answers=("other: the probe ended with exit code 139")
register_emulator
check "useless entry: refused" 1 $?
check "useless entry: written, then removed" "$QEMU_I386_RULE|-1" "$(cat "$BINFMT/register")|$(cat "$BINFMT/$BINFMT_NAME")"
rm -f "$BINFMT/$BINFMT_NAME" && : > "$BINFMT/register"
probe_answers=(runs)
register_emulator
check "working entry: kept" "0|" "$?|$(cat "$BINFMT/$BINFMT_NAME" 2>/dev/null)"

# An earlier version's entry is named; Debian's own is not.
printf 'enabled\ninterpreter /usr/bin/qemu-i386\nflags: OCF\noffset 0\n' > "$BINFMT/qemu-i386"
check "earlier entry named" 1 "$(note_old_emulator_entry | grep -c 'qemu-i386 (flags: OCF)')"
printf 'enabled\ninterpreter /usr/libexec/qemu-binfmt/i386-binfmt-P\nflags: POCF\n' > "$BINFMT/qemu-i386"
check "Debian's entry left unnamed" "" "$(note_old_emulator_entry)"

# The backports source copies the mirror's key; one that apt rejects goes again.
APT_DIR=$scratch/apt
mkdir -p "$APT_DIR/sources.list.d"
printf 'Types: deb\nURIs: http://mirror.invalid/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/mirror.gpg\n' \
  > "$APT_DIR/sources.list.d/debian.sources"
check "mirror and key of a stanza" "http://mirror.invalid/debian /usr/share/keyrings/mirror.gpg" "$(debian_mirror bookworm)"
mv "$APT_DIR/sources.list.d/debian.sources" "$scratch/debian.sources"
echo 'deb [arch=amd64 signed-by=/k/list.gpg] http://list.invalid/debian bookworm main' > "$APT_DIR/sources.list"
check "mirror and key of a one-line source" "http://list.invalid/debian /k/list.gpg" "$(debian_mirror bookworm)"
rm "$APT_DIR/sources.list" && mv "$scratch/debian.sources" "$APT_DIR/sources.list.d/"
apt-get() { echo "E: The repository 'http://mirror.invalid/debian bookworm-backports Release' is not signed."; return 100; }
said=$(ensure_backports bookworm)
check "rejected source: refused" 1 $?
check "rejected source: removed, with a line" "no|1" \
  "$([ -e "$APT_DIR/sources.list.d/$BACKPORTS_SOURCE" ] && echo yes || echo no)|$(grep -c "rejected it (E: The repository 'http://mirror.invalid/debian bookworm-backports Release' is not signed.)" <<< "$said")"
apt-get() { echo "E: Failed to fetch http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"; return 100; }
ensure_backports bookworm >/dev/null
check "another source's error: ours kept" "0|yes" "$?|$([ -e "$APT_DIR/sources.list.d/$BACKPORTS_SOURCE" ] && echo yes || echo no)"
rm -f "$APT_DIR/sources.list.d/$BACKPORTS_SOURCE"
apt-get() { return 0; }
ensure_backports bookworm
check "accepted source: kept, with the key" "0|Signed-By: /usr/share/keyrings/mirror.gpg" \
  "$?|$(grep Signed-By "$APT_DIR/sources.list.d/$BACKPORTS_SOURCE")"

# The real probe: in an ordinary folder the kernel runs it or refuses its
# format, nothing else; on a noexec mount, where one can be made, it cannot run.
unset -f i386_probe
source <(sed -n '/^i386_probe()/,/^}/p' scripts/common.sh)
mkdir -p "$scratch/plain"
outcome=$(cd "$scratch/plain" && i386_probe)
check "probe in an ordinary folder" "runs or format" "$(case $outcome in runs|format) echo "runs or format" ;; *) echo "$outcome" ;; esac)"
if mkdir -p "$scratch/noexec" && mount -t tmpfs -o noexec tmpfs "$scratch/noexec" 2>/dev/null; then
  check "probe on a noexec mount" "other: Permission denied" "$(cd "$scratch/noexec" && i386_probe)"
  umount "$scratch/noexec"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
