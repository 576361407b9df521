#!/usr/bin/env bash
# Proves the install list of tools/deps.sh against what a configured build
# really used. A machine that had a package installed by hand builds fine
# and hides a missing entry; a fresh machine then fails at CMake. So every
# file the build found is traced to the Debian package that owns it
# (dpkg -S), and that package must be in the list or in the Depends closure
# of a listed package (apt-cache depends --recurse).
#
# What is traced:
#   - each CMake package directory the cache recorded (*_DIR), through the
#     config files inside it;
#   - each pkg-config module the CMake files ask for, through its .pc file;
#   - the compilers, make, cmake and pkg-config themselves;
#   - every shared library the executable loads (ldd), and the GL pieces it
#     opens at run time: Mesa's DRI driver and the EGL/GLX vendor libraries;
#   - the programs the desktop tests run (Xvfb, openbox, xdotool, import,
#     xwininfo) and ffmpeg.
# The fonts are linked into the executable; none is read from disk.
#
# Usage: bash tools/check_deps.sh [BUILD_DIR] [--without PKG]...
#   --without PKG  check as if PKG were not in the list (shows that a
#                  missing entry is caught)
# Exit 0 when everything is covered; 1 naming each package that is not.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
without=()
while [ $# -gt 0 ]; do
  case "$1" in
    --without) without+=("$2"); shift 2 ;;
    -*) echo "check_deps: unknown option $1" >&2; exit 2 ;;
    *) build=$1; shift ;;
  esac
done
cache="$build/CMakeCache.txt"
if [ ! -f "$cache" ]; then
  echo "check_deps: $cache not found: configure the build first" >&2
  exit 2
fi

listed=()
while read -r p; do
  skip=0
  for w in "${without[@]+"${without[@]}"}"; do [ "$p" = "$w" ] && skip=1; done
  [ "$skip" = 0 ] && listed+=("$p")
done < <(bash tools/deps.sh --test --list)

# Every package a listed one pulls in. Alternatives ("a | b") count as
# pulled in whichever is chosen; recommends and suggests do not, since
# deps.sh installs without them.
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
            --no-replaces --no-enhances "${listed[@]}" 2>/dev/null |
          grep -v '^ ' | sed 's/:.*//; s/[<>]//g' | sort -u)
in_closure() { grep -qxF "$1" <<<"$closure"; }

# The files to trace, one a line, with what found them.
files=()
add() { [ -n "$2" ] && [ -e "$2" ] && files+=("$1|$(realpath "$2")"); return 0; }

while IFS='=' read -r key value; do
  name=${key%%_DIR:*}
  [ -d "$value" ] || continue
  case "$value" in "$PWD"*|/tmp/*) continue ;; esac
  for f in "$value"/*onfig*.cmake; do add "CMake package $name" "$f"; done
done < <(grep -E '^[A-Za-z0-9_]+_DIR:PATH=' "$cache")

for mod in $(grep -hoE 'pkg_check_modules\([^)]*\)' CMakeLists.txt cmake/*.cmake 2>/dev/null |
             sed -E 's/.*IMPORTED_TARGET[[:space:]]+//; s/\)$//'); do
  dir=$(pkg-config --variable=pcfiledir "$mod" 2>/dev/null || true)
  if [ -z "$dir" ]; then
    echo "check_deps: pkg-config module $mod is not installed" >&2
    exit 1
  fi
  add "pkg-config $mod" "$dir/$mod.pc"
done

for key in CMAKE_CXX_COMPILER CMAKE_C_COMPILER CMAKE_MAKE_PROGRAM CMAKE_COMMAND PKG_CONFIG_EXECUTABLE; do
  value=$(grep -E "^$key:[A-Z]+=" "$cache" | head -1 | cut -d= -f2- || true)
  add "$key" "$value"
done

if [ -x "$build/kelo" ]; then
  while read -r lib; do add "loaded by kelo" "$lib"; done < <(ldd "$build/kelo" | awk '/=> \//{print $3}')
fi
multiarch=$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)
for f in "/usr/lib/$multiarch/dri/swrast_dri.so" "/usr/lib/$multiarch/libEGL_mesa.so.0" \
         "/usr/lib/$multiarch/libGLX_mesa.so.0"; do
  add "GL at run time" "$f"
done
for prog in Xvfb openbox xdotool import xwininfo ffmpeg; do
  add "test program" "$(command -v "$prog" || true)"
done

# dpkg knows a file by the path its package shipped; on a merged-/usr system
# /lib/x and /usr/lib/x are one file, so both spellings are asked. One dpkg
# call for all of them: each call reads the whole package database.
queries=()
for entry in "${files[@]}"; do
  path=${entry#*|}
  case "$path" in /usr/*) alt=${path#/usr} ;; *) alt=/usr$path ;; esac
  queries+=("$path" "$alt")
done
owner_lines=$(dpkg -S "${queries[@]}" 2>/dev/null | grep -v '^diversion' || true)
owners_of() {
  local path=$1 alt
  case "$path" in /usr/*) alt=${path#/usr} ;; *) alt=/usr$path ;; esac
  awk -v a="$path" -v b="$alt" '{
      i = index($0, ": /"); f = substr($0, i + 2)
      if (i && (f == a || f == b)) print substr($0, 1, i - 1)
    }' <<<"$owner_lines" | tr ',' '\n' | sed -E 's/^ +//; s/:.*//' | sort -u
}

failed=0
declare -A reported=()
for entry in "${files[@]}"; do
  what=${entry%%|*}
  path=${entry#*|}
  owners=$(owners_of "$path")
  if [ -z "$owners" ]; then
    echo "check_deps: $path ($what) belongs to no Debian package"
    failed=1
    continue
  fi
  ok=0
  for o in $owners; do in_closure "$o" && ok=1; done
  if [ "$ok" = 0 ]; then
    first=$(head -1 <<<"$owners")
    if [ -z "${reported[$first]:-}" ]; then
      echo "check_deps: missing from tools/deps.sh: $first (owns $path, $what)"
      reported[$first]=1
    fi
    failed=1
  fi
done

if [ "$failed" = 1 ]; then
  echo "check_deps: FAILED: add the package(s) above to tools/deps.sh"
  exit 1
fi
echo "check_deps: ok (${#files[@]} files from the build and its tests, all from listed packages or their dependencies)"
