#include "tools/quality_curve.h"

#include <cstdio>
#include <cstring>

namespace Qra::Ostrel::Tyq::Private::Tools {

BrickCurveCoder::BrickCurveCoder() {
  std::memset(live_, 1, sizeof live_);
}

bool BrickCurveCoder::code(float* samples, QualityCurve& curve) {
  const int top = Compressor3d::getNrOfQualityLevels() - 1;
  for (int q = 0; q <= top; ++q) {
    coder_.PrepareCompress(&block_, CompDataFloat, samples, live_, static_cast<float>(q), false,
                           false);
    coder_.setDataSizeInBlock(64, 64, 64);
    if (!coder_.Execute() || !block_.PackData()) return false;
    curve.bytes[q] = int64_t{block_.GetHeaderSize()} + block_.GetBitstreamSize() + 12;
    curve.sqnr[q] = block_.GetCompressionSQNR();
  }
  // The coder has no level above its top one; asking for it gives the top.
  for (int q = top + 1; q < kCodedLevels; ++q) {
    curve.bytes[q] = curve.bytes[top];
    curve.sqnr[q] = curve.sqnr[top];
  }
  return true;
}

void AddCurve(const QualityCurve& curve, std::atomic<int64_t>* sums) {
  int u = 0;
  for (int s = 0; s < kSqnrSteps; ++s) {
    while (u < kCodedLevels - 1 && curve.sqnr[u] < static_cast<float>(s)) ++u;
    sums[s].fetch_add(curve.bytes[u], std::memory_order_relaxed);
  }
}

std::string ReportText(const int64_t* perMillion) {
  constexpr size_t kArea = 10000, kSpare = 100;
  std::string text;
  for (int s = 0; s < kSqnrSteps && kArea - text.size() >= kSpare; ++s) {
    char line[64];
    std::snprintf(line, sizeof line, "%2d %6lld\n", s, static_cast<long long>(perMillion[s]));
    text += line;
  }
  return text;
}

}  // namespace Qra::Ostrel::Tyq::Private::Tools
