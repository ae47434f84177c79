#pragma once

// The passes of the bit-plane coder, written once for both directions: a
// policy either writes the bit the encoder knows (and returns it) or reads
// the bit back (and returns what was read). Magnitude updates are written
// as `|=`, which leaves the encoder's coefficients unchanged and builds the
// decoder's; both therefore walk the same states in the same order.
//
// Coefficients are sign-magnitude (bit 31 = sign). State bytes: bit 7
// significant, bit 6 refined at least once, bit 5 significant but not yet
// refined, bit 4 sign of a significant coefficient, bits 0..3 the
// neighbourhood count (edge neighbours 2, corners 1), which matters only
// while the coefficient is insignificant. The count is kept whole, not
// capped: it cannot pass 12, so a neighbour that becomes significant just
// adds to the byte, and the cap lives in the stream tables. The border
// around every axis-2 plane of a band starts as kBorder and takes counts
// too (at most 4), but it never has bit 7 or bit 4 set.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compressed/subbands.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Qra::Ostrel::Tyq::Private::Block {

constexpr int kRawStreams = 19;
constexpr int kRunStream = 11;
constexpr int kFirstRefineStream = 17;
constexpr int kRefineStream = 18;

constexpr uint8_t kSig = 0x80, kRefined = 0x40, kFresh = 0x20, kNeg = 0x10, kBorder = 0x08;

struct CoderTables {
  uint8_t cleanupStream[16];  // by neighbour count (0..12)
  uint8_t propStream[16];     // by neighbour count (1..12)
  uint8_t signStream[256];    // by the key of the four neighbours
  uint8_t signFlip[256];      // 1 when a 1 stands for a non-negative coefficient
};

constexpr CoderTables makeCoderTables() {
  CoderTables t{};
  // Counts above 7 code as 7.
  constexpr uint8_t prop[8] = {0, 12, 13, 14, 15, 16, 6, 7};
  for (int v = 0; v < 16; ++v) {
    t.cleanupStream[v] = static_cast<uint8_t>(v < 7 ? v >> 1 : 7);
    t.propStream[v] = prop[v < 7 ? v : 7];
  }
  // Key per neighbour: 2 = significant, +1 = negative.
  for (int key = 0; key < 256; ++key) {
    int n = 0, neg = 0;
    for (int i = 0; i < 4; ++i) {
      const int k = (key >> (2 * i)) & 3;
      n += (k >> 1) & 1;
      neg += k == 3;
    }
    const int sigma = n - 2 * neg;
    if (sigma == 0) {
      t.signStream[key] = 8;
    } else if (sigma < 0) {
      t.signStream[key] = neg == n ? 10 : 9;
      t.signFlip[key] = 1;
    } else {
      t.signStream[key] = neg == 0 ? 10 : 9;
    }
  }
  return t;
}
inline constexpr CoderTables kTables = makeCoderTables();

// For each position 4k + j of a group (column k, row j), the positions of
// its 8 neighbours inside the group that come after it in scan order.
struct LaterNeighbours {
  uint32_t at[32];
};
constexpr LaterNeighbours makeLaterNeighbours() {
  LaterNeighbours t{};
  for (int p = 0; p < 32; ++p)
    for (int k = p / 4 - 1; k <= p / 4 + 1; ++k)
      for (int j = p % 4 - 1; j <= p % 4 + 1; ++j)
        if (k >= 0 && k < 8 && j >= 0 && j < 4 && 4 * k + j > p) t.at[p] |= 1u << (4 * k + j);
  return t;
}
inline constexpr LaterNeighbours kLaterNeighbours = makeLaterNeighbours();

// The sign-context key of the four edge neighbours (left, right, up, down):
// per neighbour 2 bits, 2 = significant, +1 = negative. Taken from bits 7
// and 4 of all four states at once, then gathered by one multiplication.
inline int neighbourKey(uint8_t left, uint8_t right, uint8_t up, uint8_t down) {
  const uint64_t w =
      uint64_t{left} | uint64_t{right} << 8 | uint64_t{up} << 16 | uint64_t{down} << 24;
  const uint64_t k = ((w >> 6) & 0x02020202u) | ((w >> 4) & 0x01010101u);
  return static_cast<int>(((k * 0x41041u) >> 18) & 0xFF);
}

// Bit k set when m[k] has bit g, for k = 0..7.
inline uint32_t bitSet8(const uint32_t* m, uint32_t g) {
#if defined(__SSE2__)
  const __m128i gv = _mm_set1_epi32(static_cast<int>(g));
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_cmpeq_epi32(
      _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m)), gv), zero);
  const __m128i hi = _mm_cmpeq_epi32(
      _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m + 4)), gv), zero);
  const __m128i words = _mm_packs_epi32(lo, hi);
  return ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(words, words))) & 0xFFu;
#else
  uint32_t has = 0;
  for (int k = 0; k < 8; ++k) has |= static_cast<uint32_t>((m[k] & g) != 0) << k;
  return has;
#endif
}

// Resets every band's states: inner bytes 0, border bytes kBorder.
void clearStates(uint8_t* states);

// Border positions of an n0 x n1 plane in the order of the final pass:
// refinement order and significance-group order, as i0 + 256 * i1.
struct BorderOrder {
  int count = 0;
  uint16_t refine[128];
  uint16_t groups[128];
};
BorderOrder makeBorderOrder(int n0, int n1);

// A coder for bands of N0 x N0 x N2 coefficients: with the shape fixed,
// every index step is a constant, which frees registers in the passes.
template <class Bits, int N0, int N2>
class BandCoder {
  static constexpr int kN0 = N0, kN1 = N0, kN2 = N2;
  static constexpr int kRow = N0 + 2, kPlaneBytes = (N0 + 2) * (N0 + 2);

 public:
  BandCoder(Bits& bits, const Subband& band, uint32_t* coef, uint8_t* states)
      : bits_(bits), mag_(coef + band.offset), st_(states + band.stateOffset + kRow + 1) {}

  // Codes `count` planes below the `done` already coded of a band whose
  // magnitudes have `msb` bits; with `final`, ends with the border pass.
  void code(int msb, int done, int count, bool final) {
    uint32_t g = 1u << (msb - 1 - done);
    int triples = count;
    if (done == 0) {
      cleanup(g);
      g >>= 1;
      --triples;
    }
    for (int i = 0; i < triples; ++i, g >>= 1) {
      propagate(g);
      refine(g);
      cleanup(g);
    }
    if (final && g != 0) finalPass(g);
  }

 private:
  // Passes visit the columns of 4 in scan order: axis-2 planes, stripes of
  // four rows, columns, top row first; columns are taken in groups of 8,
  // whose states are read as one 64-bit word per row.
  static uint64_t load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  }
  static constexpr uint64_t kBytes80 = 0x8080808080808080ULL;
  static constexpr uint64_t kCounts = 0x0F0F0F0F0F0F0F0FULL;

  // Codes the sign and counts the coefficient in its eight neighbours.
  void becomeSignificant(int c, int t, uint8_t base, uint32_t g) {
    uint8_t* s = st_ + t;
    constexpr ptrdiff_t row = kRow;
    const int key = neighbourKey(s[-1], s[1], s[-row], s[row]);
    const uint32_t flip = kTables.signFlip[key];
    const uint32_t neg = bits_.bit(kTables.signStream[key], (mag_[c] >> 31) ^ flip) ^ flip;
    mag_[c] |= g | (neg << 31);
    *s = static_cast<uint8_t>(base | (neg << 4));
    s[-1] += 2;
    s[1] += 2;
    s[-row] += 2;
    s[row] += 2;
    s[-row - 1] += 1;
    s[-row + 1] += 1;
    s[row - 1] += 1;
    s[row + 1] += 1;
  }

  // A column's run bit is 1 when some insignificant coefficient of it has
  // bit g. Only the encoder knows that in advance; coding a column changes
  // no other column's answer (neighbours gain counts, not significance), so
  // the columns of a group between those with a 1 take their zeros in one go.
  // The run stream stays in a local for the whole pass.
  void cleanup(uint32_t g) {
    constexpr int n0 = kN0, n1 = kN1, n2 = kN2, sRow = kRow, sPlane = kPlaneBytes;
    auto run = bits_.take(kRunStream);
    for (int i2 = 0; i2 < n2; ++i2) {
      for (int r = 0; r < n1; r += 4) {
        const int c0 = (i2 * n1 + r) * n0;
        const int t0 = i2 * sPlane + r * sRow;
        if constexpr (Bits::kDecode) {
          // The reader takes the zeros of a whole stripe in as few steps as
          // it has them at hand.
          for (int k = 0; k < n0; ++k) {
            k += Bits::zeroRun(run, n0 - k, 0);
            if (k < n0) cleanupColumn(run, c0 + k, t0 + k, g);
          }
          continue;
        }
        for (int i0 = 0; i0 < n0; i0 += 8) {
          const uint32_t hits = hitColumns(st_ + t0 + i0, c0 + i0, g);
          for (int k = 0; k < 8; ++k) {
            k += Bits::zeroRun(run, 8 - k, hits >> k);
            if (k < 8) cleanupColumn(run, c0 + i0 + k, t0 + i0 + k, g);
          }
        }
      }
    }
    bits_.give(kRunStream, run);
  }

  uint32_t hitColumns(const uint8_t* group, int c, uint32_t g) const {
    uint32_t hits = 0;
    for (int j = 0; j < 4; ++j)
      hits |= bitSet8(mag_ + c + j * kN0, g) & byteMask(~load8(group + j * kRow) & kBytes80);
    return hits;
  }

  template <class Local>
  void cleanupColumn(Local& run, int c, int t, uint32_t g) {
    constexpr int n0 = kN0;
    int k = 0;
    if (!Bits::kDecode) {
      while (k < 4 && !(st_[t + k * kRow] < kSig && (mag_[c + k * n0] & g))) ++k;
    }
    if (!Bits::ioBit(run, k < 4)) return;
    const uint32_t hi = Bits::ioBit(run, (k >> 1) & 1);
    const uint32_t lo = Bits::ioBit(run, k & 1);
    k = static_cast<int>(hi * 2 + lo);
    // Only a damaged stream names a coefficient that is significant already;
    // making it so again would count its neighbours twice and let their
    // counts outgrow the stream tables.
    if (Bits::kDecode && st_[t + k * kRow] >= kSig) return;
    becomeSignificant(c + k * n0, t + k * kRow, kSig | kFresh, g);
    for (int j = k + 1; j < 4; ++j) {
      const uint8_t s = st_[t + j * kRow];
      if (s >= kSig) continue;
      const uint32_t has = (mag_[c + j * n0] & g) != 0;
      if (!bits_.bit(kTables.cleanupStream[s], has ^ 1))
        becomeSignificant(c + j * n0, t + j * kRow, kSig | kFresh, g);
    }
  }

  // Set bits of v, without the library call the baseline instruction set
  // makes of a population count.
  static int bitCount(uint32_t v) {
    v -= (v >> 1) & 0x55555555u;
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    return static_cast<int>((((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
  }
  // Bit 7 of every byte of `w` moved to bit k for byte k.
  static uint32_t byteMask(uint64_t w) {
    return static_cast<uint32_t>((w * 0x02040810204081ULL) >> 56);
  }
  // Bit 7 set in the bytes of insignificant states with a neighbourhood
  // count (1..12).
  static uint64_t countedBytes(uint64_t w) {
    return ((w & kCounts) + 0x7F7F7F7F7F7F7F7FULL) & ~w & kBytes80;
  }
  // The states of a group (8 columns x 4 rows) that `pick` marks with bit 7
  // of their byte, as bit 4k + j for column k, row j: bit order is scan order.
  // The rows' marks are first laid side by side as the low nibble of each
  // column's byte, then the nibbles are packed.
  template <class Pick>
  static uint32_t positions(const uint64_t (&rows)[4], Pick pick) {
    uint64_t y = 0;
    for (int j = 0; j < 4; ++j) y |= pick(rows[j]) >> (7 - j);
    y = (y | y >> 4) & 0x00FF00FF00FF00FFULL;
    y = (y | y >> 8) & 0x0000FFFF0000FFFFULL;
    return static_cast<uint32_t>(y | y >> 16);
  }
  void loadGroup(const uint8_t* group, uint64_t (&rows)[4]) const {
    for (int j = 0; j < 4; ++j) rows[j] = load8(group + j * kRow);
  }

  // Visits the candidates of each group of 8 columns. A coefficient that
  // becomes significant makes its insignificant neighbours candidates; those
  // of the group still ahead in scan order join the list at once instead of
  // the group's states being read again (which would also wait for the
  // byte stores just made).
  void propagate(uint32_t g) {
    constexpr int n0 = kN0, n1 = kN1, n2 = kN2, sRow = kRow, sPlane = kPlaneBytes;
    uint32_t* const mag = mag_;
    uint8_t* const st = st_;
    for (int i2 = 0; i2 < n2; ++i2) {
      for (int r = 0; r < n1; r += 4) {
        const int c0 = (i2 * n1 + r) * n0;
        const int t0 = i2 * sPlane + r * sRow;
        for (int i0 = 0; i0 < n0; i0 += 8) {
          uint64_t rows[4];
          loadGroup(st + t0 + i0, rows);
          uint32_t todo = positions(rows, countedBytes);
          if (todo == 0) continue;
          uint32_t insignificant = positions(rows, [](uint64_t w) { return ~w & kBytes80; });
          while (todo != 0) {
            const int at = __builtin_ctz(todo);
            todo &= todo - 1;
            const int t = t0 + i0 + (at >> 2) + (at & 3) * sRow;
            const int c = c0 + i0 + (at >> 2) + (at & 3) * n0;
            const uint32_t has = (mag[c] & g) != 0;
            if (!bits_.bit(kTables.propStream[st[t]], has ^ 1)) {
              becomeSignificant(c, t, kSig, g);
              insignificant &= ~(1u << at);
              todo |= kLaterNeighbours.at[at] & insignificant;
            }
          }
        }
      }
    }
  }

  // Refinement changes no state but the refined coefficient's own, so a
  // group's coefficients split at once into those refined before (stream
  // 18), those refined for the first time (stream 17) and those that only
  // wait for the next plane; each stream's bits of the group move as one
  // word, and the states are updated a row word at a time.
  void refine(uint32_t g) {
    constexpr int n0 = kN0, n1 = kN1, n2 = kN2, sRow = kRow, sPlane = kPlaneBytes;
    uint32_t* const mag = mag_;
    uint8_t* const st = st_;
    auto first = bits_.take(kFirstRefineStream);
    auto rest = bits_.take(kRefineStream);
    auto refined = [](uint64_t w) { return (w << 1) & kBytes80; };
    auto fresh = [](uint64_t w) { return (w << 2) & ~(w << 1) & kBytes80; };
    auto waiting = [](uint64_t w) { return w & ~(w << 1) & ~(w << 2) & kBytes80; };
    for (int i2 = 0; i2 < n2; ++i2) {
      for (int r = 0; r < n1; r += 4) {
        const int c0 = (i2 * n1 + r) * n0;
        const int t0 = i2 * sPlane + r * sRow;
        for (int i0 = 0; i0 < n0; i0 += 8) {
          uint8_t* group = st + t0 + i0;
          uint64_t rows[4];
          loadGroup(group, rows);
          if (((rows[0] | rows[1] | rows[2] | rows[3]) & kBytes80) == 0) continue;
          refineBits(rest, positions(rows, refined), mag + c0 + i0, n0, g);
          uint64_t changing = 0;
          for (int j = 0; j < 4; ++j) changing |= fresh(rows[j]) | waiting(rows[j]);
          if (changing == 0) continue;
          refineBits(first, positions(rows, fresh), mag + c0 + i0, n0, g);
          for (int j = 0; j < 4; ++j) {
            const uint64_t w = rows[j] | fresh(rows[j]) >> 1 | waiting(rows[j]) >> 2;
            std::memcpy(group + j * sRow, &w, 8);
          }
        }
      }
    }
    bits_.give(kFirstRefineStream, first);
    bits_.give(kRefineStream, rest);
  }

  // Bit g of the coefficients at `at` (group positions, scan order) of the
  // group whose first coefficient is m[0], as one word of their count.
  template <class Local>
  static void refineBits(Local& stream, uint32_t at, uint32_t* m, int n0, uint32_t g) {
    if (at == 0) return;
    const int n = bitCount(at);
    uint32_t word = 0;
    if (!Bits::kDecode) {
      int i = 0;
      for (uint32_t p = at; p != 0; p &= p - 1, ++i) {
        const int b = __builtin_ctz(p);
        word |= static_cast<uint32_t>((m[(b & 3) * n0 + (b >> 2)] & g) != 0) << i;
      }
    }
    word = Bits::ioBits(stream, word, n);
    if (Bits::kDecode) {
      for (uint32_t p = at; p != 0; p &= p - 1, word >>= 1) {
        const int b = __builtin_ctz(p);
        m[(b & 3) * n0 + (b >> 2)] |= g & (0u - (word & 1));
      }
    }
  }

  // One more plane for the border coefficients only; states stay as they are.
  void finalPass(uint32_t g) {
    const BorderOrder& order = borderOrder();
    auto stream = bits_.take(kRefineStream);
    auto run = bits_.take(kRunStream);
    for (int i2 = 0; i2 < kN2; ++i2) finalRefine(stream, order, i2, g);
    for (int i2 = 0; i2 < kN2; ++i2) {
      for (int i = 0; i < order.count; i += 4) finalGroup(run, stream, order.groups + i, i2, g);
    }
    bits_.give(kRefineStream, stream);
    bits_.give(kRunStream, run);
  }

  // Whether a border coefficient is significant does not follow a pattern,
  // so its bit is taken or not without a branch.
  template <class Local>
  void finalRefine(Local& stream, const BorderOrder& order, int i2, uint32_t g) {
    for (int i = 0; i < order.count; ++i) {
      const int c = coefIndex(order.refine[i], i2);
      const uint32_t sig = st_[stateIndex(order.refine[i], i2)] >> 7;
      const uint32_t b = Bits::ioBitIf(stream, sig & ((mag_[c] & g) != 0), sig);
      mag_[c] |= g & (0u - b);
    }
  }

  // The border order of this band shape, made once.
  static const BorderOrder& borderOrder() {
    static const BorderOrder order = makeBorderOrder(kN0, kN1);
    return order;
  }

  template <class Local>
  void finalGroup(Local& run, Local& stream, const uint16_t* pos, int i2, uint32_t g) {
    int k = 0;
    if (!Bits::kDecode) {
      while (k < 4 && !(st_[stateIndex(pos[k], i2)] < kSig && (mag_[coefIndex(pos[k], i2)] & g)))
        ++k;
    }
    if (!Bits::ioBit(run, k < 4)) return;
    const uint32_t hi = Bits::ioBit(stream, (k >> 1) & 1);
    const uint32_t lo = Bits::ioBit(stream, k & 1);
    k = static_cast<int>(hi * 2 + lo);
    setFinal(stream, coefIndex(pos[k], i2), g);
    for (int j = k + 1; j < 4; ++j) {
      const int c = coefIndex(pos[j], i2);
      const bool has = st_[stateIndex(pos[j], i2)] < kSig && (mag_[c] & g);
      if (Bits::ioBit(stream, has)) setFinal(stream, c, g);
    }
  }

  template <class Local>
  void setFinal(Local& stream, int c, uint32_t g) {
    const uint32_t neg = Bits::ioBit(stream, mag_[c] >> 31);
    mag_[c] |= g | (neg << 31);
  }

  int coefIndex(uint16_t pos, int i2) const { return (i2 * kN1 + (pos >> 8)) * kN0 + (pos & 255); }
  int stateIndex(uint16_t pos, int i2) const {
    return i2 * kPlaneBytes + (pos >> 8) * kRow + (pos & 255);
  }

  Bits bits_;  // a pointer to the streams: copied, one load less per bit
  uint32_t* mag_;
  uint8_t* st_;  // state of coefficient (0, 0, 0), inside the border
};

// Calls f with a coder for band s of the shape the band has.
template <class Bits, class F>
void withBandCoder(Bits& bits, int s, uint32_t* coef, uint8_t* states, F f) {
  const Subband& b = kBands[s];
  if (b.n0 == 8)
    f(BandCoder<Bits, 8, 16>(bits, b, coef, states));
  else if (b.n0 == 16 && b.n2 == 16)
    f(BandCoder<Bits, 16, 16>(bits, b, coef, states));
  else if (b.n0 == 16)
    f(BandCoder<Bits, 16, 32>(bits, b, coef, states));
  else
    f(BandCoder<Bits, 32, 32>(bits, b, coef, states));
}

constexpr bool bandShapesKnown() {
  for (const Subband& b : kBands) {
    const bool known = (b.n0 == 8 && b.n1 == 8 && b.n2 == 16) ||
                       (b.n0 == 16 && b.n1 == 16 && (b.n2 == 16 || b.n2 == 32)) ||
                       (b.n0 == 32 && b.n1 == 32 && b.n2 == 32);
    if (!known) return false;
  }
  return true;
}
static_assert(bandShapesKnown(),
              "withBandCoder knows every band shape, and border orders hold 32 x 32 planes");

// Codes or decodes the first `bandCount` subbands. Without a second stage
// `first` equals `planes`; otherwise the first stage codes `first` planes
// of every band and, when `secondStage`, the second the rest.
template <class Bits>
void codeBands(Bits& bits, uint32_t* coef, uint8_t* states, const PlaneArray& msb,
               const PlaneArray& planes, const PlaneArray& first, int bandCount, bool secondStage) {
  for (int s = 0; s < bandCount; ++s) {
    if (planes[s] == 0 || msb[s] == 0 || first[s] == 0) continue;
    withBandCoder(bits, s, coef, states,
                  [&](auto coder) { coder.code(msb[s], 0, first[s], first[s] == planes[s]); });
  }
  if (!secondStage) return;
  for (int s = 0; s < bandCount; ++s) {
    if (planes[s] == 0 || msb[s] == 0 || first[s] >= planes[s]) continue;
    withBandCoder(bits, s, coef, states,
                  [&](auto coder) { coder.code(msb[s], first[s], planes[s] - first[s], true); });
  }
}

}  // namespace Qra::Ostrel::Tyq::Private::Block
