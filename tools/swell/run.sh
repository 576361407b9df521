#!/usr/bin/env bash
# Captures the tower alone, pulled back so its whole outline fits the
# overlay's round window, and measures whether that outline moves with the
# music's bass (tools/swell/measure.py says how).
#
# Everything is done with the keys a person has: Space fast-forwards to the
# tower; F1 opens the parameter panel; Down x15 selects cam_pos_z; Left held
# for 125 s takes the camera from z -12.5 to -25 (0.01 a frame); then the
# meshes are switched off (render_models), the tower off for half a second
# (render_tower: the window without it, the reference) and on again; the
# measure runs over the 22 s after that. About two minutes of rendering.
#
# Usage: bash tools/swell/run.sh [BUILD_DIR] [OUT_DIR]   (defaults build, out/swell)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
out=${2:-out/swell}

export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
fi

keys="2.3-11.3:Space,12:F1"
for i in $(seq 0 14); do keys="$keys,$(awk -v i="$i" 'BEGIN { printf "%.1f", 12.2 + 0.2 * i }'):Down"; done
keys="$keys,15.4-140.4:Left,141:Up,141.2:Up,141.4:Up,141.6:Left,141.8:Up,142:Left,142.6:Right,142.8:F1"

rm -rf "$out"
"$build/kelo" --capture "$out" --fps 10 --seconds 165 --keys "$keys"
# Frame 1423 (142.3 s) has the tower off; from 143 s it is back alone.
/usr/bin/python3 tools/swell/measure.py "$out" 1423 1430 1650
