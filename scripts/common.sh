# Shared by scripts/test, scripts/run and scripts/bench: packages, builds, wine.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

PACKAGES=(cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest
          wine64 xvfb xauth imagemagick x11-apps python3 bc)

# Installs only what is missing, so a second run needs no network.
ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  # wine32 would make wine fail here: this host runs no 32-bit code.
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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
start_wine() {
  export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # A server left from an earlier run may hold a desktop without a display.
  stop_wine
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
