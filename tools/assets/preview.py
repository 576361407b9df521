"""Renders the generated meshes to PNG files for a look, in two views:

  front: orthographic, seen from +z (x right, y up), as modelled;
  show:  the way the tower scene shows them: scale 0.005, half a turn about
         y, placed at the rising mesh's x and z, seen by the default camera
         (eye (3.5, 5, -12.5), focus (3.5, 0, 0), 60 degrees, right-handed).

Shading is Lambert with the mesh's own normals and material colours, so a
wrong normal shows as a dark face. Nothing here is part of the data.

Usage: /usr/bin/python3 tools/assets/preview.py [OUT_DIR]   (default /tmp/kelo-preview)
"""

import math
import os
import sys

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import meshes  # noqa: E402


def rasterise(screen, depth_key, colours, size):
    """screen: (T,3,2) pixel positions; depth_key: (T,3) larger = nearer;
    colours: (T,3) floats. Returns an RGB uint8 image on white."""
    w, h = size
    img = np.ones((h, w, 3), np.float32)
    zbuf = np.full((h, w), -np.inf, np.float32)
    for t in range(screen.shape[0]):
        p = screen[t]
        x0, y0 = np.floor(p.min(axis=0)).astype(int)
        x1, y1 = np.ceil(p.max(axis=0)).astype(int)
        x0, y0 = max(x0, 0), max(y0, 0)
        x1, y1 = min(x1, w - 1), min(y1, h - 1)
        if x0 > x1 or y0 > y1:
            continue
        xs, ys = np.meshgrid(np.arange(x0, x1 + 1) + 0.5, np.arange(y0, y1 + 1) + 0.5)
        (ax, ay), (bx, by), (cx, cy) = p
        den = (by - cy) * (ax - cx) + (cx - bx) * (ay - cy)
        if abs(den) < 1e-9:
            continue
        l0 = ((by - cy) * (xs - cx) + (cx - bx) * (ys - cy)) / den
        l1 = ((cy - ay) * (xs - cx) + (ax - cx) * (ys - cy)) / den
        l2 = 1 - l0 - l1
        inside = (l0 >= 0) & (l1 >= 0) & (l2 >= 0)
        z = l0 * depth_key[t, 0] + l1 * depth_key[t, 1] + l2 * depth_key[t, 2]
        sub = zbuf[y0:y1 + 1, x0:x1 + 1]
        write = inside & (z > sub)
        sub[write] = z[write]
        img[y0:y1 + 1, x0:x1 + 1][write] = colours[t]
    return Image.fromarray((np.clip(img, 0, 1) * 255 + 0.5).astype(np.uint8), "RGB")


def shade(mb, materials, normals_world, light=(-0.4, 0.5, 0.77)):
    light = np.array(light, dtype=float)
    light /= np.linalg.norm(light)
    cols = []
    for t, tri in enumerate(mb.triangles):
        n = normals_world[tri[0]]
        lam = max(0.0, float(np.dot(n, light)))
        base = np.array(materials[mb.face_materials[t]]["diffuse"][:3])
        cols.append(base * (0.35 + 0.75 * lam))
    return np.array(cols)


def render_front(mb, materials, size=512):
    pos = np.array(mb.positions)
    nrm = np.array(mb.normals)
    tris = np.array(mb.triangles)
    scale = size * 0.8 / 600.0
    sx = size / 2 + pos[:, 0] * scale
    sy = size / 2 - pos[:, 1] * scale
    screen = np.stack([sx, sy], axis=1)[tris]
    return rasterise(screen, pos[:, 2][tris], shade(mb, materials, nrm), (size, size))


def look_at_rh(eye, focus, up):
    z = eye - focus
    z /= np.linalg.norm(z)
    x = np.cross(up, z)
    x /= np.linalg.norm(x)
    y = np.cross(z, x)
    m = np.identity(4)
    m[:3, 0], m[:3, 1], m[:3, 2] = x, y, z  # row-vector convention: columns are axes
    m[3, :3] = [-np.dot(x, eye), -np.dot(y, eye), -np.dot(z, eye)]
    return m


def render_show(mb, materials, size=(512, 384)):
    pos = np.array(mb.positions)
    nrm = np.array(mb.normals)
    tris = np.array(mb.triangles)
    # Model: scale 0.005, turn by pi about y, then the rising mesh's place.
    c, s = math.cos(math.pi), math.sin(math.pi)
    rot = np.array([[c, 0, -s], [0, 1, 0], [s, 0, c]])  # row vectors: p x R
    world = (pos * 0.005) @ rot + np.array([1.83, 0.0, -6.5])
    nworld = nrm @ rot
    view = look_at_rh(np.array([3.5, 5.0, -12.5]), np.array([3.5, 0.0, 0.0]),
                      np.array([0.0, 1.0, 0.0]))
    v = np.hstack([world, np.ones((len(world), 1))]) @ view
    g = 1.0 / math.tan(math.radians(30.0))
    aspect = size[0] / size[1]
    ndc_x = (g / aspect) * v[:, 0] / -v[:, 2]
    ndc_y = g * v[:, 1] / -v[:, 2]
    sx = (ndc_x + 1) * 0.5 * size[0]
    sy = (1 - ndc_y) * 0.5 * size[1]
    screen = np.stack([sx, sy], axis=1)[tris]
    # Light from over the camera's left shoulder, so the seen face is lit.
    return rasterise(screen, v[:, 2][tris], shade(mb, materials, nworld, (0.4, 0.6, -0.7)), size)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "/tmp/kelo-preview"
    os.makedirs(out, exist_ok=True)
    for fname, _, mb, mats in meshes.all_meshes():
        stem = fname[:-2]
        render_front(mb, mats).save(os.path.join(out, stem + "_front.png"))
        render_show(mb, mats).save(os.path.join(out, stem + "_show.png"))
        print("preview:", os.path.join(out, stem + "_{front,show}.png"))


if __name__ == "__main__":
    main()
