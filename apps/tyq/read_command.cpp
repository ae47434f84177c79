#include "read_command.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "args.h"
#include "level_box.h"
#include "npy.h"
#include "output_file.h"
#include "output_options.h"
#include "raw_box.h"
#include "read_flags.h"
#include "tool_threads.h"
#include "tyq/tyq.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

struct ReadArgs {
  std::string file, out, type = "float";
  int lod = 0, order = 0;
  int start[3] = {0, 0, 0};
  int size[3] = {0, 0, 0};
  bool haveSize = false;
};

bool parseArgs(int argc, char** argv, ReadArgs& args) {
  for (int a = 0; a < argc; ++a) {
    const std::string flag = argv[a];
    const char* value = a + 1 < argc ? argv[a + 1] : nullptr;
    bool ok = true;
    if (flag == "--lod" && value) {
      ok = parseInt(value, args.lod) && args.lod >= 0;
    } else if (flag == "--start" && value) {
      ok = parseTriple(value, args.start);
    } else if (flag == "--size" && value) {
      ok = args.haveSize = parseTriple(value, args.size);
    } else if (flag == "--type" && value) {
      args.type = value;
      ok =
          args.type == "float" || args.type == "int16" || args.type == "int8" || args.type == "raw";
    } else if (flag == "--order" && value) {
      ok = parseInt(value, args.order) && args.order >= 0 && args.order <= 5;
    } else if (flag == "-o" && value) {
      args.out = value;
    } else if (flag[0] != '-' && args.file.empty()) {
      args.file = flag;
      continue;
    } else {
      std::fprintf(stderr, "tyq read: unexpected argument \"%s\"\n", flag.c_str());
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "tyq read: bad value \"%s\" for %s\n", value, flag.c_str());
      return false;
    }
    ++a;
  }
  if (args.file.empty() || args.out.empty() || !args.haveSize) {
    std::fprintf(stderr,
                 "usage: tyq read FILE --lod L --start i,j,k --size ni,nj,nk "
                 "[--type float|int16|int8|raw] [--order 0..5] -o OUT|-\n"
                 "       tyq read FILE --flags --lod L --start i,j --size ni,nj -o OUT|-\n");
    return false;
  }
  // The library reads at most 2^31 - 1 samples at once; refuse larger boxes
  // before trying to allocate room for them.
  const long long samples = 1LL * args.size[0] * args.size[1] * args.size[2];
  if (args.size[0] <= 0 || args.size[1] <= 0 || args.size[2] <= 0 || samples > INT32_MAX) {
    std::fprintf(stderr, "tyq read: the box must hold 1 to 2147483647 samples\n");
    return false;
  }
  return true;
}

// Axes from slowest to fastest in each storage order, for the array shape.
constexpr int kAxesSlowToFast[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                       {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};

template <typename T>
bool readBox(FA::Reader& reader, const ReadArgs& args, std::vector<char>& bytes, Status* status) {
  const size_t count = static_cast<size_t>(args.size[0]) * args.size[1] * args.size[2];
  try {
    bytes.assign(count * sizeof(T), 0);
  } catch (const std::bad_alloc&) {
    status->setError(FA::Error::OutOfMemory, args.out, "tyq read");
    return false;
  }
  return reader.ReadData(args.lod, args.start[0], args.start[1], args.start[2], args.size[0],
                         args.size[1], args.size[2], reinterpret_cast<T*>(bytes.data()), status);
}

// Bytes of one sample of the requested type: the buffer is sized before
// anything is allocated for it.
int64_t sampleBytes(const ReadArgs& args, const FA::FileInfo& info) {
  if (args.type == "raw") return FA::DataTypeEnum::Size(info.dataType);
  return args.type == "float" ? 4 : (args.type == "int16" ? 2 : 1);
}

bool writeOutput(const ReadArgs& args, const std::string& dtype, const std::vector<char>& bytes) {
  std::vector<int64_t> shape;
  for (const int axis : kAxesSlowToFast[args.order]) shape.push_back(args.size[axis]);
  return writeArray("read", args.out, dtype, shape, bytes.data(), bytes.size());
}

// Reads the box in the requested type into `bytes`, naming its NumPy type in
// `dtype`; 0, or the exit code after a message.
int readSamples(FA::Reader& reader, const FA::FileInfo& info, const FA::DataInfo& dataInfo,
                const ReadArgs& args, std::vector<char>& bytes, std::string& dtype) {
  Status status;
  bool ok = false;
  if (args.type == "raw") {
    dtype = npyTypeOfStored(info.dataType);
    if (dtype.empty()) {
      std::fprintf(stderr, "tyq read: %s samples cannot be read raw\n",
                   FA::DataTypeEnum::Name(info.dataType));
      return 2;
    }
    ok = readRawBox(reader, info, dataInfo.size, args.lod, args.start, args.size, args.order, bytes,
                    &status);
  } else if (args.type == "float") {
    dtype = "<f4";
    ok = readBox<float>(reader, args, bytes, &status);
  } else if (args.type == "int16") {
    dtype = "<i2";
    ok = readBox<short>(reader, args, bytes, &status);
  } else {
    dtype = "|i1";
    ok = readBox<signed char>(reader, args, bytes, &status);
  }
  if (ok) return 0;
  reportReadFailure(describeFailure(status), args.lod, info.numberOfLods);
  return 1;
}

}  // namespace

int runRead(int argc, char** argv) {
  for (int a = 0; a < argc; ++a) {
    if (std::strcmp(argv[a], "--flags") == 0) return runReadFlags(argc, argv);
  }
  ReadArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  if (!mayStreamOutput("read", args.out, {args.file})) return 1;
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  FA::DataInfo dataInfo;
  if (!openReader("read", args.file, args.order, reader, info, dataInfo)) return 1;
  const int64_t need =
      int64_t{args.size[0]} * args.size[1] * args.size[2] * sampleBytes(args, info);
  if (!boxWorthReading(args.start, args.size, 3, dataInfo.size, args.lod, need)) return 2;
  std::vector<char> bytes;
  std::string dtype;
  {
    // Nothing is written before the whole box is read.
    InterruptExit stop("tyq read: interrupted, nothing written to " + args.out);
    const int rc = readSamples(*reader, info, dataInfo, args, bytes, dtype);
    if (rc != 0) return rc;
  }
  return writeOutput(args, dtype, bytes) ? 0 : 1;
}

}  // namespace tyq_tool
