#include "quality_figures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tyq_tool {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool finitePair(float x, float y) {
  return std::isfinite(x) && std::isfinite(y);
}

// One run's own figures, summed in double from the run's mean outwards
// before they join the whole.
struct Run {
  int64_t count = 0, unequalNonFinite = 0;
  double mean = 0, spread = 0;
  double sourceMagnitude = 0, errorMagnitude = 0, squaredError = 0, maxError = 0;
};

Run measureRun(const float* source, const float* copy, size_t count) {
  Run run;
  double sum = 0;
  for (size_t n = 0; n < count; ++n) {
    if (!finitePair(source[n], copy[n])) {
      // Bitwise, so that NaN against the same NaN counts as kept.
      run.unequalNonFinite += std::memcmp(&source[n], &copy[n], sizeof(float)) != 0;
      continue;
    }
    sum += source[n];
    ++run.count;
  }
  if (run.count == 0) return run;
  run.mean = sum / static_cast<double>(run.count);
  for (size_t n = 0; n < count; ++n) {
    if (!finitePair(source[n], copy[n])) continue;
    const double x = source[n], error = x - static_cast<double>(copy[n]);
    run.spread += (x - run.mean) * (x - run.mean);
    run.sourceMagnitude += std::fabs(x);
    run.errorMagnitude += std::fabs(error);
    run.squaredError += error * error;
    run.maxError = std::max(run.maxError, std::fabs(error));
  }
  return run;
}

}  // namespace

void CompensatedSum::add(double value) {
  const double sum = sum_ + value;
  // Whichever term is smaller lost its low bits in the addition.
  carry_ += std::fabs(sum_) >= std::fabs(value) ? (sum_ - sum) + value : (value - sum) + sum_;
  sum_ = sum;
}

void QualityFigures::add(const float* source, const float* copy, size_t count) {
  const Run run = measureRun(source, copy, count);
  nonFinite_ += static_cast<int64_t>(count) - run.count;
  unequalNonFinite_ += run.unequalNonFinite;
  if (run.count == 0) return;
  QualityFigures part;
  part.samples_ = run.count;
  part.mean_ = run.mean;
  part.spread_ = run.spread;
  part.sourceMagnitude_.add(run.sourceMagnitude);
  part.errorMagnitude_.add(run.errorMagnitude);
  part.squaredError_.add(run.squaredError);
  part.maxError_ = run.maxError;
  merge(part);
}

void QualityFigures::merge(const QualityFigures& other) {
  nonFinite_ += other.nonFinite_;
  unequalNonFinite_ += other.unequalNonFinite_;
  if (other.samples_ == 0) return;
  const double a = static_cast<double>(samples_), b = static_cast<double>(other.samples_);
  const double delta = other.mean_ - mean_;
  mean_ += delta * b / (a + b);
  spread_ += other.spread_ + delta * delta * a * b / (a + b);
  samples_ += other.samples_;
  sourceMagnitude_.add(other.sourceMagnitude_.value());
  errorMagnitude_.add(other.errorMagnitude_.value());
  squaredError_.add(other.squaredError_.value());
  maxError_ = std::max(maxError_, other.maxError_);
}

double QualityFigures::sqnr() const {
  if (samples_ == 0) return kNaN;
  const double error = errorMagnitude_.value();
  if (error == 0) return kInfinity;
  const double signal = sourceMagnitude_.value();
  if (signal == 0) return -kInfinity;
  // The counts are equal, so the means' ratio is the sums' ratio.
  return 20 * std::log10(signal / error);
}

double QualityFigures::rmsError() const {
  if (samples_ == 0) return kNaN;
  return std::sqrt(squaredError_.value() / static_cast<double>(samples_));
}

double QualityFigures::sourceDeviation() const {
  if (samples_ == 0) return kNaN;
  return std::sqrt(spread_ / static_cast<double>(samples_));
}

double QualityFigures::relativeRmsError() const {
  if (samples_ == 0) return kNaN;
  const double rms = rmsError(), deviation = sourceDeviation();
  if (deviation == 0) return rms == 0 ? 0 : kInfinity;
  return rms / deviation;
}

}  // namespace tyq_tool
