#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, tests and runs with.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libusb-1.0-0-dev libuvc-dev libjpeg62-turbo-dev
  qtbase5-dev fonts-font-awesome fonts-wqy-microhei
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool
  dpkg-dev file python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
