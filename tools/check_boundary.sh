#!/usr/bin/env bash
# The rules the #include lines of the tree keep, checked on every CI run.
#
#  1. Library headers (SDL, GL, EGL, epoxy, glslang, SPIRV-Cross, mpg123,
#     FreeType, kissfft, zlib, stb, libpng, Xlib) only in platform/. The
#     exceptions are the two floors the benchmarks hold the show against,
#     which talk to OpenGL and SDL themselves because that is their whole
#     point: bench/gl_floor.cpp (the tower's frame issued as bare GL) and
#     bench/startup_floor.cpp (SDL video, a window, a context, one quad).
#  2. POSIX and other OS headers (unistd.h, sys/*, fcntl.h, signal.h, ...)
#     only in platform/. tests/ is exempt: the tests drive the real
#     executable as a person would, so they fork, wait, set limits and
#     mount.
#  3. Every include goes down the layer order below, or stays in its layer.
#  4. No cycle between modules. A module is a .cpp and the header of the
#     same name; a header with no .cpp of its own belongs to whoever
#     includes it, so its includes count as theirs.
#
# The layer order, bottom first. A file's layer is that of the longest
# entry its path starts with. Equal numbers are one layer.
layers='
0  platform/          the operating system, OpenGL, sound, files: knows nothing of the show
1  render/math        vectors and matrices; they include nothing of the show
1  data/resource_ids  named resource ids, generated from data/resources.list
2  data/texture       the texture record every drawing service passes around
3  app/               services: device, frame timer, keys, quit request, text, dialog
4  data/              the data file table, creators, asset cache, music
5  render/            camera, scene targets, post-processing
6  fx2d/draw2d        2D drawing (the panels draw with it)
7  engine/            effects, the sequencer and the current demo, parameters and panels
8  fx2d/              the 2D effects
9  tower/             the tower
10 main/              entry point, main loop, command line, capture, class registration
11 tools/             programs built on the show and the platform
11 bench/
11 fuzz/
11 tests/
'
set -euo pipefail
# Usage: bash tools/check_boundary.sh [ROOT]   (ROOT: another tree to check)
cd "${1:-$(dirname "$0")/..}"

folders=(app main engine data fx2d render tower platform tools bench fuzz tests)
status=0

# 1. Library headers.
lib='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](SDL|SDL2/|X11/|GL/|GLES|EGL/|epoxy/|glslang/|spirv|SPIRV|spirv_cross|mpg123|out123|ft2build|freetype|FT_|kiss|stb|png|jpeg|zlib|zconf|jpeglib|turbojpeg|assimp/|KHR/|vulkan)'
hits=$(grep -rnE "$lib" --include='*.h' --include='*.cpp' --include='*.c' \
         "${folders[@]}" 2>/dev/null | grep -v '^platform/' | grep -vE '^bench/(gl_floor|startup_floor)\.cpp:[0-9]+:#include <(SDL\.h|epoxy/gl\.h)>' || true)
if [ -n "$hits" ]; then
  echo "boundary: only platform/ may include library headers; found:"
  echo "$hits"
  status=1
fi

# 2. POSIX and OS headers.
os='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd|fcntl|signal|dirent|pthread|dlfcn|poll|spawn|termios|wait|pwd|grp|sched|semaphore|syslog|fnmatch|glob|libgen|time|err|link|mntent|windows|winsock|io|direct)\.h>|^[[:space:]]*#[[:space:]]*include[[:space:]]*<(sys|linux|asm|bits|arpa|netinet|net)/'
hits=$(grep -rnE "$os" --include='*.h' --include='*.cpp' --include='*.c' \
         "${folders[@]}" 2>/dev/null | grep -vE '^(platform|tests)/' || true)
if [ -n "$hits" ]; then
  echo "boundary: only platform/ may include POSIX or OS headers; found:"
  echo "$hits"
  status=1
fi

# 3 and 4. The include graph: one "file included" pair per line.
edges=$(grep -rnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+"' --include='*.h' --include='*.cpp' \
          "${folders[@]}" 2>/dev/null | sed -E 's/^([^:]+):[0-9]+:.*"([^"]+)"$/\1 \2/' || true)
files=$(find "${folders[@]}" \( -name '*.h' -o -name '*.cpp' \) -type f 2>/dev/null | sort || true)

result=$(awk -v layers="$layers" '
function layer_of(path,    best, bestlen, i) {
    best = -1; bestlen = -1
    for (i = 1; i <= nl; i++)
        if (substr(path, 1, length(lp[i])) == lp[i] && length(lp[i]) > bestlen) { best = ln[i]; bestlen = length(lp[i]) }
    return best
}
function module_of(path) { sub(/\.(h|cpp)$/, "", path); return path }
# Adds the modules that file f reaches to module m, passing through headers
# that have no .cpp of their own.
function reach(m, f,    k, n, list, t, tm) {
    if ((m SUBSEP f) in walked) return
    walked[m, f] = 1
    n = split(inc[f], list, " ")
    for (k = 1; k <= n; k++) {
        t = list[k]; tm = module_of(t)
        if ((tm ".cpp") in exists) {
            if (tm != m && !((m SUBSEP tm) in dep)) { dep[m, tm] = 1; deps[m] = deps[m] " " tm }
        } else {
            reach(m, t)
        }
    }
}
function path_to(from, to,    queue, head, tail, seen, prev, cur, n, list, k, nx, out) {
    head = 1; tail = 1; queue[1] = from; seen[from] = 1
    while (head <= tail) {
        cur = queue[head++]
        if (cur == to) {
            out = to
            while (cur != from) { cur = prev[cur]; out = cur " -> " out }
            return out
        }
        n = split(deps[cur], list, " ")
        for (k = 1; k <= n; k++) {
            nx = list[k]
            if (!(nx in seen)) { seen[nx] = 1; prev[nx] = cur; queue[++tail] = nx }
        }
    }
    return ""
}
BEGIN {
    n = split(layers, rows, "\n")
    for (i = 1; i <= n; i++) {
        if (split(rows[i], w, " ") < 2) continue
        nl++; ln[nl] = w[1] + 0; lp[nl] = w[2]
    }
}
FNR == NR { exists[$0] = 1; if ($0 ~ /\.cpp$/) cpps[++nc] = $0; next }
{
    from = $1; to = $2
    # Generated at build time; it includes nothing.
    if (!(to in exists) && to != "data/resource_ids.h") next
    inc[from] = inc[from] " " to
    lf = layer_of(from); lt = layer_of(to)
    if (lf < 0) { print "UNPLACED " from; next }
    if (lt < 0) { print "UNPLACED " to; next }
    if (lt > lf) print "UP " from " (layer " lf ") includes " to " (layer " lt ")"
}
END {
    for (i = 1; i <= nc; i++) {
        m = module_of(cpps[i])
        reach(m, cpps[i])
        if ((m ".h") in exists) reach(m, m ".h")
    }
    for (i = 1; i <= nc; i++) {
        m = module_of(cpps[i])
        if (m in reported) continue
        n = split(deps[m], list, " ")
        for (k = 1; k <= n; k++) {
            p = path_to(list[k], m)
            if (p != "") {
                print "CYCLE " m " -> " p
                c = split(p, parts, " -> ")
                for (j = 1; j <= c; j++) reported[parts[j]] = 1
                break
            }
        }
    }
}' <(echo "$files") <(echo "$edges"))

if grep -q '^UNPLACED' <<<"$result"; then
  echo "boundary: files outside every layer of tools/check_boundary.sh (give them one):"
  grep '^UNPLACED' <<<"$result" | sed 's/^UNPLACED /  /' | sort -u
  status=1
fi
if grep -q '^UP' <<<"$result"; then
  echo "boundary: includes against the layer order (a lower layer may not include a higher one):"
  grep '^UP' <<<"$result" | sed 's/^UP /  /'
  status=1
fi
if grep -q '^CYCLE' <<<"$result"; then
  echo "boundary: modules that include each other, round a cycle:"
  grep '^CYCLE' <<<"$result" | sed 's/^CYCLE /  /'
  status=1
fi
if [ "$status" = 0 ]; then
  modules=$(grep -c '\.cpp$' <<<"$files")
  echo "boundary: ok (library and OS headers only in platform/; $modules modules, no cycle, every include down the layer order)"
fi
exit "$status"
