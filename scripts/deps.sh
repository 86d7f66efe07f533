#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need.
# Only what is missing is installed; `apt-get update` runs only when something
# must be installed, so a second run is quick and quiet.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config g++ make
  libsdl2-dev libglew-dev zlib1g-dev liblua5.4-dev libstb-dev
  libogg-dev libvorbis-dev libtheora-dev fonts-dejavu-core libimgui-dev
  libgtest-dev libgmock-dev libbenchmark-dev libglm-dev
  xvfb xauth libgl1-mesa-dri mesa-utils libxtst-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
