# Shared by scripts/test, scripts/run and scripts/bench: packages, builds, wine.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

PACKAGES=(cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest
          wine64 xvfb xauth imagemagick x11-apps python3 bc locales)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Ends the run with one line naming the step that failed and why; under
# set -e a failing command would end it without a word.
fail_step() {
  echo "$1 failed: $2" >&2
  exit 1
}

# apt-get, quiet; the index is updated once per run, when something is missing.
APT_UPDATED=0
apt_install() {
  if [ "$APT_UPDATED" = 0 ]; then
    $SUDO apt-get update -qq || echo "apt-get update failed: installing from the package lists at hand."
    APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# Installs only what is missing, so a second run needs no network.
ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    is_installed "$p" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt_install "${missing[@]}" || fail_step "Installing packages" "apt-get could not install ${missing[*]}"
  fi
}

# The tests of code page 932 run wine with LANG=ja_JP.UTF-8, a locale that
# must be generated once.
ensure_japanese_locale() {
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
  echo "Generating the locale ja_JP.UTF-8 (first run only)..."
  $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 ||
    fail_step "Generating the locale ja_JP.UTF-8" "localedef could not make it"
}

# The shipped program is 32-bit. Wine's 32-bit half (wine32:i386) runs it
# where the kernel runs 32-bit x86 programs itself. Where it cannot, qemu's
# user-mode emulator, registered with binfmt_misc under a name of our own, runs
# them instead; qemu must be 10 or later (bookworm's 7.2 takes over a minute to
# start each 32-bit wine process), from the backports suite of the mirror that
# apt's sources already name. Each step changes the machine only when what it
# makes is missing, and any failure ends in the 64-bit-only run with one line
# saying why. Sets I686_RUNS to 1 when the 32-bit program can run.
I686_RUNS=0
BINFMT=/proc/sys/fs/binfmt_misc
BINFMT_NAME=drossweeper-i386
QEMU_I386=/usr/bin/qemu-i386
# Any 32-bit x86 ELF executable; no flags: wine needs none of them (and C
# would hand a setuid program's credentials to the emulator).
QEMU_I386_RULE=":$BINFMT_NAME:M::"'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'":"'\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'":$QEMU_I386:"
# The smallest 32-bit x86 Linux program: it exits with code 42.
I386_PROBE='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5f\x00\x00\x00\x5f\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xb3\x2a\xcd\x80'

APT_DIR=/etc/apt
WINE32=/usr/lib/wine/wine
# The entry that an earlier version of these scripts registered.
OLD_BINFMT_NAME=qemu-i386

# What running a 32-bit x86 program meets here, by itself or through a
# registered emulator: "runs", "format" (the kernel cannot execute the format,
# ENOEXEC), or "other: REASON" (a noexec mount, a full disk, ...).
i386_probe() {
  local probe=$PWD/build/i386-probe reason code
  reason=$( { mkdir -p build && printf "$I386_PROBE" > "$probe" && chmod +x "$probe"; } 2>&1) ||
    { echo "other: the probe could not be written to build/ (${reason:-no reason given})"; return; }
  # The shell reports 126 for every kind of exec failure, and perl's exec, like
  # execvp, hands a file the kernel refuses to /bin/sh: execv itself tells them apart.
  reason=$(python3 -c 'import errno, os, sys
try:
    os.execv(sys.argv[1], sys.argv[1:])
except OSError as error:
    sys.stderr.write(error.strerror)
    sys.exit(3 if error.errno == errno.ENOEXEC else 4)' "$probe" 2>&1 >/dev/null)
  code=$?
  case $code in
    42) echo runs ;;
    3) echo format ;;
    4) echo "other: $reason" ;;
    *) echo "other: the probe ended with exit code $code" ;;
  esac
}

i386_runs() {
  [ "$(i386_probe)" = runs ]
}

# What the set-up does after the probe: use what runs, register the emulator
# only where the kernel cannot execute the format, skip on any other failure.
i386_next_step() {
  case $1 in
    runs) echo use ;;
    format) echo register ;;
    *) echo skip ;;
  esac
}

# An entry left by an earlier version of these scripts: it points at the qemu
# they installed and has flags. It is named, never changed.
note_old_emulator_entry() {
  local entry=$BINFMT/$OLD_BINFMT_NAME
  [ -f "$entry" ] && grep -qx "interpreter $QEMU_I386" "$entry" && grep -qE '^flags: *[A-Z]+' "$entry" &&
    echo "Note: the binfmt_misc entry $OLD_BINFMT_NAME ($(grep '^flags:' "$entry")) from an earlier version of these scripts runs 32-bit programs here; docs/testing.md says how to remove it."
  return 0
}

# The URI of the Debian archive that apt's sources name for this release, and
# the key file its stanza is signed by, if it names one: "URI [KEYFILE]".
debian_mirror() {
  local codename=$1 f
  for f in "$APT_DIR"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v c="$codename" '
      function stanza() { if (deb && suite && uri != "") { print uri (key != "" ? " " key : ""); found = 1; exit }
                          deb = suite = 0; uri = key = "" }
      /^[ \t]*$/ { stanza(); next }
      tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == c) suite = 1 }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "signed-by:" { key = $2 }
      END { if (!found) stanza() }' "$f"
  done
  cat "$APT_DIR"/sources.list "$APT_DIR"/sources.list.d/*.list 2>/dev/null | awk -v c="$codename" '
    $1 == "deb" { i = 2; key = ""
                  if ($i ~ /^\[/) { for (; i <= NF; i++) { if (match($i, /signed-by=[^] ]*/)) key = substr($i, RSTART + 10, RLENGTH - 10)
                                                          if ($i ~ /\]$/) break }
                                    i++ }
                  if ($(i + 1) == c) print $i (key != "" ? " " key : "") }'
}

# Adds the backports suite of the machine's own Debian mirror, unless apt knows it already.
BACKPORTS_SOURCE=drossweeper-backports.sources
ensure_backports() {
  local codename=$1 mirror key file output
  grep -rqsE "^[^#]*[[:space:]]$codename-backports([[:space:]]|$)" "$APT_DIR"/sources.list "$APT_DIR"/sources.list.d && return 0
  read -r mirror key < <(debian_mirror "$codename" | head -n 1)
  [ -n "$mirror" ] || { I386_WHY="apt's sources name no Debian mirror for $codename"; return 1; }
  file=$APT_DIR/sources.list.d/$BACKPORTS_SOURCE
  printf '# Added by Drossweeper'"'"'s scripts for qemu 10; remove this file to undo.\nTypes: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\n%s' \
    "$mirror" "$codename" "${key:+Signed-By: $key
}" | $SUDO tee "$file" >/dev/null ||
    { I386_WHY="the backports source could not be written"; return 1; }
  # A source that apt rejects would break every later update: it goes again.
  # An error of another source (a mirror in mid-sync, say) is not ours: the
  # update is tried once more, and what it fetched is used.
  if ! output=$($SUDO apt-get update -qq 2>&1); then
    local errors
    errors=$(printf '%s\n' "$output" | grep -E '^(E|W):')
    if [ -z "$errors" ] || grep -q -- "$codename-backports" <<< "$errors"; then
      $SUDO rm -f "$file"
      echo "Removed $file again: apt-get update rejected it ($(grep -m1 -- "$codename-backports" <<< "$errors" || echo "${errors:-exit code not 0}" | head -n 1))."
      I386_WHY="apt could not use the backports suite of $mirror"; return 1
    fi
    output=$($SUDO apt-get update -qq 2>&1) ||
      echo "Note: apt-get update failed for another source ($(printf '%s\n' "$output" | grep -m1 -E '^(E|W):')); going on with the lists it has."
  fi
  APT_UPDATED=1
}

qemu_version() {
  "$QEMU_I386" --version 2>/dev/null | sed -n 's/.*version \([0-9][0-9]*\).*/\1/p' | head -n 1
}

# Makes the kernel run 32-bit x86 programs through qemu; false with I386_WHY set.
register_emulator() {
  local codename version
  if [ ! -e "$BINFMT/register" ] && ! $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT" 2>/dev/null; then
    I386_WHY="this kernel runs no 32-bit programs and has no binfmt_misc"; return 1
  fi
  version=$(qemu_version)
  if [ -z "$version" ] || [ "$version" -lt 10 ]; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    ensure_backports "$codename" || return 1
    echo "Installing: qemu-user ($codename-backports)"
    apt_install -t "$codename-backports" qemu-user ||
      { I386_WHY="apt could not install qemu-user from $codename-backports"; return 1; }
    version=$(qemu_version)
    [ -n "$version" ] && [ "$version" -ge 10 ] ||
      { I386_WHY="qemu-i386 is version ${version:-unknown}, 10 or later is needed"; return 1; }
  fi
  # Our own entry only; another package's registrations stay as they are.
  local made=0 outcome
  if [ ! -e "$BINFMT/$BINFMT_NAME" ]; then
    printf '%s' "$QEMU_I386_RULE" | $SUDO tee "$BINFMT/register" >/dev/null 2>&1 ||
      { I386_WHY="the emulator could not be registered with binfmt_misc"; return 1; }
    made=1
  fi
  outcome=$(i386_probe)
  [ "$outcome" = runs ] && return 0
  # An entry that does not help goes again, so that nothing else is sent to it.
  [ "$made" = 1 ] && echo -1 | $SUDO tee "$BINFMT/$BINFMT_NAME" >/dev/null 2>&1
  I386_WHY="32-bit programs do not run even through the registered emulator (${outcome#other: })"; return 1
}

setup_i386() {
  local outcome
  note_old_emulator_entry
  outcome=$(i386_probe)
  if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    [ "$outcome" = runs ] && is_installed wine32:i386 && return 0
    I386_WHY="setting it up needs root"; return 1
  fi
  case $(i386_next_step "$outcome") in
    use) ;;
    register) register_emulator || return 1 ;;
    *) I386_WHY="the 32-bit probe in build/ could not run (${outcome#other: })"; return 1 ;;
  esac
  if ! is_installed wine32:i386; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $SUDO dpkg --add-architecture i386 || { I386_WHY="dpkg could not add the i386 architecture"; return 1; }
      APT_UPDATED=0
    fi
    echo "Installing: wine32:i386"
    apt_install wine32:i386 || { I386_WHY="apt could not install wine32:i386"; return 1; }
  fi
  "$WINE32" --version >/dev/null 2>&1 || { I386_WHY="wine's 32-bit loader does not start"; return 1; }
}

ensure_i386() {
  I386_WHY=""
  if setup_i386; then
    I686_RUNS=1
  else
    echo "The 32-bit program cannot be run here ($I386_WHY): testing the 64-bit build only."
  fi
}

# build_target ARCH [cmake options...]: configures and builds build/ARCH.
build_target() {
  local arch=$1; shift
  cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/$arch-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null || fail_step "Configuring build/$arch" "cmake said why above"
  cmake --build "build/$arch" -j"$(nproc)" || fail_step "Building build/$arch" "the compiler said why above"
}

# A private prefix under build/ and one persistent wineserver, ended on exit.
# A prefix made before wine32 was installed has no 32-bit half (it answers
# 32-bit programs with "could not load kernel32.dll"), so it is made again.
start_wine() {
  # Wine's menu builder, which runs after every shortcut written, also writes
  # wine's own shell folders into the registry keys that the Links tests set.
  export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # A server left from an earlier run may hold a desktop without a display.
  stop_wine
  if [ "$I686_RUNS" = 1 ] && [ -f "$WINEPREFIX/.drossweeper-ready" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/.drossweeper-ready" ]; then
    echo "Creating the wine prefix (first run only)..."
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    # One virtual desktop: every window inside it, drawn with its frame, and no
    # waits for a window manager that Xvfb does not have.
    local output
    output=$("$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f 2>&1) &&
      output=$("$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f 2>&1) ||
      fail_step "Setting up the wine prefix" "wine's reg add of the virtual desktop said: $(printf '%s' "$output" | tail -n 1)"
    touch "$WINEPREFIX/.drossweeper-ready" || fail_step "Setting up the wine prefix" "$WINEPREFIX cannot be written"
    stop_wine
  fi
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null &
  trap stop_wine EXIT
}

stop_wine() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
}
