# Shared by scripts/run and scripts/test: installs what is missing and builds.
# shellcheck shell=bash

VF_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
VF_BUILD="$VF_ROOT/build"

VF_PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-translations-l10n
  libicu-dev
  fonts-ipafont-gothic
  xvfb xauth x11-utils imagemagick xdotool
  python3 desktop-file-utils
  mosquitto mosquitto-clients libmosquitto-dev
)

vf_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

vf_install_missing() {
  local missing=()
  local pkg
  for pkg in "${VF_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    vf_as_root apt-get update -q
    vf_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

vf_build() {
  cmake -S "$VF_ROOT" -B "$VF_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$VF_BUILD" -j"$(nproc)"
}
