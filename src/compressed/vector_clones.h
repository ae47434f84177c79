#pragma once

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
