#include "stats/file_histogram.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

bool HasValueMap(const FileAccess::FileInfo& info) {
  const double lo = info.valueMin;
  const double hi = info.valueMax;
  return std::isfinite(lo) && std::isfinite(hi) && lo != hi;
}

std::string SummaryLine(const char* label, const StatisticData& s) {
  const double n = static_cast<double>(s.getcnt());
  const double mean = n > 0 ? s.getsum() / n : 0.0;
  // Rounding can take the variance of near-constant data below zero.
  const double var = n > 0 ? std::max(0.0, s.getssq() / n - mean * mean) : 0.0;
  char line[160];
  std::snprintf(line, sizeof line, "      %s: %11g to %11g avg %11g std %11g cnt %8llx\n", label,
                s.getmin(), s.getmax(), mean, std::sqrt(var),
                static_cast<unsigned long long>(s.getcnt()));
  return line;
}

}  // namespace

bool CodeLimits(int sampleType, double* cmin, double* cmax) {
  static constexpr double kLimits[6][2] = {
      {-128.0, 127.0},
      {0.0, 255.0},
      {-32768.0, 32767.0},
      {0.0, 65535.0},
      {-2147483648.0, 2147483647.0},
      {0.0, 4294967295.0},
  };
  if (sampleType < 0 || sampleType >= 6) return false;
  *cmin = kLimits[sampleType][0];
  *cmax = kLimits[sampleType][1];
  return true;
}

HistogramBuilder MakeInMemoryHistogram(const FileAccess::FileInfo& fileInfo,
                                       const FileAccess::DataInfo& dataInfo,
                                       const FileAccess::Histogram& stored) {
  double cmin = 0;
  double cmax = 0;
  const bool integer = CodeLimits(fileInfo.dataType, &cmin, &cmax);
  const bool load =
      dataInfo.statCount != 0 && stored.count != 0 && (!integer || HasValueMap(fileInfo));
  HistogramBuilder builder =
      integer ? HistogramBuilder(kFileHistogramBins, cmin, cmax, true)
      : load  ? HistogramBuilder(kFileHistogramBins, stored.min, stored.max, false)
              : HistogramBuilder(kFileHistogramBins, fileInfo.valueMin, fileInfo.valueMax, false);
  if (load) {
    long long bins[kFileHistogramBins];  // the record's int64_t need not be long long
    std::copy(stored.bins, stored.bins + kFileHistogramBins, bins);
    HistogramBuilder old(bins, kFileHistogramBins, stored.min, stored.max, dataInfo.statCount,
                         dataInfo.statSum, dataInfo.statSumOfSquares, dataInfo.statMin,
                         dataInfo.statMax);
    if (integer) old.Scale(fileInfo.valueMin, fileInfo.valueMax, cmin, cmax);
    builder += old;
  }
  if (getDebugLevel() > 0) {
    std::printf("## New in-memory histogram, Total file size is %8llx\n",
                static_cast<unsigned long long>(dataInfo.GetTotalNumberOfSamples()));
    PrintSummaryLines(builder);
  }
  return builder;
}

FileStatistics MakeFileStatistics(const FileAccess::FileInfo& fileInfo,
                                  const HistogramBuilder& inMemory) {
  HistogramBuilder values = inMemory;
  double cmin = 0;
  double cmax = 0;
  if (CodeLimits(fileInfo.dataType, &cmin, &cmax)) {
    values.Scale(cmin, cmax, fileInfo.valueMin, fileInfo.valueMax);
  }
  const HistogramData& h = values.gethisto();
  // The record has 256 bins; another size is re-binned over the same range.
  HistogramData record(kFileHistogramBins, h.getmin(), h.getmax(), true);
  record += h;
  FileStatistics out{values.getstats(),
                     FileAccess::Histogram(record.getcount(), static_cast<float>(h.getmin()),
                                           static_cast<float>(h.getmax()))};
  std::copy(record.GetBins(), record.GetBins() + kFileHistogramBins, out.histogram.bins);
  return out;
}

std::string SummaryLines(const HistogramBuilder& builder) {
  return SummaryLine("hist", builder.gethiststats()) + SummaryLine("stat", builder.getstats());
}

void PrintSummaryLines(const HistogramBuilder& builder) {
  std::fputs(SummaryLines(builder).c_str(), stdout);
}

}  // namespace Qra::Ostrel::Tyq::Private
