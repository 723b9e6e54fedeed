# Shared by scripts/test, scripts/run and scripts/bench: packages, builds, wine.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

PACKAGES=(cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest
          wine64 xvfb xauth imagemagick x11-apps python3 bc)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
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
    apt_install "${missing[@]}"
  fi
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

# True when this kernel runs a 32-bit x86 program, by itself or through a registered emulator.
i386_runs() {
  local probe=$PWD/build/i386-probe
  mkdir -p build && printf "$I386_PROBE" > "$probe" && chmod +x "$probe" || return 1
  "$probe" >/dev/null 2>&1
  [ $? -eq 42 ]
}

# The URI of the Debian archive that apt's sources name for this release.
debian_mirror() {
  local codename=$1 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v c="$codename" '
      function stanza() { if (deb && suite && uri != "") { print uri; found = 1; exit } deb = suite = 0; uri = "" }
      /^[ \t]*$/ { stanza(); next }
      tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == c) suite = 1 }
      tolower($1) == "uris:" { uri = $2 }
      END { if (!found) stanza() }' "$f"
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk -v c="$codename" '
    $1 == "deb" { i = 2; if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ } if ($(i + 1) == c) print $i }'
}

# Adds the backports suite of the machine's own Debian mirror, unless apt knows it already.
ensure_backports() {
  local codename=$1 mirror
  grep -rqsE "^[^#]*[[:space:]]$codename-backports([[:space:]]|$)" /etc/apt/sources.list /etc/apt/sources.list.d && return 0
  mirror=$(debian_mirror "$codename" | head -n 1)
  [ -n "$mirror" ] || { I386_WHY="apt's sources name no Debian mirror for $codename"; return 1; }
  printf '# Added by Drossweeper'"'"'s scripts for qemu 10; remove this file to undo.\nTypes: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\n' \
    "$mirror" "$codename" | $SUDO tee /etc/apt/sources.list.d/drossweeper-backports.sources >/dev/null ||
    { I386_WHY="the backports source could not be written"; return 1; }
  APT_UPDATED=0
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
  if [ ! -e "$BINFMT/$BINFMT_NAME" ]; then
    printf '%s' "$QEMU_I386_RULE" | $SUDO tee "$BINFMT/register" >/dev/null 2>&1 ||
      { I386_WHY="the emulator could not be registered with binfmt_misc"; return 1; }
  fi
  i386_runs || { I386_WHY="the kernel runs no 32-bit programs, not even through the registered emulator"; return 1; }
}

setup_i386() {
  if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    i386_runs && is_installed wine32:i386 && return 0
    I386_WHY="setting it up needs root"; return 1
  fi
  i386_runs || register_emulator || return 1
  if ! is_installed wine32:i386; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $SUDO dpkg --add-architecture i386 || { I386_WHY="dpkg could not add the i386 architecture"; return 1; }
      APT_UPDATED=0
    fi
    echo "Installing: wine32:i386"
    apt_install wine32:i386 || { I386_WHY="apt could not install wine32:i386"; return 1; }
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || { I386_WHY="wine's 32-bit loader does not start"; return 1; }
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
        -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "build/$arch" -j"$(nproc)"
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
    "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
    touch "$WINEPREFIX/.drossweeper-ready"
    stop_wine
  fi
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null &
  trap stop_wine EXIT
}

stop_wine() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
}
