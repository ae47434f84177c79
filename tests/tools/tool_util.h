#pragma once

// Volumes and a callback recorder for the tests of the compress tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tyq/compress_tools.h"
#include "tyq/compressor3d.h"
#include "tyq/tyq.h"

namespace tyq_test {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
namespace Tyq = Qra::Ostrel::Tyq;
using Qra::Ostrel::Tyq::Private::Status;

// Smooth reflectors with some texture: no brick anywhere near zero, so a
// compressed writer never stores one as a constant.
inline float seismic(int i, int j, int k) {
  const double z = k - 0.2 * i - 0.1 * j - 3.0 * std::sin(0.05 * i + 0.03 * j);
  return static_cast<float>(500.0 + 800.0 * std::sin(0.35 * z) * std::cos(0.021 * z) +
                            40.0 * std::sin(0.9 * i + 1.3 * j + 0.7 * k));
}

using SampleFn = std::function<float(int, int, int)>;

// Writes an uncompressed volume of `type` coded over [lo, hi] (float: the
// range is only recorded) with its levels of detail; false on failure.
inline bool writeVolume(const std::string& name, const int size[3], const SampleFn& f,
                        FA::EnumClass<FA::DataTypeEnum> type = FA::DataTypeEnum::Float32,
                        float lo = -1500, float hi = 1500) {
  FA::DataInfo info;
  info.SetExtent(100, 2, size[0], 200, 1, size[1], 0, 4, size[2], false);
  FA::AutoRef<FA::Writer> writer;
  Status status;
  if (FA::Tyq::CreateTyqWriter(writer, name, info, type, FA::TyqOptions(), &status, lo, hi) != 0 ||
      !writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status)) {
    ADD_FAILURE() << status.message();
    return false;
  }
  std::vector<float> v(static_cast<size_t>(size[0]) * size[1] * size[2]);
  size_t n = 0;
  for (int i = 0; i < size[0]; ++i) {
    for (int j = 0; j < size[1]; ++j) {
      for (int k = 0; k < size[2]; ++k) v[n++] = f(i, j, k);
    }
  }
  if (!writer->WriteData(0, 0, 0, 0, size[0], size[1], size[2], v.data(), &status) ||
      !writer->Finalize(false, true, &status)) {
    ADD_FAILURE() << status.message();
    return false;
  }
  return true;
}

// A whole level read as float, vertical fastest; empty when it fails.
inline std::vector<float> readLevel(const std::string& name, int level) {
  FA::AutoRef<FA::Reader> reader;
  Status status;
  FA::DataInfo info;
  if (FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status) != 0 ||
      !reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status) ||
      !reader->GetDataInfo(info, &status)) {
    ADD_FAILURE() << status.message();
    return {};
  }
  int n[3];
  for (int a = 0; a < 3; ++a) n[a] = ((info.size[a] - 1) >> level) + 1;
  std::vector<float> v(static_cast<size_t>(n[0]) * n[1] * n[2]);
  if (!reader->ReadData(level, 0, 0, 0, n[0], n[1], n[2], v.data(), &status)) {
    ADD_FAILURE() << status.message();
    return {};
  }
  return v;
}

inline FA::FileInfo fileInfoOf(const std::string& name) {
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  Status status;
  if (FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status) == 0) {
    reader->GetFileInfo(info, &status);
  }
  return info;
}

struct Call {
  Tyq::TyqCompressState state;
  float percent, ratio;
  int64_t a, b;
  std::string text;
};

// Keeps every callback; `answer` decides what each call returns.
struct Recorder {
  std::vector<Call> calls;
  std::function<bool(const Call&)> answer = [](const Call&) { return true; };

  static bool callback(Tyq::TyqCompressState state, float percent, float ratio, int64_t a,
                       int64_t b, const char* text, void* user) {
    auto* self = static_cast<Recorder*>(user);
    self->calls.push_back({state, percent, ratio, a, b, text ? text : ""});
    return self->answer(self->calls.back());
  }
  const Call& last() const { return calls.back(); }
  int count(Tyq::TyqCompressState state) const {
    int n = 0;
    for (const Call& c : calls) n += c.state == state;
    return n;
  }
};

inline bool exists(const std::string& name) {
  return std::filesystem::exists(name);
}

}  // namespace tyq_test
