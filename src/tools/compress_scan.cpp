// Estimating compressed sizes per SQNR from a random sample of bricks,
// coded by the caller's threads: whole bricks at every quality level, or
// bricks of every level coded as a compress copy codes them.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "tools/quality_curve.h"
#include "tools/scan_copy_coder.h"
#include "tools/scan_draw.h"
#include "tools/scan_estimate.h"
#include "tools/tool_run.h"
#include "tools/work_items.h"
#include "tyq/compress_tools.h"

namespace Qra::Ostrel::Tyq {

namespace FA = FileAccess;
using Private::Tools::BrickCurveCoder;
using Private::Tools::CopyCurveCoder;
using Private::Tools::kSqnrSteps;
using Private::Tools::QualityCurve;
using Private::Tools::ToolRun;
using TyqCompressIO::WorkItem;

namespace {
constexpr int64_t kBrickBytes = int64_t{64} * 64 * 64 * 4;
}  // namespace

struct Private::Tools::ScanRun {
  ScanRun(TyqCompressCallback callback, void* user) : run(callback, user) {}

  bool prepare(int threads);
  bool prepareCopyEstimate(int threads);
  bool scanWhole(float* samples, int thread);
  bool scanForCopy(int item, float* samples, int thread);
  void progress(float ratio);

  std::string input;
  int bricks = 0;
  TyqScanMode mode = TyqScanMode::WholeBricks;
  ToolRun run;
  std::unique_ptr<TyqCompressIO::Reader> reader;
  std::vector<WorkItem> items;
  int count = 0;
  std::vector<std::unique_ptr<BrickCurveCoder>> coders;
  // CopyEstimate: the draw, a coder per thread, the sums.
  Private::Tools::ScanDraw draw;
  std::vector<std::unique_ptr<CopyCurveCoder>> copyCoders;
  Private::Tools::CopySizeSums copySums;
  std::atomic<int64_t> sums[kSqnrSteps];
  std::atomic<int64_t> total{0};
  int64_t perMillion[kSqnrSteps] = {};
  int64_t inputSize = 0;
  bool ended = true;
};

bool Private::Tools::ScanRun::prepare(int threads) {
  reader = std::make_unique<TyqCompressIO::Reader>();
  Status status;
  // The coder takes bricks with the inline axis fastest.
  if (!reader->open(input, FA::StorageOrderEnum::TraditionalTyq(), &status)) {
    run.errors.record(status.message());
    return false;
  }
  inputSize = reader->fileSize();
  if (mode == TyqScanMode::CopyEstimate) return prepareCopyEstimate(threads);
  items = Private::Tools::ScanItems(*reader);
  count =
      static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(bricks, 0)), items.size()));
  if (!run.allocate(threads, static_cast<size_t>(kBrickBytes))) return false;
  coders.clear();
  for (int t = 0; t < threads; ++t) {
    coders.push_back(std::unique_ptr<BrickCurveCoder>(new (std::nothrow) BrickCurveCoder));
    if (!coders.back()) {
      run.errors.record("Out of memory allocating the per-thread coders");
      return false;
    }
  }
  return true;
}

bool Private::Tools::ScanRun::prepareCopyEstimate(int threads) {
  draw = Private::Tools::DrawCopyBricks(*reader, bricks);
  items = draw.items;
  count = static_cast<int>(items.size());
  if (!copySums.reset(draw.strata.size())) {
    run.errors.record("Out of memory allocating the scan's sums");
    return false;
  }
  // The packed box and the gathered brick.
  if (!run.allocate(threads, 2 * static_cast<size_t>(kBrickBytes))) return false;
  copyCoders.clear();
  for (int t = 0; t < threads; ++t) {
    copyCoders.push_back(std::unique_ptr<CopyCurveCoder>(new (std::nothrow) CopyCurveCoder));
    if (!copyCoders.back()) {
      run.errors.record("Out of memory allocating the per-thread coders");
      return false;
    }
  }
  return true;
}

bool Private::Tools::ScanRun::scanWhole(float* samples, int thread) {
  float lo = 0.0f, hi = 0.0f;
  for (int64_t s = 0; s < kBrickBytes / 4; ++s) {
    lo = std::min(lo, samples[s]);
    hi = std::max(hi, samples[s]);
  }
  // A brick with (next to) nothing in it costs nothing worth counting.
  if (hi - lo < 1e-5f) return true;
  QualityCurve curve;
  if (!coders[static_cast<size_t>(thread)]->code(samples, curve)) {
    run.errors.record("Compressing a brick failed");
    return false;
  }
  Private::Tools::AddCurve(curve, sums);
  total.fetch_add(kBrickBytes, std::memory_order_relaxed);
  return true;
}

bool Private::Tools::ScanRun::scanForCopy(int item, float* samples, int thread) {
  const WorkItem& box = items[static_cast<size_t>(item)];
  const bool all = draw.allTargets[static_cast<size_t>(item)];
  int64_t bytes[Private::Tools::kTargets] = {};
  if (!copyCoders[static_cast<size_t>(thread)]->code(box, samples, reader->deadLow(),
                                                     reader->deadHigh(), samples + kBrickBytes / 4,
                                                     all, bytes)) {
    run.errors.record("Compressing a brick failed");
    return false;
  }
  copySums.add(draw.stratum[static_cast<size_t>(item)], all, bytes);
  return true;
}

void Private::Tools::ScanRun::progress(float ratio) {
  run.progress(count, [this, ratio](float& r, int64_t& a, int64_t& b) {
    r = ratio;
    a = inputSize;
    b = -1;
  });
}

TyqCompressScan::TyqCompressScan(const std::string& input, int bricks, TyqCompressCallback callback,
                                 void* user)
    : p_(std::make_unique<Private::Tools::ScanRun>(callback, user)) {
  p_->input = input;
  p_->bricks = bricks;
}

TyqCompressScan::TyqCompressScan(const std::string& input, int bricks, TyqCompressCallback callback,
                                 void* user, TyqScanMode mode)
    : TyqCompressScan(input, bricks, callback, user) {
  p_->mode = mode;
}

TyqCompressScan::~TyqCompressScan() = default;

bool TyqCompressScan::open(int threads) {
  Private::Tools::ScanRun& p = *p_;
  p.run.reset();
  p.reader.reset();
  p.items.clear();
  p.draw = Private::Tools::ScanDraw();
  p.count = 0;
  p.inputSize = 0;
  for (auto& sum : p.sums) sum.store(0);
  p.total.store(0);
  std::fill(p.perMillion, p.perMillion + kSqnrSteps, 0);
  p.ended = false;
  p.run.start();
  if (p.run.errors.ok()) p.prepare(threads);
  if (p.run.errors.ok()) return true;
  p.reader.reset();
  p.run.finish(0.0f, p.inputSize, 0);
  p.ended = true;
  return false;
}

bool TyqCompressScan::scan(int item, int thread) {
  Private::Tools::ScanRun& p = *p_;
  if (!p.run.errors.ok()) return false;
  auto* samples = static_cast<float*>(p.run.claim(item, p.count, thread));
  if (!samples) return false;
  Status status;
  const WorkItem& box = p.items[static_cast<size_t>(item)];
  if (p.reader->read(box, samples, &status)) {
    const bool coded = p.mode == TyqScanMode::CopyEstimate ? p.scanForCopy(item, samples, thread)
                                                           : p.scanWhole(samples, thread);
    if (!coded) return false;
  } else if (status.tyqError() != FA::Error::BrickNotFound) {
    p.run.errors.record(status.message());
    return false;
  }
  p.run.done.fetch_add(1);
  if (thread == 0) p.progress(0.0f);
  return p.run.errors.ok();
}

bool TyqCompressScan::close() {
  Private::Tools::ScanRun& p = *p_;
  if (p.ended) return p.run.errors.ok();
  if (p.run.errors.ok()) p.progress(1.0f);
  const int64_t total = p.total.load();
  for (int s = 0; s < kSqnrSteps && p.mode == TyqScanMode::WholeBricks; ++s) {
    const double share =
        total > 0 ? static_cast<double>(p.sums[s].load()) / static_cast<double>(total) * 1000000.0
                  : 0.0;
    p.perMillion[s] = std::llround(share);
  }
  if (p.mode == TyqScanMode::CopyEstimate && p.run.errors.ok()) {
    p.copySums.table(p.draw, p.perMillion);
  }
  if (p.run.errors.ok()) {
    const std::string report = Private::Tools::ReportText(p.perMillion);
    p.run.call(TyqCompressReport, 100.0f, 0.0f, p.inputSize, -1, report.c_str());
  }
  if (p.reader) p.reader->close();
  p.run.finish(0.0f, p.inputSize, 0);
  p.ended = true;
  return p.run.errors.ok();
}

bool TyqCompressScan::ok() const {
  return p_->run.errors.ok();
}

std::string TyqCompressScan::message() const {
  return p_->run.errors.message();
}

int TyqCompressScan::size() const {
  return p_->count;
}

int64_t TyqCompressScan::partsPerMillion(int sqnr) const {
  return sqnr >= 0 && sqnr < kSqnrSteps ? p_->perMillion[sqnr] : 0;
}

bool TyqCompressScan::run(const std::string& input, int bricks, TyqCompressCallback callback,
                          void* user) {
  TyqCompressScan scan(input, bricks, callback, user);
  if (scan.open(1)) {
    for (int item = 0; item < scan.size() && scan.ok(); ++item) scan.scan(item, 0);
  }
  scan.close();
  return scan.ok();
}

}  // namespace Qra::Ostrel::Tyq
