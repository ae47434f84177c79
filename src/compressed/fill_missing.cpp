#include <algorithm>
#include <cstring>

#include "compressed/samples.h"

namespace Qra::Ostrel::Tyq::Private::Block {

namespace {

constexpr int kTrace = 64;
constexpr int kPlane = 64 * 64;
// Order in which the neighbours of a dead trace are tried.
constexpr int kNeighbours[12][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {1, -1},
                                    {-1, 1}, {1, 1}, {-2, 0}, {2, 0}, {0, -2},  {0, 2}};

template <typename T>
void copyTrace(T* s, int from0, int from1, int to0, int to1) {
  const int from = from0 + 64 * from1, to = to0 + 64 * to1;
  for (int k = 0; k < kTrace; ++k) s[to + k * kPlane] = s[from + k * kPlane];
}

template <typename T>
void zeroTrace(T* s, int i0, int i1) {
  for (int k = 0; k < kTrace; ++k) s[i0 + 64 * i1 + k * kPlane] = T{};
}

template <typename T>
void fillDeadTraces(T* s, const TraceLayout& l, bool restore) {
  const int v0 = l.valid[0], v1 = l.valid[1];
  for (int i1 = 0; i1 < v1; ++i1) {
    for (int i0 = 0; i0 < v0; ++i0) {
      if (l.alive(i0, i1)) continue;
      bool filled = false;
      for (int n = 0; n < 12 && !restore && !filled; ++n) {
        const int j0 = i0 + kNeighbours[n][0], j1 = i1 + kNeighbours[n][1];
        if (j0 < 0 || j1 < 0 || j0 >= v0 || j1 >= v1 || !l.alive(j0, j1)) continue;
        copyTrace(s, j0, j1, i0, i1);
        filled = true;
      }
      if (!filled) zeroTrace(s, i0, i1);
    }
  }
}

}  // namespace

template <typename T>
void fillMissing(T* s, const TraceLayout& l, bool restore) {
  const int v0 = l.valid[0], v1 = l.valid[1], v2 = l.valid[2];
  if (v0 <= 0 || v1 <= 0 || v2 <= 0) {
    std::memset(s, 0, sizeof(T) * kPlane * 64);
    return;
  }
  for (int k = v2; k < std::min(v2 + 2, 64); ++k) {
    if (restore)
      std::memset(s + k * kPlane, 0, sizeof(T) * kPlane);
    else
      std::memcpy(s + k * kPlane, s + (k - 1) * kPlane, sizeof(T) * kPlane);
  }
  if (l.hasDead()) fillDeadTraces(s, l, restore);
  for (int i1 = 0; i1 < std::min(v1 + 2, 64); ++i1) {
    for (int i0 = 0; i0 < std::min(v0 + 2, 64); ++i0) {
      if (i0 < v0 && i1 < v1) continue;
      if (restore)
        zeroTrace(s, i0, i1);
      else
        copyTrace(s, std::min(i0, v0 - 1), std::min(i1, v1 - 1), i0, i1);
    }
  }
}

template <typename T>
bool hasZombies(const T* s, const TraceLayout& l) {
  const int v0 = l.valid[0], v1 = l.valid[1], v2 = l.valid[2];
  if (v2 <= 3 || v0 <= 0 || v1 <= 0) return false;
  long long zeros = 0, spans = 0;
  for (int i1 = 0; i1 < v1; ++i1) {
    for (int i0 = 0; i0 < v0; ++i0) {
      if (!l.alive(i0, i1)) continue;
      const T* t = s + i0 + 64 * i1;
      int first = -1, last = -1;
      for (int k = 0; k < v2; ++k) {
        if (t[k * kPlane] != T{}) {
          if (first < 0) first = k;
          last = k;
        }
      }
      if (first < 0)
        zeros += v2;
      else
        spans += last - first + 1;
    }
  }
  const long long total = static_cast<long long>(v0) * v1 * v2;
  return zeros * 100 / total != 100 && ((total - spans) * 100 / total >= 10 || zeros > 0);
}

void zeroDeadTraces(int32_t* coef, int edge, const uint8_t* flags) {
  const int step = 64 / edge;
  for (int j1 = 0; j1 < edge; ++j1) {
    for (int j0 = 0; j0 < edge; ++j0) {
      const int f0 = j0 * step, f1 = j1 * step;
      bool dead;
      if (step == 1) {
        dead = flags[f0 + 64 * f1] == 0;
      } else {
        // Coarse traces die with all four fine traces of a 2 x 2 group, or
        // with the four corners of a 4 x 4 group.
        const int e = step - 1;
        dead = !flags[f0 + 64 * f1] && !flags[f0 + e + 64 * f1] && !flags[f0 + 64 * (f1 + e)] &&
               !flags[f0 + e + 64 * (f1 + e)];
      }
      if (!dead) continue;
      for (int k = 0; k < edge; ++k) coef[j0 + edge * (j1 + edge * k)] = 0;
    }
  }
}

void zeroDeadInPlane(int32_t* plane, const uint8_t* flags) {
  for (int i = 0; i < kPlane; ++i) plane[i] = flags[i] != 0 ? plane[i] : 0;
}

#define TYQ_INSTANTIATE_FILL(T)                               \
  template void fillMissing<T>(T*, const TraceLayout&, bool); \
  template bool hasZombies<T>(const T*, const TraceLayout&);
TYQ_INSTANTIATE_FILL(int8_t)
TYQ_INSTANTIATE_FILL(int16_t)
TYQ_INSTANTIATE_FILL(int32_t)
TYQ_INSTANTIATE_FILL(float)
#undef TYQ_INSTANTIATE_FILL

}  // namespace Qra::Ostrel::Tyq::Private::Block
