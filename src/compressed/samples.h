#pragma once

// Per-sample-type work of the block coder: padding the caller's samples
// before the transform and restoring them after, the zombie check, the
// conversion to and from coefficients, and the comparison behind the SQNR
// estimate. One template each, instantiated for int8_t, int16_t, int32_t
// and float.
#include <cstdint>

namespace Qra::Ostrel::Tyq::Private::Block {

// The valid part of a brick and its trace flags (null: all alive).
struct TraceLayout {
  int valid[3] = {64, 64, 64};
  const uint8_t* flags = nullptr;  // 64 x 64, 0 = dead
  bool allAlive = true;
  bool hasDead() const { return flags != nullptr && !allAlive; }
  bool alive(int i0, int i1) const { return flags == nullptr || flags[i0 + 64 * i1] != 0; }
};

// First pass (`restore` false): replicates samples into the two planes and
// traces beyond the valid size and into dead traces, so the transform sees
// no edges. Second pass: puts zeros back in all of them.
template <typename T>
void fillMissing(T* samples, const TraceLayout& layout, bool restore);

// True when live traces hold leading or trailing runs of zeros (or whole
// zero traces) that quantisation noise would bring to life.
template <typename T>
bool hasZombies(const T* samples, const TraceLayout& layout);

// Samples to coefficients; returns the gain (1 for integers, 0 for a float
// brick with nothing above 1e-6).
template <typename T>
double toCoefficients(const T* samples, int32_t* coef);

// The samples as the SQNR comparison sees them (markers and non-finite
// values count as 0), computed once per brick.
template <typename T>
void comparableSamples(const T* samples, double* ref);

// Sums behind the SQNR estimate: of |input| and of |input - gain * rec|,
// over the whole brick, or over the valid part as a sum of per-row means
// (rows along axis 0).
struct ErrorSums {
  double signal = 0;
  double error = 0;
  double rows = 0;  // rows summed (partial bricks), or samples (full bricks)
};
ErrorSums sumSignal(const double* ref, const TraceLayout& layout, bool fullBlock);
double sumError(const double* ref, const int32_t* rec, double gain, const TraceLayout& layout,
                bool fullBlock);
// sumError's share of the 64 x 64 plane i2, added to `error` in the order
// sumError adds; `ref` and `rec` point at the plane.
double addPlaneError(double error, const double* ref, const int32_t* rec, double gain,
                     const TraceLayout& layout, bool fullBlock, int i2);
double sqnrFromSums(const ErrorSums& sums, bool fullBlock);

// Coefficient-to-output mapping: out = round(factor * c - offset) for
// 8- and 16-bit output, c for 32-bit, c * factor for float.
struct OutputMap {
  double factor = 1.0;
  double offset = 0.0;
};
template <typename T>
void writeOutput(const int32_t* coef, int count, const OutputMap& map, T* out);

// Zeroes the coefficients of dead traces at a resolution of `edge` samples
// per axis (64, 32 or 16).
void zeroDeadTraces(int32_t* coef, int edge, const uint8_t* flags);
// The same on one 64 x 64 plane.
void zeroDeadInPlane(int32_t* plane, const uint8_t* flags);

}  // namespace Qra::Ostrel::Tyq::Private::Block
