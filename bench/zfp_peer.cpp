#include "zfp_peer.h"

#include <time.h>
#include <zfp.h>

#include <cmath>
#include <limits>
#include <map>

namespace tyq_bench {
namespace {

// Thread CPU time: the machine is shared, and both codecs run on one core.
double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double meanAbs(const Volume& v) {
  double sum = 0;
  for (float x : v.samples) sum += std::fabs(x);
  return v.samples.empty() ? 0 : sum / static_cast<double>(v.samples.size());
}

}  // namespace

double sqnrDb(const float* x, const float* y, size_t n) {
  double signal = 0;
  double error = 0;
  for (size_t i = 0; i < n; ++i) {
    signal += std::fabs(x[i]);
    error += std::fabs(static_cast<double>(x[i]) - y[i]);
  }
  if (error == 0) return std::numeric_limits<double>::infinity();
  return 20.0 * std::log10(signal / error);
}

ZfpRun zfpRoundTrip(const Volume& v, double tolerance, std::vector<float>& decoded) {
  ZfpRun run;
  run.tolerance = tolerance;
  decoded.assign(v.samples.size(), 0.0f);
  // zfp's x axis varies fastest: samples, then crosslines, then inlines.
  zfp_field* in =
      zfp_field_3d(const_cast<float*>(v.samples.data()), zfp_type_float, v.nk, v.nj, v.ni);
  zfp_field* out = zfp_field_3d(decoded.data(), zfp_type_float, v.nk, v.nj, v.ni);
  zfp_stream* zfp = zfp_stream_open(nullptr);
  zfp_stream_set_accuracy(zfp, tolerance);
  zfp_stream_set_execution(zfp, zfp_exec_serial);
  std::vector<unsigned char> buffer(zfp_stream_maximum_size(zfp, in));
  bitstream* bits = stream_open(buffer.data(), buffer.size());
  zfp_stream_set_bit_stream(zfp, bits);

  double start = cpuSeconds();
  run.bytes = zfp_compress(zfp, in);
  run.compressSeconds = cpuSeconds() - start;
  if (run.bytes != 0) {
    zfp_stream_rewind(zfp);
    start = cpuSeconds();
    if (zfp_decompress(zfp, out) == 0) run.bytes = 0;
    run.decompressSeconds = cpuSeconds() - start;
  }
  run.sqnr = run.bytes != 0 ? sqnrDb(v.samples.data(), decoded.data(), decoded.size()) : 0;

  stream_close(bits);
  zfp_stream_close(zfp);
  zfp_field_free(out);
  zfp_field_free(in);
  return run;
}

ZfpSearch zfpSearchSqnr(const Volume& v, double targetDb) {
  constexpr int kMaxTrials = 30;
  constexpr double kCloseDb = 0.1;
  std::vector<float> decoded;
  std::map<int, ZfpRun> runs;  // by the power of two of the tolerance
  auto trial = [&](int exponent) -> const ZfpRun& {
    auto it = runs.find(exponent);
    if (it == runs.end()) {
      it = runs.emplace(exponent, zfpRoundTrip(v, std::ldexp(1.0, exponent), decoded)).first;
    }
    return it->second;
  };
  // The mean error of the accuracy mode is a fraction of the tolerance, so
  // mean|x| scaled by the target ratio is a fair first guess.
  const double guess = meanAbs(v) * std::pow(10.0, -targetDb / 20.0);
  int fine = guess > 0 ? std::ilogb(guess) : -20;  // SQNR above the target
  int coarse = fine;                               // SQNR below the target
  // Widen until the target lies between the two (SQNR falls as the
  // tolerance grows), then halve the bracket.
  while (static_cast<int>(runs.size()) < kMaxTrials && trial(fine).sqnr < targetDb) fine -= 4;
  while (static_cast<int>(runs.size()) < kMaxTrials && trial(coarse).sqnr > targetDb) coarse += 4;
  while (static_cast<int>(runs.size()) < kMaxTrials && coarse - fine > 1) {
    const int mid = fine + (coarse - fine) / 2;
    const ZfpRun& run = trial(mid);
    if (std::fabs(run.sqnr - targetDb) <= kCloseDb) return {run, run, run};
    (run.sqnr > targetDb ? fine : coarse) = mid;
  }
  const ZfpRun& a = trial(fine);
  const ZfpRun& b = trial(coarse);
  return {std::fabs(a.sqnr - targetDb) <= std::fabs(b.sqnr - targetDb) ? a : b, a, b};
}

double ZfpSearch::bitsPerSampleAt(double targetDb, size_t samples) const {
  const double span = finer.sqnr - coarser.sqnr;
  if (!(span > 0) || !std::isfinite(span)) return nearest.bitsPerSample(samples);
  const double t = (targetDb - coarser.sqnr) / span;
  return coarser.bitsPerSample(samples) +
         t * (finer.bitsPerSample(samples) - coarser.bitsPerSample(samples));
}

}  // namespace tyq_bench
