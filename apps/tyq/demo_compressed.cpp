#include "demo_compressed.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "progress.h"
#include "tools/compressed_volume.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;
namespace Tools = Qra::Ostrel::Tyq::Private::Tools;
using Clock = std::chrono::steady_clock;

constexpr float kSqnr = 30.0f;
constexpr int kThreads = 2;

bool fail(const char* what, const Status& status) {
  std::fprintf(stderr, "tyq demo: %s: %s\n", what, describeFailure(status).c_str());
  return false;
}

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The whole of level 0, vertical fastest: the reader was opened in trace order.
bool readLevel0(FA::Reader& reader, const int size[3], std::vector<float>& out, Status& status) {
  out.resize(static_cast<size_t>(size[0]) * size[1] * size[2]);
  constexpr int kSlab = 64;
  const size_t slab = static_cast<size_t>(size[1]) * size[2];
  for (int i = 0; i < size[0]; i += kSlab) {
    const int ni = std::min(kSlab, size[0] - i);
    if (!reader.ReadData(0, i, 0, 0, ni, size[1], size[2], out.data() + slab * i, &status)) {
      return false;
    }
  }
  return true;
}

double sqnr(const std::vector<float>& a, const std::vector<float>& b) {
  double signal = 0, noise = 0;
  for (size_t n = 0; n < a.size(); ++n) {
    signal += std::fabs(double{a[n]});
    noise += std::fabs(double{a[n]} - double{b[n]});
  }
  return noise > 0 ? 20 * std::log10(signal / noise) : INFINITY;
}

}  // namespace

bool demoCompressedCopy(FA::Reader& source, const std::string& output) {
  Status status;
  FA::DataInfo info;
  if (!source.GetDataInfo(info, &status)) return fail("source description", status);
  Tools::FloatVolume volume;
  std::copy(info.size, info.size + 3, volume.size);
  if (!readLevel0(source, volume.size, volume.samples, status)) {
    return fail("reading the source", status);
  }
  std::printf("  compressing at %g dB from %d threads\n", static_cast<double>(kSqnr), kThreads);
  auto start = Clock::now();
  Tools::CompressedVolumeOptions options;
  options.sqnr = kSqnr;
  options.threads = kThreads;
  options.histogramMin = info.statMin;
  options.histogramMax = info.statMax;
  options.progress = progressCallback("compressing");
  if (!Tools::WriteCompressedVolume(output, info, volume.View(), options, &status)) {
    return fail("writing the compressed copy", status);
  }
  const double writeSeconds = since(start);
  FA::AutoRef<FA::Reader> copy;
  FA::FileInfo fileInfo;
  FA::DataInfo copyData;
  if (!openReader("demo", output, FA::StorageOrderEnum::TraceOptimized(), copy, fileInfo,
                  copyData)) {
    return false;
  }
  std::vector<float> back;
  start = Clock::now();
  if (!readLevel0(*copy, volume.size, back, status)) return fail("reading the copy", status);
  const double readSeconds = since(start);
  const double megabytes = static_cast<double>(volume.Count()) * 4 / 1e6;
  std::printf("  compressed copy %s: %lld bytes, compression factor %.1f\n", output.c_str(),
              static_cast<long long>(fileInfo.fileSize),
              static_cast<double>(fileInfo.compressionFactor));
  std::printf("  achieved SQNR %.2f dB against the source (target %g dB)\n",
              sqnr(volume.samples, back), static_cast<double>(kSqnr));
  std::printf("  %-30s %7.3f s  %8.1f MB/s\n", "compress every level", writeSeconds,
              megabytes / writeSeconds);
  std::printf("  %-30s %7.3f s  %8.1f MB/s\n", "read compressed level 0", readSeconds,
              megabytes / readSeconds);
  return true;
}

}  // namespace tyq_tool
