// The benchmarks of the compressed run and the ratio lines that read them.
// Names, after the target's prefix (c30/ and so on):
//   read/WORKLOAD/BUDGET/FRESHNESS/READER  WORKLOAD whole, boxes (200
//     unaligned 64^3), inlines, crosslines, timeslices (50 each); BUDGET
//     1GiB (both caches) or default; FRESHNESS warm (one open, the workload
//     read once before timing) or fresh (a new open per iteration, timed);
//     READER tyq-t1 and tyq-t2 (TyqOptions::threads 1 and 2), hdf5-zfp.
//   callers/WORKLOAD/{shared,own}-N  N caller threads each reading its
//     share, through one reader or one each; warm, 1 GiB.
//   onecall/{one-call,aligned-boxes}/FRESHNESS  the whole cube in one call
//     or brick by brick; 1 GiB.
//   write/{tyq,hdf5-zfp}  the cube written with statistics, histogram and
//     (tyq) every level of detail, then fdatasync; best of three.
// Both files stay in the page cache: "fresh" is a fresh process-level
// cache, not a cold disk.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "bench_vs_hdf5_common.h"
#include "bench_vs_hdf5_compressed.h"
#include "bench_vs_hdf5_zfp.h"

namespace tyq_bench::vs_hdf5 {

namespace {

// Equal budgets: tyq's decoded-brick cache and HDF5's chunk cache both
// 1 GiB (the whole decoded cube fits), or each at its default (tyq 256 MiB,
// HDF5 1 MiB, which holds no 64^3 float chunk once).
const char* kBudgets[] = {"1GiB", "default"};
const char* kFreshness[] = {"warm", "fresh"};
const char* kWho[] = {"tyq-t1", "tyq-t2", "hdf5-zfp"};

int tyqCacheMegabytes(int budget) {
  return budget == 0 ? 1024 : -1;
}
size_t hdfCacheBytes(int budget) {
  return budget == 0 ? size_t{1} << 30 : 0;
}

// An HDF5 file and its cube, opened with one chunk cache size.
struct HdfHandle {
  hid_t file = -1, set = -1;
  bool open(const std::string& name, size_t cacheBytes) {
    file = H5Fopen(name.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    set = file >= 0 ? openDataset(file, cacheBytes) : -1;
    return set >= 0;
  }
  void close() {
    if (set >= 0) H5Dclose(set);
    if (file >= 0) H5Fclose(file);
    set = file = -1;
  }
};

bool readAllTyq(FA::Reader& r, const std::vector<Box>& boxes, float* out) {
  for (const Box& b : boxes) {
    if (!r.ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1], b.size[2], out,
                    nullptr)) {
      return false;
    }
  }
  return true;
}

bool readAllHdf(hid_t set, const std::vector<Box>& boxes, float* out) {
  for (const Box& b : boxes) {
    if (!readHdf(set, b, out)) return false;
  }
  return true;
}

int64_t bytesOf(const std::vector<Box>& boxes) {
  int64_t n = 0;
  for (const Box& b : boxes) n += b.samples() * 4;
  return n;
}

// Args: case, workload, reader (kWho), budget, fresh. Fresh opens the file
// anew for every iteration (the open is timed); warm reads the workload
// once before timing. Both files stay in the page cache throughout.
void BM_CompressedRead(benchmark::State& state) {
  CompressedFixture& f = compressedFixture();
  const CompressedCase& c = f.cases[static_cast<size_t>(state.range(0))];
  const std::vector<Box> boxes = workload(static_cast<int>(state.range(1)));
  const int who = static_cast<int>(state.range(2));
  const int budget = static_cast<int>(state.range(3));
  const bool fresh = state.range(4) != 0;
  bool ok = true;
  if (who < 2) {
    FA::AutoRef<FA::Reader> r;
    if (!fresh) {
      r = openTyq(c.tyqFile, tyqCacheMegabytes(budget), who + 1);
      ok = r && readAllTyq(*r, boxes, f.out.data());
    }
    for (auto _ : state) {
      if (fresh) r = openTyq(c.tyqFile, tyqCacheMegabytes(budget), who + 1);
      ok = ok && r && readAllTyq(*r, boxes, f.out.data());
      if (fresh) r = FA::AutoRef<FA::Reader>();
    }
  } else {
    HdfHandle h;
    if (!fresh)
      ok = h.open(c.hdfFile, hdfCacheBytes(budget)) && readAllHdf(h.set, boxes, f.out.data());
    for (auto _ : state) {
      if (fresh) ok = ok && h.open(c.hdfFile, hdfCacheBytes(budget));
      ok = ok && readAllHdf(h.set, boxes, f.out.data());
      if (fresh) h.close();
    }
    h.close();
  }
  if (!ok) state.SkipWithError("read failed");
  state.SetBytesProcessed(state.iterations() * bytesOf(boxes));
}

// The share of a workload one of `threads` callers reads: a slab of whole
// inlines of the cube, or every threads-th slice.
std::vector<Box> shareOf(int which, int thread, int threads) {
  std::vector<Box> all = workload(which);
  std::vector<Box> mine;
  if (which == 0) {
    Box b = all[0];
    b.start[0] = g_size[0] * thread / threads;
    b.size[0] = g_size[0] * (thread + 1) / threads - b.start[0];
    mine.push_back(b);
  } else {
    for (size_t n = static_cast<size_t>(thread); n < all.size();
         n += static_cast<size_t>(threads)) {
      mine.push_back(all[n]);
    }
  }
  return mine;
}

FA::AutoRef<FA::Reader> sharedReader(size_t index) {
  static std::mutex guard;
  const std::lock_guard<std::mutex> lock(guard);
  CompressedFixture& f = compressedFixture();
  if (!f.shared[index]) f.shared[index] = openTyq(f.cases[index].tyqFile, 1024, 1);
  return f.shared[index];
}

// Args: case, workload, shared. Warm, 1 GiB cache, no pool: the caller's
// threads read their shares through one reader or a reader each.
void BM_Callers(benchmark::State& state) {
  CompressedFixture& f = compressedFixture();
  const size_t index = static_cast<size_t>(state.range(0));
  const int which = static_cast<int>(state.range(1));
  const std::vector<Box> mine = shareOf(which, state.thread_index(), state.threads());
  FA::AutoRef<FA::Reader> r =
      state.range(2) != 0 ? sharedReader(index) : openTyq(f.cases[index].tyqFile, 1024, 1);
  // A whole-cube share lands in its own part of the cube buffer; slices in
  // a buffer of the thread's own.
  std::vector<float> own;
  float* out = f.out.data();
  if (which == 0) {
    out += int64_t{mine[0].start[0]} * g_size[1] * g_size[2];
  } else {
    own.assign(static_cast<size_t>(mine[0].samples()), 0.0f);
    out = own.data();
  }
  bool ok = r && readAllTyq(*r, mine, out);
  for (auto _ : state) ok = ok && readAllTyq(*r, mine, out);
  if (!ok) state.SkipWithError("read failed");
  state.SetBytesProcessed(state.iterations() * bytesOf(mine));
}

// Args: case, boxes, fresh. The whole cube in one call or in its aligned
// 64^3 bricks, each into its own part of the same buffer.
void BM_OneCall(benchmark::State& state) {
  CompressedFixture& f = compressedFixture();
  const CompressedCase& c = f.cases[static_cast<size_t>(state.range(0))];
  std::vector<Box> boxes;
  if (state.range(1) == 0) {
    boxes.push_back({{0, 0, 0}, {g_size[0], g_size[1], g_size[2]}});
  } else {
    for (int i = 0; i + kChunk <= g_size[0]; i += kChunk) {
      for (int j = 0; j + kChunk <= g_size[1]; j += kChunk) {
        for (int k = 0; k + kChunk <= g_size[2]; k += kChunk) {
          boxes.push_back({{i, j, k}, {kChunk, kChunk, kChunk}});
        }
      }
    }
  }
  const bool fresh = state.range(2) != 0;
  const auto readAll = [&](FA::Reader& r) {
    float* out = f.out.data();
    for (const Box& b : boxes) {
      if (!r.ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1], b.size[2], out,
                      nullptr)) {
        return false;
      }
      out += b.samples();
    }
    return true;
  };
  FA::AutoRef<FA::Reader> r;
  bool ok = true;
  if (!fresh) {
    r = openTyq(c.tyqFile, 1024, 1);
    ok = r && readAll(*r);
  }
  for (auto _ : state) {
    if (fresh) r = openTyq(c.tyqFile, 1024, 1);
    ok = ok && r && readAll(*r);
    if (fresh) r = FA::AutoRef<FA::Reader>();
  }
  if (!ok) state.SkipWithError("read failed");
  state.SetBytesProcessed(state.iterations() * bytesOf(boxes));
}

// Args: case, writer (0 tyq, 1 HDF5+ZFP, 2 tyq coding on two pool
// threads). Each write ends with fdatasync.
void BM_CompressedWrite(benchmark::State& state) {
  CompressedFixture& f = compressedFixture();
  const CompressedCase& c = f.cases[static_cast<size_t>(state.range(0))];
  const bool tyq = state.range(1) != 1;
  const int threads = state.range(1) == 2 ? 2 : 1;
  const std::string name = f.dir + (tyq ? "/written.vcs" : "/written.h5");
  for (auto _ : state) {
    const bool ok =
        tyq ? writeTyqCompressed(name, f, c.target, threads) : writeZfp(name, f.cube, c.tolerance);
    if (!ok) state.SkipWithError("write failed");
    state.PauseTiming();
    std::filesystem::remove(name);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * cubeSamples() * 4);
}

std::string readName(const CompressedCase& c, int w, int budget, int fresh, int who) {
  return c.prefix + "read/" + kReads[w] + "/" + kBudgets[budget] + "/" + kFreshness[fresh] + "/" +
         kWho[who];
}

const int kCallerReads[] = {0, 2, 3, 4};

std::string callersName(const CompressedCase& c, int w, bool shared, int threads) {
  return c.prefix + "callers/" + kReads[w] + (shared ? "/shared-" : "/own-") +
         std::to_string(threads);
}

std::string oneCallName(const CompressedCase& c, bool boxes, int fresh) {
  return c.prefix + "onecall/" + (boxes ? "aligned-boxes/" : "one-call/") + kFreshness[fresh];
}

double minOf(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

void registerCase(int n, const CompressedCase& c) {
  for (int w = 0; w < 5; ++w) {
    for (int budget = 0; budget < 2; ++budget) {
      for (int fresh = 0; fresh < 2; ++fresh) {
        for (int who = 0; who < 3; ++who) {
          benchmark::RegisterBenchmark(readName(c, w, budget, fresh, who).c_str(),
                                       BM_CompressedRead)
              ->Args({n, w, who, budget, fresh})
              ->UseRealTime();
        }
      }
    }
  }
  for (int w : kCallerReads) {
    for (int shared = 1; shared >= 0; --shared) {
      for (int threads = 1; threads <= 2; ++threads) {
        benchmark::RegisterBenchmark(callersName(c, w, shared != 0, threads).c_str(), BM_Callers)
            ->Args({n, w, shared})
            ->Threads(threads)
            ->UseRealTime();
      }
    }
  }
  for (int boxes = 0; boxes < 2; ++boxes) {
    for (int fresh = 0; fresh < 2; ++fresh) {
      benchmark::RegisterBenchmark(oneCallName(c, boxes != 0, fresh).c_str(), BM_OneCall)
          ->Args({n, boxes, fresh})
          ->UseRealTime();
    }
  }
  const char* writers[] = {"write/tyq", "write/hdf5-zfp", "write/tyq-t2"};
  for (int who = 0; who < 3; ++who) {
    // The disk's speed wanders from one write to the next; the best of
    // three is what each writer can do.
    benchmark::RegisterBenchmark((c.prefix + writers[who]).c_str(), BM_CompressedWrite)
        ->Args({n, who})
        ->Iterations(1)
        ->Repetitions(3)
        ->ComputeStatistics("min", minOf)
        ->ReportAggregatesOnly(true)
        ->UseRealTime();
  }
}

void printCaseRatios(const RatioReporter& rep, const CompressedCase& c) {
  const std::string tag = c.prefix.substr(0, c.prefix.size() - 1) + " ";
  for (int w = 0; w < 5; ++w) {
    for (int budget = 0; budget < 2; ++budget) {
      for (int fresh = 0; fresh < 2; ++fresh) {
        const std::string what = tag + kReads[w] + " " + kBudgets[budget] + " " + kFreshness[fresh];
        rep.printSpeed((what + " vs hdf5+zfp").c_str(), readName(c, w, budget, fresh, 0),
                       readName(c, w, budget, fresh, 2));
        rep.printSpeed((what + " pool 2 vs 1").c_str(), readName(c, w, budget, fresh, 1),
                       readName(c, w, budget, fresh, 0));
      }
    }
  }
  for (int w : kCallerReads) {
    for (int shared = 1; shared >= 0; --shared) {
      const std::string what =
          tag + kReads[w] + (shared ? " 2 callers vs 1, shared" : " 2 callers vs 1, own");
      rep.printSpeed(what.c_str(), callersName(c, w, shared != 0, 2),
                     callersName(c, w, shared != 0, 1), 2);
    }
  }
  for (int fresh = 0; fresh < 2; ++fresh) {
    rep.printSpeed((tag + "one call vs boxes " + kFreshness[fresh]).c_str(),
                   oneCallName(c, false, fresh), oneCallName(c, true, fresh));
  }
  rep.printSpeed((tag + "write vs hdf5+zfp").c_str(), c.prefix + "write/tyq",
                 c.prefix + "write/hdf5-zfp");
  rep.printSpeed((tag + "write on 2 pool threads vs hdf5+zfp").c_str(), c.prefix + "write/tyq-t2",
                 c.prefix + "write/hdf5-zfp");
}

}  // namespace

void registerCompressed() {
  const CompressedFixture& f = compressedFixture();
  for (size_t n = 0; n < f.cases.size(); ++n) registerCase(static_cast<int>(n), f.cases[n]);
}

void printCompressedRatios(const RatioReporter& reporter) {
  for (const CompressedCase& c : compressedFixture().cases) {
    std::printf("%sSQNR achieved: tyq %.2f dB, hdf5+zfp %.2f dB (tolerance %g)\n", c.prefix.c_str(),
                c.tyqSqnr, c.hdfSqnr, c.tolerance);
    printCaseRatios(reporter, c);
  }
}

}  // namespace tyq_bench::vs_hdf5
