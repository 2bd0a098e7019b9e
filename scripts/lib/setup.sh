# Shared set-up for scripts/test and scripts/demo: Debian packages and the
# builds. Source it; it defines functions only.

KESTREL_PACKAGES=(
  cmake ninja-build g++ python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine64 wine xvfb xauth imagemagick x11-apps x11-utils
  libcpp-httplib-dev libssl-dev zlib1g-dev googletest
  tinyproxy zip unzip p7zip-full curl openssl util-linux pkg-config
  unixodbc tdsodbc libsqliteodbc
  osslsigncode
)

kestrel_install_packages() {
  local missing=()
  for p in "${KESTREL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing Debian packages: ${missing[*]}"
  local sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

kestrel_build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

# Starts a persistent wineserver for a prefix (each process start then costs
# a fraction of a second instead of seconds).
kestrel_wine_prefix() {
  local prefix=$1
  shift
  "$KESTREL_ROOT/scripts/wine-prefix" "$prefix" "$@"
  WINEPREFIX=$prefix wineserver -p
  # The first program in a prefix starts Wine's own services and desktop,
  # which keep the standard handles they inherited: start them here, away
  # from the pipes of ctest (which would wait for them to close).
  WINEPREFIX=$prefix WINEDEBUG=-all wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

kestrel_wine_stop() {
  WINEPREFIX=$1 wineserver -k 2>/dev/null || true
}
