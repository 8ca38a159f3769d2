#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Cellwright need.
# Run as root. Quick when everything is already there: apt is only called for missing packages.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqscintilla2-qt6-dev libqt6svg6 fonts-liberation
  xvfb xauth openbox xdotool xclip x11-utils
  librsvg2-bin desktop-file-utils libxml2-utils shared-mime-info groff-base dpkg-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  beef
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
