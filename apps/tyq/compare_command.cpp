#include "compare_command.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "args.h"
#include "json_writer.h"
#include "progress.h"
#include "tool_threads.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

// Samples one read may hold in each of its two buffers (64 MB of floats):
// longer traces are read in slabs.
constexpr int64_t kSlabSamples = int64_t{1} << 24;
// Each thread holds one column of both volumes.
constexpr int kMaxThreads = 8;

bool absent(const Status& status) {
  return status.tyqError() == FA::Error::BrickNotFound;
}

// The columns of a level, numbered i outer, j inner.
struct ColumnPlan {
  int lod = 0;
  int size[3] = {0, 0, 0};
  int footprint[2] = {64, 64};
  int64_t across[2] = {0, 0};
  int slab = 1;

  int64_t count() const { return across[0] * across[1]; }
  void column(int64_t item, int start[3], int n[3]) const {
    const int64_t at[2] = {item / across[1], item % across[1]};
    for (int d = 0; d < 2; ++d) {
      start[d] = static_cast<int>(at[d] * footprint[d]);
      n[d] = std::min(footprint[d], size[d] - start[d]);
    }
    start[2] = 0;
    n[2] = size[2];
  }
};

ColumnPlan planColumns(int lod, const int size[3], const int footprint[2]) {
  ColumnPlan plan;
  plan.lod = lod;
  std::copy(size, size + 3, plan.size);
  for (int d = 0; d < 2; ++d) {
    // A source without a sensible brick size is read in columns of 64.
    const bool sensible = footprint[d] >= 1 && footprint[d] <= 4096;
    plan.footprint[d] = sensible ? footprint[d] : 64;
    plan.across[d] = size[d] > 0 ? (int64_t{size[d]} - 1) / plan.footprint[d] + 1 : 0;
  }
  const int64_t perSlab = kSlabSamples / (int64_t{plan.footprint[0]} * plan.footprint[1]);
  // Whole 64-sample bricks per slab where the slab holds any.
  const int64_t slab = perSlab >= 64 ? perSlab - perSlab % 64 : std::max<int64_t>(perSlab, 1);
  plan.slab = static_cast<int>(std::min<int64_t>(slab, std::max(size[2], 1)));
  return plan;
}

// One thread's buffers and what it measured.
struct Worker {
  std::vector<float> source, copy;
  std::vector<unsigned char> flags;
  Comparison part;
};

bool readLiveFlags(ColumnSource& source, const ColumnPlan& plan, const int start[3], const int n[3],
                   Worker& w, std::string& error) {
  w.flags.resize(static_cast<size_t>(n[0]) * n[1]);
  bool stored = true;
  if (!source.readFlags(plan.lod, start[0], start[1], n[0], n[1], w.flags.data(), stored, error)) {
    return false;
  }
  if (!stored) {
    std::fill(w.flags.begin(), w.flags.end(), 1);
    w.part.flagsStored = false;
  }
  const int64_t live =
      std::count_if(w.flags.begin(), w.flags.end(), [](unsigned char f) { return f != 0; });
  w.part.liveTraces += live;
  w.part.deadTraces += static_cast<int64_t>(w.flags.size()) - live;
  return true;
}

bool measureColumn(ColumnSource& source, ColumnSource& copy, const ColumnPlan& plan, int64_t item,
                   Worker& w, std::string& error) {
  int start[3], n[3];
  plan.column(item, start, n);
  if (!readLiveFlags(source, plan, start, n, w, error)) return false;
  if (std::none_of(w.flags.begin(), w.flags.end(), [](unsigned char f) { return f != 0; })) {
    return true;  // nothing of a dead column counts
  }
  for (int k0 = 0; k0 < plan.size[2]; k0 += plan.slab) {
    start[2] = k0;
    n[2] = std::min(plan.slab, plan.size[2] - k0);
    const size_t samples = static_cast<size_t>(n[0]) * n[1] * n[2];
    w.source.resize(samples);
    w.copy.resize(samples);
    if (!source.readSamples(plan.lod, start, n, w.source.data(), error) ||
        !copy.readSamples(plan.lod, start, n, w.copy.data(), error)) {
      return false;
    }
    for (size_t trace = 0; trace < w.flags.size(); ++trace) {
      if (w.flags[trace] == 0) continue;
      const size_t at = trace * static_cast<size_t>(n[2]);
      w.part.figures.add(w.source.data() + at, w.copy.data() + at, static_cast<size_t>(n[2]));
    }
  }
  return true;
}

bool onTerminal() {
  return ::isatty(STDOUT_FILENO) != 0;
}

void levelSize(const FA::DataInfo& data, int lod, int out[3]) {
  for (int d = 0; d < 3; ++d) out[d] = data.size[d] > 0 ? ((data.size[d] - 1) >> lod) + 1 : 0;
}

bool hasLevel(const char* command, const std::string& file, const FA::FileInfo& info, int lod) {
  if (lod >= 0 && lod < info.numberOfLods) return true;
  std::fprintf(stderr, "tyq %s: %s has no level %d (it has %d)\n", command, file.c_str(), lod,
               info.numberOfLods);
  return false;
}

}  // namespace

bool ReaderSource::readSamples(int lod, const int start[3], const int size[3], float* out,
                               std::string& error) {
  Status status;
  if (reader_.ReadData(lod, start[0], start[1], start[2], size[0], size[1], size[2], out,
                       &status)) {
    return true;
  }
  if (!absent(status)) {
    error = describeFailure(status);
    return false;
  }
  // None of the box is stored: the library's reading of it is zeros.
  std::fill(out, out + static_cast<size_t>(size[0]) * size[1] * size[2], 0.0f);
  return true;
}

bool ReaderSource::readFlags(int lod, int i0, int j0, int ni, int nj, unsigned char* flags,
                             bool& stored, std::string& error) {
  Status status;
  if (reader_.ReadGridFlags(lod, i0, j0, ni, nj, flags, &status)) return true;
  if (!absent(status)) {
    error = describeFailure(status);
    return false;
  }
  // A writer that never marked a trace dead there stored no flag tile, and
  // the library then reads every trace as dead; its samples are the survey
  // all the same, so they count as live.
  stored = false;
  return true;
}

bool compareColumns(ColumnSource& source, ColumnSource& copy, int lod, const int size[3],
                    const int footprint[2], bool progress, Comparison& out, std::string& error) {
  const ColumnPlan plan = planColumns(lod, size, footprint);
  if (plan.count() > INT_MAX) {
    error = "the level has too many trace columns to compare";
    return false;
  }
  const int columns = static_cast<int>(plan.count());
  const int threads = std::clamp(std::min(coreCount(), columns), 1, kMaxThreads);
  std::vector<Worker> workers(static_cast<size_t>(threads));
  std::unique_ptr<Progress> bar;
  if (progress && onTerminal()) bar = std::make_unique<Progress>("comparing", columns);
  std::mutex lock;
  int done = 0;
  bool failed = false;
  runItems(columns, threads, [&](int item, int thread) {
    std::string message;
    const bool ok = measureColumn(source, copy, plan, item, workers[thread], message);
    const std::lock_guard<std::mutex> hold(lock);
    if (!ok && !failed) error = message.empty() ? "a read failed" : message;
    failed = failed || !ok;
    if (bar) bar->update(++done);
    return ok;
  });
  if (failed) {
    if (bar) std::printf("\n");
    return false;
  }
  if (bar) bar->finish();
  std::copy(size, size + 3, out.size);
  for (const Worker& w : workers) {
    out.figures.merge(w.part.figures);
    out.liveTraces += w.part.liveTraces;
    out.deadTraces += w.part.deadTraces;
    out.flagsStored = out.flagsStored && w.part.flagsStored;
  }
  return true;
}

CompareOutcome compareVolumes(const char* command, const std::string& source,
                              const std::string& copy, int lod, bool progress, Comparison& out) {
  FA::AutoRef<FA::Reader> readers[2];
  FA::FileInfo infos[2];
  FA::DataInfo data[2];
  const std::string* names[2] = {&source, &copy};
  for (int v = 0; v < 2; ++v) {
    if (!openVolume(command, *names[v], 0, readers[v], infos[v], data[v])) {
      return CompareOutcome::ReadFailed;
    }
  }
  int sizes[2][3];
  for (int v = 0; v < 2; ++v) {
    if (!hasLevel(command, *names[v], infos[v], lod)) return CompareOutcome::Refused;
    levelSize(data[v], lod, sizes[v]);
  }
  if (!std::equal(sizes[0], sizes[0] + 3, sizes[1])) {
    std::fprintf(stderr,
                 "tyq %s: different geometry at level %d: %s is %d x %d x %d, %s is %d x %d x %d\n",
                 command, lod, source.c_str(), sizes[0][0], sizes[0][1], sizes[0][2], copy.c_str(),
                 sizes[1][0], sizes[1][1], sizes[1][2]);
    return CompareOutcome::Refused;
  }
  ReaderSource first(*readers[0]), second(*readers[1]);
  const int footprint[2] = {infos[0].brickSize[0], infos[0].brickSize[1]};
  out.copyFileBytes = infos[1].fileSize;
  std::string error;
  if (!compareColumns(first, second, lod, sizes[0], footprint, progress, out, error)) {
    std::fprintf(stderr, "tyq %s: %s\n", command, error.c_str());
    return CompareOutcome::ReadFailed;
  }
  return CompareOutcome::Done;
}

namespace {

struct CompareArgs {
  std::string first, second;
  int lod = 0;
  bool json = false;
};

bool parseArgs(int argc, char** argv, CompareArgs& args) {
  const auto toggle = [&args](const std::string& flag) {
    return flag == "--json" && (args.json = true);
  };
  const auto option = [&args](const std::string& flag, const char* value) {
    return flag == "--lod" && parseInt(value, args.lod) && args.lod >= 0;
  };
  return walkArguments("compare", kCompareUsage, argc, argv, {&args.first, &args.second}, toggle,
                       option);
}

std::string nonFiniteNote(const QualityFigures& f) {
  if (f.nonFinite() == 0) return "";
  return " (" + std::to_string(f.nonFinite()) +
         " pairs with a value that is not finite left out, " +
         std::to_string(f.unequalNonFinite()) + " of them unequal)";
}

// "SQNR 31.2 dB, RMS error ..., over N live samples", or what stands for it.
std::string qualityText(const QualityFigures& f) {
  const std::string count = std::to_string(f.samples()) + " live samples" + nonFiniteNote(f);
  if (f.samples() == 0) return "no live samples to compare" + nonFiniteNote(f);
  if (f.lossless()) return "lossless, no sample differs, over " + count;
  char text[200];
  std::snprintf(text, sizeof text,
                "SQNR %.2f dB, RMS error %.6g (%.4g of the source's standard deviation), max error "
                "%.6g, over ",
                f.sqnr(), f.rmsError(), f.relativeRmsError(), f.maxError());
  return text + count;
}

std::string sizeText(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, bytes >= 1e6 ? "%.1f MB" : "%.1f kB",
                bytes >= 1e6 ? bytes / 1e6 : bytes / 1e3);
  return text;
}

void printText(const CompareArgs& args, const Comparison& c) {
  const QualityFigures& f = c.figures;
  std::printf("Source        %s\nCopy          %s\n", args.first.c_str(), args.second.c_str());
  std::printf("Level         %d, %d x %d x %d samples\n", args.lod, c.size[0], c.size[1],
              c.size[2]);
  std::printf("Live traces   %lld of %lld%s\n", static_cast<long long>(c.liveTraces),
              static_cast<long long>(c.liveTraces + c.deadTraces),
              c.flagsStored ? "" : " (the source holds no flags for some: counted as live)");
  std::printf("Samples       %lld compared%s\n", static_cast<long long>(f.samples()),
              nonFiniteNote(f).c_str());
  if (f.samples() == 0) return;
  if (f.lossless()) {
    std::printf("SQNR          infinite: lossless, no sample differs\n");
  } else {
    std::printf("SQNR          %.2f dB\n", f.sqnr());
  }
  std::printf("RMS error     %.6g (%.4g of the source's standard deviation %.6g)\n", f.rmsError(),
              f.relativeRmsError(), f.sourceDeviation());
  std::printf("Max error     %.6g\n", f.maxError());
}

void printJson(const CompareArgs& args, const Comparison& c) {
  const QualityFigures& f = c.figures;
  JsonWriter json;
  json.beginObject();
  json.value("source", args.first);
  json.value("copy", args.second);
  json.value("lod", int64_t{args.lod});
  json.beginArray("size");
  for (const int n : c.size) json.value(nullptr, int64_t{n});
  json.endArray();
  json.value("liveTraces", c.liveTraces);
  json.value("deadTraces", c.deadTraces);
  json.value("flagsStored", c.flagsStored);
  json.value("samples", f.samples());
  json.value("nonFiniteSamples", f.nonFinite());
  json.value("unequalNonFiniteSamples", f.unequalNonFinite());
  json.value("lossless", f.lossless());
  // Infinite or undefined figures come out as null; "lossless" tells why.
  json.value("sqnr", f.sqnr());
  json.value("rmsError", f.rmsError());
  json.value("maxError", f.maxError());
  json.value("relativeRmsError", f.relativeRmsError());
  json.value("sourceMean", f.sourceMean());
  json.value("sourceDeviation", f.sourceDeviation());
  json.endObject();
  std::printf("%s\n", json.str().c_str());
}

}  // namespace

const char* const kCompareUsage = "tyq compare A B [--lod L] [--json]";

void printAchieved(const Comparison& c) {
  std::printf("  achieved: %s\n", qualityText(c.figures).c_str());
  const double floatBytes = static_cast<double>(c.floatBytes());
  const double fileBytes = static_cast<double>(c.copyFileBytes);
  std::printf("  %s for the survey's %s of float samples: factor %.2f\n",
              sizeText(fileBytes).c_str(), sizeText(floatBytes).c_str(),
              fileBytes > 0 ? floatBytes / fileBytes : 0.0);
}

bool reportAchievedQuality(const char* command, const std::string& source, const std::string& copy,
                           Comparison& out) {
  if (compareVolumes(command, source, copy, 0, true, out) != CompareOutcome::Done) return false;
  printAchieved(out);
  return true;
}

int runCompare(int argc, char** argv) {
  CompareArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  InterruptExit stop("tyq compare: interrupted");
  Comparison comparison;
  const CompareOutcome outcome =
      compareVolumes("compare", args.first, args.second, args.lod, !args.json, comparison);
  if (outcome != CompareOutcome::Done) return static_cast<int>(outcome);
  if (args.json) {
    printJson(args, comparison);
  } else {
    printText(args, comparison);
  }
  return 0;
}

}  // namespace tyq_tool
