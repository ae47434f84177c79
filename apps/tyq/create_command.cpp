#include "create_command.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "args.h"
#include "compare_command.h"
#include "npy_map.h"
#include "output_options.h"
#include "progress.h"
#include "replacing_output.h"
#include "survey_identity.h"
#include "tool_threads.h"
#include "tools/compressed_volume.h"
#include "tyq/tyq.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;
namespace Tools = Qra::Ostrel::Tyq::Private::Tools;

struct SampleTypeName {
  const char* name;
  FA::DataTypeEnum::value_type type;
};

constexpr SampleTypeName kSampleTypes[] = {
    {"int8", FA::DataTypeEnum::Int8},     {"uint8", FA::DataTypeEnum::UInt8},
    {"int16", FA::DataTypeEnum::Int16},   {"uint16", FA::DataTypeEnum::UInt16},
    {"int32", FA::DataTypeEnum::Int32},   {"uint32", FA::DataTypeEnum::UInt32},
    {"float", FA::DataTypeEnum::Float32}, {"ibmfloat", FA::DataTypeEnum::IbmFloat32},
};

const SampleTypeName* findSampleType(const std::string& name) {
  for (const SampleTypeName& t : kSampleTypes) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

// IBM float files can be read, but the accessor has no encoder for them.
bool accessorWrites(FA::DataTypeEnum::value_type type) {
  return type != FA::DataTypeEnum::IbmFloat32;
}

struct CreateArgs {
  std::string out, from, type;
  double range[2] = {0, 0};
  bool haveRange = false;
  int version = 3;
  int brick[3] = {0, 0, 0};
  bool haveBrick = false, force = false;
  double sqnr = 0;  // > 0: a compressed file
  int threads = 1;
  SurveyIdentity identity;
};

bool parseArgs(int argc, char** argv, CreateArgs& args) {
  for (int a = 0; a < argc; ++a) {
    const std::string flag = argv[a];
    const char* value = a + 1 < argc ? argv[a + 1] : nullptr;
    bool ok = true;
    if (flag == "--force") {
      args.force = true;
      continue;
    }
    if (value && parseIdentityOption(flag, value, args.identity, ok)) {
      // taken as an identity option
    } else if (flag == "--from" && value) {
      args.from = value;
    } else if (flag == "--type" && value) {
      args.type = value;
      ok = findSampleType(args.type) != nullptr;
    } else if (flag == "--range" && value) {
      ok = args.haveRange = parseRange(value, args.range);
    } else if (flag == "--version" && value) {
      ok = parseInt(value, args.version) && args.version >= 1 && args.version <= 3;
    } else if (flag == "--brick" && value) {
      ok = args.haveBrick = parseTriple(value, args.brick) && args.brick[0] > 0 &&
                            args.brick[1] > 0 && args.brick[2] > 0;
    } else if (flag == "--sqnr" && value) {
      ok = parseDouble(value, args.sqnr) && args.sqnr > 0 && args.sqnr < 100;
    } else if (flag == "--threads" && value) {
      ok = parseThreads(value, args.threads);
    } else if (flag[0] != '-' && args.out.empty()) {
      args.out = flag;
      continue;
    } else {
      std::fprintf(stderr, "tyq create: unexpected argument \"%s\"\n", flag.c_str());
      return false;
    }
    if (!ok) {
      const std::string note = takeParseNote();
      std::fprintf(stderr, "tyq create: bad value \"%s\" for %s%s%s\n", value, flag.c_str(),
                   note.empty() ? "" : ": ", note.c_str());
      return false;
    }
    ++a;
  }
  if (args.out.empty() || args.from.empty()) {
    std::fprintf(stderr,
                 "usage: tyq create OUT --from IN.npy [--type float|int8|uint8|int16|uint16|int32|"
                 "uint32] [--range lo,hi] [--version 1|2|3] [--brick b0,b1,b2] [--force] %s\n"
                 "       tyq create OUT --from IN.npy --sqnr S [--threads N] [--range lo,hi] "
                 "[--force] %s\n",
                 kIdentityUsage, kIdentityUsage);
    return false;
  }
  if (args.sqnr > 0 && (!args.type.empty() || args.haveBrick || args.version != 3)) {
    std::fprintf(stderr,
                 "tyq create: --sqnr writes float samples in 64^3 bricks of the newest "
                 "compressed version; --type, --version and --brick do not apply\n");
    return false;
  }
  return true;
}

bool writeVolume(const std::string& name, const CreateArgs& args, const MappedNpy& array,
                 FA::DataTypeEnum::value_type type, double lo, double hi, Status* status) {
  const int size[3] = {static_cast<int>(array.shape()[0]), static_cast<int>(array.shape()[1]),
                       static_cast<int>(array.shape()[2])};
  FA::TyqOptions options = toolOptions();
  options.noAutoFlush = true;  // levels are built once, when the file is finalised
  if (args.haveBrick) std::copy(args.brick, args.brick + 3, options.brickSize);
  FA::AutoRef<FA::Writer> writer;
  FA::FileInfo fileInfo;
  return FA::PoststackSeis3dBrickedAccessorFactory::CreateWriter(
             writer, name, identityInfo(args.identity, size), type, options, status,
             static_cast<float>(lo), static_cast<float>(hi), args.version) == 0 &&
         useTraceOrder(*writer, status) && writer->GetFileInfo(fileInfo, status) &&
         writeMappedArray(*writer, array, fileInfo.brickSize[0], status) &&
         writer->Finalize(false, true, status);
}

// The mapping need not be aligned for T: a header of any length is accepted.
template <typename T>
void toFloat(const MappedNpy& array, Tools::FloatVolume& out) {
  out.samples.resize(out.Count());
  for (size_t n = 0; n < out.samples.size(); ++n) {
    T value;
    std::memcpy(&value, array.data() + n * sizeof(T), sizeof(T));
    out.samples[n] = static_cast<float>(value);
  }
}

// The array as float values, every level of detail computed and written; an
// aligned float array is compressed straight from its mapping.
bool writeCompressed(const std::string& name, const CreateArgs& args, const MappedNpy& array,
                     double lo, double hi, Status* status) {
  Tools::FloatVolume converted;
  for (int a = 0; a < 3; ++a) converted.size[a] = static_cast<int>(array.shape()[a]);
  Tools::FloatVolumeView level0 = converted.View();
  const bool aligned = reinterpret_cast<uintptr_t>(array.data()) % alignof(float) == 0;
  if (array.dtype() == "<f4" && aligned) {
    level0.samples = reinterpret_cast<const float*>(array.data());
  } else {
    if (array.dtype() == "<f4") toFloat<float>(array, converted);
    if (array.dtype() == "<i2") toFloat<short>(array, converted);
    if (array.dtype() == "|i1") toFloat<signed char>(array, converted);
    level0.samples = converted.samples.data();
  }
  Tools::CompressedVolumeOptions options;
  options.sqnr = static_cast<float>(args.sqnr);
  options.threads = args.threads;
  options.histogramMin = lo;
  options.histogramMax = hi;
  options.progress = progressCallback("compressing");
  return Tools::WriteCompressedVolume(name, identityInfo(args.identity, level0.size), level0,
                                      options, status);
}

// The array as the source of a comparison: level 0 only, every trace live.
class ArraySource : public ColumnSource {
 public:
  explicit ArraySource(const MappedNpy& array) : array_(array) {}

  bool readSamples(int lod, const int start[3], const int size[3], float* out,
                   std::string& error) override {
    if (lod != 0) {
      error = "an array has level 0 only";
      return false;
    }
    const int64_t* shape = array_.shape();
    for (int i = 0; i < size[0]; ++i) {
      for (int j = 0; j < size[1]; ++j) {
        const int64_t first =
            ((start[0] + int64_t{i}) * shape[1] + start[1] + j) * shape[2] + start[2];
        convert(first, size[2], out + (int64_t{i} * size[1] + j) * size[2]);
      }
    }
    return true;
  }

  bool readFlags(int, int, int, int ni, int nj, unsigned char* flags, bool&,
                 std::string&) override {
    std::fill(flags, flags + static_cast<size_t>(ni) * nj, 1);
    return true;
  }

 private:
  // `count` elements from element `first`, as floats; the mapping need not
  // be aligned for the element type.
  void convert(int64_t first, int count, float* out) const {
    const char* from = array_.data() + first * static_cast<int64_t>(array_.elementSize());
    for (int n = 0; n < count; ++n) out[n] = element(from + n * array_.elementSize());
  }
  float element(const char* at) const {
    if (array_.dtype() == "<f4") return load<float>(at);
    if (array_.dtype() == "<i2") return load<short>(at);
    return load<signed char>(at);
  }
  template <typename T>
  static float load(const char* at) {
    T value;
    std::memcpy(&value, at, sizeof(T));
    return static_cast<float>(value);
  }

  const MappedNpy& array_;
};

// The achieved quality of the compressed file `args.out` against the array
// it was written from. False after a message.
bool reportAchieved(const CreateArgs& args, const MappedNpy& array) {
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  FA::DataInfo data;
  if (!openVolume("create", args.out, 0, reader, info, data)) return false;
  const int size[3] = {static_cast<int>(array.shape()[0]), static_cast<int>(array.shape()[1]),
                       static_cast<int>(array.shape()[2])};
  if (!std::equal(size, size + 3, data.size)) {
    std::fprintf(stderr, "tyq create: %s does not hold the array's %d x %d x %d samples\n",
                 args.out.c_str(), size[0], size[1], size[2]);
    return false;
  }
  ArraySource source(array);
  ReaderSource copy(*reader);
  Comparison achieved;
  achieved.copyFileBytes = info.fileSize;
  std::string error;
  if (!compareColumns(source, copy, 0, size, info.brickSize, true, achieved, error)) {
    std::fprintf(stderr, "tyq create: %s\n", error.c_str());
    return false;
  }
  printAchieved(achieved);
  return true;
}

// Fills in the sample type and coding range the array implies where the
// options left them out; 0, or the exit code after a message.
int chooseTypeAndRange(CreateArgs& args, const MappedNpy& array, double& lo, double& hi) {
  const std::string same =
      array.dtype() == "<f4" ? "float" : (array.dtype() == "<i2" ? "int16" : "int8");
  if (args.type.empty()) args.type = same;
  lo = args.range[0];
  hi = args.range[1];
  if (!args.haveRange && args.type == same && same != "float") {
    // Stored as its own type, an integer array keeps every value: codes are values.
    lo = same == "int16" ? -32768 : -128;
    hi = same == "int16" ? 32767 : 127;
  } else if (!args.haveRange) {
    mappedMinMax(array, lo, hi);
  }
  if (codableRange(lo, hi)) return 0;
  std::fprintf(stderr, "tyq create: the value range %g .. %g cannot be coded%s\n", lo, hi,
               args.haveRange ? "" : " (give one with --range)");
  return args.haveRange ? 2 : 1;
}

}  // namespace

int runCreate(int argc, char** argv) {
  CreateArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  InterruptExit stop("tyq create: interrupted");
  const SampleTypeName* named = args.type.empty() ? nullptr : findSampleType(args.type);
  if (named && !accessorWrites(named->type)) {
    std::fprintf(stderr, "tyq create: %s samples can be read but not written\n",
                 FA::DataTypeEnum::Name(named->type));
    return 2;
  }
  if (!mayWriteOutput("create", args.out, args.force, {args.from})) return 1;
  MappedNpy array;
  std::string error;
  if (!array.open(args.from, error)) {
    std::fprintf(stderr, "tyq create: %s\n", error.c_str());
    return 1;
  }
  double lo = 0, hi = 0;
  const int refused = chooseTypeAndRange(args, array, lo, hi);
  if (refused != 0) return refused;
  ReplacingOutput output(args.out);
  Status status;
  if (!output.reserve(error)) {
    std::fprintf(stderr, "tyq create: %s\n", error.c_str());
    return 1;
  }
  bool written = false;
  {
    // The library's writers cannot stop part-way.
    InterruptExit stopWriting("tyq create: interrupted, nothing written to " + args.out);
    stopWriting.removeOnInterrupt(output.temporaryName());
    written = args.sqnr > 0 ? writeCompressed(output.temporaryName(), args, array, lo, hi, &status)
                            : writeVolume(output.temporaryName(), args, array,
                                          findSampleType(args.type)->type, lo, hi, &status);
  }
  if (!written) {
    std::fprintf(stderr, "tyq create: %s (nothing written to %s)\n",
                 describeFailure(status).c_str(), args.out.c_str());
    return 1;
  }
  if (!output.commit(error)) {
    std::fprintf(stderr, "tyq create: %s (nothing written to %s)\n", error.c_str(),
                 args.out.c_str());
    return 1;
  }
  if (args.sqnr > 0) {
    std::printf("tyq create: wrote %s (%lld x %lld x %lld, compressed at %g dB)\n",
                args.out.c_str(), static_cast<long long>(array.shape()[0]),
                static_cast<long long>(array.shape()[1]), static_cast<long long>(array.shape()[2]),
                args.sqnr);
    std::fflush(stdout);
    if (reportAchieved(args, array)) return 0;
    std::fprintf(stderr, "tyq create: %s was written, but its quality could not be measured\n",
                 args.out.c_str());
    return 1;
  }
  std::printf("tyq create: wrote %s (%lld x %lld x %lld, %s, version %d)\n", args.out.c_str(),
              static_cast<long long>(array.shape()[0]), static_cast<long long>(array.shape()[1]),
              static_cast<long long>(array.shape()[2]), args.type.c_str(), args.version);
  return 0;
}

}  // namespace tyq_tool
