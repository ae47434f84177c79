// tyq: command-line tool of the tyq seismic volume library.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "compare_command.h"
#include "compress_command.h"
#include "create_command.h"
#include "demo_command.h"
#include "info_command.h"
#include "read_command.h"
#include "scan_command.h"
#include "segy_export.h"
#include "segy_import.h"
#include "slice_command.h"
#include "tyq/version.h"
#include "user_errors.h"

namespace {

// Each command's usage and what it does, for tyq --help and COMMAND --help.
struct CommandHelp {
  const char* name;
  const char* text;
};

constexpr CommandHelp kCommands[] = {
    {"compare",
     "  compare A B [--lod L] [--json]\n"
     "                 measure how far B is from A over A's live traces (SQNR, RMS\n"
     "                 and maximum error); any two volumes of the same size\n"},
    {"compress",
     "  compress IN OUT --sqnr S [--threads N]\n"
     "                 copy a volume file into a new one compressed to S dB (0: an\n"
     "                 uncompressed copy), every level, from N threads (default: one\n"
     "                 per core); Ctrl-C stops it and removes the partial output\n"},
    {"create",
     "  create OUT --from IN.npy [--type float|int8|uint8|int16|uint16|int32|uint32]\n"
     "         [--range lo,hi] [--version 1|2|3] [--brick b0,b1,b2] [--force]\n"
     "         [--sqnr S [--threads N]]\n"
     "         [--inline start,step] [--crossline start,step]\n"
     "         [--vertical start,step,ms|s|m|ft] [--corners x0,y0,x1,y1,x2,y2]\n"
     "                 write a new volume from a NumPy array, with levels of detail\n"
     "                 (compressed to S dB with --sqnr)\n"},
    {"demo",
     "  demo [DIR] [--description FILE]\n"
     "                 copy the example synthetic volume into DIR/demo.vbs with its\n"
     "                 level-of-detail pyramid, read it back and check every sample\n"},
    {"export-segy",
     "  export-segy IN OUT.sgy [--lod L] [--force]\n"
     "                 write one level as a SEG-Y rev 1 file of IEEE floats\n"},
    {"import-segy",
     "  import-segy IN.sgy OUT [--sqnr S] [--type float|int16|int8] [--range lo,hi]\n"
     "         [--brick b0,b1,b2] [--threads N] [--iline-byte N] [--xline-byte N]\n"
     "         [--vertical-unit ms|m|ft] [--force]\n"
     "                 import a post-stack SEG-Y survey with its geometry, corners\n"
     "                 and dead traces\n"},
    {"info",
     "  info [--json] FILE\n"
     "                 describe a volume file (format, geometry, annotation,\n"
     "                 statistics, histogram, brick and tile tables)\n"},
    {"read",
     "  read FILE --lod L --start i,j,k --size ni,nj,nk [--type float|int16|int8|raw]\n"
     "       [--order 0..5] -o OUT\n"
     "                 write a box of samples to OUT (.npy, or raw little-endian;\n"
     "                 -o - writes .npy to standard output); what lies past the\n"
     "                 level's edge reads as zero\n"
     "  read FILE --flags --lod L --start i,j --size ni,nj -o OUT\n"
     "                 write the grid flags of those traces (0 dead) as uint8\n"},
    {"scan",
     "  scan IN [--bricks N] [--seed N] [--threads N] [--json] [--plot OUT.svg]\n"
     "                 estimate the size of a compressed copy for every SQNR from\n"
     "                 about N bricks of every level (default 24), drawn with seed N\n"
     "                 (default 1) and coded as the copy codes them\n"},
    {"slice",
     "  slice FILE (--inline N | --crossline N | --time T) [--lod L] [--clip P]\n"
     "        [--cmap gray|seismic] -o OUT.png\n"
     "                 draw one slice, addressed by the survey's own numbers, as a\n"
     "                 PNG clipped at the P-th percentile of |amplitude| (default 99)\n"},
    {"version", "  version        print the library version\n"},
};

void printHelp() {
  std::printf(
      "tyq %s - bricked 3-D seismic volume storage\n"
      "\n"
      "Usage: tyq [-v] COMMAND [ARGS]\n"
      "\n"
      "Commands:\n",
      Qra::Ostrel::Tyq::versionString());
  for (const CommandHelp& c : kCommands) std::fputs(c.text, stdout);
  std::printf(
      "  -v             add the library's operation trail to error messages\n"
      "  --help, help   print this text; COMMAND --help prints the command's own\n"
      "  Long commands end on Ctrl-C with exit code 130, leaving no partial output\n");
}

bool asksForHelp(const char* arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

// COMMAND --help (or -h) anywhere among its arguments: its usage, exit code
// 0. False when the command is unknown or did not ask.
bool printCommandHelp(const std::string& command, int argc, char** argv) {
  if (std::none_of(argv, argv + argc, asksForHelp)) return false;
  for (const CommandHelp& c : kCommands) {
    if (command != c.name) continue;
    std::printf("Usage: tyq [-v]%s", c.text + 1);
    return true;
  }
  return false;
}

using Command = int (*)(int, char**);

Command findCommand(const std::string& name) {
  static const std::pair<const char*, Command> kRun[] = {
      {"compare", tyq_tool::runCompare},
      {"compress", tyq_tool::runCompress},
      {"create", tyq_tool::runCreate},
      {"demo", tyq_tool::runDemo},
      {"info", tyq_tool::runInfo},
      {"export-segy", tyq_tool::runExportSegy},
      {"import-segy", tyq_tool::runImportSegy},
      {"read", tyq_tool::runRead},
      {"scan", tyq_tool::runScan},
      {"slice", tyq_tool::runSlice},
  };
  for (const auto& [command, run] : kRun) {
    if (name == command) return run;
  }
  return nullptr;
}

// What a command printed may still sit in the buffer: a full disk or a
// closed pipe behind standard output is a failure, not a success.
int checkStandardOutput(const std::string& command, int rc) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int error = errno;
  if (flushed && !std::ferror(stdout)) return rc;
  std::fprintf(stderr, "tyq %s: writing standard output failed%s%s\n", command.c_str(),
               error != 0 ? ": " : "", error != 0 ? std::strerror(error) : "");
  return rc == 0 ? 1 : rc;
}

}  // namespace

int main(int argc, char** argv) {
  // -v anywhere asks for the library's operation trail in error messages.
  int kept = 1;
  for (int a = 1; a < argc; ++a) {
    const bool verbose = std::strcmp(argv[a], "-v") == 0 || std::strcmp(argv[a], "--verbose") == 0;
    if (verbose) tyq_tool::setVerbose(true);
    if (!verbose) argv[kept++] = argv[a];
  }
  argc = kept;
  // A file-size limit then fails the write that meets it, which says so,
  // instead of killing the process without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    printHelp();
    return 2;
  }
  const std::string command = argv[1];
  if (command == "help" && argc > 2) {
    char help[] = "--help";
    char* asks[] = {help};
    if (printCommandHelp(argv[2], 1, asks)) return 0;
  }
  if (command == "--help" || command == "-h" || command == "help") {
    printHelp();
    return 0;
  }
  if (printCommandHelp(command, argc - 2, argv + 2)) return 0;
  if (command == "version" || command == "--version") {
    std::printf("tyq %s\n", Qra::Ostrel::Tyq::versionString());
    return checkStandardOutput(command, 0);
  }
  if (const Command run = findCommand(command)) {
    return checkStandardOutput(command, run(argc - 2, argv + 2));
  }
  std::fprintf(stderr, "tyq: unknown command \"%s\" (try tyq --help)\n", command.c_str());
  return 2;
}
