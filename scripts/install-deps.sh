#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing beamlink need, when missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config clang-format git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev
  python3-serial
  fonts-dejavu-core
  locales tzdata
)
[ "${1:-}" = "--bench" ] && packages+=(libbenchmark-dev)
[ "${1:-}" = "--screenshots" ] && packages+=(xvfb xauth x11-apps imagemagick)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
