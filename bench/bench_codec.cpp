// The block codec against the peer codec on real data: for target SQNR 20,
// 30 and 40, the SQNR achieved over the whole volume, bits per sample,
// compression ratio and compress / decompress speed on one core (thread CPU
// time), then the peer at the same achieved SQNR and the ratios tyq / peer.
//
// Volumes: the survey as it is, and the 512 x 512 x 256 cube made from it.
// By default the cube is cut down to a 128 x 128 x 256 corner so that a run
// stays short; TYQ_CODEC_FULL=1 takes the whole cube. Without the survey the
// program says so and exits successfully.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "survey_cube.h"
#include "tyq/compressor3d.h"
#include "zfp_peer.h"

namespace P = Qra::Ostrel::Tyq::Private;

namespace {

constexpr int kEdge = 64;
constexpr int kBrickSamples = kEdge * kEdge * kEdge;

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

bool fullRun() {
  const char* v = std::getenv("TYQ_CODEC_FULL");
  return v != nullptr && *v != '\0' && *v != '0';
}

// The leading ni x nj inlines and crosslines of `v`, all samples.
tyq_bench::Volume corner(const tyq_bench::Volume& v, int ni, int nj) {
  tyq_bench::Volume c;
  c.ni = std::min(ni, v.ni);
  c.nj = std::min(nj, v.nj);
  c.nk = v.nk;
  c.samples.resize(static_cast<size_t>(c.ni) * c.nj * c.nk);
  for (int i = 0; i < c.ni; ++i)
    for (int j = 0; j < c.nj; ++j)
      std::memcpy(&c.samples[c.index(i, j, 0)], &v.samples[v.index(i, j, 0)],
                  sizeof(float) * static_cast<size_t>(c.nk));
  return c;
}

// One brick of the volume in the codec's orientation: axis 0 (fastest) the
// inline, axis 1 the crossline, axis 2 the vertical axis, so that traces run
// along axis 2. Samples beyond the volume are 0, as in the bricks the file
// writer hands to the coder (an edge repeated to the brick's end would cost
// the partial bricks of the survey about a sixth more bytes); `valid` tells
// the coder how much is real.
struct Brick {
  std::vector<float> samples;
  int origin[3] = {0, 0, 0};  // inline, crossline, sample of sample (0, 0, 0)
  int valid[3] = {kEdge, kEdge, kEdge};
};

std::vector<Brick> cut(const tyq_bench::Volume& v) {
  const int size[3] = {v.ni, v.nj, v.nk};
  std::vector<Brick> bricks;
  for (int i = 0; i < v.ni; i += kEdge)
    for (int j = 0; j < v.nj; j += kEdge)
      for (int k = 0; k < v.nk; k += kEdge) {
        Brick b;
        b.origin[0] = i;
        b.origin[1] = j;
        b.origin[2] = k;
        for (int a = 0; a < 3; ++a) b.valid[a] = std::min(kEdge, size[a] - b.origin[a]);
        b.samples.assign(kBrickSamples, 0.0f);
        for (int i2 = 0; i2 < b.valid[2]; ++i2)
          for (int i1 = 0; i1 < b.valid[1]; ++i1)
            for (int i0 = 0; i0 < b.valid[0]; ++i0)
              b.samples[i0 + kEdge * (i1 + kEdge * i2)] = v.at(i + i0, j + i1, k + i2);
        bricks.push_back(std::move(b));
      }
  return bricks;
}

// Writes the valid part of a decoded brick into `out` (shaped like `v`).
void place(const tyq_bench::Volume& v, const Brick& b, const float* decoded, float* out) {
  for (int i2 = 0; i2 < b.valid[2]; ++i2)
    for (int i1 = 0; i1 < b.valid[1]; ++i1)
      for (int i0 = 0; i0 < b.valid[0]; ++i0)
        out[v.index(b.origin[0] + i0, b.origin[1] + i1, b.origin[2] + i2)] =
            decoded[i0 + kEdge * (i1 + kEdge * i2)];
}

struct TyqResult {
  double sqnr = 0;
  double bytes = 0;  // header + streams + 12 per brick
  double compressSeconds = 0;
  double decompressSeconds = 0;
  bool ok = true;
};

TyqResult runTyq(const tyq_bench::Volume& v, std::vector<Brick> bricks, float target) {
  TyqResult r;
  P::Compressor3d c;
  std::vector<P::CompressedBlock3d> coded(bricks.size());
  for (size_t n = 0; n < bricks.size(); ++n) {
    Brick& b = bricks[n];
    const double start = cpuSeconds();
    c.PrepareCompress(&coded[n], P::CompDataFloat, b.samples.data(), nullptr, target, true, false);
    c.setDataSizeInBlock(b.valid[0], b.valid[1], b.valid[2]);
    r.ok = c.Execute() && r.ok;
    r.bytes += static_cast<double>(coded[n].SimulateWriteRead());
    r.compressSeconds += cpuSeconds() - start;
  }
  std::vector<float> decoded(kBrickSamples);
  std::vector<float> volume(v.samples.size());
  for (size_t n = 0; n < bricks.size(); ++n) {
    const double start = cpuSeconds();
    c.PrepareDecompress(&coded[n], P::CompDataFloat, decoded.data(), nullptr, P::DecompSubbandsAll,
                        P::DecompFull, false);
    r.ok = c.Execute() && r.ok;
    r.decompressSeconds += cpuSeconds() - start;
    place(v, bricks[n], decoded.data(), volume.data());
  }
  r.sqnr = tyq_bench::sqnrDb(v.samples.data(), volume.data(), volume.size());
  return r;
}

void compare(const char* name, const tyq_bench::Volume& v) {
  const std::vector<Brick> bricks = cut(v);
  const size_t samples = v.samples.size();
  const double mb = static_cast<double>(samples) * sizeof(float) / 1e6;
  std::printf("\n%s: %d x %d x %d float32 (%.1f MB), %zu bricks\n", name, v.ni, v.nj, v.nk, mb,
              bricks.size());
  std::printf("%-6s | %-8s %-8s %-7s %-9s %-9s | %-8s %-8s %-9s %-9s | %-6s %-6s %-6s\n", "target",
              "tyq dB", "bits/smp", "ratio", "comp MB/s", "dec MB/s", "zfp dB", "bits/smp",
              "comp MB/s", "dec MB/s", "size", "comp", "dec");
  for (const float target : {20.0f, 30.0f, 40.0f}) {
    const TyqResult t = runTyq(v, bricks, target);
    const double bits = 8.0 * t.bytes / static_cast<double>(samples);
    const double tc = mb / t.compressSeconds, td = mb / t.decompressSeconds;
    const tyq_bench::ZfpSearch z = tyq_bench::zfpSearchSqnr(v, t.sqnr);
    const tyq_bench::ZfpRun& zr = z.nearest;
    const double zbits = z.bitsPerSampleAt(t.sqnr, samples);
    const double zc = mb / zr.compressSeconds, zd = mb / zr.decompressSeconds;
    std::printf(
        "%-6.0f | %-8.2f %-8.3f %-7.2f %-9.1f %-9.1f | %-8.2f %-8.3f %-9.1f %-9.1f | %-6.3f "
        "%-6.3f %-6.3f%s\n",
        target, t.sqnr, bits, 32.0 / bits, tc, td, zr.sqnr, zbits, zc, zd, bits / zbits, tc / zc,
        td / zd, t.ok && zr.bytes != 0 ? "" : "  (a run failed)");
  }
}

}  // namespace

int main() {
  tyq_bench::Volume survey;
  std::string error;
  if (!tyq_bench::loadSurvey(tyq_bench::defaultSurveyPath(), survey, error)) {
    std::printf("bench_codec skipped: %s\n", error.c_str());
    return 0;
  }
  tyq_bench::Volume cube;
  if (!tyq_bench::loadBenchmarkCube(cube, error)) {
    std::printf("bench_codec skipped: %s\n", error.c_str());
    return 0;
  }
  std::printf(
      "tyq: SQNR over the whole volume, bytes as stored (header + streams + 12 per brick),\n"
      "one core, thread CPU time; zfp: fixed accuracy searched to tyq's achieved SQNR, bits\n"
      "interpolated between the bracketing runs, speeds of the nearest run.\n"
      "Ratios tyq / zfp: size (bits per sample), compress and decompress speed.\n");
  compare("survey", survey);
  if (fullRun()) {
    compare("cube", cube);
  } else {
    compare("cube corner (TYQ_CODEC_FULL=1 for the whole cube)", corner(cube, 128, 128));
  }
  return 0;
}
