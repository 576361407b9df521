#!/usr/bin/env bash
# Installs what is missing, builds kelo and runs the show. With a display it
# opens the start-up dialog; without one it captures the show headless into
# out/frames/ (PNG files) and says where they went.
# Usage: bash tools/run.sh [kelo options...]
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/deps.sh
# The show alone: the tests' and benchmarks' packages are tools/test.sh's.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELO_TESTS=OFF -DKELO_BENCH=OFF >/dev/null
cmake --build build -j2 --target kelo

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/kelo "$@"
fi
echo "run: no display here; capturing 40 seconds of the show headless into out/frames/"
echo "run: (10 frames a second; Space held from 3 s to 8 s: the tower starts at 11 s and is in full view from 20 s)"
rm -rf out/frames
build/kelo --capture out/frames --fps 10 --seconds 40 --keys 3-8:Space "$@"
echo "run: frames are in $(pwd)/out/frames/ (frame_000000.png ...)"
