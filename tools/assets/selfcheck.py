"""Checks the generated assets against what the show relies on. Runs at the
end of every generate.py run; any failure stops it with an AssertionError.

Checked: format, size and mode of every picture; the loading box's pixels;
the overlay's opaque panel, clear text area, transparent window and empty
rows below 768; the text bar's colours; the font atlas's cells (empty cells,
ink rows, ink inside each advance); the normal map's balance and seam; and
for each mesh a closed, outward-facing surface of the right size, written
as a well-formed binary X token stream.
"""

import os
import struct
from collections import Counter

import numpy as np
from PIL import Image

import meshes
import pictures
import pixelfont as pf
import xfile

# path: (format, (width, height), mode)
PICTURES = {
    "pictures/kelo_overlay.png": ("PNG", (1024, 1024), "RGBA"),
    "pictures/back_logo.png": ("PNG", (1024, 1024), "RGBA"),
    "pictures/font.png": ("PNG", (512, 32), "RGB"),
    "pictures/kelo_intro.jpg": ("JPEG", (1024, 1024), "RGB"),
    "pictures/WaterNormal.jpg": ("JPEG", (512, 512), "RGB"),
    "pictures/vexa_logo.jpg": ("JPEG", (1024, 1024), "RGB"),
    "pictures/text_bar.png": ("PNG", (256, 32), "RGB"),
    "pictures/exit_screen.jpg": ("JPEG", (1024, 1024), "RGB"),
    "pictures/loading_screen.png": ("PNG", (1024, 1024), "RGB"),
    "dialog/bitmap201.bmp": ("BMP", (320, 210), "RGB"),
    "icon/kelo.png": ("PNG", (64, 64), "RGBA"),
}
MESHES = ["kelo_3d1.x", "kelo_3d2.x", "kelo_3d3.x", "kelo_3d4.x", "spaceinvader.x"]


def _load(root, rel):
    img = Image.open(os.path.join(root, rel))
    img.load()
    return img


def check_files(root):
    for rel, (fmt, size, mode) in PICTURES.items():
        img = _load(root, rel)
        assert img.format == fmt, (rel, img.format)
        assert img.size == size, (rel, img.size)
        assert img.mode == mode, (rel, img.mode)
    check_loading_box(np.asarray(_load(root, "pictures/loading_screen.png")))
    check_overlay(np.asarray(_load(root, "pictures/kelo_overlay.png")))
    back = np.asarray(_load(root, "pictures/back_logo.png"))
    assert (back[768:, :, 3] == 0).all(), "back_logo: rows 768.. must be transparent"
    check_text_bar(np.asarray(_load(root, "pictures/text_bar.png")))
    check_font(np.asarray(_load(root, "pictures/font.png")))
    check_water(np.asarray(_load(root, "pictures/WaterNormal.jpg")))
    with open(os.path.join(root, "dialog/bitmap201.bmp"), "rb") as f:
        head = f.read(30)
    assert head[:2] == b"BM" and struct.unpack("<H", head[28:30])[0] == 24, "bitmap201: 24-bit BMP"
    for name in MESHES:
        with open(os.path.join(root, "meshes", name), "rb") as f:
            check_x_stream(name, f.read())


def check_loading_box(img):
    x0, x1, y0, y1 = pictures.BOX_X0, pictures.BOX_X1, pictures.BOX_Y0, pictures.BOX_Y1
    ink = np.array(pictures.BOX_INK)
    for edge in (img[y0, x0:x1 + 1], img[y1, x0:x1 + 1], img[y0:y1 + 1, x0], img[y0:y1 + 1, x1]):
        assert (edge == ink).all(), "loading box: line pixels"
    assert (img[y0 + 1:y1, x0 + 1:x1] == 255).all(), "loading box: inside must be white"
    # One pixel outside the box is page, not line: the box is one pixel thick.
    for ring in (img[y0 - 1, x0 - 1:x1 + 2], img[y1 + 1, x0 - 1:x1 + 2],
                 img[y0 - 1:y1 + 2, x0 - 1], img[y0 - 1:y1 + 2, x1 + 1]):
        assert (ring.astype(int).sum(axis=1) > 600).all(), "loading box: page around it"


def check_overlay(img):
    a = img[..., 3]
    assert (a[768:] == 0).all(), "overlay: rows 768.. must be transparent"
    assert (a[:768, :pictures.PANEL_W - 4] == 255).all(), "overlay: left panel must be opaque"
    x0, y0, x1, y1 = pictures.TEXT_AREA
    # The bars slide in from the left edge, so the clear band starts at x 0.
    assert (img[y0:y1, 0:x1] == 255).all(), "overlay: text bar area must be plain white"
    cx, cy, r = pictures.WINDOW_CX, pictures.WINDOW_CY, pictures.WINDOW_R
    ys, xs = np.mgrid[0:768, 0:1024]
    inside = (xs + 0.5 - cx) ** 2 + (ys + 0.5 - cy) ** 2 < (r - 2) ** 2
    assert (a[:768][inside] == 0).all(), "overlay: the round window must be transparent"


def check_text_bar(img):
    bar = np.array(pf.BAR)
    assert (img[pf.BAR_TOP + 6:pf.BAR_BOTTOM, 1:255] == bar).all(), "text bar: body colour"
    assert (img[:, 0] == 255).all() and (img[:, 255] == 255).all(), "text bar: side margins"
    assert (img[0] == 255).all() and (img[31] == 255).all(), "text bar: top and bottom margins"
    assert img[pf.BAR_TOP, 128].astype(int).sum() > bar.sum() + 60, "text bar: light top band"
    shadow = img[pf.BAR_BOTTOM + 1, 128].astype(int)
    assert bar.sum() < shadow.sum() < 3 * 255, "text bar: pale shadow under the bar"


def check_font(img):
    bar_col = np.array(pf.bar_column(), np.uint8)            # (32, 3)
    text_bar_col = pf.text_bar()[:, 128]
    assert (bar_col == text_bar_col).all(), "font: cells must carry the bar's shading"
    for i, ch in enumerate(pf.CHARSET):
        cell = img[:, 9 * i:9 * i + 9]
        differs = (cell != bar_col[:, None, :]).any(axis=2)   # (32, 9) ink mask
        if ch in pf.EMPTY_CELLS:
            assert not differs.any(), "font: cell %r must be empty" % ch
            continue
        rows = np.nonzero(differs.any(axis=1))[0]
        cols = np.nonzero(differs.any(axis=0))[0]
        assert rows.size, "font: cell %r has no ink" % ch
        assert rows.min() >= 14 and rows.max() <= 22, "font: %r ink outside rows 14..22" % ch
        assert cols.max() < pf.ADVANCE[ch], "font: %r ink beyond its advance" % ch
    assert len(pf.CHARSET) == 45 and (img[:, 405:] == bar_col[:, None, :]).all()


def check_water(img):
    rg = img[..., :2].astype(float)
    assert abs(rg[..., 0].mean() - 128) < 2 and abs(rg[..., 1].mean() - 128) < 2, "water: balance"
    assert img[..., 2].min() > 128, "water: normals point out of the surface"
    # The seam: a step across the wrap is no larger than steps inside.
    wrap = np.abs(img[:, 0].astype(int) - img[:, -1].astype(int)).mean()
    inner = np.abs(img[:, 256].astype(int) - img[:, 255].astype(int)).mean()
    assert wrap < inner * 1.6 + 1, "water: seam at the left/right edge"
    wrap = np.abs(img[0].astype(int) - img[-1].astype(int)).mean()
    inner = np.abs(img[256].astype(int) - img[255].astype(int)).mean()
    assert wrap < inner * 1.6 + 1, "water: seam at the top/bottom edge"


def check_mesh_builder(name, mb):
    """Closed (every directed edge has its reverse), faces wound so the
    surface encloses positive volume on the outside-normal side, centred,
    400..600 units across."""
    key = lambda p: tuple(round(c, 3) for c in p)  # noqa: E731
    edges = Counter()
    volume = 0.0
    for t in mb.triangles:
        p = [mb.positions[i] for i in t]
        for a, b in ((0, 1), (1, 2), (2, 0)):
            edges[(key(p[a]), key(p[b]))] += 1
        volume += meshes.dot(p[0], meshes.cross(p[1], p[2])) / 6.0
        # Stored normal agrees with the face (and so points outwards).
        n = mb.normals[t[0]]
        c = meshes.cross(meshes.sub(p[1], p[0]), meshes.sub(p[2], p[0]))
        assert meshes.dot(c, n) < 0, "%s: a triangle is not clockwise from outside" % name
    open_edges = [e for e, n in edges.items() if edges.get((e[1], e[0]), 0) != n]
    assert not open_edges, "%s: surface is not closed (%d edges)" % (name, len(open_edges))
    # Clockwise-from-outside winding makes the signed volume negative.
    assert volume < 0, "%s: faces point inwards" % name
    lo, hi = mb.bounds()
    for i in range(3):
        assert abs(lo[i] + hi[i]) < 1e-3, "%s: not centred on the origin" % name
    extent = max(hi[i] - lo[i] for i in range(3))
    assert 400 <= extent <= 600, "%s: %g units across" % (name, extent)


class _Reader:
    def __init__(self, data):
        self.data, self.pos = data, 16

    def peek(self):
        return struct.unpack_from("<H", self.data, self.pos)[0]

    def token(self):
        tok = self.peek()
        self.pos += 2
        return tok

    def count(self):
        n = struct.unpack_from("<I", self.data, self.pos)[0]
        self.pos += 4
        return n

    def name(self):
        assert self.token() == xfile.TOKEN_NAME
        n = self.count()
        text = self.data[self.pos:self.pos + n].decode("ascii")
        self.pos += n
        return text


def _skip_template(rd):
    name = rd.name()
    assert rd.token() == xfile.TOKEN_OBRACE
    while True:
        tok = rd.token()
        if tok == xfile.TOKEN_CBRACE:
            return name
        if tok == xfile.TOKEN_NAME:
            n = rd.count()
            rd.pos += n
        elif tok == xfile.TOKEN_GUID:
            rd.pos += 16
        elif tok == xfile.TOKEN_INTEGER:
            rd.pos += 4
        else:
            assert tok in (xfile.TOKEN_OBRACKET, xfile.TOKEN_CBRACKET, xfile.TOKEN_DOT,
                           xfile.TOKEN_SEMICOLON, xfile.TOKEN_DWORD, xfile.TOKEN_FLOAT,
                           xfile.TOKEN_ARRAY), tok


def _read_object(rd):
    obj = {"template": rd.name(), "name": None, "ints": [], "floats": [], "children": []}
    if rd.peek() == xfile.TOKEN_NAME:
        obj["name"] = rd.name()
    assert rd.token() == xfile.TOKEN_OBRACE
    while True:
        tok = rd.peek()
        if tok == xfile.TOKEN_CBRACE:
            rd.token()
            return obj
        if tok == xfile.TOKEN_NAME:
            obj["children"].append(_read_object(rd))
            continue
        rd.token()
        n = rd.count()
        fmt = "<%dI" if tok == xfile.TOKEN_INTEGER_LIST else "<%df"
        assert tok in (xfile.TOKEN_INTEGER_LIST, xfile.TOKEN_FLOAT_LIST), tok
        values = list(struct.unpack_from(fmt % n, rd.data, rd.pos))
        rd.pos += 4 * n
        obj["ints" if tok == xfile.TOKEN_INTEGER_LIST else "floats"] += values


def _faces(ints, count):
    faces, i = [], 0
    for _ in range(count):
        n = ints[i]
        faces.append(ints[i + 1:i + 1 + n])
        i += 1 + n
    assert i == len(ints)
    return faces


def check_x_stream(name, data):
    """Reads the file back: header, template declarations, then one Mesh
    whose vertex, face, normal and material counts agree with its lists."""
    assert data[:16] == xfile.HEADER, name
    rd = _Reader(data)
    templates, objects = [], []
    while rd.pos < len(data):
        if rd.peek() == xfile.TOKEN_TEMPLATE:
            rd.token()
            templates.append(_skip_template(rd))
        else:
            objects.append(_read_object(rd))
    assert {"Mesh", "MeshNormals", "MeshMaterialList", "Material"} <= set(templates), name
    assert len(objects) == 1 and objects[0]["template"] == "Mesh", name
    mesh = objects[0]
    nv = mesh["ints"][0]
    assert len(mesh["floats"]) == 3 * nv, name
    nf = mesh["ints"][1]
    faces = _faces(mesh["ints"][2:], nf)
    assert all(len(f) == 3 and max(f) < nv for f in faces), name
    kids = {c["template"]: c for c in mesh["children"]}
    normals = kids["MeshNormals"]
    nn = normals["ints"][0]
    assert len(normals["floats"]) == 3 * nn and normals["ints"][1] == nf, name
    assert all(max(f) < nn for f in _faces(normals["ints"][2:], nf)), name
    mats = kids["MeshMaterialList"]
    nm, nidx = mats["ints"][0], mats["ints"][1]
    assert nidx == nf and len(mats["ints"]) == 2 + nf and max(mats["ints"][2:]) == nm - 1, name
    assert len(mats["children"]) == nm, name
    for m in mats["children"]:
        assert m["template"] == "Material" and len(m["floats"]) == 11, name
