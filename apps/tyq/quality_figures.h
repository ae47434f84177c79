#pragma once

#include <cstddef>
#include <cstdint>

namespace tyq_tool {

// A double sum that carries the low-order bits each addition drops, so a
// survey of billions of samples loses nothing to the order of its terms.
class CompensatedSum {
 public:
  void add(double value);
  double value() const { return sum_ + carry_; }

 private:
  double sum_ = 0, carry_ = 0;
};

// How far a copy is from its source, over the samples of live traces. Runs of
// samples are added one at a time; two accumulators of disjoint parts of a
// volume merge into the figures of the whole, whatever order the parts come
// in, so columns may be measured apart (on several threads).
class QualityFigures {
 public:
  // Adds `count` pairs: source[n] against copy[n]. A pair with a non-finite
  // value on either side is counted apart and left out of every figure.
  void add(const float* source, const float* copy, size_t count);
  void merge(const QualityFigures& other);

  int64_t samples() const { return samples_; }
  int64_t nonFinite() const { return nonFinite_; }
  // Of those, the pairs whose two sides differ (a value against NaN).
  int64_t unequalNonFinite() const { return unequalNonFinite_; }
  // No difference at all between the samples compared, non-finite ones
  // included (true when none were compared).
  bool lossless() const { return maxError_ == 0 && unequalNonFinite_ == 0; }
  // 20 log10(mean |x| / mean |x - y|). A lossless copy gives +infinity, never
  // a division by zero; a source of zeros copied with errors gives -infinity;
  // NaN when no sample was compared.
  double sqnr() const;
  double rmsError() const;  // NaN when no sample was compared
  double maxError() const { return maxError_; }
  // The RMS error over the source's standard deviation: what SQNR hides for
  // values far from zero (velocities). +infinity for a constant source copied
  // with errors, 0 for a constant one copied exactly.
  double relativeRmsError() const;
  double sourceMean() const { return mean_; }
  double sourceDeviation() const;

 private:
  int64_t samples_ = 0, nonFinite_ = 0, unequalNonFinite_ = 0;
  CompensatedSum sourceMagnitude_, errorMagnitude_, squaredError_;
  // The source's mean and sum of squared deviations, merged between runs
  // with the pairwise update: a large mean does not swamp the spread.
  double mean_ = 0, spread_ = 0;
  double maxError_ = 0;
};

}  // namespace tyq_tool
