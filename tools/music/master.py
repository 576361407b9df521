"""Mastering for the kelo soundtrack: loudness as ITU-R BS.1770 measures it,
a look-ahead peak limiter that treats the track as a loop, true peak by
four-times oversampling, and the final 16-bit conversion with dither.

The figures that count are those measured on the encoded MP3 with ffmpeg's
ebur128 filter (see encode.sh); these functions only steer the master so the
MP3 lands on them.
"""
import numpy as np
from scipy import ndimage, signal

from synth import RATE


def _k_weighting(fs):
    """The two BS.1770 pre-filter stages (a high shelf near 1.7 kHz and a
    high-pass near 38 Hz), designed for any sample rate."""
    f0, gain_db, q = 1681.974450955533, 3.999843853973347, 0.7071752369554196
    k = np.tan(np.pi * f0 / fs)
    vh = 10.0 ** (gain_db / 20.0)
    vb = vh ** 0.4996667741545416
    a0 = 1.0 + k / q + k * k
    shelf_b = np.array([(vh + vb * k / q + k * k), 2.0 * (k * k - vh), (vh - vb * k / q + k * k)]) / a0
    shelf_a = np.array([a0, 2.0 * (k * k - 1.0), 1.0 - k / q + k * k]) / a0
    f0, q = 38.13547087602444, 0.5003270373238773
    k = np.tan(np.pi * f0 / fs)
    a0 = 1.0 + k / q + k * k
    hp_b = np.array([1.0, -2.0, 1.0])
    hp_a = np.array([a0, 2.0 * (k * k - 1.0), 1.0 - k / q + k * k]) / a0
    return (shelf_b, shelf_a), (hp_b, hp_a)


def integrated_lufs(x):
    """Gated integrated loudness of a stereo signal, in LUFS."""
    (b1, a1), (b2, a2) = _k_weighting(RATE)
    y = signal.lfilter(b2, a2, signal.lfilter(b1, a1, x, axis=0), axis=0)
    block, hop = int(0.4 * RATE), int(0.1 * RATE)
    power = np.sum(y ** 2, axis=1)
    csum = np.concatenate([[0.0], np.cumsum(power)])
    starts = np.arange(0, len(power) - block + 1, hop)
    z = (csum[starts + block] - csum[starts]) / block
    lk = -0.691 + 10.0 * np.log10(np.maximum(z, 1e-20))
    z = z[lk > -70.0]
    rel = -0.691 + 10.0 * np.log10(np.mean(z)) - 10.0
    lk = -0.691 + 10.0 * np.log10(np.maximum(z, 1e-20))
    return -0.691 + 10.0 * np.log10(np.mean(z[lk > rel]))


def true_peak_db(x):
    up = signal.resample_poly(x, 4, 1, axis=0)
    return 20.0 * np.log10(np.max(np.abs(up)))


def limit_loop(x, ceiling_db, lookahead_ms=3.0, release_ms=120.0):
    """Peak limiter for a looping track: the gain for the last samples looks
    ahead into the first ones and the first samples' release starts from the
    last ones, so the seam is limited like any other moment."""
    pad = int(RATE)  # one second of the other end on each side
    ext = np.concatenate([x[-pad:], x, x[:pad]])
    ceiling = 10.0 ** (ceiling_db / 20.0)
    peak = np.max(np.abs(ext), axis=1)
    want = np.minimum(1.0, ceiling / np.maximum(peak, 1e-12))
    la = max(1, int(lookahead_ms * RATE / 1000.0))
    # Hold the lowest gain over the look-ahead window, then ramp into it with
    # a moving average of the same length: the ramp reaches each peak's gain
    # before the peak arrives.
    held = ndimage.minimum_filter1d(want, size=2 * la + 1, origin=-la)
    smooth = ndimage.uniform_filter1d(held, size=la, origin=-(la // 2))
    smooth = np.minimum(smooth, held)
    # Release: gain may rise only slowly. Run at a control rate of one value
    # per 32 samples (each the block's minimum) to keep the loop short.
    blk = 32
    nb = len(smooth) // blk + 1
    padded = np.concatenate([smooth, np.ones(nb * blk - len(smooth))])
    ctrl = padded.reshape(nb, blk).min(axis=1)
    coef = np.exp(-blk / (release_ms * RATE / 1000.0))
    out = np.empty(nb)
    g = 1.0
    for i in range(nb):
        c = ctrl[i]
        g = c if c < g else c + (g - c) * coef
        out[i] = g
    # Back to audio rate: each block's gain applies from its first sample, and
    # the final minimum keeps every sample at or under the ceiling.
    gain = np.minimum(np.repeat(out, blk)[:len(smooth)], smooth)
    gain = ndimage.uniform_filter1d(gain, size=16)
    gain = np.minimum(gain, want)
    y = ext * gain[:, None]
    return y[pad:pad + len(x)], float(np.min(gain))


def master(x, target_lufs=-14.0, ceiling_db=-2.2, rounds=4):
    """Gain and limiting so the loop measures target_lufs with its sample
    peaks under ceiling_db. Returns the master and what it measured."""
    gain_db = target_lufs - integrated_lufs(x)
    y, min_gain = x, 1.0
    for _ in range(rounds):
        y, min_gain = limit_loop(x * 10.0 ** (gain_db / 20.0), ceiling_db)
        measured = integrated_lufs(y)
        if abs(measured - target_lufs) < 0.05:
            break
        gain_db += target_lufs - measured
    return y, {"lufs": integrated_lufs(y), "true_peak_db": true_peak_db(y), "gain_db": gain_db,
               "max_reduction_db": -20.0 * np.log10(min_gain)}


def to_int16(x, rng):
    """Triangular dither at one 16-bit step, then rounding."""
    d = (rng.random(x.shape) - rng.random(x.shape))
    return np.clip(np.round(x * 32767.0 + d), -32768, 32767).astype(np.int16)
