#pragma once

// Brick arithmetic shared by the read and write paths, the statistics and the
// level-of-detail code: boxes inside brick buffers, walking their live
// samples, clipping bricks and tiles against the survey and a request, and
// the element strides of the storage orders. Everything here is header-only.
//
// Sizes and positions are int, as in the records, but they come from files
// and callers, so every product or sum that could leave the int range is
// formed in 64 bits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace Qra::Ostrel::Tyq::Private {

template <typename SpecT>
class BrickIterator;

// A box of samples inside one brick buffer, optionally with one flag per
// trace (non-zero meaning live). A plain record that owns nothing.
template <typename T>
struct BrickSpec {
  using value_type = T;
  using iterator = BrickIterator<BrickSpec<T>>;

  T* data = nullptr;                     // first sample of the box
  const int* size = nullptr;             // n0, n1, n2 along i, j, k
  const unsigned char* alpha = nullptr;  // flag of the first trace; null: all live
  // Relative element increments for advancing i, j and k (see SetSteps).
  int step0 = 0;
  int step1 = 0;
  int step2 = 0;
  // Relative flag increments for advancing i and j.
  int alphaStep0 = 0;
  int alphaStep1 = 0;

  // Turns the buffer's element strides (s0, s1, s2) and, when given, the flag
  // strides (a0, a1) into the relative increments the iterator adds: each
  // step undoes the walk along the faster dimensions. Needs `size`. Returns
  // false, leaving the steps alone, when a step does not fit an int.
  bool SetSteps(const int strides[3], const int flagStrides[2] = nullptr);

  // The first sample of a live trace; end() when every trace is dead or the
  // box is empty.
  iterator begin() const;
  iterator end() const { return iterator(this, nullptr, nullptr); }
};

// Walks the samples of a BrickSpec box, k fastest, then j, then i, skipping
// the traces whose flag is 0. Each step is one pointer addition; flags are
// tested only when the trace changes. The BrickSpec must outlive the iterator.
template <typename SpecT>
class BrickIterator {
 public:
  using value_type = typename SpecT::value_type;

  BrickIterator() = default;

  const value_type& operator*() const { return *current_; }
  BrickIterator& operator++() {
    Next();
    return *this;
  }
  // Advances like the prefix form and returns the iterator itself, not a
  // copy of the old position.
  BrickIterator& operator++(int) {
    Next();
    return *this;
  }
  bool operator==(const BrickIterator& other) const {
    return spec_ == other.spec_ && current_ == other.current_;
  }
  bool operator!=(const BrickIterator& other) const { return !(*this == other); }

  // (i, j, k) of the current sample within the box; null at the end.
  const int* index() const { return AtEnd() ? nullptr : index_; }
  // The current trace's flag. Without a flag plane every trace is live and
  // this gives 1; at the end it gives 0 rather than reading through null.
  unsigned char alpha() const {
    if (AtEnd()) return 0;
    return alpha_ ? *alpha_ : 1;
  }

 private:
  friend SpecT;
  BrickIterator(const SpecT* layout, value_type* current, const unsigned char* alpha)
      : spec_(layout), current_(current), alpha_(alpha) {}

  bool AtEnd() const { return current_ == nullptr; }
  bool AlphaIsZero() const { return alpha_ != nullptr && *alpha_ == 0; }

  // Moves to the next sample in box order; returns whether the trace changed
  // (which includes running off the end).
  bool TakeOneStep() {
    const int* n = spec_->size;
    if (++index_[2] < n[2]) {
      current_ += spec_->step2;
      return false;
    }
    index_[2] = 0;
    if (++index_[1] < n[1]) {
      current_ += spec_->step1;
      if (alpha_) alpha_ += spec_->alphaStep1;
      return true;
    }
    index_[1] = 0;
    if (++index_[0] < n[0]) {
      current_ += spec_->step0;
      if (alpha_) alpha_ += spec_->alphaStep0;
      return true;
    }
    index_[0] = 0;
    current_ = nullptr;
    alpha_ = nullptr;
    return true;
  }

  void GoToEndOfTrace() {
    const int last = spec_->size[2] - 1;
    current_ += static_cast<std::ptrdiff_t>(last - index_[2]) * spec_->step2;
    index_[2] = last;
  }

  void SkipZeroAlpha() {
    while (!AtEnd() && AlphaIsZero()) {
      GoToEndOfTrace();
      TakeOneStep();
    }
  }

  void Next() {
    if (AtEnd()) throw std::runtime_error("brick iterator out of bounds");
    if (TakeOneStep()) SkipZeroAlpha();
  }

  const SpecT* spec_ = nullptr;
  value_type* current_ = nullptr;
  const unsigned char* alpha_ = nullptr;
  int index_[3] = {0, 0, 0};
};

namespace BrickGeometryDetail {

inline bool FitsInt(int64_t v) {
  return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

inline int SaturateToInt(int64_t v) {
  return static_cast<int>(
      std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace BrickGeometryDetail

template <typename T>
bool BrickSpec<T>::SetSteps(const int strides[3], const int flagStrides[2]) {
  using BrickGeometryDetail::FitsInt;
  const int64_t n1 = size[1] - int64_t{1};
  const int64_t n2 = size[2] - int64_t{1};
  const int64_t s1 = int64_t{strides[1]} - n2 * strides[2];
  const int64_t s0 = int64_t{strides[0]} - n1 * strides[1] - n2 * strides[2];
  int64_t a0 = alphaStep0;
  int64_t a1 = alphaStep1;
  if (flagStrides) {
    a1 = flagStrides[1];
    a0 = int64_t{flagStrides[0]} - n1 * flagStrides[1];
  }
  if (!FitsInt(s0) || !FitsInt(s1) || !FitsInt(a0)) return false;
  step0 = static_cast<int>(s0);
  step1 = static_cast<int>(s1);
  step2 = strides[2];
  alphaStep0 = static_cast<int>(a0);
  alphaStep1 = static_cast<int>(a1);
  return true;
}

template <typename T>
typename BrickSpec<T>::iterator BrickSpec<T>::begin() const {
  // An empty box has no first sample; pointing at `data` would visit one.
  if (!data || !size || size[0] <= 0 || size[1] <= 0 || size[2] <= 0) return end();
  iterator it(this, data, alpha);
  it.SkipZeroAlpha();
  return it;
}

// Trace text of a TileIntersect level.
inline const char* TileLevelText(int level) {
  switch (level) {
    case 0:
      return "None";
    case 1:
      return "Partial";
    case 2:
      return "Full";
    default:
      return "?";
  }
}

// Clips the tiles (bricks, flag tiles) of an N-dimensional grid against the
// grid's extent and against a region, and classifies the overlap. A tile cut
// by the grid's edge is Partial even when the region covers all of its
// existing samples.
template <int N>
struct TileIntersect {
  enum Level { None = 0, Partial = 1, Full = 2 };

  int total[N];  // extent of the grid being tiled
  int tile[N];   // tile size

  static const char* LevelText(int level) { return TileLevelText(level); }

  // Size of tile `index` inside [0, total), and its level.
  Level Get(int* size, const int* index) const {
    int start[N];
    const int zero[N] = {};
    return GetEx(start, size, zero, total, index);
  }

  // Start and size of tile `index` clipped to the grid and then to the
  // region, and the level of what remains. For an empty result the start is
  // saturated to the int range.
  Level GetEx(int* start, int* size, const int* regionStart, const int* regionSize,
              const int* index) const {
    bool empty = false;
    bool partial = false;
    for (int d = 0; d < N; ++d) {
      const int64_t tileStart = int64_t{index[d]} * tile[d];
      const int64_t lo = std::max<int64_t>(0, tileStart);
      const int64_t hi = std::min<int64_t>(total[d], tileStart + tile[d]);
      const int64_t regionEnd = int64_t{regionStart[d]} + regionSize[d];
      const int64_t s = std::max<int64_t>(lo, regionStart[d]);
      const int64_t n = std::max<int64_t>(0, std::min(hi, regionEnd) - s);
      start[d] = BrickGeometryDetail::SaturateToInt(s);
      size[d] = static_cast<int>(n);  // never more than tile[d]
      empty = empty || n == 0;
      partial = partial || n < tile[d];
    }
    return empty ? None : partial ? Partial : Full;
  }

  // Per dimension: start = max(a, b), size = max(0, min(a end, b end) - start).
  static void GetIntersect(int* start, int* size, const int* aStart, const int* aSize,
                           const int* bStart, const int* bSize) {
    for (int d = 0; d < N; ++d) {
      const int64_t s = std::max(aStart[d], bStart[d]);
      const int64_t e = std::min(int64_t{aStart[d]} + aSize[d], int64_t{bStart[d]} + bSize[d]);
      start[d] = static_cast<int>(s);
      size[d] = static_cast<int>(std::max<int64_t>(0, e - s));  // at most aSize[d]
    }
  }
};

// Element strides (s0, s1, s2) along i, j, k of a box of size n stored in
// storage order `order`:
//   0: k, j, i   1: j, k, i   2: k, i, j   3: i, k, j   4: j, i, k   5: i, j, k
// (fastest to slowest). An unknown order leaves `s` unchanged and gives false.
inline bool StorageStrides(int order, const int n[3], int64_t s[3]) {
  const int64_t n0 = n[0], n1 = n[1], n2 = n[2];
  const auto set = [s](int64_t s0, int64_t s1, int64_t s2) {
    s[0] = s0;
    s[1] = s1;
    s[2] = s2;
    return true;
  };
  switch (order) {
    case 0:
      return set(n1 * n2, n2, 1);
    case 1:
      return set(n1 * n2, 1, n1);
    case 2:
      return set(n2, n0 * n2, 1);
    case 3:
      return set(1, n0 * n2, n0);
    case 4:
      return set(n1, 1, n0 * n1);
    case 5:
      return set(1, n0, n0 * n1);
    default:
      return false;
  }
}

// The same in int, for brick buffers and other boxes known to be small.
// Gives false, leaving `s` unchanged, for an unknown order or when a stride
// does not fit an int.
inline bool StorageStrides(int order, const int n[3], int s[3]) {
  int64_t wide[3];
  if (!StorageStrides(order, n, wide)) return false;
  for (const int64_t w : wide) {
    if (!BrickGeometryDetail::FitsInt(w)) return false;
  }
  for (int d = 0; d < 3; ++d) s[d] = static_cast<int>(wide[d]);
  return true;
}

// Flag strides (a0, a1) along i and j of a flag plane of n0 by n1 traces
// for storage order `order`: j fastest for orders 0, 1 and 4, i fastest for
// 2, 3 and 5. Serves both a brick's flag tile (n = brick size i, j) and a
// caller's flag buffer (n = its size). An unknown order leaves `a` unchanged.
inline bool FlagStrides(int order, int n0, int n1, int a[2]) {
  switch (order) {
    case 0:
    case 1:
    case 4:
      a[0] = n1;
      a[1] = 1;
      return true;
    case 2:
    case 3:
    case 5:
      a[0] = 1;
      a[1] = n0;
      return true;
    default:
      return false;
  }
}

// Extent ceil(n / 2^lod) of an axis of n samples (or bricks) at level lod.
inline int LevelExtent(int n, int lod) {
  if (n <= 0) return 0;
  lod = std::clamp(lod, 0, 32);  // beyond 31 every non-empty axis has 1
  return static_cast<int>((int64_t{n} + (int64_t{1} << lod) - 1) >> lod);
}

inline void LevelExtent(const int n[3], int lod, int out[3]) {
  for (int d = 0; d < 3; ++d) out[d] = LevelExtent(n[d], lod);
}

// Bricks [first, last) per dimension that a request touches, and whether the
// request is exactly one whole brick on brick boundaries.
struct BrickRange {
  int first[3];
  int last[3];
  bool aligned;
};

// Cuts the request (start, size) into bricks of size `brick`. A negative
// start gives first = -(1 + |start| / brick); bricks there lie outside every
// level and classify as None. The aligned single brick must start at or past
// 0 and, when `extent` (the level's extent) is given, inside it, so that the
// brick-wise read and write routines never see a brick index outside the
// level. A non-positive brick size or request size gives an empty range.
inline BrickRange CutIntoBricks(const int start[3], const int size[3], const int brick[3],
                                const int extent[3] = nullptr) {
  BrickRange r{{0, 0, 0}, {0, 0, 0}, true};
  for (int d = 0; d < 3; ++d) {
    const int64_t bs = brick[d];
    if (bs <= 0 || size[d] <= 0) {
      r.first[d] = r.last[d] = 0;
      r.aligned = false;
      continue;
    }
    const int64_t s = start[d];
    const int64_t first = s >= 0 ? s / bs : -(1 + (-s) / bs);
    const int64_t end = s + size[d] + bs - 1;
    const int64_t last = end >= 0 ? end / bs : -((-end + bs - 1) / bs);
    r.first[d] = BrickGeometryDetail::SaturateToInt(first);
    r.last[d] = BrickGeometryDetail::SaturateToInt(std::max(first, last));
    const bool inside = s >= 0 && (!extent || s < extent[d]);
    r.aligned = r.aligned && inside && s % bs == 0 && size[d] == bs;
  }
  return r;
}

}  // namespace Qra::Ostrel::Tyq::Private
