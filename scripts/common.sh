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
    $SUDO apt-get update -qq
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

# The shipped program is 32-bit. This kernel refuses 32-bit code, but qemu's
# user-mode emulator runs it once registered with binfmt_misc, and wine's
# 32-bit half (wine32:i386) then starts 32-bit Windows programs through it.
# qemu must be 10 or later: with bookworm's 7.2 every 32-bit wine process
# takes over a minute to start. Sets I686_RUNS to 1 when the 32-bit program
# can run; otherwise says why in one line. wine32 is installed only once the
# emulator is registered: without it wine fails with "Exec format error".
I686_RUNS=0
QEMU=/usr/bin/qemu-i386-static
BINFMT=/proc/sys/fs/binfmt_misc
QEMU_I386_RULE=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'$QEMU':OCF'

i386_registered() {
  grep -qx enabled "$BINFMT/qemu-i386" 2>/dev/null && grep -qx "interpreter $QEMU" "$BINFMT/qemu-i386"
}

ensure_i386() {
  if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    echo "The 32-bit program cannot be run here (registering its emulator needs root): testing the 64-bit build only."
    return 0
  fi
  if [ ! -e "$BINFMT/register" ] && ! $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT" 2>/dev/null; then
    echo "The 32-bit program cannot be run here (this kernel has no binfmt_misc): testing the 64-bit build only."
    return 0
  fi
  local qemu
  qemu=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
  if [ -z "$qemu" ] || dpkg --compare-versions "$qemu" lt 1:10; then
    local codename
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    if ! grep -rqs "$codename-backports" /etc/apt/sources.list /etc/apt/sources.list.d; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$codename" | $SUDO tee /etc/apt/sources.list.d/"$codename"-backports.sources >/dev/null
      APT_UPDATED=0
    fi
    echo "Installing: qemu-user-static ($codename-backports)"
    apt_install -t "$codename-backports" qemu-user-static
  fi
  if ! i386_registered; then
    [ -e "$BINFMT/qemu-i386" ] && echo -1 | $SUDO tee "$BINFMT/qemu-i386" >/dev/null
    printf '%s' "$QEMU_I386_RULE" | $SUDO tee "$BINFMT/register" >/dev/null 2>&1
  fi
  if ! i386_registered; then
    echo "The 32-bit program cannot be run here (its emulator could not be registered): testing the 64-bit build only."
    return 0
  fi
  if ! is_installed wine32:i386; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $SUDO dpkg --add-architecture i386
      APT_UPDATED=0
    fi
    echo "Installing: wine32:i386"
    apt_install wine32:i386
  fi
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "The 32-bit program cannot be run here (wine's 32-bit loader does not start): testing the 64-bit build only."
    return 0
  fi
  I686_RUNS=1
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
  export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
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
