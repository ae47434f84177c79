#!/usr/bin/env bash
# Keeps the benchmarks and fuzz targets from rotting: every benchmark runs
# once with a tiny time, every fuzz target replays its corpus and then runs
# briefly on a scratch copy of it (so new finds never dirty the tree).
# Usage: scripts/smoke_bench_fuzz.sh BENCH_BUILD_DIR FUZZ_BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
bench_dir=$1
fuzz_dir=$2

for b in "$bench_dir"/bench/bench_*; do
  [ -x "$b" ] || continue
  name=$(basename "$b")
  echo "--- $name"
  extra=()
  # Decoding every touched brick again for each slice takes minutes by design.
  [ "$name" = bench_compressed_read ] && extra=(--benchmark_filter='^(cached|uncompressed)/|^write/1')
  # Small cubes: the full ones take a minute or more before the first figure.
  [ "$name" = bench_compress_copy ] && extra=(--small)
  cube=""
  [ "$name" = bench_vs_hdf5 ] && cube=128,128,96
  TYQ_BENCH_CUBE=$cube "$b" --benchmark_min_time=0.01 "${extra[@]}" >/dev/null
  # Its compressed run at one quality; HDF5 with its 1 MiB default cache
  # decodes a chunk per chunk touched, seconds even on the small cube.
  if [ "$name" = bench_vs_hdf5 ]; then
    TYQ_BENCH_CUBE=$cube "$b" --compressed --sqnr=30 --benchmark_min_time=0.01 \
      --benchmark_filter='^c30/(read/[a-z]+/(1GiB|default/[a-z]+/tyq)|callers|onecall|write)/' \
      >/dev/null
  fi
done
# The module's write against its C++ peer and h5py, when the build has the module.
if [ -d "$bench_dir/python/module" ] && [ -x "$bench_dir/bench/bench_python_write_peer" ]; then
  echo "--- python_write_bench.py"
  PYTHONPATH="$bench_dir/python/module" /usr/bin/python3 bench/python_write_bench.py --small \
    --peer "$bench_dir/bench/bench_python_write_peer" >/dev/null
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for f in "$fuzz_dir"/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=fuzz/corpus/${name#fuzz_}
  [ -d "$corpus" ] || corpus=fuzz/corpus/$(echo "${name#fuzz_}" | cut -d_ -f1)
  if [ ! -d "$corpus" ]; then
    echo "no corpus for $name" >&2
    exit 1
  fi
  echo "--- $name on $corpus"
  "$f" -runs=0 "$corpus" 2>"$scratch/log" || { cat "$scratch/log"; exit 1; }
  mkdir -p "$scratch/$name"
  cp -r "$corpus"/. "$scratch/$name/"
  # A find is written to the scratch folder and its bytes printed in the log.
  "$f" -max_total_time="${TYQ_FUZZ_SECONDS:-20}" -rss_limit_mb=2048 \
    -artifact_prefix="$scratch/" "$scratch/$name" \
    2>"$scratch/log" || { tail -40 "$scratch/log"; exit 1; }
done
echo "benchmarks and fuzz targets ran"
