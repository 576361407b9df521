#!/usr/bin/python3
"""Draws a spectrogram of a 44.1 kHz stereo 16-bit WAV as a PNG, to look
at the soundtrack: time left to right with a tick at every section start,
frequency bottom to top on a logarithmic scale (30 Hz to 20 kHz) with lines
at 130 Hz (the top of the bands that drive the tower), 1 kHz and 10 kHz.

Usage: /usr/bin/python3 tools/music/spectrogram.py IN.wav OUT.png [WIDTH HEIGHT]
To look at the MP3 itself: ffmpeg -i data/assets/music/kelo.mp3 /tmp/kelo.wav
"""
import sys
import wave

import numpy as np
from PIL import Image

from score import BAR, SECTIONS


def main():
    src, dst = sys.argv[1], sys.argv[2]
    width = int(sys.argv[3]) if len(sys.argv) > 3 else 1800
    height = int(sys.argv[4]) if len(sys.argv) > 4 else 600
    with wave.open(src) as w:
        rate = w.getframerate()
        pcm = np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).reshape(-1, w.getnchannels())
    mono = pcm.astype(np.float64).mean(axis=1) / 32768.0
    n_fft = 4096
    win = np.hanning(n_fft)
    hops = np.linspace(0, len(mono) - n_fft, width).astype(int)
    frames = np.stack([mono[h:h + n_fft] * win for h in hops])
    mag = np.abs(np.fft.rfft(frames, axis=1)) * 2 / win.sum()
    db = 20 * np.log10(np.maximum(mag, 1e-7))
    freqs = np.fft.rfftfreq(n_fft, 1 / rate)
    rows = np.geomspace(30.0, 20000.0, height)
    img_db = np.stack([np.interp(rows, freqs, col) for col in db], axis=1)[::-1]
    v = np.clip((img_db + 100.0) / 100.0, 0, 1)
    # Black, blue, red, yellow, white.
    stops = np.array([[0, 0, 0], [30, 30, 160], [200, 30, 60], [250, 200, 40], [255, 255, 255]], float)
    idx = v * (len(stops) - 1)
    lo = np.floor(idx).astype(int).clip(0, len(stops) - 2)
    frac = (idx - lo)[..., None]
    rgb = stops[lo] * (1 - frac) + stops[lo + 1] * frac
    for f in (130.0, 1000.0, 10000.0):
        y = height - 1 - int(np.searchsorted(rows, f))
        rgb[y, ::4] = (0, 255, 0)
    for _, first, _, _ in SECTIONS:
        x = int(first * BAR / len(mono) * width)
        rgb[::3, x] = (0, 255, 0)
    Image.fromarray(rgb.astype(np.uint8)).save(dst)
    return 0


if __name__ == "__main__":
    sys.exit(main())
