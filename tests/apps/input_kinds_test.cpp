// What a command may read: only regular files. A FIFO would make the open,
// or the first read, wait forever for a writer; a folder is no input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "command_runner.h"
#include "compress_command.h"
#include "info_command.h"
#include "output_test_util.h"
#include "read_command.h"
#include "scan_command.h"
#include "segy_export.h"
#include "segy_import.h"
#include "slice_command.h"

namespace tyq_tool {
namespace {

TEST(InputKinds, EveryCommandRefusesAFifoOrFolderAtOnce) {
  tyq_test::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
  for (const std::string& input : {dir.file("fifo"), dir.file("folder")}) {
    const std::string out = dir.file("out");
    const std::vector<std::pair<int (*)(int, char**), std::vector<std::string>>> runs = {
        {runImportSegy, {input, out}},
        {runImportSegy, {input, out, "--sqnr", "30"}},
        {runExportSegy, {input, out}},
        {runCompress, {input, out, "--sqnr", "30"}},
        {runSlice, {input, "--inline", "1", "-o", out}},
        {runScan, {input, "--bricks", "1"}},
        {runInfo, {input}},
        {runRead, {input, "--lod", "0", "--start", "0,0,0", "--size", "1,1,1", "-o", out}},
    };
    for (const auto& [command, args] : runs) {
      // A hang ends by the alarm, as a signal rather than an exit code.
      EXPECT_EQ(runInChild(command, args, 10), 1) << input << " " << args.size();
    }
    // In this process only once it is known not to hang.
    std::string err;
    if (runInChild(runImportSegy, {input, out}, 10) != 1) continue;
    EXPECT_EQ(runCommand(runImportSegy, {input, out}, &err), 1);
    EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
  }
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"fifo", "folder"}));
}

}  // namespace
}  // namespace tyq_tool
