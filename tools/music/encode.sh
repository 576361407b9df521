#!/usr/bin/env bash
# Renders the soundtrack and encodes it into data/assets/music/kelo.mp3, the
# MUSIC resource 160 that the executable carries, then measures the result.
#
# Needs (Debian 12): apt-get install python3-numpy python3-scipy lame ffmpeg
# The build never runs this: the MP3 is committed.
#
# Usage: bash tools/music/encode.sh [MASTER.wav]   (also keep the 16-bit master there)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$root/data/assets/music/kelo.mp3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 "$here/generate.py" "$work/kelo.wav"

# 320 kbit/s constant bit rate, 44.1 kHz joint stereo MPEG-1 Layer III at the
# highest quality setting. LAME puts its Info frame (with the encoder delay
# and padding that a gapless decoder removes) first, and --id3v2-only writes
# an ID3v2.3 tag with the title and artist and no ID3v1 tag at the end.
mkdir -p "$(dirname "$out")"
lame --quiet -b 320 --cbr -q 0 --resample 44.1 -m j \
  --id3v2-only --id3v2-latin1 --tt "KELO 2008" --ta "V.E.X.A." --tl "kelo" --ty 2008 \
  "$work/kelo.wav" "$out"

ls -l "$out"
# Integrated loudness and true peak of what the show will decode.
ffmpeg -hide_banner -nostats -i "$out" -af ebur128=peak=true -f null - 2>&1 |
  sed -n '/Summary:/,$p'
if [ -n "${1:-}" ]; then cp "$work/kelo.wav" "$1"; fi
