#!/usr/bin/env bash
# Builds the libFuzzer targets of our parsers (fuzz/) with clang and runs
# each for a bounded time, starting from the committed seed corpus and the
# show's own effect files and meshes.
#
# Usage: bash tools/fuzz.sh [SECONDS] [TARGET...]
#   SECONDS  time per target (default 10)
#   TARGET   fuzz_fx (effect files), fuzz_xfile (X meshes), fuzz_keys
#            (--keys and the command line); default all three
#
# An input that crashes, trips ASan or UBSan, runs over one second or
# takes over 2 GB fails the run: the script goes on with the other targets,
# then exits 1. The failing input is left as build-fuzz/artifacts/TARGET-*;
# replay it with build-fuzz/TARGET FILE. Inputs found along the way go to
# build-fuzz/corpus/TARGET, so later runs start from there; fuzz/corpus/
# holds only what is committed. KELO_FUZZ_BUILD names another build dir.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_fx fuzz_xfile fuzz_keys)
build=${KELO_FUZZ_BUILD:-build-fuzz}

# clang and its runtime libraries (libFuzzer, the sanitizers).
missing=()
for p in clang-14 libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  echo "fuzz: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELO_FUZZ=ON -DKELO_TESTS=OFF -DKELO_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

declare -A seeds=([fuzz_fx]=fx [fuzz_xfile]=x [fuzz_keys]=keys)
# The show's own effect files and meshes seed their parsers from where they
# live, not from copies. The meshes are read at most 16 KB deep: the two
# large ones enter as their first 16 KB, which is what a mutation needs, and
# the runs stay fast.
declare -A real=([fuzz_fx]=render/shaders [fuzz_xfile]=data/assets/meshes [fuzz_keys]=)
declare -A limits=([fuzz_fx]= [fuzz_xfile]=-max_len=16384 [fuzz_keys]=)
failed=()
for t in "${targets[@]}"; do
  kind=${seeds[$t]:?unknown target $t}
  mkdir -p "$build/corpus/$t" "$build/artifacts"
  log="$build/$t.log"
  echo "fuzz: $t for ${seconds}s"
  # The writable corpus comes first: libFuzzer adds new inputs to it.
  # shellcheck disable=SC2086  # an empty limit or real corpus is no argument
  if "$build/$t" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 ${limits[$t]} \
       -dict="fuzz/$kind.dict" -artifact_prefix="$build/artifacts/$t-" \
       -print_final_stats=1 "$build/corpus/$t" "fuzz/corpus/$kind" ${real[$t]} >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
    echo "fuzz: $t ok: $execs runs, $cov"
  else
    echo "fuzz: $t FAILED (log: $log)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|.*Test unit written)' "$log" | head -5 || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}"
  exit 1
fi
