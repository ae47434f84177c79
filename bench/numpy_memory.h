#pragma once

// Memory for a new array as numpy gets it on Linux, so that the C++ peers
// of the module's benchmarks pay the same page faults and TLB misses.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace tyq_bench {

// malloc, and huge pages asked for from the first page boundary on when the
// block is 4 MiB or more. Free with std::free.
inline float* allocateLikeNumpy(size_t bytes) {
  void* p = std::malloc(bytes);
  if (p && bytes >= (size_t{4} << 20)) {
    const uintptr_t skip = 4096 - reinterpret_cast<uintptr_t>(p) % 4096;
    ::madvise(static_cast<char*>(p) + skip, bytes - skip, MADV_HUGEPAGE);
  }
  return static_cast<float*>(p);
}

}  // namespace tyq_bench
