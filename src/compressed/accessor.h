#pragma once

#include <string>

#include "access/accessor_core.h"
#include "tyq/accessor.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

// The accessor over a compressed volume file: the accessor core over a
// compressed store, with the format's rules for histograms, constant
// bricks and bricks written once. Several threads may write disjoint
// bricks of one writer; threads otherwise as the core says.
class Accessor final : public Access::AccessorCore {
 public:
  // `file`, when given, is used for the file object and never destroyed.
  explicit Accessor(FileAccess::FileADT* file = nullptr) : callerFile_(file) {}

  bool Open(const std::string& name, const FileAccess::TyqOptions& options, Status* status,
            int version);
  bool Create(const std::string& name, const DataInfo& dataInfo,
              const FileAccess::TyqOptions& options, Status* status, int version,
              double histogramMin, double histogramMax);

  // Whether a brick with these statistics is stored as one value: below
  // the zero threshold of the samples written before (`written`), or within
  // 10 units in the last place; `value` receives the float.
  static bool ConstantValue(const StatisticData& brick, const StatisticData& written, float* value);

 protected:
  std::unique_ptr<HistogramBuilder> MakeHistogram(const Histogram& stored) const override;
  bool MergesPartialBricks() const override { return false; }
  bool ReplacesOldSamples() const override { return false; }
  // Weighed by the statistics as they stood when the request began, so that
  // a request's bricks come out the same whatever order they are stored in.
  bool ChooseConstant(const StatisticData& brickStats, const StatisticData& written,
                      const void* firstLive, unsigned char* value) const override;
  bool StoresStatisticsOnFlush() const override { return false; }

 private:
  FileAccess::FileADT* callerFile_ = nullptr;
  double histogramMin_ = 0.0;
  double histogramMax_ = 0.0;
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
