#include "demo_command.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "demo_compressed.h"
#include "info_command.h"
#include "progress.h"
#include "tool_threads.h"
#include "tyq/lod.h"
#include "tyq/tyq.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;
using Qra::Ostrel::Tyq::Private::vvArrayBasic;
using Clock = std::chrono::steady_clock;

// Inlines per slab: the copy and the comparison move the volume in slabs of
// whole bricks, so that every write covers full bricks.
constexpr int kSlab = 64;

struct Step {
  const char* name;
  double seconds;
  double megabytes;
};

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool fail(const char* what, const Status& status) {
  std::fprintf(stderr, "tyq demo: %s: %s\n", what, describeFailure(status).c_str());
  return false;
}

size_t slabSamples(const int size[3], int ni) {
  return static_cast<size_t>(ni) * size[1] * size[2];
}

bool copyVolume(FA::Reader& source, FA::Writer& target, const int size[3], Step& step) {
  std::vector<float> slab(slabSamples(size, kSlab));
  Progress progress("copying level 0", size[0]);
  const auto start = Clock::now();
  Status status;
  for (int i = 0; i < size[0]; i += kSlab) {
    const int ni = std::min(kSlab, size[0] - i);
    if (!source.ReadData(0, i, 0, 0, ni, size[1], size[2], slab.data(), &status)) {
      return fail("reading the source", status);
    }
    if (!target.WriteData(0, i, 0, 0, ni, size[1], size[2], slab.data(), &status)) {
      return fail("writing the copy", status);
    }
    progress.update(i + ni);
  }
  progress.finish();
  step = {"copy level 0 (read + write)", since(start),
          static_cast<double>(size[0]) * size[1] * size[2] * 4 / 1e6};
  return true;
}

bool compareVolume(FA::Reader& source, FA::Reader& copy, const int size[3], Step& step) {
  std::vector<float> a(slabSamples(size, kSlab)), b(a.size());
  Progress progress("comparing level 0", size[0]);
  const auto start = Clock::now();
  Status status;
  for (int i = 0; i < size[0]; i += kSlab) {
    const int ni = std::min(kSlab, size[0] - i);
    if (!source.ReadData(0, i, 0, 0, ni, size[1], size[2], a.data(), &status) ||
        !copy.ReadData(0, i, 0, 0, ni, size[1], size[2], b.data(), &status)) {
      return fail("reading for the comparison", status);
    }
    if (std::memcmp(a.data(), b.data(), slabSamples(size, ni) * sizeof(float)) != 0) {
      std::fprintf(stderr, "tyq demo: level-0 samples differ in inlines %d to %d\n", i, i + ni - 1);
      return false;
    }
    progress.update(i + ni);
  }
  progress.finish();
  step = {"compare level 0 (2 reads)", since(start),
          static_cast<double>(size[0]) * size[1] * size[2] * 8 / 1e6};
  return true;
}

// Every level holds every brick the decimation of the source produces.
bool checkLevels(FA::Reader& copy) {
  FA::FileInfo info;
  Status status;
  if (!copy.GetFileInfo(info, &status)) return fail("file info", status);
  for (int lod = 0; lod < info.numberOfLods; ++lod) {
    const int n[3] = {info.GetNumberOfBricks(0, lod), info.GetNumberOfBricks(1, lod),
                      info.GetNumberOfBricks(2, lod)};
    std::vector<long long> positions(static_cast<size_t>(n[0]) * n[1] * n[2]);
    if (!copy.GetDataBrickPos(positions.data(), lod, 0, 0, 0, n[0], n[1], n[2], &status)) {
      return fail("brick positions", status);
    }
    size_t present = 0;
    for (const long long p : positions) present += p != 0;
    std::printf("  level %d: %zu of %zu bricks present\n", lod, present, positions.size());
    if (present != positions.size()) {
      std::fprintf(stderr, "tyq demo: level %d lacks bricks\n", lod);
      return false;
    }
  }
  return true;
}

// The first level-1 brick against the decimation kernel run on the source.
bool checkLevel1(FA::Reader& source, FA::Reader& copy, int algorithm) {
  constexpr int kB = 64;
  std::vector<float> children(size_t{8} * kB * kB * kB), expected(size_t{kB} * kB * kB),
      got(expected.size());
  const float* sources[8];
  Status status;
  for (int c = 0; c < 8; ++c) {
    float* child = children.data() + static_cast<size_t>(c) * kB * kB * kB;
    sources[c] = child;
    if (!source.ReadData(0, (c >> 2) * kB, ((c >> 1) & 1) * kB, (c & 1) * kB, kB, kB, kB, child,
                         &status)) {
      return fail("reading source bricks", status);
    }
  }
  const int brick[3] = {kB, kB, kB}, strides[3] = {kB * kB, kB, 1};
  vvArrayBasic::createLevelOfDetail<float>(expected.data(), brick, strides, sources,
                                           static_cast<vvArrayBasic::LodAlgorithm>(algorithm),
                                           nullptr, 0, 0.0, 0.0);
  if (!copy.ReadData(1, 0, 0, 0, kB, kB, kB, got.data(), &status)) {
    return fail("reading level 1", status);
  }
  if (got != expected) {
    std::fprintf(stderr, "tyq demo: level-1 samples differ from the decimated source\n");
    return false;
  }
  std::printf("  level 1: brick (0,0,0) equals the %s decimation of the source\n",
              vvArrayBasic::lodAlgorithmName(static_cast<vvArrayBasic::LodAlgorithm>(algorithm)));
  return true;
}

std::string compressedName(const std::string& output) {
  return output.substr(0, output.size() - 4) + ".vcs";
}

std::string defaultDescription() {
  if (const char* env = std::getenv("TYQ_DEMO_DESCRIPTION")) return env;
  return std::string(TYQ_EXAMPLES_DIR) + "/demo_synthetic.txt";
}

bool runSteps(const std::string& description, const std::string& output) {
  Status status;
  FA::AutoRef<FA::Reader> source;
  FA::FileInfo sourceInfo;
  FA::DataInfo info;
  if (!openReader("demo", description, FA::StorageOrderEnum::TraceOptimized(), source, sourceInfo,
                  info)) {
    return false;
  }
  std::printf("tyq demo: %d x %d x %d float samples from %s\n", info.size[0], info.size[1],
              info.size[2], description.c_str());
  // The copy moves slabs of 64 inlines; keep each within 1 GiB of memory.
  if (int64_t{info.size[1]} * info.size[2] > (int64_t{1} << 22)) {
    std::fprintf(stderr, "tyq demo: %d x %d traces per inline is more than the demo handles\n",
                 info.size[1], info.size[2]);
    return false;
  }
  FA::TyqOptions options = toolOptions();
  options.noAutoFlush = true;  // the pyramid is built once, when the copy is finalised
  FA::AutoRef<FA::Writer> writer;
  if (FA::Tyq::CreateTyqWriter(writer, output, info, FA::DataTypeEnum::Float32, options, &status, 0,
                               0) != 0 ||
      !useTraceOrder(*writer, &status)) {
    return fail("creating the copy", status);
  }
  std::vector<Step> steps(3);
  if (!copyVolume(*source, *writer, info.size, steps[0])) return false;
  std::printf("  building the level-of-detail pyramid\n");
  const auto start = Clock::now();
  if (!writer->Finalize(false, true, &status)) return fail("finalising the copy", status);
  steps[1] = {"pyramid + statistics + flush", since(start), 0};
  writer = FA::AutoRef<FA::Writer>();
  FA::AutoRef<FA::Reader> copy;
  FA::FileInfo copyInfo;
  FA::DataInfo copyData;
  if (!openReader("demo", output, FA::StorageOrderEnum::TraceOptimized(), copy, copyInfo,
                  copyData)) {
    return false;
  }
  if (!compareVolume(*source, *copy, info.size, steps[2]) || !checkLevels(*copy) ||
      !checkLevel1(*source, *copy, vvArrayBasic::LowPass)) {
    return false;
  }
  std::printf("\n");
  for (const Step& s : steps) {
    if (s.megabytes > 0) {
      std::printf("  %-30s %7.3f s  %8.1f MB/s\n", s.name, s.seconds, s.megabytes / s.seconds);
    } else {
      std::printf("  %-30s %7.3f s\n", s.name, s.seconds);
    }
  }
  std::printf("\n");
  std::string name = output;
  char* args[1] = {name.data()};
  if (runInfo(1, args) != 0) return false;
  std::printf("\n");
  return demoCompressedCopy(*source, compressedName(output));
}

}  // namespace

int runDemo(int argc, char** argv) {
  std::string dir, description = defaultDescription();
  for (int a = 0; a < argc; ++a) {
    if (std::strcmp(argv[a], "--description") == 0 && a + 1 < argc) {
      description = argv[++a];
    } else if (dir.empty() && argv[a][0] != '-') {
      dir = argv[a];
    } else {
      std::fprintf(stderr, "usage: tyq demo [DIR] [--description FILE]\n");
      return 2;
    }
  }
  std::error_code error;
  if (dir.empty()) {
    std::string pattern =
        (std::filesystem::temp_directory_path(error) / "tyq-demo-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
      std::fprintf(stderr, "tyq demo: cannot make a directory for the output\n");
      return 1;
    }
    dir = pattern;
  } else {
    std::filesystem::create_directories(dir, error);
  }
  const std::string output = dir + "/demo.vbs";
  InterruptExit stop("tyq demo: interrupted, the copies in " + dir + " removed");
  stop.removeOnInterrupt(output);
  stop.removeOnInterrupt(compressedName(output));
  if (!runSteps(description, output)) {
    // A copy that failed part-way is no result to keep.
    std::filesystem::remove(output, error);
    std::filesystem::remove(compressedName(output), error);
    return 1;
  }
  std::printf("\ntyq demo: all checks passed; the copy is %s\n", output.c_str());
  return 0;
}

}  // namespace tyq_tool
