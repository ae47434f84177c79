#include "survey_cube.h"

#include <segyio/segy.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace tyq_bench {
namespace {

struct SegyCloser {
  void operator()(segy_file* fp) const { segy_close(fp); }
};
using SegyFile = std::unique_ptr<segy_file, SegyCloser>;

// Geometry of an opened survey as the library reports it.
struct Layout {
  int format = 0;
  int samples = 0;
  long trace0 = 0;
  int traceBytes = 0;
  int traces = 0;
  int sorting = 0;
  int inlines = 0;
  int crosslines = 0;
};

bool fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

bool readLayout(segy_file* fp, Layout& l, std::string& error) {
  char bin[SEGY_BINARY_HEADER_SIZE];
  if (segy_binheader(fp, bin) != SEGY_OK) return fail(error, "unreadable binary header");
  l.format = segy_format(bin);
  l.samples = segy_samples(bin);
  l.trace0 = segy_trace0(bin);
  l.traceBytes = l.samples > 0 ? segy_trsize(l.format, l.samples) : -1;
  if (l.traceBytes <= 0) return fail(error, "unsupported sample format or count");
  int offsets = 0;
  if (segy_traces(fp, &l.traces, l.trace0, l.traceBytes) != SEGY_OK ||
      segy_sorting(fp, SEGY_TR_INLINE, SEGY_TR_CROSSLINE, SEGY_TR_OFFSET, &l.sorting, l.trace0,
                   l.traceBytes) != SEGY_OK ||
      segy_offsets(fp, SEGY_TR_INLINE, SEGY_TR_CROSSLINE, l.traces, &offsets, l.trace0,
                   l.traceBytes) != SEGY_OK ||
      offsets != 1 ||
      segy_lines_count(fp, SEGY_TR_INLINE, SEGY_TR_CROSSLINE, l.sorting, offsets, &l.inlines,
                       &l.crosslines, l.trace0, l.traceBytes) != SEGY_OK) {
    return fail(error, "not a regular post-stack 3-D survey");
  }
  if (l.sorting != SEGY_INLINE_SORTING && l.sorting != SEGY_CROSSLINE_SORTING) {
    return fail(error, "traces sorted neither by inline nor by crossline");
  }
  if (static_cast<int64_t>(l.inlines) * l.crosslines != l.traces) {
    return fail(error, "line counts do not match the number of traces");
  }
  return true;
}

// One trace, converted from its stored format to float.
bool readTrace(segy_file* fp, const Layout& l, int trace, std::vector<char>& raw, float* out) {
  if (segy_readtrace(fp, trace, raw.data(), l.trace0, l.traceBytes) != SEGY_OK ||
      segy_to_native(l.format, l.samples, raw.data()) != SEGY_OK) {
    return false;
  }
  for (int k = 0; k < l.samples; ++k) {
    switch (l.format) {
      case SEGY_IBM_FLOAT_4_BYTE:
      case SEGY_IEEE_FLOAT_4_BYTE:
        std::memcpy(&out[k], raw.data() + 4 * k, 4);
        break;
      case SEGY_SIGNED_INTEGER_4_BYTE: {
        int32_t v;
        std::memcpy(&v, raw.data() + 4 * k, 4);
        out[k] = static_cast<float>(v);
        break;
      }
      case SEGY_SIGNED_SHORT_2_BYTE: {
        int16_t v;
        std::memcpy(&v, raw.data() + 2 * k, 2);
        out[k] = v;
        break;
      }
      case SEGY_SIGNED_CHAR_1_BYTE:
        out[k] = static_cast<int8_t>(raw[k]);
        break;
      default:
        return false;
    }
  }
  return true;
}

// Reflection without repeating the edge sample: 0 1 2 .. n-1 n-2 .. 1 0 1 ..
int mirror(int x, int n) {
  if (n == 1) return 0;
  const int p = x % (2 * n - 2);
  return p < n ? p : 2 * n - 2 - p;
}

}  // namespace

std::string surveyDir() {
  if (const char* dir = std::getenv("TYQ_SEGY_DIR"); dir != nullptr && *dir != '\0') return dir;
  return (std::filesystem::path(TYQ_SOURCE_DIR) / ".." / "shared" / "data" / "segy")
      .lexically_normal()
      .string();
}

std::string defaultSurveyPath() {
  return (std::filesystem::path(surveyDir()) / "seismic3d_nuwara.sgy").string();
}

bool loadSurvey(const std::string& path, Volume& out, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = "survey file not found: " + path + " (set TYQ_SEGY_DIR to its directory)";
    return false;
  }
  SegyFile fp(segy_open(path.c_str(), "rb"));
  Layout l;
  if (!fp || !readLayout(fp.get(), l, error)) {
    error = path + ": " + (fp ? error : std::string("cannot open"));
    return false;
  }
  out.ni = l.inlines;
  out.nj = l.crosslines;
  out.nk = l.samples;
  out.samples.assign(static_cast<size_t>(l.traces) * l.samples, 0.0f);
  std::vector<char> raw(static_cast<size_t>(l.traceBytes));
  for (int t = 0; t < l.traces; ++t) {
    const bool byInline = l.sorting == SEGY_INLINE_SORTING;
    const int i = byInline ? t / l.crosslines : t % l.inlines;
    const int j = byInline ? t % l.crosslines : t / l.inlines;
    if (!readTrace(fp.get(), l, t, raw, &out.samples[out.index(i, j, 0)])) {
      error = path + ": unreadable trace " + std::to_string(t);
      return false;
    }
  }
  return true;
}

Volume mirrorTile(const Volume& src, int ni, int nj, int nk) {
  Volume v{ni, nj, nk, std::vector<float>(static_cast<size_t>(ni) * nj * nk)};
  for (int i = 0; i < ni; ++i) {
    for (int j = 0; j < nj; ++j) {
      float* dst = &v.samples[v.index(i, j, 0)];
      const int si = mirror(i, src.ni);
      const int sj = mirror(j, src.nj);
      for (int k = 0; k < nk; ++k) dst[k] = src.at(si, sj, mirror(k, src.nk));
    }
  }
  return v;
}

bool loadBenchmarkCube(Volume& cube, std::string& error) {
  Volume survey;
  if (!loadSurvey(defaultSurveyPath(), survey, error)) return false;
  // The survey (76 x 181 x 268) is mirrored about its edges to 512 inlines
  // and crosslines, so every seam continues the reflectors it meets instead
  // of jumping or padding; the first 256 of its 268 samples are kept.
  cube = mirrorTile(survey, 512, 512, 256);
  return true;
}

}  // namespace tyq_bench
