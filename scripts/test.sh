#!/usr/bin/env bash
# Set up, check the formatting, build and run the whole test suite twice: a warnings-as-errors
# release build, then a build under AddressSanitizer and
# UndefinedBehaviorSanitizer; then the threaded tests under ThreadSanitizer;
# then replay and briefly run every fuzz target and run every benchmark
# once. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check_format.sh
jobs=$(nproc)

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DTYQ_WERROR=ON -DTYQ_BUILD_BENCH=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "=== release build ==="
# The Python module is built and tested here only: an instrumented module
# cannot be loaded by the uninstrumented interpreter.
run_suite build/test-release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTYQ_BUILD_PYTHON=ON \
  -DPython3_EXECUTABLE=/usr/bin/python3
echo "=== sanitizer build (address, undefined) ==="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/test-asan -DCMAKE_BUILD_TYPE=Debug -DTYQ_SANITIZE=ON -DTYQ_BUILD_BENCH=OFF
echo "=== threaded tests under ThreadSanitizer ==="
# Only the test programs that start threads, and only their threaded tests.
tsan_programs=(tyq_api_tests tyq_bricked_tests tyq_compressed_tests tyq_core_tests tyq_io_tests
               tyq_synthetic_tests tyq_tools_tests)
cmake -S . -B build/test-tsan -G Ninja -DTYQ_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread
cmake --build build/test-tsan -j "$jobs" --target "${tsan_programs[@]}"
for program in "${tsan_programs[@]}"; do
  TSAN_OPTIONS=halt_on_error=1 "build/test-tsan/tests/$program" \
    --gtest_filter='*Thread*:*Shared*:*Concurrent*'
done
echo "=== fuzz targets (clang) and benchmark smoke runs ==="
cmake -S . -B build/test-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DTYQ_BUILD_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test-fuzz -j "$jobs" --target tyq_fuzz_all
scripts/smoke_bench_fuzz.sh build/test-release build/test-fuzz
echo "tyq: all tests passed"
