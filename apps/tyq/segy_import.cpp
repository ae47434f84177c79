#include "segy_import.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "args.h"
#include "compare_command.h"
#include "compress_command.h"
#include "output_leftovers.h"
#include "output_options.h"
#include "progress.h"
#include "replacing_output.h"
#include "segy_import_columns.h"
#include "segy_input.h"
#include "tool_threads.h"
#include "tyq/tyq.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

struct ImportArgs {
  std::string in, out, type, verticalUnit = "ms";
  double sqnr = 0;
  double range[2] = {0, 0};
  bool haveRange = false, haveBrick = false, force = false;
  int brick[3] = {0, 0, 0};
  int inlineByte = 189, crosslineByte = 193;
  int threads = 0;  // for --sqnr; 0: one per core
};

bool validByte(int byte) {
  return byte >= 1 && byte <= 237;
}

// One option with its value; false when the value is bad.
bool parseOption(const std::string& flag, const char* value, ImportArgs& args) {
  if (flag == "--sqnr") return parseDouble(value, args.sqnr) && args.sqnr >= 0 && args.sqnr < 100;
  if (flag == "--threads") return parseThreads(value, args.threads);
  if (flag == "--type") {
    args.type = value;
    return args.type == "float" || args.type == "int16" || args.type == "int8";
  }
  if (flag == "--range") return args.haveRange = parseRange(value, args.range);
  if (flag == "--brick") {
    return args.haveBrick = parseTriple(value, args.brick) && args.brick[0] > 0 &&
                            args.brick[1] > 0 && args.brick[2] > 0;
  }
  if (flag == "--iline-byte") return parseInt(value, args.inlineByte) && validByte(args.inlineByte);
  if (flag == "--xline-byte") {
    return parseInt(value, args.crosslineByte) && validByte(args.crosslineByte);
  }
  if (flag == "--vertical-unit") {
    args.verticalUnit = value;
    return args.verticalUnit == "ms" || args.verticalUnit == "m" || args.verticalUnit == "ft";
  }
  return false;
}

bool parseArgs(int argc, char** argv, ImportArgs& args) {
  const auto toggle = [&args](const std::string& flag) {
    return flag == "--force" && (args.force = true);
  };
  const auto option = [&args](const std::string& flag, const char* value) {
    return parseOption(flag, value, args);
  };
  if (!walkArguments("import-segy", kImportSegyUsage, argc, argv, {&args.in, &args.out}, toggle,
                     option)) {
    return false;
  }
  // Checked as create checks it: the file keeps the ends as floats.
  if (args.haveRange && !codableRange(args.range[0], args.range[1])) {
    std::fprintf(stderr, "tyq import-segy: the value range %g .. %g cannot be coded\n",
                 args.range[0], args.range[1]);
    return false;
  }
  if (args.sqnr > 0 && (args.haveBrick || (!args.type.empty() && args.type != "float"))) {
    std::fprintf(stderr,
                 "tyq import-segy: --sqnr writes float samples in 64^3 bricks; "
                 "leave out --type and --brick\n");
    return false;
  }
  return true;
}

FA::DataTypeEnum::value_type sourceType(int format) {
  switch (format) {
    case 1:
      return FA::DataTypeEnum::IbmFloat32;
    case 2:
      return FA::DataTypeEnum::Int32;
    case 3:
      return FA::DataTypeEnum::Int16;
    case 8:
      return FA::DataTypeEnum::Int8;
    default:
      return FA::DataTypeEnum::Float32;
  }
}

// How samples are stored: the type, its coding range, and whether integer
// samples go in as they are (codes equal values).
struct Storage {
  FA::DataTypeEnum::value_type type = FA::DataTypeEnum::Float32;
  double lo = 0, hi = 1;
  bool identity = false;
};

void progressUpdate(void* context, int64_t done) {
  static_cast<Progress*>(context)->update(done);
}

// The value range of every live trace, for integer storage of other data.
bool scanRange(SegyInput& in, double& lo, double& hi, std::string& error) {
  constexpr int kChunk = 256;
  const int traces = in.layout().traces;
  std::vector<float> samples(static_cast<size_t>(in.layout().samples) * kChunk);
  Progress progress("finding the value range", traces);
  lo = INFINITY, hi = -INFINITY;
  for (int t = 0; t < traces; t += kChunk) {
    const int count = std::min(kChunk, traces - t);
    if (!in.readTraces(t, count, samples.data(), error)) return false;
    for (size_t n = 0; n < static_cast<size_t>(count) * in.layout().samples; ++n) {
      const float v = samples[n];
      if (std::isfinite(v)) lo = std::min<double>(lo, v), hi = std::max<double>(hi, v);
    }
    progress.update(t + count);
  }
  progress.finish();
  if (!(lo <= hi)) lo = hi = 0;
  if (lo == hi) hi = lo + 1;
  return true;
}

bool chooseStorage(const ImportArgs& args, SegyInput& in, Storage& s, std::string& error) {
  const int format = in.layout().format;
  const std::string type = !args.type.empty() ? args.type
                           : format == 3      ? "int16"
                           : format == 8      ? "int8"
                                              : "float";
  if (type == "float") return true;
  s.type = type == "int16" ? FA::DataTypeEnum::Int16 : FA::DataTypeEnum::Int8;
  s.identity = !args.haveRange && (format == 8 || (format == 3 && type == "int16"));
  if (s.identity) {
    s.lo = type == "int16" ? -32768 : -128;
    s.hi = type == "int16" ? 32767 : 127;
    return true;
  }
  if (args.haveRange) {
    s.lo = args.range[0], s.hi = args.range[1];
    return true;
  }
  if (!scanRange(in, s.lo, s.hi, error)) return false;
  if (codableRange(s.lo, s.hi)) return true;
  error = "the value range " + std::to_string(s.lo) + " .. " + std::to_string(s.hi) +
          " cannot be coded (give one with --range)";
  return false;
}

FA::DataInfo surveyInfo(const ImportArgs& args, const SegyLayout& l, const SegyGrid& g) {
  FA::DataInfo info;
  const bool time = args.verticalUnit == "ms";
  // The interval is in microseconds for time, in thousandths for depth.
  info.SetExtent(static_cast<float>(g.inlineStart), static_cast<float>(g.inlineStep), g.inlines,
                 static_cast<float>(g.crosslineStart), static_cast<float>(g.crosslineStep),
                 g.crosslines, static_cast<float>(l.firstSample),
                 static_cast<float>(l.interval / 1000.0), l.samples, false);
  info.SetSourceInfo(std::filesystem::path(args.in).filename().string(), "SEG-Y",
                     sourceType(l.format));
  info.SetVertDomain(time ? FA::VertDimEnum::Time : FA::VertDimEnum::Depth,
                     time ? 0.001 : (args.verticalUnit == "ft" ? 0.3048 : 1.0), args.verticalUnit);
  const bool feet = l.measurement == 2;
  info.SetHorzDomain("", FA::HorzDimEnum::Length, feet ? 0.3048 : 1.0, feet ? "ft" : "m");
  std::copy(&g.corners[0][0], &g.corners[0][0] + 8, &info.corners[0][0]);
  return info;
}

// Writes the survey one brick column at a time while the next one is
// decoded, so memory holds two columns at most.
template <typename T>
bool streamColumns(FA::Writer& writer, SegyInput& in, const SegyGrid& g, const int brick[3],
                   Status* status, std::string& error) {
  const int nk = in.layout().samples;
  SegyColumnPipeline<T> columns(in, g, brick);
  Progress progress("importing traces", int64_t{g.inlines} * g.crosslines);
  int64_t done = 0;
  while (SegyColumn<T>* c = columns.next()) {
    const int* box = c->box;
    // Flags first: samples of dead traces then stay out of the statistics.
    if ((c->anyDead &&
         !writer.WriteGridFlags(0, box[0], box[1], box[2], box[3], c->flags.data(), status)) ||
        !writer.WriteData(0, box[0], box[1], 0, box[2], box[3], nk, c->samples.data(), status)) {
      return false;
    }
    done += int64_t{box[2]} * box[3];
    columns.recycle(c);  // the decoder refills it at once
    progress.update(done);
  }
  error = columns.error();
  if (!error.empty()) return false;
  progress.finish();
  return true;
}

bool writeSurvey(const std::string& name, const ImportArgs& args, SegyInput& in,
                 const SegyGrid& grid, const Storage& s, Status* status, std::string& error) {
  FA::TyqOptions options = toolOptions();
  options.noAutoFlush = true;  // levels are built once, when the file is finalised
  if (args.haveBrick) std::copy(args.brick, args.brick + 3, options.brickSize);
  FA::AutoRef<FA::Writer> writer;
  FA::FileInfo fileInfo;
  if (FA::PoststackSeis3dBrickedAccessorFactory::CreateWriter(
          writer, name, surveyInfo(args, in.layout(), grid), s.type, options, status,
          static_cast<float>(s.lo), static_cast<float>(s.hi), 3) != 0 ||
      !useTraceOrder(*writer, status) || !writer->GetFileInfo(fileInfo, status)) {
    return false;
  }
  bool ok = false;
  if (s.identity && s.type == FA::DataTypeEnum::Int16) {
    ok = writer->SetAccessScaleRange(-32768, 32767, status) &&
         streamColumns<short>(*writer, in, grid, fileInfo.brickSize, status, error);
  } else if (s.identity) {
    ok = writer->SetAccessScaleRange(-128, 127, status) &&
         streamColumns<signed char>(*writer, in, grid, fileInfo.brickSize, status, error);
  } else {
    ok = streamColumns<float>(*writer, in, grid, fileInfo.brickSize, status, error);
  }
  if (!ok) return false;
  std::printf("  building levels of detail and statistics\n");
  std::fflush(stdout);
  return writer->Finalize(false, true, status);
}

bool scanSurvey(SegyInput& in, const ImportArgs& args, SegyGrid& grid, std::string& error) {
  if (!in.open(args.in, error)) return false;
  Progress progress("reading trace headers", in.layout().traces);
  if (!in.scanGrid(args.inlineByte, args.crosslineByte, grid, error, progressUpdate, &progress)) {
    return false;
  }
  progress.finish();
  return true;
}

// Compresses the finished uncompressed import `plain` into `packed`, a new
// name beside it, from all cores, and measures what the copy achieved
// against it. Going through a complete uncompressed file keeps memory
// bounded whatever the survey's size, and gives the copy every level of
// detail to code.
bool compressImport(const std::string& plain, const std::string& packed, const ImportArgs& args,
                    int64_t bytes, std::string& error) {
  CopyFigures figures;
  if (!runCompressCopy(plain, packed, args.sqnr, args.threads > 0 ? args.threads : coreCount(),
                       bytes, figures, error)) {
    return false;
  }
  std::printf("  compressed %.1f MB to %.1f MB at %g dB\n",
              static_cast<double>(figures.inputBytes) / 1e6,
              static_cast<double>(figures.outputBytes) / 1e6, args.sqnr);
  std::fflush(stdout);
  Comparison achieved;
  if (!reportAchievedQuality("import-segy", plain, packed, achieved)) {
    std::remove(packed.c_str());
    error = "the compressed copy's quality could not be measured";
    return false;
  }
  std::error_code failed;
  const auto segyBytes = std::filesystem::file_size(args.in, failed);
  if (!failed && achieved.copyFileBytes > 0) {
    std::printf("  factor %.2f against the SEG-Y file's %.1f MB\n",
                static_cast<double>(segyBytes) / static_cast<double>(achieved.copyFileBytes),
                static_cast<double>(segyBytes) / 1e6);
  }
  return true;
}

// With --sqnr the import is written uncompressed under the reserved name,
// then compressed beside it and renamed over it.
bool writeOutput(const std::string& name, const ImportArgs& args, SegyInput& in,
                 const SegyGrid& grid, const Storage& storage, std::string& error) {
  Status status;
  if (!writeSurvey(name, args, in, grid, storage, &status, error)) {
    if (error.empty()) error = describeFailure(status);
    return false;
  }
  if (args.sqnr <= 0) return true;
  const std::string packed = name + kStageSuffix;
  const int64_t bytes = int64_t{grid.inlines} * grid.crosslines * in.layout().samples *
                        FA::DataTypeEnum::Size(storage.type);
  if (!compressImport(name, packed, args, bytes, error)) return false;
  if (std::rename(packed.c_str(), name.c_str()) != 0) {
    error = "cannot rename " + packed + " to " + name + ": " + std::strerror(errno);
    std::remove(packed.c_str());
    return false;
  }
  return true;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "tyq import-segy: %s\n", message.c_str());
  return 1;
}

std::string interruptedText(const ImportArgs& args) {
  return "tyq import-segy: interrupted, nothing written to " + args.out;
}

}  // namespace

const char* const kImportSegyUsage =
    "tyq import-segy IN.sgy OUT [--sqnr S] [--type float|int16|int8] [--range lo,hi] "
    "[--brick b0,b1,b2] [--threads N] [--iline-byte N] [--xline-byte N] [--vertical-unit ms|m|ft] "
    "[--force]";

int runImportSegy(int argc, char** argv) {
  ImportArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  InterruptExit stop(interruptedText(args));
  if (!mayWriteOutput("import-segy", args.out, args.force, {args.in})) return 1;
  SegyInput in;
  SegyGrid grid;
  std::string error;
  Storage storage;
  if (!scanSurvey(in, args, grid, error) || !chooseStorage(args, in, storage, error)) {
    return fail(error);
  }
  ReplacingOutput output(args.out);
  if (!output.reserve(error)) return fail(error);
  bool written = false;
  {
    // The compressing copy stops on its own guard; the other steps cannot.
    InterruptExit stopWriting(interruptedText(args));
    stopWriting.removeOnInterrupt(output.temporaryName());
    stopWriting.removeOnInterrupt(output.temporaryName() + kStageSuffix);
    written = writeOutput(output.temporaryName(), args, in, grid, storage, error);
  }
  if (!written && interrupted()) {
    std::fprintf(stderr, "%s\n", interruptedText(args).c_str());
    return 130;
  }
  if (!written) return fail(error + " (nothing written to " + args.out + ")");
  if (!output.commit(error)) return fail(error + " (nothing written to " + args.out + ")");
  std::printf(
      "tyq import-segy: wrote %s (inlines %d..%d step %d, crosslines %d..%d step %d, "
      "%d samples, %lld dead traces)\n",
      args.out.c_str(), grid.inlineStart, grid.inlineStart + (grid.inlines - 1) * grid.inlineStep,
      grid.inlineStep, grid.crosslineStart,
      grid.crosslineStart + (grid.crosslines - 1) * grid.crosslineStep, grid.crosslineStep,
      in.layout().samples, static_cast<long long>(grid.dead));
  return 0;
}

}  // namespace tyq_tool
