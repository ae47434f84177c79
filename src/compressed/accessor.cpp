// Opening and creating compressed volumes through the accessor, and the
// format's rules the accessor core asks for.
#include "compressed/accessor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compressed/brick_cache.h"
#include "compressed/file.h"
#include "compressed/file_sync.h"
#include "compressed/store.h"
#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

namespace FA = FileAccess;

bool Accessor::Open(const std::string& name, const FA::TyqOptions& options, Status* status,
                    int version) {
  Func func("Accessor::Open", status);
  if (getDebugLevel() > 0) std::printf("## Open name=\"%s\"\n", name.c_str());
  Discard(nullptr);
  auto file = std::make_unique<File>(FA::FileFactory::UsageRead, callerFile_);
  if (!file->Open(name, version, func.statusP())) return false;
  auto store = std::make_unique<Store>(std::move(file), name,
                                       BrickCache::ChosenCapacity(options.brickCacheMegabytes));
  return Attach(std::move(store), options, func.statusP());
}

bool Accessor::Create(const std::string& name, const DataInfo& dataInfo,
                      const FA::TyqOptions& options, Status* status, int version,
                      double histogramMin, double histogramMax) {
  Func func("Accessor::Create", status);
  if (getDebugLevel() > 0) std::printf("## Create name=\"%s\"\n", name.c_str());
  Discard(nullptr);
  histogramMin_ = histogramMin;
  histogramMax_ = histogramMax;
  const bool locking = Environment::getNumericEnv("OSTREL_TYQ_MT_COMPRESSED", 1) != 0;
  std::unique_ptr<CompressedFileADT> file = std::make_unique<CompressedFileSync>(
      std::make_unique<File>(FA::FileFactory::UsageCreate, callerFile_), locking);
  if (!file->Create(name, dataInfo, options.sqnr, version, true, func.statusP())) return false;
  // A writer reads back only what it wrote once; no cache is needed.
  auto store = std::make_unique<Store>(std::move(file), name, 0);
  return Attach(std::move(store), options, func.statusP());
}

std::unique_ptr<HistogramBuilder> Accessor::MakeHistogram(const Histogram& /*stored*/) const {
  if (!(histogramMax_ > histogramMin_)) return std::make_unique<HistogramBuilder>(kHistBins);
  return std::make_unique<HistogramBuilder>(kHistBins, histogramMin_, histogramMax_, true);
}

namespace {

bool withinTenUlps(float a, float b) {
  if (a == b) return true;
  if (std::signbit(a) != std::signbit(b)) return false;
  int32_t x, y;
  std::memcpy(&x, &a, 4);
  std::memcpy(&y, &b, 4);
  return std::llabs(int64_t{x} - int64_t{y}) <= 10;
}

}  // namespace

bool Accessor::ConstantValue(const StatisticData& brick, const StatisticData& written,
                             float* value) {
  double threshold = 0.0;
  if (written.getcnt() > 0) {
    threshold =
        std::min(1e-6 * std::max(std::fabs(written.getmax()), std::fabs(written.getmin())), 0.01);
  }
  const double lo = brick.getmin(), hi = brick.getmax();
  if (brick.getcnt() == 0 || std::max(std::fabs(hi), std::fabs(lo)) < threshold) {
    *value = 0.0f;
    return true;
  }
  if (brick.getinf() > 0 || !withinTenUlps(static_cast<float>(lo), static_cast<float>(hi))) {
    return false;
  }
  *value = static_cast<float>((lo + hi) / 2.0);
  return true;
}

bool Accessor::ChooseConstant(const StatisticData& brickStats, const StatisticData& written,
                              const void* /*firstLive*/, unsigned char* value) const {
  float v = 0.0f;
  if (!ConstantValue(brickStats, written, &v)) return false;
  std::memcpy(value, &v, sizeof v);
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
