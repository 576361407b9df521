#!/usr/bin/python3
"""Renders the kelo soundtrack to a 16-bit 44.1 kHz stereo WAV file.

Usage: /usr/bin/python3 tools/music/generate.py OUT.wav [--report]

The same seed gives the same file. encode.sh turns the WAV into the MP3 that
the executable carries. --report prints each stem's loudness and what the
show's lowest spectrum bands do over a few bars.
"""
import sys
import wave

import numpy as np

import master
from arrange import TAIL, arrange, sidechain
from score import BAR, LENGTH, SECTIONS
from synth import RATE, convolve_stereo, high_shelf, highpass, pingpong, reverb_ir

SEED = 2008

# Stem: (gain, side-chain depth, reverb send, delay send). The kick and the
# bass carry the floor; the pads pump under the kick; lead and arpeggio get
# echoes on the dotted eighth, which is three sixteenths.
MIX = {
    "kick": (0.85, 0.0, 0.00, 0.0),
    "bass": (0.80, 0.85, 0.00, 0.0),
    "sub": (0.30, 0.0, 0.00, 0.0),
    "clap": (0.55, 0.0, 0.18, 0.0),
    "snare": (0.40, 0.0, 0.20, 0.0),
    "toms": (0.50, 0.0, 0.15, 0.0),
    "hats": (0.80, 0.15, 0.03, 0.0),
    "open": (0.52, 0.15, 0.05, 0.0),
    "ride": (0.22, 0.0, 0.05, 0.0),
    "crash": (0.35, 0.0, 0.10, 0.0),
    "impact": (0.60, 0.0, 0.10, 0.0),
    "riser": (0.30, 0.0, 0.25, 0.0),
    "pad": (0.36, 0.6, 0.22, 0.0),
    "arp": (0.30, 0.45, 0.15, 0.22),
    "lead": (0.38, 0.35, 0.25, 0.25),
    "lead_soft": (0.38, 0.0, 0.45, 0.30),
    "stab": (0.60, 0.5, 0.20, 0.15),
}
DELAY_STEPS = 3

# Stereo width of the wide stems: their side signal (L - R) scaled up, the
# middle left alone. Kick, bass and claps stay in the middle where a club
# system (and the tower's bands) want them.
WIDTH = {"pad": 1.8, "arp": 1.4, "stab": 1.5, "lead": 1.2, "lead_soft": 1.5}


def render():
    rng = np.random.default_rng(SEED)
    stems = arrange(rng)
    n = LENGTH + TAIL
    dry = np.zeros((n, 2))
    reverb_in = np.zeros((n, 2))
    delay_in = np.zeros((n, 2))
    pumps = {}
    for name, track in stems.tracks.items():
        gain, depth, rv, dl = MIX[name]
        if depth > 0:
            if depth not in pumps:
                pumps[depth] = sidechain(stems.kicks, n, depth)
            track = track * pumps[depth][:, None]
        track = track * gain
        if name in WIDTH:
            mid = 0.5 * (track[:, 0] + track[:, 1])
            side = 0.5 * (track[:, 0] - track[:, 1]) * WIDTH[name]
            track = np.stack([mid + side, mid - side], axis=1)
        stems.tracks[name] = track
        dry += track
        reverb_in += track * rv
        delay_in += track * dl
    echoes = pingpong(delay_in, DELAY_STEPS * (BAR / 16) / RATE, 0.45)[:n] * 0.8
    reverb = convolve_stereo(reverb_in + echoes * 0.3, reverb_ir(3.0, 2.4, rng))[:n]
    # The reverb ducks under the kick too, or it fills the gaps that make the
    # groove.
    reverb *= sidechain(stems.kicks, n, 0.5)[:, None]
    mix = dry + echoes + reverb * 0.5
    mix = highpass(mix, 22.0)
    # A little air on the whole mix: the synths are filtered warm, and the
    # top octaves would otherwise sit a few decibels under a typical dance
    # track's balance.
    mix = high_shelf(mix, 3500.0, 2.5)
    # Fold the tail back onto the start: what rings past the last bar sounds
    # under the first bars, exactly as it would if the track went round again.
    loop = mix[:LENGTH].copy()
    loop[:TAIL] += mix[LENGTH:]
    return loop, stems, rng


def write_wav(path, pcm):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def band_pulse(x, first_bar, bars=2, fps=30):
    """Bands 0-2 as the show computes them (mono, periodic Hann over 1024
    samples, 2|X|/sum of window), sampled fps times a second."""
    mono = x.mean(axis=1)
    win = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(1024) / 1024)
    rows = []
    for k in range(int(bars * BAR / RATE * fps)):
        end = first_bar * BAR + int(k * RATE / fps)
        seg = mono[end - 1024:end] if end >= 1024 else np.zeros(1024)
        spec = np.abs(np.fft.rfft(seg * win))[1:4] * 2 / win.sum()
        rows.append(np.minimum(spec, 1.0))
    return np.array(rows)


def report(loop, stems, mastered):
    print("stem loudness over the drop (bars 40-55), LUFS before the master gain:")
    a, b = 40 * BAR, 56 * BAR
    for name, track in sorted(stems.tracks.items()):
        seg = track[a:b]
        if np.max(np.abs(seg)) > 0:
            print(f"  {name:10s} {master.integrated_lufs(seg):7.1f}")
    print("section loudness of the master (LUFS):")
    for name, first, count, _ in SECTIONS:
        seg = mastered[first * BAR:(first + count) * BAR]
        print(f"  {name:10s} bars {first:2d}-{first + count - 1:2d} {master.integrated_lufs(seg):7.1f}")
    print("bands 0-2 over two bars of the drop, 30 times a second (max per beat):")
    rows = band_pulse(mastered, 44)
    per_beat = len(rows) // 8
    for beat in range(8):
        seg = rows[beat * per_beat:(beat + 1) * per_beat]
        print("  beat %d  max %s  min %s" % (beat, np.round(seg.max(axis=0), 2), np.round(seg.min(axis=0), 2)))


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    loop, stems, rng = render()
    mastered, figures = master.master(loop)
    print("master: %.2f LUFS, true peak %.2f dBTP, gain %.2f dB, limiter at most %.2f dB, %.3f s" %
          (figures["lufs"], figures["true_peak_db"], figures["gain_db"], figures["max_reduction_db"],
           len(mastered) / RATE))
    if "--report" in sys.argv:
        report(loop, stems, mastered)
    write_wav(sys.argv[1], master.to_int16(mastered, rng))
    return 0


if __name__ == "__main__":
    sys.exit(main())
