#!/usr/bin/env bash
# Fails when code outside platform/ includes a library header: SDL, GL, EGL,
# epoxy, glslang, SPIRV-Cross, mpg123, FreeType, kissfft, zlib, image or mesh
# libraries. The show's folders see our own headers only.
set -euo pipefail
cd "$(dirname "$0")/.."

pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](SDL|SDL2/|X11/|GL/|GLES|EGL/|epoxy/|glslang/|spirv|SPIRV|spirv_cross|mpg123|out123|ft2build|freetype|FT_|kiss|stb|png|jpeg|zlib|jpeglib|turbojpeg|assimp/|KHR/|vulkan)'
hits=$(grep -rnE "$pattern" --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.c' \
         app engine data fx2d render tower tools tests bench 2>/dev/null || true)
if [ -n "$hits" ]; then
  echo "boundary: only platform/ may include library headers; found:"
  echo "$hits"
  exit 1
fi
echo "boundary: ok (library headers only in platform/)"
