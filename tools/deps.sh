#!/usr/bin/env bash
# Installs the Debian 12 packages kelo needs. Safe to run again: what is
# already installed is skipped.
#
# Usage: bash tools/deps.sh [--test] [--list]
#   (none)   what the build and the show need: compiler, CMake, the
#            libraries' development packages, Mesa's GL drivers
#   --test   also what the tests need: GoogleTest, Google Benchmark, a real
#            X server with a window manager, key events and screenshots for
#            the desktop tests, clang for the fuzz targets, ffmpeg for the
#            video tests
#   --list   print the package names, one a line, instead of installing
#            (tools/check_deps.sh reads the list this way)
#
# tools/check_deps.sh proves the list: every file the configured build found
# must come from one of these packages or from what they depend on.
set -euo pipefail

build_packages=(
  cmake g++ make pkg-config
  libsdl2-dev libepoxy-dev libfreetype-dev libstb-dev
  libmpg123-dev libkissfft-dev libpng-dev zlib1g-dev
  # glslang's CMake package names its command-line tools, and SPIRV-Cross's
  # CMake package files come only with the C library's development package.
  glslang-dev glslang-tools spirv-cross libspirv-cross-c-shared-dev
  # The GL the show draws with: Mesa's drivers (llvmpipe when there is no GPU).
  libgl1-mesa-dri libegl-mesa0 libglx-mesa0
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb openbox xdotool imagemagick x11-utils
  clang-14 libclang-rt-14-dev
  ffmpeg
)

with_tests=0
list_only=0
for arg in "$@"; do
  case "$arg" in
    --test) with_tests=1 ;;
    --list) list_only=1 ;;
    *) echo "deps: unknown option $arg (usage: deps.sh [--test] [--list])" >&2; exit 2 ;;
  esac
done

packages=("${build_packages[@]}")
[ "$with_tests" = 1 ] && packages+=("${test_packages[@]}")

if [ "$list_only" = 1 ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: everything is installed"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
