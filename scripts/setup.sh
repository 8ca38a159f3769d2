#!/usr/bin/env bash
# Installs the Debian packages Cellwright needs. Run as root. Quick when everything is already
# there: apt is only called for missing packages.
#   setup.sh          what building and running need, and what the tests and benchmarks need
#   setup.sh --run    only what building and running need
set -euo pipefail

# Building and running: compiler and build tools, Qt, QScintilla, the editor's font, the
# assembler of the engine's native code (header-only: nothing at run time).
run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqscintilla2-qt6-dev libqt6svg6 fonts-liberation
  librsvg2-bin libxbyak-dev
)
# Tests and benchmarks: GoogleTest and Google Benchmark, the virtual desktop (two window
# managers; a headless Wayland session with XWayland, and Qt's Wayland platform, which Qt would
# choose there) and the tools that drive it (python3-xlib: the monkey test pings the IDE's
# windows), the checks of the installation and the package (lintian), clang for the sanitizer and
# fuzz trees, and the interpreter the benchmarks compare with.
test_packages=(
  desktop-file-utils libxml2-utils shared-mime-info groff-base dpkg-dev lintian
  libgtest-dev libbenchmark-dev
  xvfb xauth openbox metacity xdotool xclip x11-utils wmctrl python3-xlib
  mutter xwayland dbus-daemon qt6-wayland
  clang libclang-rt-14-dev
  beef
)

case "${1:-}" in
  "") packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  --run) packages=("${run_packages[@]}") ;;
  *) echo "usage: $0 [--run]" >&2; exit 2 ;;
esac

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
