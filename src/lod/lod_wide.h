#pragma once

// AVX-512 variants of the hottest decimation loops, picked at run time.
// Each computes exactly what its scalar counterpart computes, value by
// value: the same operations in the same order, no fused multiply-add, so
// that levels of detail come out bit for bit the same on every processor.
// Every function returns how many leading outputs it produced (a multiple
// of 8); the caller finishes the rest with the scalar code.

namespace Qra::Ostrel::Tyq::Private::Lod::Wide {

// Whether the wide variants run: the processor offers them, this build has
// them, and they are not switched off.
bool Enabled();
// Switches them off (or on again, where available); for tests and
// benchmarks that compare with the scalar code. Not while decimating.
void Use(bool on);

// How WeightedAverage weighs a value: the bin of v is
// trunc(round-half-away(v * factor + offset)); its weight table[bin], or
// total / max(bins[bin], 1) without a table, or total outside [0, count).
struct WeightMap {
  const double* table = nullptr;
  const long long* bins = nullptr;
  int count = 0;
  double total = 1.0;
  double factor = 0.0;
  double offset = 0.0;
};

// Weighted means of n output samples along k (unit stride) of float
// children, rows as in forEachRow, clamped to [lo, hi].
int WeightedRow(float* out, const float* const rows[4], int n, const WeightMap& map, double lo,
                double hi);

// The half-band filter at outputs [0, outputs): out[m] from t[2m - 4 ..
// 2m + 5], t holding the padded trace; c the five taps from the centre out.
int FilterTrace(const double* t, int outputs, const double c[5], double* out);

// out[k] = in[k] widened to double, for k in [0, n).
int Widen(const float* in, int n, double* out);

// narrowToFloat of r[0, n), stopping before the first group of eight that
// holds a NaN or an infinity (which the caller mends its own way).
int NarrowFinite(const double* r, int n, float* out);

}  // namespace Qra::Ostrel::Tyq::Private::Lod::Wide
