#include "compress_command.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "args.h"
#include "compare_command.h"
#include "output_options.h"
#include "output_target.h"
#include "progress.h"
#include "replacing_output.h"
#include "tool_threads.h"
#include "tyq/compress_tools.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace Tyq = Qra::Ostrel::Tyq;

struct CompressArgs {
  std::string in, out;
  double sqnr = -1;
  int threads = 0;
};

bool parseArgs(int argc, char** argv, CompressArgs& args) {
  const auto none = [](const std::string&) { return false; };
  const auto option = [&args](const std::string& flag, const char* value) {
    if (flag == "--sqnr") return parseDouble(value, args.sqnr) && args.sqnr >= 0 && args.sqnr < 100;
    if (flag == "--threads") return parseThreads(value, args.threads);
    return false;
  };
  if (!walkArguments("compress", kCompressUsage, argc, argv, {&args.in, &args.out}, none, option)) {
    return false;
  }
  if (args.sqnr < 0) {
    std::fprintf(stderr, "usage: %s\n", kCompressUsage);
    return false;
  }
  return true;
}

// What the callback sees and leaves for the summary.
struct CopyView {
  int64_t volumeBytes = 0;  // the input's level-0 samples as stored
  std::unique_ptr<Progress> progress;
  std::string failure;
  int64_t inputBytes = 0, outputBytes = 0;
};

bool onCopy(Tyq::TyqCompressState state, float percent, float /*ratio*/, int64_t a, int64_t b,
            const char* text, void* user) {
  auto& view = *static_cast<CopyView*>(user);
  switch (state) {
    case Tyq::TyqCompressProgress:
      if (!view.progress) {
        view.progress = std::make_unique<Progress>("compressing", 100);
        view.progress->showRate(view.volumeBytes);
      }
      if (view.progress) view.progress->update(static_cast<int64_t>(percent * 100 / 95));
      break;
    case Tyq::TyqCompressFailed:
      view.failure = text;
      break;
    case Tyq::TyqCompressFinished:
      view.inputBytes = a;
      view.outputBytes = b;
      break;
    default:
      break;
  }
  return !interrupted();
}

// The factor is left to the lines on achieved quality, which measure it
// against the survey's samples rather than the padded bricks the library
// counts.
void printSummary(const CompressArgs& args, int64_t volumeBytes, const CopyFigures& view,
                  double seconds) {
  const double in = static_cast<double>(view.inputBytes) / 1e6;
  const double out = static_cast<double>(view.outputBytes) / 1e6;
  std::printf("tyq compress: %s (%.1f MB) -> %s (%.1f MB), ", args.in.c_str(), in, args.out.c_str(),
              out);
  if (args.sqnr > 0) {
    std::printf("at %g dB", args.sqnr);
    if (in > out && out > 0) std::printf(" (%.1f x smaller than the input file)", in / out);
    std::printf(", ");
  } else {
    std::printf("uncompressed, ");
  }
  // The rate counts the samples copied, whatever the input file holds.
  const double samples = static_cast<double>(volumeBytes) / 1e6;
  std::printf("%.1f s, %.1f MB/s\n", seconds, seconds > 0 ? samples / seconds : 0.0);
}

}  // namespace

const char* const kCompressUsage = "tyq compress IN OUT --sqnr S [--threads N]";

bool runCompressCopy(const std::string& in, const std::string& out, double sqnr, int threads,
                     int64_t volumeBytes, CopyFigures& figures, std::string& error) {
  CopyView view;
  view.volumeBytes = volumeBytes;
  InterruptGuard guard;
  Tyq::TyqCompressCopy copy(in, out, static_cast<float>(sqnr), false, onCopy, &view);
  if (copy.open(threads)) {
    runItems(copy.size(), threads,
             [&copy](int item, int thread) { return copy.copy(item, thread); });
  }
  copy.close();
  if (view.progress && copy.ok()) view.progress->finish();
  if (view.progress && !copy.ok()) std::printf("\n");
  figures = {view.inputBytes, view.outputBytes};
  error = describeFailure(copy.message());
  return copy.ok();
}

int runCompress(int argc, char** argv) {
  CompressArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  // A copy never replaces anything: the kind and the identity are checked as
  // for every output, then whether there is anything at all.
  if (!mayWriteOutput("compress", args.out, true, {args.in})) return 1;
  if (pathKind(args.out) != PathKind::Missing) {
    std::fprintf(stderr, "tyq compress: %s exists; a copy is written to a new name only\n",
                 args.out.c_str());
    return 1;
  }
  // The copy itself stops cleanly on its own guard; this one covers the rest.
  InterruptExit stop("tyq compress: interrupted");
  int threads = args.threads > 0 ? args.threads : coreCount();
  // An uncompressed file takes one writer thread only.
  if (args.sqnr == 0) threads = 1;
  const auto start = std::chrono::steady_clock::now();
  int64_t volumeBytes = 0;
  {
    namespace FA = Qra::Ostrel::Tyq::FileAccess;
    FA::AutoRef<FA::Reader> reader;
    FA::FileInfo info;
    FA::DataInfo data;
    if (!openVolume("compress", args.in, 0, reader, info, data)) return 1;
    volumeBytes = data.GetTotalNumberOfSamples() * FA::DataTypeEnum::Size(info.dataType);
  }
  CopyFigures figures;
  std::string error;
  // The library writes its copy under the name it is given; a temporary one
  // keeps a killed run from leaving a file that blocks the next.
  ReplacingOutput output(args.out);
  if (!output.reserveName(error)) {
    std::fprintf(stderr, "tyq compress: %s\n", error.c_str());
    return 1;
  }
  if (!runCompressCopy(args.in, output.temporaryName(), args.sqnr, threads, volumeBytes, figures,
                       error)) {
    if (interrupted()) {
      std::fprintf(stderr, "tyq compress: interrupted, %s not written\n", args.out.c_str());
      return 130;
    }
    std::fprintf(stderr, "tyq compress: %s\n", error.c_str());
    return 1;
  }
  if (!output.commit(error)) {
    std::fprintf(stderr, "tyq compress: %s (nothing written to %s)\n", error.c_str(),
                 args.out.c_str());
    return 1;
  }
  printSummary(args, volumeBytes, figures,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  std::fflush(stdout);
  Comparison achieved;
  if (args.sqnr > 0 && !reportAchievedQuality("compress", args.in, args.out, achieved)) {
    std::fprintf(stderr, "tyq compress: %s was written, but its quality could not be measured\n",
                 args.out.c_str());
    return 1;
  }
  return 0;
}

}  // namespace tyq_tool
