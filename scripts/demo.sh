#!/usr/bin/env bash
# Set up, build (Release) and run the tyq tool's main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTYQ_BUILD_TESTS=OFF
# The default target: the tool, the libraries and the example, so that
# `cmake --install build/release` works afterwards.
cmake --build build/release
build/release/apps/tyq/tyq version
build/release/apps/tyq/tyq demo build/demo
