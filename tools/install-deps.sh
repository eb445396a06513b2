#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the benchmarks,
# `make run`, `make deb` (dpkg-dev, through build-essential) and the sample
# generators (python3-pil, run with /usr/bin/python3) need; the screenshots
# of the README are taken under xvfb-run. tools/check-deps.py checks this
# list against what a configured build found. Only missing packages are
# installed; the package lists are refreshed once, and only when something
# is missing.
# usage: tools/install-deps.sh [--list]   (--list prints the packages, one a line)
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev
  # Found by CMake's OpenGL search, through Qt6Gui, when present: installed so
  # that every machine configures the same build.
  libegl-dev libglu1-mesa-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libgeographiclib-dev
  # Screenshot decoding of the map library builder (skips the rows it does not read)
  libjpeg62-turbo-dev
  fonts-noto-cjk
  xvfb xauth
  python3
  python3-pil
  # Fuzz targets (make fuzz): clang with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
  # Peer programs for the transfer interoperability tests: sx rx sb rb sz rz
  lrzsz
  # Kermit peers of the same tests: C-Kermit and G-Kermit
  ckermit gkermit
  # Reference terminal for the terminal benchmark only: the build skips it when absent
  libvterm-dev
  # Test-only peers of the GPS input: gpsd run by gpsfake, and GPX read and
  # written by gpsbabel
  gpsd gpsd-clients gpsbabel
)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${PACKAGES[@]}"
  exit 0
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
