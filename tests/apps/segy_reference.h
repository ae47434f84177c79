#pragma once

// Real surveys and segyio's own reading of them, the reference the SEG-Y
// commands are checked against; and a whole volume read back.
#include <segyio/segy.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tyq/tyq.h"

namespace tyq_tool {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

// A survey as segyio reads it: per trace its numbers, scaled CDP position
// and samples.
struct SegyioSurvey {
  std::vector<int> il, xl, traceId;
  std::vector<double> x, y;
  std::vector<std::vector<float>> samples;
  float dt = 0;
  int delay = 0;
};

inline float sampleOf(int format, const char* raw, int k) {
  if (format == SEGY_SIGNED_SHORT_2_BYTE) {
    int16_t v;
    std::memcpy(&v, raw + 2 * k, 2);
    return v;
  }
  if (format == SEGY_SIGNED_CHAR_1_BYTE) return static_cast<signed char>(raw[k]);
  if (format == SEGY_SIGNED_INTEGER_4_BYTE) {
    int32_t v;
    std::memcpy(&v, raw + 4 * k, 4);
    return static_cast<float>(v);
  }
  float v;
  std::memcpy(&v, raw + 4 * k, 4);
  return v;
}

inline bool readWithSegyio(const std::string& path, SegyioSurvey& s) {
  segy_file* fp = segy_open(path.c_str(), "rb");
  if (!fp) return false;
  char bin[SEGY_BINARY_HEADER_SIZE];
  segy_binheader(fp, bin);
  const int format = segy_format(bin), n = segy_samples(bin);
  const long trace0 = segy_trace0(bin);
  const int bytes = segy_trsize(format, n);
  segy_set_format(fp, format);
  int traces = 0;
  segy_traces(fp, &traces, trace0, bytes);
  segy_sample_interval(fp, 0, &s.dt);
  std::vector<char> raw(static_cast<size_t>(bytes));
  char h[SEGY_TRACE_HEADER_SIZE];
  for (int t = 0; t < traces; ++t) {
    int32_t il, xl, x, y, scalar;
    segy_traceheader(fp, t, h, trace0, bytes);
    segy_get_field(h, SEGY_TR_INLINE, &il);
    segy_get_field(h, SEGY_TR_CROSSLINE, &xl);
    segy_get_field(h, SEGY_TR_CDP_X, &x);
    segy_get_field(h, SEGY_TR_CDP_Y, &y);
    segy_get_field(h, SEGY_TR_SOURCE_GROUP_SCALAR, &scalar);
    if (t == 0) segy_get_field(h, SEGY_TR_DELAY_REC_TIME, &s.delay);
    int32_t id = 0;
    segy_get_field(h, SEGY_TR_TRACE_ID, &id);
    s.traceId.push_back(id);
    const double f = scalar > 0 ? scalar : (scalar < 0 ? -1.0 / scalar : 1.0);
    s.il.push_back(il), s.xl.push_back(xl), s.x.push_back(x * f), s.y.push_back(y * f);
    segy_readtrace(fp, t, raw.data(), trace0, bytes);
    segy_to_native(format, n, raw.data());
    std::vector<float> v(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) v[k] = sampleOf(format, raw.data(), k);
    s.samples.push_back(std::move(v));
  }
  segy_close(fp);
  return traces > 0;
}

struct Volume {
  FA::DataInfo info;
  std::vector<float> samples;
  std::vector<unsigned char> flags;
};

inline bool readVolume(const std::string& path, Volume& v) {
  FA::AutoRef<FA::Reader> reader;
  Status status;
  if (FA::Tyq::CreateTyqReader(reader, path, FA::TyqOptions(), &status) != 0 ||
      !reader->GetDataInfo(v.info, &status) ||
      !reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status)) {
    return false;
  }
  const int* n = v.info.size;
  v.samples.resize(static_cast<size_t>(n[0]) * n[1] * n[2]);
  v.flags.resize(static_cast<size_t>(n[0]) * n[1]);
  return reader->ReadData(0, 0, 0, 0, n[0], n[1], n[2], v.samples.data(), &status) &&
         reader->ReadGridFlags(0, 0, 0, n[0], n[1], v.flags.data(), &status);
}

// The two small surveys kept with the tests, and the two larger ones when the
// directory TYQ_SEGY_DIR (default: ../shared/data/segy) holds them.
inline std::vector<std::string> realSurveys() {
  const std::string here = std::string(TYQ_SOURCE_DIR) + "/tests/data/segy/";
  std::vector<std::string> out = {here + "f3_segyio.sgy", here + "volve10-migvel-depth-sub3d.sgy"};
  const char* env = std::getenv("TYQ_SEGY_DIR");
  const std::string dir = env && *env ? env : std::string(TYQ_SOURCE_DIR) + "/../shared/data/segy";
  for (const char* big : {"seismic3d_nuwara.sgy", "volve-test-geometry.sgy"}) {
    if (std::filesystem::exists(dir + "/" + big)) {
      out.push_back(dir + "/" + big);
    } else {
      std::printf("(%s/%s not found: set TYQ_SEGY_DIR to check it)\n", dir.c_str(), big);
    }
  }
  return out;
}

}  // namespace tyq_tool
