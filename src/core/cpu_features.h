#pragma once

// The vector instruction sets this processor offers, for the hot loops that
// have variants compiled for them. Every variant gives the same results;
// only the speed differs, so the answer never changes what is computed.
namespace Qra::Ostrel::Tyq::Private::Cpu {

#if defined(__x86_64__) && defined(__GNUC__)
inline bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();  // in case this runs before the constructors
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

// The 512-bit set the wide variants are compiled for: foundation, double
// and quad words, vector lengths, bytes and words.
inline bool HasAvx512() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
  }();
  return has;
}
#else
inline bool HasAvx2() {
  return false;
}
inline bool HasAvx512() {
  return false;
}
#endif

}  // namespace Qra::Ostrel::Tyq::Private::Cpu
