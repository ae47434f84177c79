#include "tools/scan_copy_coder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "compressed/store.h"
#include "stats/brick_histogram.h"
#include "tyq/stats.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

namespace {

constexpr int kEdge = 64;
// The record head of a brick: payload count and gain.
constexpr int64_t kRecordHead = 12;

}  // namespace

CopyCurveCoder::CopyCurveCoder() {
  std::memset(live_, 1, sizeof live_);
}

void CopyCurveCoder::gather(const TyqCompressIO::WorkItem& item, const float* samples,
                            float deadLow, float deadHigh, float* brick) {
  std::fill(brick, brick + int64_t{kEdge} * kEdge * kEdge, 0.0f);
  std::memset(live_, 0, sizeof live_);
  std::copy(item.size, item.size + 3, valid_);
  const int n0 = valid_[0], n1 = valid_[1], n2 = valid_[2];
  for (int k = 0; k < n2; ++k) {
    for (int j = 0; j < n1; ++j) {
      const float* from = samples + (int64_t{k} * n1 + j) * n0;
      float* to = brick + (int64_t{k} * kEdge + j) * kEdge;
      for (int i = 0; i < n0; ++i) {
        const float v = from[i] >= deadLow && from[i] <= deadHigh ? 0.0f : from[i];
        to[i] = v;
        // A NaN is not the stored zero: its trace is live, as in the copy.
        if (!(v == 0.0f)) live_[j * kEdge + i] = 1;
      }
    }
  }
  // The copy's flag tile marks the traces beyond the survey dead, so a
  // column cut by the edge hands its flags to the coder as one with a dead
  // trace does.
  mixed_ = n0 < kEdge || n1 < kEdge;
  for (int j = 0; j < n1 && !mixed_; ++j) {
    for (int i = 0; i < n0 && !mixed_; ++i) mixed_ = live_[j * kEdge + i] == 0;
  }
}

bool CopyCurveCoder::constant(const float* brick) const {
  double sum = 0, squares = 0;
  float lo = 0, hi = 0;
  int64_t count = 0, odd = 0;
  for (int j = 0; j < valid_[1]; ++j) {
    for (int i = 0; i < valid_[0]; ++i) {
      if (!live_[j * kEdge + i]) continue;
      for (int k = 0; k < valid_[2]; ++k) {
        const float v = brick[(int64_t{k} * kEdge + j) * kEdge + i];
        if (!std::isfinite(v)) {
          ++odd;
          continue;
        }
        if (count == 0 || v < lo) lo = v;
        if (count == 0 || v > hi) hi = v;
        sum += v;
        squares += double{v} * v;
        ++count;
      }
    }
  }
  // Every trace dead here: the brick holds zeros only.
  if (count + odd == 0) return true;
  const StatisticData stats(count + odd, odd, sum, squares, lo, hi);
  return IsConstantBrick(FileAccess::DataTypeEnum::Float32, stats);
}

bool CopyCurveCoder::codeAt(float target, int level, float* brick, int64_t& bytes) {
  coder_.PrepareCompress(&block_, CompDataFloat, brick, mixed_ ? live_ : nullptr,
                         Compressed::Store::LevelSqnr(target, level), true, false);
  coder_.setDataSizeInBlock(valid_[0], valid_[1], valid_[2]);
  if (!coder_.Execute() || !block_.PackData()) return false;
  bytes = int64_t{block_.GetHeaderSize()} + block_.GetBitstreamSize() + kRecordHead;
  return true;
}

bool CopyCurveCoder::code(const TyqCompressIO::WorkItem& item, const float* samples, float deadLow,
                          float deadHigh, float* brick, bool all, int64_t* bytes) {
  const int first = all ? 0 : kFirstCommon, end = all ? kTargets : kEndCommon;
  gather(item, samples, deadLow, deadHigh, brick);
  if (constant(brick)) {
    std::fill(bytes + first, bytes + end, kRecordHead);
    return true;
  }
  for (int t = first; t < end; ++t) {
    if (!codeAt(static_cast<float>(kScanTargets[t]), item.level, brick, bytes[t])) return false;
  }
  return true;
}

double Interpolate(const double* atTargets, int sqnr) {
  int t = 0;
  while (t + 2 < kTargets && kScanTargets[t + 1] <= sqnr) ++t;
  const double a = kScanTargets[t], b = kScanTargets[t + 1];
  const double x = std::clamp((sqnr - a) / (b - a), 0.0, 1.0);
  if (atTargets[t] <= 0 || atTargets[t + 1] <= 0) {
    return atTargets[t] + x * (atTargets[t + 1] - atTargets[t]);
  }
  const double la = std::log(atTargets[t]), lb = std::log(atTargets[t + 1]);
  return std::exp(la + x * (lb - la));
}

}  // namespace Qra::Ostrel::Tyq::Private::Tools
