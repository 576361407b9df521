"""The instruments of the kelo soundtrack: one function per sound, each
returning a finished note (mono or stereo float array) that the score places
on the timeline. Drums are made once and reused; pitched notes are made per
note because their length and pitch vary.
"""
import numpy as np

from synth import (RATE, adsr, bandpass, fade_edges, highpass, lowpass, midi_hz, pan, saw, sine, soft_clip,
                   square, supersaw)


# --- drums -------------------------------------------------------------------

def kick(rng, tune_hz=55.0):
    """A punchy kick that settles on A1 (55 Hz), the key's root: its body
    sits in the lowest analysis bands, its attack sweep a little above."""
    n = int(0.42 * RATE)
    t = np.arange(n) / RATE
    freq = tune_hz + 140.0 * np.exp(-t / 0.032) + 300.0 * np.exp(-t / 0.004)
    body = sine(freq, n)
    env = np.exp(-t / 0.22) * np.clip(t / 0.0008, 0, 1)
    # Hold the body for its first 60 ms so the low end has weight.
    env *= np.where(t < 0.06, 1.0, np.exp(-(t - 0.06) / 0.16))
    x = soft_clip(body * env * 1.6, 1.4)
    click = highpass(rng.standard_normal(n), 2500.0) * np.exp(-t / 0.003) * 0.18
    return fade_edges(x + click, 1.0) * 0.95


def closed_hat(rng):
    n = int(0.09 * RATE)
    t = np.arange(n) / RATE
    noise = highpass(rng.standard_normal(n), 7500.0, order=4)
    # A little metallic ring from two detuned squares, as cymbals have.
    ring = highpass(square(540.0, n) * square(800.0, n), 6000.0) * 0.3
    return fade_edges((noise + ring) * np.exp(-t / 0.018), 0.5) * 0.5


def open_hat(rng):
    n = int(0.35 * RATE)
    t = np.arange(n) / RATE
    noise = highpass(rng.standard_normal(n), 6500.0, order=4)
    ring = highpass(square(540.0, n) * square(800.0, n), 5500.0) * 0.3
    env = np.exp(-t / 0.09)
    return fade_edges((noise + ring) * env, 0.5) * 0.45


def clap(rng):
    """Four quick bursts of band-limited noise and a short tail."""
    n = int(0.35 * RATE)
    t = np.arange(n) / RATE
    noise = bandpass(rng.standard_normal(n), 900.0, 5000.0)
    env = np.zeros(n)
    for k, at in enumerate((0.0, 0.011, 0.022, 0.031)):
        s = t - at
        env += np.where(s >= 0, np.exp(-np.maximum(s, 0) / (0.006 if k < 3 else 0.07)), 0.0)
    x = noise * env
    return np.stack([x, np.roll(x, 40)], axis=1) * 0.55


def snare(rng):
    n = int(0.22 * RATE)
    t = np.arange(n) / RATE
    tone = sine(190.0 + 60.0 * np.exp(-t / 0.01), n) * np.exp(-t / 0.05)
    noise = bandpass(rng.standard_normal(n), 1500.0, 9000.0) * np.exp(-t / 0.07)
    return fade_edges(tone * 0.6 + noise * 0.7, 0.5) * 0.6


def crash(rng):
    n = int(2.6 * RATE)
    t = np.arange(n) / RATE
    noise = highpass(rng.standard_normal((n, 2)), 4000.0, order=2)
    ring = highpass(square(410.0, n) * square(683.0, n) * square(1150.0, n), 3500.0)
    env = np.exp(-t / 0.7)
    x = (noise + ring[:, None] * 0.25) * env[:, None]
    return fade_edges(lowpass(x, 14000.0), 1.0) * 0.32


def ride(rng):
    n = int(0.9 * RATE)
    t = np.arange(n) / RATE
    ping = sum(sine(f, n) * a for f, a in ((3150.0, 0.5), (4470.0, 0.35), (5890.0, 0.25)))
    noise = highpass(rng.standard_normal(n), 8000.0)
    return fade_edges((ping * 0.3 + noise * 0.5) * np.exp(-t / 0.25), 0.5) * 0.3


def tom(rng, hz):
    n = int(0.35 * RATE)
    t = np.arange(n) / RATE
    body = sine(hz * (1.0 + 0.6 * np.exp(-t / 0.02)), n) * np.exp(-t / 0.14)
    skin = bandpass(rng.standard_normal(n), 300.0, 3000.0) * np.exp(-t / 0.02) * 0.2
    return fade_edges(body + skin, 0.5) * 0.55


# --- pitched -----------------------------------------------------------------

def bass_note(note, seconds, brightness, rng):
    """Offbeat bass: a saw and a narrow pulse for the growl, a sine at the same
    pitch for the weight. `brightness` 0..1 opens the filter."""
    n = int((seconds + 0.05) * RATE)
    f = float(midi_hz(note))
    body = saw(f, n, rng.random()) * 0.6 + square(f, n, rng.random(), 0.3) * 0.25
    cutoff = 180.0 + 1800.0 * brightness ** 1.5
    # The filter opens at the start of the note and settles: a pluck.
    bright = lowpass(body, cutoff * 2.5, order=2)
    dark = lowpass(body, cutoff, order=2)
    t = np.arange(n) / RATE
    k = np.exp(-t / 0.05)
    x = bright * k + dark * (1.0 - k)
    sub = sine(f, n, 0.25)
    env = adsr(n, 0.003, 0.12, 0.75, 0.03, seconds)
    return fade_edges((x * 0.7 + sub * 0.8) * env, 1.5)


def sub_note(note, seconds):
    """A plain sine for the breakdown, where the kick rests but the floor
    should still move."""
    n = int((seconds + 0.3) * RATE)
    env = adsr(n, 0.08, 1.0, 1.0, 0.25, seconds)
    return fade_edges(sine(float(midi_hz(note)), n) * env, 2.0)


def pad_chord(notes, seconds, brightness, rng):
    n = int((seconds + 0.9) * RATE)
    out = np.zeros((n, 2))
    for note in notes:
        out += supersaw(float(midi_hz(note)), n, rng, voices=7, spread_cents=16.0, width=0.9)
    env = adsr(n, 0.35, 0.8, 0.85, 0.5, seconds)
    cutoff = 500.0 + 5500.0 * brightness ** 2
    out = lowpass(out, cutoff, order=2)
    out = highpass(out, 150.0)
    return fade_edges(out * env[:, None] / len(notes) ** 0.5, 3.0)


def pluck(note, seconds, brightness, rng):
    """Arpeggio pluck: saw plus a narrow pulse, bright at the attack."""
    n = int((seconds + 0.25) * RATE)
    f = float(midi_hz(note))
    tone = saw(f, n, rng.random()) * 0.7 + square(f, n, rng.random(), 0.25) * 0.4
    t = np.arange(n) / RATE
    hi = 900.0 + 7000.0 * brightness
    k = np.exp(-t / 0.06)
    x = lowpass(tone, hi, 2) * k + lowpass(tone, hi * 0.25, 2) * (1.0 - k)
    env = adsr(n, 0.002, 0.18, 0.25, 0.08, seconds)
    return fade_edges(x * env, 1.0)


def lead_note(note, seconds, rng, bright=1.0):
    n = int((seconds + 0.3) * RATE)
    f = float(midi_hz(note))
    t = np.arange(n) / RATE
    # Vibrato that comes in after the attack, on long notes only.
    depth = np.clip((t - 0.25) / 0.3, 0, 1) * 0.004
    fm = f * (1.0 + depth * np.sin(2 * np.pi * 5.5 * t))
    x = supersaw(fm, n, rng, voices=5, spread_cents=11.0, width=0.6)
    x += pan(square(fm * 0.5, n, rng.random(), 0.5) * 0.25, 0.0)
    x = lowpass(x, 1800.0 + 5200.0 * bright, 2)
    x = highpass(x, 220.0)
    env = adsr(n, 0.006, 0.3, 0.8, 0.12, seconds)
    return fade_edges(x * env[:, None], 1.5)


def stab(notes, seconds, rng):
    """Short chord hit for the call-and-answer variation."""
    n = int((seconds + 0.2) * RATE)
    out = np.zeros((n, 2))
    for note in notes:
        out += supersaw(float(midi_hz(note)), n, rng, voices=5, spread_cents=14.0, width=0.8)
    t = np.arange(n) / RATE
    k = np.exp(-t / 0.05)
    out = lowpass(out, 5000.0) * k[:, None] + lowpass(out, 1200.0) * (1 - k[:, None])
    env = adsr(n, 0.003, 0.12, 0.3, 0.06, seconds)
    return fade_edges(out * env[:, None] / len(notes) ** 0.5, 1.0)


def riser(seconds, rng):
    """Noise that climbs in pitch and level over a build."""
    from synth import sweep_lowpass
    n = int(seconds * RATE)
    t = np.arange(n) / RATE
    noise = rng.standard_normal((n, 2))
    curve = 300.0 * (40.0 ** (t / seconds))
    x = sweep_lowpass(noise, curve, q=2.5, block=128)
    x = highpass(x, 200.0)
    return x * ((t / seconds) ** 2)[:, None] * 0.25


def impact(rng):
    """Low boom that marks the drop: felt in the lowest bands."""
    n = int(1.6 * RATE)
    t = np.arange(n) / RATE
    boom = sine(40.0 + 60.0 * np.exp(-t / 0.05), n) * np.exp(-t / 0.5)
    air = lowpass(rng.standard_normal(n), 800.0) * np.exp(-t / 0.25) * 0.2
    return fade_edges(boom * 0.9 + air, 2.0)
