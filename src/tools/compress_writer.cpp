// The copy's output: a writer from the entry functions that takes whole
// columns of traces, their flags derived from the samples.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "tyq/compress_tools.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::TyqCompressIO {

namespace FA = FileAccess;
using Private::Func;

IWriter::~IWriter() = default;

struct Writer::Data {
  FA::AutoRef<FA::Writer> writer;
  FA::FileInfo info;
  bool compressed = false;
  // Set by any writing thread, read by the one reporting progress.
  std::atomic<bool> failed{false};
  bool finalized = false;
};

namespace {

// A float trace is live when a sample lies outside the dead band (a NaN
// counts as live: it is not the stored zero).
bool liveFloat(const float* trace, int n, float low, float high) {
  for (int k = 0; k < n; ++k) {
    if (!(trace[k] >= low && trace[k] <= high)) return true;
  }
  return false;
}

bool liveBytes(const unsigned char* trace, size_t bytes) {
  for (size_t b = 0; b < bytes; ++b) {
    if (trace[b] != 0) return true;
  }
  return false;
}

// One flag per trace, inline outermost as in the trace-optimised order.
std::vector<unsigned char> traceFlags(const WorkItem& item, const void* samples, int sampleSize,
                                      float low, float high) {
  const size_t traces = static_cast<size_t>(item.size[0]) * static_cast<size_t>(item.size[1]);
  const int n = item.size[2];
  std::vector<unsigned char> flags(traces);
  for (size_t t = 0; t < traces; ++t) {
    if (sampleSize == 4) {
      flags[t] = liveFloat(static_cast<const float*>(samples) + t * n, n, low, high);
    } else {
      const size_t bytes = static_cast<size_t>(n) * sampleSize;
      flags[t] = liveBytes(static_cast<const unsigned char*>(samples) + t * bytes, bytes);
    }
  }
  return flags;
}

bool writeSamples(FA::Writer& w, const WorkItem& item, const void* samples, int sampleSize,
                  Status* status) {
  const int* s = item.start;
  const int* n = item.size;
  switch (sampleSize) {
    case 1:
      return w.WriteData(item.level, s[0], s[1], s[2], n[0], n[1], n[2],
                         static_cast<const signed char*>(samples), status);
    case 2:
      return w.WriteData(item.level, s[0], s[1], s[2], n[0], n[1], n[2],
                         static_cast<const short*>(samples), status);
    default:
      return w.WriteData(item.level, s[0], s[1], s[2], n[0], n[1], n[2],
                         static_cast<const float*>(samples), status);
  }
}

}  // namespace

Writer::Writer() : d_(std::make_unique<Data>()) {}
Writer::~Writer() = default;

bool Writer::create(const std::string& name, const IReader& input, float sqnr, bool reserved,
                    std::string& error) {
  d_ = std::make_unique<Data>();
  const FA::FileInfo& in = input.fileInfo();
  FA::TyqOptions options;
  options.sqnr = sqnr > 0 ? sqnr : 0.0f;
  options.reserved2 = reserved;
  d_->compressed = sqnr > 0;
  double lo = in.valueMin, hi = in.valueMax;
  FA::EnumClass<FA::DataTypeEnum> type = in.dataType;
  if (d_->compressed) {
    lo = input.histogram().min;
    hi = input.histogram().max;
    type = FA::DataTypeEnum::Float32;
  } else {
    if (in.IsBricked()) std::copy(in.brickSize, in.brickSize + 3, options.brickSize);
    // IBM floats are read as floats; no new file is written in that coding.
    if (type == FA::DataTypeEnum::IbmFloat32) type = FA::DataTypeEnum::Float32;
  }
  Status status;
  FA::AutoRef<FA::Writer> writer;
  if (FA::Tyq::CreateTyqWriter(writer, name, input.dataInfo(), type, options, &status, lo, hi) !=
      0) {
    error = status.message();
    return false;
  }
  if (!writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status)) {
    error = "SetAccessStorageOrder on output file failed";
    return false;
  }
  if (!writer->GetFileInfo(d_->info, &status)) {
    error = "GetFileInfo() on output file failed";
    return false;
  }
  d_->writer = writer;
  return true;
}

int Writer::levels() const {
  return d_->writer ? std::max(d_->info.numberOfLods, 1) : 0;
}

bool Writer::write(const WorkItem& item, const void* samples, int sampleSize, float deadLow,
                   float deadHigh, Status* status) {
  Func func("TyqCompressIO::Writer::write", status);
  if (!d_->writer) return func.setError(FA::Error::NotOpen, "");
  const std::vector<unsigned char> flags = traceFlags(item, samples, sampleSize, deadLow, deadHigh);
  if (!d_->writer->WriteGridFlags(item.level, item.start[0], item.start[1], item.size[0],
                                  item.size[1], flags.data(), func.statusP()) ||
      !writeSamples(*d_->writer, item, samples, sampleSize, func.statusP())) {
    d_->failed = true;
    return false;
  }
  return true;
}

int64_t Writer::fileSize() const {
  if (d_->failed) return 0;
  if (!d_->writer && !d_->finalized) return -1;
  return d_->info.fileSize;
}

float Writer::compressionFactor() const {
  if ((!d_->writer && !d_->finalized) || !d_->compressed) return 1.0f;
  return d_->info.compressionFactor;
}

bool Writer::close(Status* status) {
  Func func("TyqCompressIO::Writer::close", status);
  if (!d_->writer) return func.setError(FA::Error::NotOpen, "");
  // An uncompressed output gets its levels of detail built here; a
  // compressed one received them as writes.
  const bool ok = d_->writer->Finalize(false, !d_->compressed, func.statusP()) &&
                  d_->writer->GetFileInfo(d_->info, func.statusP());
  d_->writer = FA::AutoRef<FA::Writer>();
  if (!ok) d_->failed = true;
  d_->finalized = ok;
  return ok;
}

void Writer::release() {
  d_->writer = FA::AutoRef<FA::Writer>();
}

}  // namespace Qra::Ostrel::Tyq::TyqCompressIO
