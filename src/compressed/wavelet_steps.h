#pragma once

// The four lifting steps, written once for any vector width: V is a vector
// of L = sizeof(V) / 4 unsigned 32-bit lanes. Each caller instantiates them
// inside a function compiled for an instruction set with that width.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "compressed/wavelet_lift.h"

namespace Qra::Ostrel::Tyq::Private::Block::Lift {

template <typename V>
inline constexpr int kLanes = static_cast<int>(sizeof(V) / sizeof(uint32_t));

// The lifting term ((a + b) * mul + add) >> shift in wrapping arithmetic
// (the shift is arithmetic).
template <int Mul, int Add, int Shift>
TYQ_LIFT_INLINE uint32_t term(uint32_t a, uint32_t b) {
  return static_cast<uint32_t>(static_cast<int32_t>((a + b) * uint32_t{Mul} + uint32_t(Add)) >>
                               Shift);
}

// o -= or += the term of a and b, lane by lane.
template <int Mul, int Add, int Shift, bool Subtract, typename V>
TYQ_LIFT_INLINE void liftVector(V& o, const V& a, const V& b) {
  using S = typename SignedOf<V>::type;
  V mul = V{} + uint32_t{Mul};
#if !defined(__clang__)
  if constexpr (sizeof(V) == 64) {
    // A 512-bit multiply costs one instruction; left to itself GCC spells
    // the constant out in up to ten shifts and additions.
    __asm__("" : "+v"(mul));
  }
#endif
  const S sum = reinterpret_cast<S>((a + b) * mul + uint32_t(Add));
  const V t = reinterpret_cast<V>(sum >> Shift);
  o = Subtract ? o - t : o + t;
}

// o[j] -= or += the term of a[j] and b[j], for j < w; L lanes at a time
// written as vectors, so that the loop vectorises whatever the optimisation
// level.
template <typename V, int Mul, int Add, int Shift, bool Subtract>
TYQ_LIFT_INLINE void liftLine(uint32_t* __restrict o, const uint32_t* a, const uint32_t* b, int w) {
  constexpr int L = kLanes<V>;
  int j = 0;
  for (; j + L <= w; j += L) {
    V va, vb, vo;
    std::memcpy(&va, a + j, sizeof va);
    std::memcpy(&vb, b + j, sizeof vb);
    std::memcpy(&vo, o + j, sizeof vo);
    liftVector<Mul, Add, Shift, Subtract>(vo, va, vb);
    std::memcpy(o + j, &vo, sizeof vo);
  }
  for (; j < w; ++j) {
    const uint32_t t = term<Mul, Add, Shift>(a[j], b[j]);
    o[j] = Subtract ? o[j] - t : o[j] + t;
  }
}

// Lifting steps over lines whose elements are `w` contiguous values, element
// k at x + k * stride; the `w` lines are lifted together, which keeps the
// inner loops contiguous. Odd elements are updated from their even
// neighbours or the reverse; the row ends mirror without repeating the end.
template <typename V, int Mul, int Add, int Shift, bool Subtract>
TYQ_LIFT_INLINE void liftOdd(uint32_t* x, int n, ptrdiff_t stride, int w) {
  for (int k = 1; k < n; k += 2) {
    const uint32_t* a = x + (k - 1) * stride;
    const uint32_t* b = (k + 1 < n) ? x + (k + 1) * stride : a;
    liftLine<V, Mul, Add, Shift, Subtract>(x + k * stride, a, b, w);
  }
}

template <typename V, int Mul, int Add, int Shift, bool Subtract>
TYQ_LIFT_INLINE void liftEven(uint32_t* x, int n, ptrdiff_t stride, int w) {
  for (int k = 0; k < n; k += 2) {
    const uint32_t* b = x + (k + 1) * stride;
    const uint32_t* a = k > 0 ? x + (k - 1) * stride : b;
    liftLine<V, Mul, Add, Shift, Subtract>(x + k * stride, a, b, w);
  }
}

template <typename V>
TYQ_LIFT_INLINE void liftLines(uint32_t* x, int n, ptrdiff_t stride, int w, bool inverse) {
  if (inverse) {
    liftEven<V, 1817, 2048, 12, true>(x, n, stride, w);
    liftOdd<V, 113, 64, 7, true>(x, n, stride, w);
    liftEven<V, 217, -2048, 12, false>(x, n, stride, w);
    liftOdd<V, 203, -64, 7, false>(x, n, stride, w);
  } else {
    liftOdd<V, 203, -64, 7, true>(x, n, stride, w);
    liftEven<V, 217, -2048, 12, true>(x, n, stride, w);
    liftOdd<V, 113, 64, 7, false>(x, n, stride, w);
    liftEven<V, 1817, 2048, 12, false>(x, n, stride, w);
  }
}

// Lane permutations of one or two vectors, by index lists built from the
// lane numbers I = 0 .. L - 1.
template <typename V, size_t... I>
TYQ_LIFT_INLINE void deinterleave(const V& v0, const V& v1, V& even, V& odd,
                                  std::index_sequence<I...>) {
  even = __builtin_shufflevector(v0, v1, (2 * I)...);
  odd = __builtin_shufflevector(v0, v1, (2 * I + 1)...);
}

template <typename V, size_t... I>
TYQ_LIFT_INLINE void interleave(const V& even, const V& odd, V& v0, V& v1,
                                std::index_sequence<I...>) {
  constexpr size_t L = sizeof...(I);
  v0 = __builtin_shufflevector(even, odd, (I / 2 + (I % 2) * L)...);
  v1 = __builtin_shufflevector(even, odd, (L / 2 + I / 2 + (I % 2) * L)...);
}

// Lanes 1 .. L of the pair (a, b); of a alone, its last lane repeated.
template <typename V, size_t... I>
TYQ_LIFT_INLINE void shiftDown(const V& a, const V& b, V& out, std::index_sequence<I...>) {
  out = __builtin_shufflevector(a, b, (I + 1)...);
}
template <typename V, size_t... I>
TYQ_LIFT_INLINE void shiftDownLast(const V& a, V& out, std::index_sequence<I...>) {
  constexpr size_t L = sizeof...(I);
  out = __builtin_shufflevector(a, a, (I + 1 < L ? I + 1 : L - 1)...);
}

// Lanes L - 1 .. 2L - 2 of the pair (a, b); of b alone, its first lane
// repeated.
template <typename V, size_t... I>
TYQ_LIFT_INLINE void shiftUp(const V& a, const V& b, V& out, std::index_sequence<I...>) {
  constexpr size_t L = sizeof...(I);
  out = __builtin_shufflevector(a, b, (I + L - 1)...);
}
template <typename V, size_t... I>
TYQ_LIFT_INLINE void shiftUpFirst(const V& b, V& out, std::index_sequence<I...>) {
  out = __builtin_shufflevector(b, b, (I > 0 ? I - 1 : 0)...);
}

// A row of 2 N L elements held in registers as its even elements e and its
// odd ones o, N vectors each. A step's neighbour vectors are the halves
// shifted by one lane, the mirrored end repeating the last (odd step) or
// first (even step) element.
template <int Mul, int Add, int Shift, bool Subtract, typename V, int N>
TYQ_LIFT_INLINE void regOdd(const V (&e)[N], V (&o)[N]) {
  constexpr auto lanes = std::make_index_sequence<kLanes<V>>();
  _Pragma("GCC unroll 8") for (int k = 0; k < N; ++k) {
    V next;
    if (k + 1 < N)
      shiftDown(e[k], e[k + 1], next, lanes);
    else
      shiftDownLast(e[k], next, lanes);
    liftVector<Mul, Add, Shift, Subtract>(o[k], e[k], next);
  }
}

template <int Mul, int Add, int Shift, bool Subtract, typename V, int N>
TYQ_LIFT_INLINE void regEven(V (&e)[N], const V (&o)[N]) {
  constexpr auto lanes = std::make_index_sequence<kLanes<V>>();
  _Pragma("GCC unroll 8") for (int k = 0; k < N; ++k) {
    V prev;
    if (k > 0)
      shiftUp(o[k - 1], o[k], prev, lanes);
    else
      shiftUpFirst(o[k], prev, lanes);
    liftVector<Mul, Add, Shift, Subtract>(e[k], prev, o[k]);
  }
}

template <typename V, int N>
TYQ_LIFT_INLINE void liftRowInRegisters(const uint32_t* row, uint32_t* out, bool inverse) {
  constexpr int L = kLanes<V>;
  constexpr auto lanes = std::make_index_sequence<L>();
  V e[N], o[N];
  _Pragma("GCC unroll 8") for (int k = 0; k < N; ++k) {
    V v0, v1;
    std::memcpy(&v0, row + 2 * L * k, sizeof v0);
    std::memcpy(&v1, row + 2 * L * k + L, sizeof v1);
    deinterleave(v0, v1, e[k], o[k], lanes);
  }
  if (inverse) {
    regEven<1817, 2048, 12, true>(e, o);
    regOdd<113, 64, 7, true>(e, o);
    regEven<217, -2048, 12, false>(e, o);
    regOdd<203, -64, 7, false>(e, o);
  } else {
    regOdd<203, -64, 7, true>(e, o);
    regEven<217, -2048, 12, true>(e, o);
    regOdd<113, 64, 7, false>(e, o);
    regEven<1817, 2048, 12, false>(e, o);
  }
  _Pragma("GCC unroll 8") for (int k = 0; k < N; ++k) {
    V v0, v1;
    interleave(e[k], o[k], v0, v1, lanes);
    std::memcpy(out + 2 * L * k, &v0, sizeof v0);
    std::memcpy(out + 2 * L * k + L, &v1, sizeof v1);
  }
}

// Rows along axis 0 are contiguous; rows of 2 N L elements are lifted whole
// in registers.
template <typename V, int N>
TYQ_LIFT_INLINE void liftRowsInRegisters(const uint32_t* region, uint32_t* out, int rows,
                                         bool inverse) {
  for (int r = 0; r < rows; ++r) {
    const ptrdiff_t at = static_cast<ptrdiff_t>(r) * 2 * N * kLanes<V>;
    liftRowInRegisters<V, N>(region + at, out + at, inverse);
  }
}

// Lifts the rows of `region` into `out` (which may be `region`) when their
// length is a multiple of 2 L up to 8 L; false otherwise.
template <typename V>
TYQ_LIFT_INLINE bool liftRowsOf(const uint32_t* region, uint32_t* out, int n0, int rows,
                                bool inverse) {
  constexpr int L = kLanes<V>;
  if (n0 == 2 * L)
    liftRowsInRegisters<V, 1>(region, out, rows, inverse);
  else if (n0 == 4 * L)
    liftRowsInRegisters<V, 2>(region, out, rows, inverse);
  else if (n0 == 6 * L)
    liftRowsInRegisters<V, 3>(region, out, rows, inverse);
  else if (n0 == 8 * L)
    liftRowsInRegisters<V, 4>(region, out, rows, inverse);
  else
    return false;
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Block::Lift
