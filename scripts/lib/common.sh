# Shared by scripts/run and scripts/test: installs what is missing and builds.
# shellcheck shell=bash

VF_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
VF_BUILD="$VF_ROOT/build"

# What building, running and testing need.
VF_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-translations-l10n
  libicu-dev
  fonts-ipafont-gothic
  fonts-symbola  # the control pictures (␁) the tooltips name control characters by
  desktop-file-utils
  mosquitto mosquitto-clients libmosquitto-dev
  openssl systemd  # the tests make a CA of their own; systemd-analyze rates the service
  xvfb openbox     # tst_window_manager runs the window under a real window manager
  chromium chromium-driver  # the fleet console's tests drive a real browser
)
# What only scripts/screenshot and bench_program_x need besides: a virtual X
# display, an X client that watches it, a hand at its keys, a camera.
VF_DISPLAY_PACKAGES=(
  xvfb xauth x11-utils imagemagick xdotool python3
)

vf_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs every package of VF_PACKAGES and of the arrays named as arguments
# that is not installed yet.
vf_install_missing() {
  local missing=()
  local pkg list
  local -a wanted=("${VF_PACKAGES[@]}")
  for list in "$@"; do
    local -n extra="$list"
    wanted+=("${extra[@]}")
    unset -n extra
  done
  for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  # npm installs MQTT.js for the fleet console at build time. A Node.js of
  # the machine's own is kept; Debian's comes only where there is none.
  if ! command -v npm >/dev/null; then missing+=(nodejs npm); fi
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    vf_as_root apt-get update -q
    vf_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

# vf_configure DIR [CMAKE_ARGS...]: configures a build folder with Ninja. A
# folder made earlier with another generator loses its cache first (cmake
# refuses to switch generators in place); its other contents are rebuilt.
vf_configure() {
  local dir="$1"
  shift
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$dir/CMakeCache.txt"; then
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  fi
  cmake -S "$VF_ROOT" -B "$dir" -G Ninja "$@"
}

# The program's build in build/ (scripts/run).
vf_build() {
  vf_configure "$VF_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$VF_BUILD" -j"$(nproc)"
}
