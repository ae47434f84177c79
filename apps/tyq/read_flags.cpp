#include "read_flags.h"

#include <cstdio>
#include <string>
#include <vector>

#include "args.h"
#include "level_box.h"
#include "output_file.h"
#include "output_options.h"
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
    if (flag == "--lod") return parseInt(value, args.lod) && args.lod >= 0;
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

}  // namespace

int runReadFlags(int argc, char** argv) {
  FlagArgs args;
  if (!parseArgs(argc, argv, args)) return 2;
  if (!mayStreamOutput("read", args.out, {args.file})) return 1;
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  FA::DataInfo data;
  if (!openReader("read", args.file, FA::StorageOrderEnum::TraceOptimized(), reader, info, data)) {
    return 1;
  }
  const int64_t bytes = int64_t{args.size[0]} * args.size[1];
  if (!boxWorthReading(args.start, args.size, 2, data.size, args.lod, bytes)) return 2;
  Status status;
  std::vector<unsigned char> flags(static_cast<size_t>(args.size[0]) * args.size[1]);
  if (!reader->ReadGridFlags(args.lod, args.start[0], args.start[1], args.size[0], args.size[1],
                             flags.data(), &status)) {
    reportReadFailure(describeFailure(status), args.lod, info.numberOfLods);
    return 1;
  }
  return writeArray("read", args.out, "|u1", {args.size[0], args.size[1]}, flags.data(),
                    flags.size())
             ? 0
             : 1;
}

}  // namespace tyq_tool
