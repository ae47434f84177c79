#include "read_command.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "args.h"
#include "npy.h"
#include "tyq/tyq.h"

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
      ok = parseInt(value, args.lod);
    } else if (flag == "--start" && value) {
      ok = parseTriple(value, args.start);
    } else if (flag == "--size" && value) {
      ok = args.haveSize = parseTriple(value, args.size);
    } else if (flag == "--type" && value) {
      args.type = value;
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
                 "[--type float|int16|int8|raw] [--order 0..5] -o OUT\n");
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

// "raw" reads the stored samples as they are, for the types boxes come in.
std::string resolveType(const std::string& type, const FA::FileInfo& info) {
  if (type != "raw") return type;
  switch (info.dataType) {
    case FA::DataTypeEnum::Int8: return "int8";
    case FA::DataTypeEnum::Int16: return "int16";
    case FA::DataTypeEnum::Float32: return "float";
    default: return "";
  }
}

bool writeOutput(const ReadArgs& args, const std::string& type, const std::vector<char>& bytes) {
  std::FILE* out = std::fopen(args.out.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "tyq read: cannot write %s: %s\n", args.out.c_str(),
                 std::strerror(errno));
    return false;
  }
  const std::string& name = args.out;
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".npy") == 0) {
    std::vector<int64_t> shape;
    for (const int axis : kAxesSlowToFast[args.order]) shape.push_back(args.size[axis]);
    const std::string dtype = type == "float" ? "<f4" : (type == "int16" ? "<i2" : "|i1");
    const std::string header = npyHeader(dtype, shape);
    std::fwrite(header.data(), 1, header.size(), out);
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !ok) {
    std::fprintf(stderr, "tyq read: writing %s failed\n", args.out.c_str());
    return false;
  }
  return true;
}

}  // namespace

int runRead(int argc, char** argv) {
  ReadArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  Status status;
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  if (FA::Tyq::CreateTyqReader(reader, args.file, FA::TyqOptions(), &status) != 0 ||
      !reader->GetFileInfo(info, &status) ||
      !reader->SetAccessStorageOrder(static_cast<FA::StorageOrderEnum::value_type>(args.order),
                                     &status)) {
    std::fprintf(stderr, "tyq read: %s\n", status.message().c_str());
    return 1;
  }
  const std::string type = resolveType(args.type, info);
  std::vector<char> bytes;
  bool ok = false;
  if (type == "float") {
    ok = readBox<float>(*reader, args, bytes, &status);
  } else if (type == "int16") {
    ok = readBox<short>(*reader, args, bytes, &status);
  } else if (type == "int8") {
    ok = readBox<signed char>(*reader, args, bytes, &status);
  } else {
    std::fprintf(stderr, "tyq read: type \"%s\" cannot be read as a box (stored: %s)\n",
                 args.type.c_str(), FA::DataTypeEnum::Name(info.dataType));
    return 2;
  }
  if (!ok) {
    std::fprintf(stderr, "tyq read: %s\n", status.message().c_str());
    return 1;
  }
  return writeOutput(args, type, bytes) ? 0 : 1;
}

}  // namespace tyq_tool
