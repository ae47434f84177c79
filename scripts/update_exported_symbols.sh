#!/usr/bin/env bash
# Writes tests/api/exported_symbols.txt from the libtyq.so of a build
# directory (default build/test-release). Run it when
# a change of the exported interface is intended, and commit the list.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test-release}
cmake --build "$build" --target tyq
cmake -DLIBRARY="$build/src/libtyq.so" -DOUTPUT=tests/api/exported_symbols.txt \
  -P tests/api/exported_symbols.cmake
echo "wrote tests/api/exported_symbols.txt"
