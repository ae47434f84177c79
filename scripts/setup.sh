#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail

# liburing-dev: asynchronous transfers of the multi-threaded file.
# libsegyio-dev: the tool's SEG-Y import and export, and survey loading in the benchmarks.
# libpng-dev: the tool's slice pictures. libzfp-dev serves only the benchmarks (peer codec),
# libhdf5-dev and its ZFP filter plugin only bench_vs_hdf5 (peer store); python3-h5py only the
# module's write benchmark.
# The Python module is built with pybind11 against Debian's interpreter and numpy,
# and tested with its pytest; dask checks that volumes serve as dask arrays.
packages=(cmake ninja-build g++ clang clang-format pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          liburing-dev libsegyio-dev libpng-dev libzfp-dev libhdf5-dev python3-dev python3-numpy
          python3-pytest python3-pybind11 pybind11-dev python3-dask
          hdf5-filter-plugin-zfp-serial python3-h5py)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "tyq setup: installing ${missing[*]}"
  sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
