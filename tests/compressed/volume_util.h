#pragma once

// A smooth seismic-like volume for the compressed-file tests, written and
// read through the entry functions.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tyq/compressor3d.h"
#include "tyq/tyq.h"

namespace tyq_test {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

inline float volumeSample(int i, int j, int k) {
  const double z = k - 0.2 * i - 0.1 * j - 3.0 * std::sin(0.05 * i + 0.03 * j);
  return static_cast<float>(800.0 * std::sin(0.35 * z) * std::cos(0.021 * z) +
                            40.0 * std::sin(0.9 * i + 1.3 * j + 0.7 * k));
}

// Samples of a box, inline slowest and vertical fastest.
inline std::vector<float> volumeBox(const int start[3], const int size[3]) {
  std::vector<float> v(static_cast<size_t>(size[0]) * size[1] * size[2]);
  size_t n = 0;
  for (int i = start[0]; i < start[0] + size[0]; ++i) {
    for (int j = start[1]; j < start[1] + size[1]; ++j) {
      for (int k = start[2]; k < start[2] + size[2]; ++k) v[n++] = volumeSample(i, j, k);
    }
  }
  return v;
}

inline FA::DataInfo volumeInfo(int n0, int n1, int n2) {
  FA::DataInfo info;
  info.SetExtent(100, 2, n0, 200, 1, n1, 0, 4, n2, false);
  info.SetVertDomain(FA::VertDimEnum::Time, 0.001, "ms");
  return info;
}

// A compressed writer taking boxes with the vertical index fastest; null
// when it cannot be made.
inline FA::AutoRef<FA::Writer> compressedWriter(const std::string& name, const FA::DataInfo& info,
                                                float sqnr) {
  FA::AutoRef<FA::Writer> writer;
  Status status;
  FA::Tyq::CreateCompressedWriter(writer, name, info, &status, sqnr, -1000, 1000);
  if (writer) writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status);
  return writer;
}

// A reader delivering boxes with the vertical index fastest; null when the
// file does not open.
inline FA::AutoRef<FA::Reader> traceReader(const std::string& name,
                                           const FA::TyqOptions& options = FA::TyqOptions()) {
  FA::AutoRef<FA::Reader> reader;
  Status status;
  FA::Tyq::CreateTyqReader(reader, name, options, &status);
  if (reader) reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status);
  return reader;
}

inline double sqnrOf(const std::vector<float>& a, const std::vector<float>& b) {
  return Qra::Ostrel::Tyq::Private::Compressor3d::calculateSQNR(static_cast<int64_t>(a.size()),
                                                                a.data(), b.data());
}

}  // namespace tyq_test
