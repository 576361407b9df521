#!/usr/bin/env bash
# Runs the whole show headless on the capture clock without writing frames,
# from the loading screen to its own end (the tower and the overlay run out
# at 10,024 s of show time, 2 h 47 min), and judges the closing report:
# resident memory may grow at most 1% after the first minute, no GL error,
# no warning, no tower vertex that is not a finite number.
#
# Usage: bash tools/soak.sh [BUILD_DIR] [-- EXTRA KELO OPTIONS]
#   default build dir: build; the frame rate is 1 (override with
#   KELO_SOAK_FPS), so the show's clocks take one-second steps.
#   Extra options go to kelo as they are, e.g. -- --keys random:7 --seconds 600
# Exits 0 when every goal holds, 1 otherwise; the report is in
# BUILD_DIR/soak.log.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
if [ $# -gt 0 ] && [ "$1" != "--" ]; then build=$1; shift; fi
[ "${1:-}" = "--" ] && shift

export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
fi

log="$build/soak.log"
start=$(date +%s)
set +e
"$build/kelo" --capture "$build/soak" --no-frames --fps "${KELO_SOAK_FPS:-1}" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
echo "soak: exit status $status after $(( $(date +%s) - start )) s of wall time"

health=$(grep '^capture: health:' "$log" | tail -1 || true)
if [ -z "$health" ]; then
  echo "soak: FAILED: no health report"
  exit 1
fi
growth=$(sed -n 's/.*(growth \([-+0-9.]*\)%).*/\1/p' <<<"$health")
gl=$(sed -n 's/.*GL errors \([0-9]*\);.*/\1/p' <<<"$health")
warnings=$(sed -n 's/.*; warnings \([0-9]*\);.*/\1/p' <<<"$health")
nonfinite=$(sed -n 's/.*tower vertices \([0-9]*\)$/\1/p' <<<"$health")
ok=1
[ "$status" = 0 ] || { echo "soak: FAILED: exit status $status"; ok=0; }
if [ -z "$growth" ]; then
  echo "soak: FAILED: the run was shorter than a minute of show time"; ok=0
elif awk -v g="$growth" 'BEGIN { exit !(g > 1.0) }'; then
  echo "soak: FAILED: memory grew by $growth% after the first minute"; ok=0
fi
[ "$gl" = 0 ] || { echo "soak: FAILED: $gl GL errors"; ok=0; }
[ "$warnings" = 0 ] || { echo "soak: FAILED: $warnings warnings"; ok=0; }
[ "$nonfinite" = 0 ] || { echo "soak: FAILED: $nonfinite frames with non-finite tower vertices"; ok=0; }
[ "$ok" = 1 ] && echo "soak: ok (growth $growth%, GL errors 0, warnings 0, non-finite vertices 0)"
[ "$ok" = 1 ]
