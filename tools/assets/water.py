"""WaterNormal.jpg: a 512 x 512 tangent-space normal map of small waves that
tiles without a seam.

The height field is built in the frequency domain: seeded random phases on
a ring of spatial frequencies (about 8 to 28 waves across the tile), most
of them running with one wind direction so the crests read as waves.
Every frequency is a whole number of waves per tile, so the field repeats
exactly at the tile's edges; the slopes are taken in the frequency domain
too, so they repeat as well. The water-fade filter adds two samples' red and green and subtracts
one, so red and green must average 128: the slopes of a periodic field
average to zero, and the encoding puts zero slope at 128.
"""

import numpy as np

SIZE = 512
SEED = 20080815
STRENGTH = 2.6     # slope scale: larger makes steeper-looking waves


def height_and_slopes(size=SIZE, seed=SEED):
    rnd = np.random.default_rng(seed)
    k = np.fft.fftfreq(size) * size          # waves per tile, whole numbers
    kx, ky = np.meshgrid(k, k)
    radius = np.hypot(kx, ky)
    band = np.exp(-((radius - 16.0) / 7.0) ** 2)
    band[radius < 6.0] = 0.0
    wind = np.array([0.8, 0.6])
    with np.errstate(invalid="ignore", divide="ignore"):
        align = np.where(radius > 0, (kx * wind[0] + ky * wind[1]) / radius, 0.0)
    amplitude = band * (0.25 + 0.75 * align ** 4) / np.maximum(radius, 1.0)
    phase = rnd.uniform(0.0, 2.0 * np.pi, (size, size))
    spectrum = amplitude * np.exp(1j * phase)
    height = np.real(np.fft.ifft2(spectrum))
    # d/dx of a wave of k waves per tile, per pixel: 2*pi*k/size.
    step = 2.0 * np.pi / size
    dhdx = np.real(np.fft.ifft2(spectrum * 1j * kx * step))
    dhdy = np.real(np.fft.ifft2(spectrum * 1j * ky * step))
    scale = 1.0 / np.std(height)
    return height * scale, dhdx * scale, dhdy * scale


def normal_map():
    """Returns a (512, 512, 3) uint8 array: x slope in red, y slope in green
    (both 128 at rest), z in blue."""
    _, dx, dy = height_and_slopes()
    nx = -dx * STRENGTH
    ny = -dy * STRENGTH
    nz = np.ones_like(nx)
    length = np.sqrt(nx * nx + ny * ny + nz * nz)
    n = np.stack([nx / length, ny / length, nz / length], axis=2)
    rgb = np.clip(np.round(n * 127.5 + 127.5), 0, 255)
    return rgb.astype(np.uint8)
