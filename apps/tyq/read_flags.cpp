#include "read_flags.h"

#include <cstdio>
#include <string>
#include <vector>

#include "args.h"
#include "output_file.h"
#include "tyq/tyq.h"
#include "user_errors.h"
#include "volume_source.h"

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

struct FlagArgs {
  std::string file, out;
  int lod = 0, start[2] = {0, 0}, size[2] = {0, 0};
  bool haveSize = false;
};

constexpr const char* kUsage = "tyq read FILE --flags --lod L --start i,j --size ni,nj -o OUT|-";

bool parseArgs(int argc, char** argv, FlagArgs& args) {
  const auto toggle = [](const std::string& flag) { return flag == "--flags"; };
  const auto option = [&args](const std::string& flag, const char* value) {
    if (flag == "--lod") return parseInt(value, args.lod);
    if (flag == "--start") return parseInts(value, 2, args.start);
    if (flag == "--size") {
      return args.haveSize = parseInts(value, 2, args.size) && args.size[0] > 0 && args.size[1] > 0;
    }
    return flag == "-o" && !(args.out = value).empty();
  };
  if (!walkArguments("read", kUsage, argc, argv, {&args.file}, toggle, option)) return false;
  if (args.out.empty() || !args.haveSize) {
    std::fprintf(stderr, "usage: %s\n", kUsage);
    return false;
  }
  return true;
}

// The box inside the level's traces, said with the level's size otherwise.
bool boxInside(const FlagArgs& args, const FA::DataInfo& data) {
  int64_t extent[2];
  bool inside = true;
  for (int d = 0; d < 2; ++d) {
    extent[d] = ((int64_t{data.size[d]} - 1) >> args.lod) + 1;
    inside = inside && args.start[d] >= 0 && int64_t{args.start[d]} + args.size[d] <= extent[d];
  }
  if (!inside) {
    std::fprintf(stderr, "tyq read: the traces %d,%d + %d,%d lie outside level %d (%lld x %lld)\n",
                 args.start[0], args.start[1], args.size[0], args.size[1], args.lod,
                 static_cast<long long>(extent[0]), static_cast<long long>(extent[1]));
  }
  return inside;
}

}  // namespace

int runReadFlags(int argc, char** argv) {
  FlagArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  FA::DataInfo data;
  if (!openVolume("read", args.file, args.lod, reader, info, data)) return 1;
  if (!boxInside(args, data)) return 2;
  Status status;
  std::vector<unsigned char> flags(static_cast<size_t>(args.size[0]) * args.size[1]);
  if (!reader->ReadGridFlags(args.lod, args.start[0], args.start[1], args.size[0], args.size[1],
                             flags.data(), &status)) {
    std::fprintf(stderr, "tyq read: %s\n", describeFailure(status).c_str());
    return 1;
  }
  return writeArray("read", args.out, "|u1", {args.size[0], args.size[1]}, flags.data(),
                    flags.size())
             ? 0
             : 1;
}

}  // namespace tyq_tool
