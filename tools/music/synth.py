"""Sound sources and effects for the kelo soundtrack.

Everything here works on float64 numpy arrays at RATE samples per second:
mono signals are 1-D, stereo ones are (n, 2). Nothing is read from disk; every
sound is made from oscillators and filtered noise, seeded so that two runs of
the generator give the same bytes.
"""
import numpy as np
from scipy import signal

RATE = 44100


def midi_hz(note):
    """Frequency of a MIDI note number (69 = A4 = 440 Hz)."""
    return 440.0 * 2.0 ** ((np.asarray(note, dtype=float) - 69.0) / 12.0)


# --- oscillators -------------------------------------------------------------

def _poly_blep(t, dt):
    """Correction that removes most of the aliasing of a naive step at phase 0.
    t is the phase in [0, 1), dt the phase increment per sample."""
    out = np.zeros_like(t)
    a = t < dt
    x = t[a] / dt[a] if np.ndim(dt) else t[a] / dt
    out[a] = x + x - x * x - 1.0
    b = t > 1.0 - dt
    y = (t[b] - 1.0) / (dt[b] if np.ndim(dt) else dt)
    out[b] = y * y + y + y + 1.0
    return out


def phase_of(freq, n, phase0=0.0):
    """Running phase (cycles, wrapped to [0, 1)) of a constant or per-sample
    frequency, and the per-sample increment."""
    if np.ndim(freq) == 0:
        dt = np.full(n, freq / RATE)
    else:
        dt = np.asarray(freq, dtype=float) / RATE
    ph = (phase0 + np.cumsum(dt) - dt[0]) % 1.0
    return ph, dt


def saw(freq, n, phase0=0.0):
    ph, dt = phase_of(freq, n, phase0)
    return 2.0 * ph - 1.0 - _poly_blep(ph, dt)


def square(freq, n, phase0=0.0, width=0.5):
    ph, dt = phase_of(freq, n, phase0)
    naive = np.where(ph < width, 1.0, -1.0)
    ph2 = (ph + 1.0 - width) % 1.0
    return naive + _poly_blep(ph, dt) - _poly_blep(ph2, dt)


def sine(freq, n, phase0=0.0):
    ph, _ = phase_of(freq, n, phase0)
    return np.sin(2.0 * np.pi * ph)


def supersaw(freq, n, rng, voices=7, spread_cents=18.0, width=0.8):
    """Detuned saws spread across the stereo field: the wide pad and lead."""
    out = np.zeros((n, 2))
    offsets = np.linspace(-1.0, 1.0, voices)
    for k, o in enumerate(offsets):
        f = freq * 2.0 ** (o * spread_cents / 1200.0)
        v = saw(f, n, rng.random())
        pan = 0.5 + 0.5 * width * o
        # The centre voice a little louder so the pitch reads clearly.
        g = 1.0 if abs(o) < 1e-9 else 0.75
        out[:, 0] += v * g * np.sqrt(1.0 - pan)
        out[:, 1] += v * g * np.sqrt(pan)
    return out / np.sqrt(voices)


# --- envelopes ---------------------------------------------------------------

def adsr(n, attack, decay, sustain, release, gate):
    """Linear attack, exponential decay to sustain, exponential release after
    `gate` seconds. n samples long."""
    t = np.arange(n) / RATE
    env = np.where(t < attack, t / max(attack, 1e-6),
                   sustain + (1.0 - sustain) * np.exp(-(t - attack) / max(decay, 1e-6)))
    at_gate = env[min(int(gate * RATE), n - 1)] if n else 0.0
    rel = t >= gate
    env[rel] = at_gate * np.exp(-(t[rel] - gate) / max(release, 1e-6))
    return env


def fade_edges(x, ms=2.0):
    """Short raised-cosine ends so a note never clicks."""
    m = min(int(ms * RATE / 1000.0), len(x) // 2)
    if m > 0:
        w = 0.5 - 0.5 * np.cos(np.linspace(0.0, np.pi, m))
        x[:m] *= w if x.ndim == 1 else w[:, None]
        x[-m:] *= w[::-1] if x.ndim == 1 else w[::-1, None]
    return x


# --- filters -----------------------------------------------------------------

def lowpass(x, cutoff, order=2):
    sos = signal.butter(order, min(cutoff, RATE * 0.45), 'low', fs=RATE, output='sos')
    return signal.sosfilt(sos, x, axis=0)


def highpass(x, cutoff, order=2):
    sos = signal.butter(order, cutoff, 'high', fs=RATE, output='sos')
    return signal.sosfilt(sos, x, axis=0)


def bandpass(x, lo, hi, order=2):
    sos = signal.butter(order, [lo, min(hi, RATE * 0.45)], 'band', fs=RATE, output='sos')
    return signal.sosfilt(sos, x, axis=0)


def high_shelf(x, f0, gain_db, slope=0.7):
    """Shelving boost (or cut) above f0, the usual RBJ cookbook biquad."""
    a_ = 10.0 ** (gain_db / 40.0)
    w = 2.0 * np.pi * f0 / RATE
    c, s = np.cos(w), np.sin(w)
    alpha = s / 2.0 * np.sqrt((a_ + 1.0 / a_) * (1.0 / slope - 1.0) + 2.0)
    k = 2.0 * np.sqrt(a_) * alpha
    b = [a_ * ((a_ + 1) + (a_ - 1) * c + k), -2 * a_ * ((a_ - 1) + (a_ + 1) * c), a_ * ((a_ + 1) + (a_ - 1) * c - k)]
    a = [(a_ + 1) - (a_ - 1) * c + k, 2 * ((a_ - 1) - (a_ + 1) * c), (a_ + 1) - (a_ - 1) * c - k]
    return signal.lfilter(np.array(b) / a[0], np.array(a) / a[0], x, axis=0)


def _biquad_lp(cutoff, q):
    w = 2.0 * np.pi * min(max(cutoff, 20.0), RATE * 0.45) / RATE
    alpha = np.sin(w) / (2.0 * q)
    c = np.cos(w)
    b = np.array([(1 - c) / 2, 1 - c, (1 - c) / 2])
    a = np.array([1 + alpha, -2 * c, 1 - alpha])
    return b / a[0], a / a[0]


def sweep_lowpass(x, cutoff_curve, q=0.9, block=64):
    """Resonant low-pass whose cutoff follows a per-sample curve, updated
    every `block` samples with the filter state carried across."""
    x = np.asarray(x, dtype=float)
    stereo = x.ndim == 2
    y = np.zeros_like(x)
    zi = np.zeros((2, 2)) if stereo else np.zeros(2)
    for s in range(0, len(x), block):
        e = min(s + block, len(x))
        b, a = _biquad_lp(float(cutoff_curve[s]), q)
        if stereo:
            for ch in range(2):
                y[s:e, ch], zi[:, ch] = signal.lfilter(b, a, x[s:e, ch], zi=zi[:, ch])
        else:
            y[s:e], zi = signal.lfilter(b, a, x[s:e], zi=zi)
    return y


# --- effects -----------------------------------------------------------------

def pan(mono, position):
    """Constant-power pan; position -1 (left) .. 1 (right)."""
    p = 0.5 + 0.5 * position
    return np.stack([mono * np.sqrt(1.0 - p), mono * np.sqrt(p)], axis=1)


def pingpong(x, delay_s, feedback, echoes=6, tone=3500.0):
    """Echoes that alternate left and right, each darker than the last."""
    d = int(round(delay_s * RATE))
    mono = x.mean(axis=1) if x.ndim == 2 else x
    out = np.zeros((len(mono) + d * echoes, 2))
    echo = mono.copy()
    for k in range(1, echoes + 1):
        echo = lowpass(echo, tone, order=1) * feedback
        ch = (k - 1) % 2
        out[k * d:k * d + len(echo), ch] += echo
    return out


def reverb_ir(seconds, rt60, rng, predelay=0.02, tone=6000.0):
    """Stereo impulse response: decorrelated noise with an exponential decay,
    darker as it dies away."""
    n = int(seconds * RATE)
    t = np.arange(n) / RATE
    decay = np.exp(-6.91 * t / rt60)
    ir = rng.standard_normal((n, 2)) * decay[:, None]
    bright = lowpass(ir, tone)
    dark = lowpass(ir, 1200.0)
    mix = np.clip(t / seconds, 0, 1)[:, None]
    ir = bright * (1 - mix) + dark * mix
    ir = highpass(ir, 180.0)
    pre = int(predelay * RATE)
    ir = np.vstack([np.zeros((pre, 2)), ir])
    return ir / np.sqrt(np.sum(ir ** 2) / 2.0)


def convolve_stereo(x, ir):
    mono = x.mean(axis=1) if x.ndim == 2 else x
    return np.stack([signal.oaconvolve(mono, ir[:, 0]), signal.oaconvolve(mono, ir[:, 1])], axis=1)


def soft_clip(x, drive=1.0):
    return np.tanh(x * drive) / np.tanh(drive)


def add_at(dest, src, start):
    """Mix src into dest from sample `start`, clipping at dest's end."""
    if start >= len(dest):
        return
    end = min(len(dest), start + len(src))
    dest[start:end] += src[:end - start]
