#pragma once

// The histogram and statistics a writable uncompressed file keeps in memory,
// and their way in and out of the file's records. For integer sample types
// they are kept in stored codes, on a fixed histogram over the type's whole
// code range; for float in values, on a growing histogram.
#include <string>

#include "tyq/records.h"
#include "tyq/stats.h"

namespace Qra::Ostrel::Tyq::Private {

constexpr int kFileHistogramBins = FileAccess::Histogram::kBins;

// The code limits cmin and cmax of an integer sample type (DataTypeEnum
// numbering); false for float and unknown types.
bool CodeLimits(int sampleType, double* cmin, double* cmax);

// The builder a file gets when it is created or opened for writing, with the
// file's stored statistics and histogram already in it when both have a
// count. Integer types map the stored values to codes through the coding
// range; a coding range of zero width has no such map and the stored figures
// are then left out. At debug level 1 and above prints the survey size and
// the summary lines.
HistogramBuilder MakeInMemoryHistogram(const FileAccess::FileInfo& fileInfo,
                                       const FileAccess::DataInfo& dataInfo,
                                       const FileAccess::Histogram& stored);

// What a flush stores: the statistics (for SetDataStats) and the 256-bin
// record (for SetDataHist), both in values. The record's count is the total
// of its bins.
struct FileStatistics {
  StatisticData stats;
  FileAccess::Histogram histogram;
};
FileStatistics MakeFileStatistics(const FileAccess::FileInfo& fileInfo,
                                  const HistogramBuilder& inMemory);

// The two trace lines of a builder, "      hist: ..." (statistics from the
// bins) and "      stat: ..." (its statistics), each ending in a newline.
// Without samples the mean and deviation read 0.
std::string SummaryLines(const HistogramBuilder& builder);
void PrintSummaryLines(const HistogramBuilder& builder);  // to standard output

}  // namespace Qra::Ostrel::Tyq::Private
