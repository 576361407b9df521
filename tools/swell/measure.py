"""Does the tower's outline move with the music's bass? Reads a capture made
by tools/swell/run.sh: frames with the tower alone, pulled back so its
outline fits the overlay's window, and one frame of the window without it.

The wedges that read bands 0 to 2 sit in rows 9-11 (angles 105-180 degrees)
and rows 20-22 (0-45 degrees) of the tower's 24. With the camera at z -25
(60-degree field, looking down at the axis from y 5) rows 20 and 21 fall on
screen rows 107-166 and rows 10-11 on 409-435. Per frame: bands 0-2 of the
spectrum as the show takes it (the 1024 samples of audio.wav ending where
the frame starts, periodic Hann, 2|X| / sum of the window), and the tower's
silhouette area in a band of screen rows against the window-only frame.
Both series are high-passed (a five-frame moving average taken off) so the
slow spin and waves drop out; what is left is compared by correlation, over
the whole run and over four-second windows. A wedge swelling straight
towards or away from the camera hardly changes the silhouette, so a band
follows the bass in the stretches where its bass wedges turn past the
tower's sides, as the spin (0.2 radians a second) brings them there.

Usage: /usr/bin/python3 tools/swell/measure.py DIR REFERENCE_FRAME FIRST LAST
"""
import sys
import wave

import numpy as np
from PIL import Image

RATE = 44100
FPS = 10
# Screen rows of tower rows 20-21 and of rows 10-11, x across the window.
BASS_ROWS = (120, 160)
CONTROL_ROWS = (400, 440)
WINDOW_X = (390, 960)


def frame(d, k):
    return np.asarray(Image.open("%s/frame_%06d.png" % (d, k)).convert("RGB")).astype(int)


def bass_levels(d, frames):
    w = wave.open(d + "/audio.wav")
    pcm = np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).reshape(-1, 2).astype(float) / 32768
    mono = (pcm[:, 0] + pcm[:, 1]) / 2
    window = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(1024) / 1024)
    out = []
    for k in frames:
        end = k * RATE // FPS
        bands = np.minimum(1, 2 * np.abs(np.fft.rfft(mono[end - 1024:end] * window)[1:513]) / window.sum())
        out.append(bands[0:3].sum())
    return np.array(out)


def high_pass(x, n=5):
    return (x - np.convolve(x, np.ones(n) / n, "same"))[n // 2 + 1:-(n // 2 + 1)]


def r(a, b):
    return np.corrcoef(high_pass(a), high_pass(b))[0, 1]


def main():
    d, ref_k, first, last = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    ref = frame(d, ref_k)
    frames = list(range(first, last))
    bass = bass_levels(d, frames)
    x0, x1 = WINDOW_X
    area, control = [], []
    for k in frames:
        tower = np.abs(frame(d, k) - ref).sum(2) > 30
        area.append(tower[BASS_ROWS[0]:BASS_ROWS[1], x0:x1].sum())
        control.append(tower[CONTROL_ROWS[0]:CONTROL_ROWS[1], x0:x1].sum())
    area, control = np.array(area, float), np.array(control, float)
    print("bands 0-2: %.2f to %.2f" % (bass.min(), bass.max()))
    print("%.1f s: rows 20-21 r = %.2f, rows 10-11 r = %.2f" % (len(frames) / FPS, r(area, bass), r(control, bass)))
    step = 4 * FPS
    for t in range(0, len(frames) - step + 1, step):
        s = slice(t, t + step)
        print("  %5.1f-%5.1f s: rows 20-21 r = %5.2f (area swing %4d px), rows 10-11 r = %5.2f" %
              (frames[t] / FPS, (frames[t] + step) / FPS, r(area[s], bass[s]), area[s].max() - area[s].min(),
               r(control[s], bass[s])))


if __name__ == "__main__":
    main()
