#!/usr/bin/python3
"""Writes every picture and mesh the show embeds into data/assets/, then
checks what it wrote (selfcheck.py). Deterministic: fixed seeds, fixed
encoder settings, no timestamps or other metadata, so a second run writes
the same bytes.

Usage (Debian's Python, which has Pillow and numpy):
    /usr/bin/python3 tools/assets/generate.py [--out DIR]
DIR defaults to data/assets/ of this source tree.
"""

import argparse
import io
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from PIL import Image  # noqa: E402

import meshes  # noqa: E402
import pictures  # noqa: E402
import pixelfont  # noqa: E402
import selfcheck  # noqa: E402
import water  # noqa: E402
import xfile  # noqa: E402

JPEG_QUALITY = 92


def png_bytes(img):
    buf = io.BytesIO()
    # A fresh image carries no info, so Pillow writes no text or time chunks.
    img.info.clear()
    img.save(buf, "PNG", optimize=False, compress_level=9)
    return buf.getvalue()


def jpeg_bytes(img):
    buf = io.BytesIO()
    img.info.clear()
    # Full-resolution chroma (4:4:4): the pictures carry small coloured type.
    img.save(buf, "JPEG", quality=JPEG_QUALITY, subsampling=0, optimize=False,
             progressive=False)
    return buf.getvalue()


def bmp_bytes(img):
    buf = io.BytesIO()
    img.info.clear()
    img.save(buf, "BMP")
    return buf.getvalue()


def build():
    """Returns {relative path: bytes} of every asset."""
    out = {}
    out["pictures/loading_screen.png"] = png_bytes(pictures.loading_screen())
    out["pictures/vexa_logo.jpg"] = jpeg_bytes(pictures.vexa_logo())
    out["pictures/kelo_intro.jpg"] = jpeg_bytes(pictures.kelo_intro())
    out["pictures/exit_screen.jpg"] = jpeg_bytes(pictures.exit_screen())
    out["pictures/back_logo.png"] = png_bytes(pictures.back_logo())
    out["pictures/kelo_overlay.png"] = png_bytes(pictures.kelo_overlay())
    pixelfont.check_glyph_fit()
    out["pictures/text_bar.png"] = png_bytes(Image.fromarray(pixelfont.text_bar(), "RGB"))
    out["pictures/font.png"] = png_bytes(Image.fromarray(pixelfont.font_atlas(), "RGB"))
    out["pictures/WaterNormal.jpg"] = jpeg_bytes(Image.fromarray(water.normal_map(), "RGB"))
    out["dialog/bitmap201.bmp"] = bmp_bytes(pictures.dialog_bitmap())
    out["icon/kelo.png"] = png_bytes(pictures.window_icon())
    for fname, mesh_name, mb, mats in meshes.all_meshes():
        selfcheck.check_mesh_builder(fname, mb)
        out["meshes/" + fname] = xfile.write_mesh(mesh_name, mb.positions, mb.normals,
                                                  mb.triangles, mb.face_materials, mats)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(HERE, "..", "..", "data", "assets"))
    args = parser.parse_args()
    root = os.path.normpath(args.out)
    files = build()
    for rel, data in sorted(files.items()):
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print("assets: %-32s %8d bytes" % (rel, len(data)))
    selfcheck.check_files(root)
    print("assets: %d files written to %s, self-check passed" % (len(files), root))


if __name__ == "__main__":
    main()
