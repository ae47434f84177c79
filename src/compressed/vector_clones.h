#pragma once

#include "core/cpu_features.h"

// Hot loops of the block codec are compiled twice, for the baseline
// instruction set and for AVX2, and the loader picks one per machine. The
// results are identical; only the speed differs (the baseline lacks a
// 32-bit vector multiply, which every lifting step needs). Sanitizer builds
// leave the clones out: their resolvers run before a sanitizer's runtime is
// ready.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__) && !defined(TYQ_NO_VECTOR_CLONES)
#define TYQ_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TYQ_VECTOR_CLONES
#endif

// Functions compiled for 512-bit vectors (TYQ_WIDE_VECTORS), called instead
// of their clones when wideVectors() says the processor has them: the same
// results in half the instructions. They need no loader resolver, so
// sanitizer builds keep them.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(TYQ_NO_VECTOR_CLONES)
#define TYQ_WIDE_VECTORS __attribute__((target("avx512f")))
inline bool wideVectors() {
  return Qra::Ostrel::Tyq::Private::Cpu::HasAvx512();
}
#else
#define TYQ_WIDE_VECTORS
inline bool wideVectors() {
  return false;
}
#endif
