#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need,
# when they are missing. Non-interactive; uses sudo when not root.
set -euo pipefail

packages=(
  cmake g++ clang libomp-dev make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri libimgui-dev libgtk-3-dev libx11-dev
  fonts-dejavu-core
  xvfb xauth xdotool imagemagick python3 parallel
  libmeshoptimizer-dev libnanoflann-dev
  libopen3d-dev
  nlohmann-json3-dev libssl-dev
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
