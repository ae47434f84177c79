// What a command may write: only regular files are replaced, never one that
// another process is writing, never the command's own input; and the
// temporaries of dead runs are cleared without touching anyone else's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "command_runner.h"
#include "compress_command.h"
#include "create_command.h"
#include "output_test_util.h"
#include "read_command.h"
#include "scan_command.h"
#include "segy_export.h"
#include "segy_import.h"
#include "slice_command.h"

namespace tyq_tool {
namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

struct Inputs {
  std::string volume, segy, npy;
};

Inputs makeInputs(const tyq_test::TempDir& dir) {
  Inputs in;
  in.volume = smallVolume(dir, "in.vbs");
  in.segy = surveyCopy(dir, "in.sgy");
  std::vector<float> values(16 * 16 * 16);
  for (size_t s = 0; s < values.size(); ++s) values[s] = static_cast<float>(s % 97) - 40.0f;
  writeNpy(dir.file("in.npy"), "<f4", values, {16, 16, 16});
  in.npy = dir.file("in.npy");
  return in;
}

// Every command that writes a file, aimed at `out`.
std::vector<std::pair<int (*)(int, char**), std::vector<std::string>>> writers(
    const Inputs& in, const std::string& out) {
  return {
      {runCreate, {out, "--from", in.npy, "--force"}},
      {runCreate, {out, "--from", in.npy, "--sqnr", "30", "--force"}},
      {runImportSegy, {in.segy, out, "--force"}},
      {runImportSegy, {in.segy, out, "--sqnr", "30", "--force"}},
      {runExportSegy, {in.volume, out, "--force"}},
      {runCompress, {in.volume, out, "--sqnr", "30"}},
  };
}

TEST(OutputKinds, OnlyRegularFilesAreEverReplaced) {
  tyq_test::TempDir dir;
  const Inputs in = makeInputs(dir);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
  ASSERT_EQ(::symlink(dir.file("fifo").c_str(), dir.file("link").c_str()), 0);
  std::vector<std::string> targets = {dir.file("fifo"), dir.file("folder"), dir.file("link")};
  // A node like /dev/null, where the system lets us make one.
  if (::mknod(dir.file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    targets.push_back(dir.file("null"));
  }
  for (const std::string& target : targets) {
    const mode_t kind = kindOf(target);
    for (auto& [command, args] : writers(in, target)) {
      std::string err;
      EXPECT_EQ(runCommand(command, args, &err), 1) << args[0] << " -> " << target;
      EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
      EXPECT_EQ(kindOf(target), kind) << target;
    }
  }
  // Commands that may stream still refuse what cannot take a stream.
  const std::string folder = dir.file("folder");
  EXPECT_EQ(runCommand(runSlice, {in.volume, "--inline", "100", "-o", folder}), 1);
  EXPECT_EQ(runCommand(runScan, {in.volume, "--bricks", "1", "--plot", folder}), 1);
  EXPECT_EQ(runCommand(runRead, {in.volume, "--lod", "0", "--start", "0,0,0", "--size", "2,2,2",
                                 "-o", folder}),
            1);
  EXPECT_EQ(kindOf(folder), static_cast<mode_t>(S_IFDIR));
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

// Reads everything a command writes into `fifo`.
std::string drain(const std::string& fifo) {
  std::ifstream in(fifo, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(OutputKinds, ANamedPipeIsWrittenIntoNotReplaced) {
  tyq_test::TempDir dir;
  const std::string volume = smallVolume(dir, "in.vbs");
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string picture;
  std::thread reader([&] { picture = drain(fifo); });
  EXPECT_EQ(runCommand(runSlice, {volume, "--inline", "100", "-o", fifo}), 0);
  reader.join();
  EXPECT_EQ(picture.substr(0, 4), "\x89PNG");
  std::string array;
  std::thread second([&] { array = drain(fifo); });
  EXPECT_EQ(runCommand(runRead,
                       {volume, "--lod", "0", "--start", "0,0,0", "--size", "2,3,4", "-o", fifo}),
            0);
  second.join();
  EXPECT_EQ(array.size(), 2u * 3 * 4 * 4);
  EXPECT_EQ(kindOf(fifo), static_cast<mode_t>(S_IFIFO));
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"in.vbs", "pipe"}));
}

TEST(OutputKinds, ALinkKeepsPointingAtTheFileItNames) {
  tyq_test::TempDir dir;
  const Inputs in = makeInputs(dir);
  ASSERT_EQ(runCommand(runCreate, {dir.file("real.vbs"), "--from", in.npy}), 0);
  ASSERT_EQ(::symlink("real.vbs", dir.file("link.vbs").c_str()), 0);
  ASSERT_EQ(
      runCommand(runCreate, {dir.file("link.vbs"), "--from", in.npy, "--type", "int16", "--force"}),
      0);
  EXPECT_EQ(kindOf(dir.file("link.vbs")), static_cast<mode_t>(S_IFLNK));
  EXPECT_EQ(tyq_test::fileInfoOf(dir.file("real.vbs")).dataType, FA::DataTypeEnum::Int16);
  // Written through, as to /dev/stdout redirected to a file.
  std::ofstream(dir.file("real.raw")) << "old";
  ASSERT_EQ(::symlink("real.raw", dir.file("link.raw").c_str()), 0);
  ASSERT_EQ(runCommand(runRead, {in.volume, "--lod", "0", "--start", "0,0,0", "--size", "2,2,2",
                                 "-o", dir.file("link.raw")}),
            0);
  EXPECT_EQ(kindOf(dir.file("link.raw")), static_cast<mode_t>(S_IFLNK));
  EXPECT_EQ(readWholeFile(dir.file("real.raw")).size(), 8u * 4);
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"in.npy", "in.sgy", "in.vbs", "link.raw",
                                                           "link.vbs", "real.raw", "real.vbs"}));
}

TEST(OutputClaim, AVolumeAnotherWriterHoldsIsNotReplaced) {
  tyq_test::TempDir dir;
  const Inputs in = makeInputs(dir);
  const std::string busy = dir.file("busy.vbs");
  FA::DataInfo info;
  info.SetExtent(1, 1, 20, 1, 1, 20, 0, 4, 20, false);
  FA::AutoRef<FA::Writer> writer;
  Qra::Ostrel::Tyq::Private::Status status;
  ASSERT_EQ(FA::Tyq::CreateTyqWriter(writer, busy, info, FA::DataTypeEnum::Float32,
                                     FA::TyqOptions(), &status, -1, 1),
            0)
      << status.message();
  for (auto& [command, args] : writers(in, busy)) {
    if (command == runCompress) continue;  // a copy never replaces anything
    std::string err;
    EXPECT_EQ(runCommand(command, args, &err), 1) << args[0];
    EXPECT_NE(err.find("open for writing in another process"), std::string::npos) << err;
  }
  // The writer's work survives, and once it is done the file may be replaced.
  std::vector<float> ones(20 * 20 * 20, 0.5f);
  ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, 20, 20, 20, ones.data(), &status));
  ASSERT_TRUE(writer->Finalize(false, true, &status)) << status.message();
  writer = FA::AutoRef<FA::Writer>();
  EXPECT_EQ(tyq_test::readLevel(busy, 0), ones);
  EXPECT_EQ(runCommand(runCreate, {busy, "--from", in.npy, "--force"}), 0);
}

TEST(OutputIdentity, NoCommandWritesOverItsOwnInput) {
  tyq_test::TempDir dir;
  const Inputs in = makeInputs(dir);
  ASSERT_EQ(::symlink(in.volume.c_str(), dir.file("alias.vbs").c_str()), 0);
  ASSERT_EQ(::link(in.volume.c_str(), dir.file("hard.vbs").c_str()), 0);
  const std::string volume = readWholeFile(in.volume), segy = readWholeFile(in.segy),
                    npy = readWholeFile(in.npy);
  const std::vector<std::pair<int (*)(int, char**), std::vector<std::string>>> runs = {
      {runSlice, {in.volume, "--inline", "100", "-o", in.volume}},
      {runSlice, {in.volume, "--inline", "100", "-o", dir.file("hard.vbs")}},
      {runScan, {in.volume, "--bricks", "1", "--plot", dir.file("alias.vbs")}},
      {runImportSegy, {in.segy, in.segy, "--force"}},
      {runExportSegy, {in.volume, in.volume, "--force"}},
      {runExportSegy, {in.volume, dir.file("hard.vbs"), "--force"}},
      {runCompress, {in.volume, dir.file("alias.vbs"), "--sqnr", "30"}},
      {runCreate, {in.npy, "--from", in.npy, "--force"}},
  };
  for (const auto& [command, args] : runs) {
    std::string err;
    EXPECT_EQ(runCommand(command, args, &err), 1) << args[0];
    EXPECT_NE(err.find("is the input"), std::string::npos) << err;
  }
  EXPECT_EQ(readWholeFile(in.volume), volume);
  EXPECT_EQ(readWholeFile(in.segy), segy);
  EXPECT_EQ(readWholeFile(in.npy), npy);
  EXPECT_EQ(kindOf(dir.file("alias.vbs")), static_cast<mode_t>(S_IFLNK));
}

pid_t deadPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST(OutputLeftovers, ADeadRunsTemporariesGoAndNothingElse) {
  tyq_test::TempDir dir;
  const Inputs in = makeInputs(dir);
  const std::string dead = std::to_string(deadPid());
  const std::vector<std::string> gone = {"out.vbs.partial-" + dead + "-a1B2c3",
                                         "out.vbs.partial-" + dead + "-a1B2c3.compressed"};
  const std::vector<std::string> kept = {
      "out.vbs.partial-1-a1B2c3",                 // a live process
      "out.vbs.partial-a1B2c3",                   // no process id
      "out.vbs.partial-" + dead + "-a1B2c3d",     // not the pattern
      "out.vbs.partial-" + dead + "-a1B2c3.bak",  // not the pattern
      "other.vbs.partial-" + dead + "-a1B2c3",    // another output's
      "xout.vbs.partial-" + dead + "-a1B2c3",     // another output's
  };
  for (const auto& name : gone) std::ofstream(dir.file(name)) << "partial";
  for (const auto& name : kept) std::ofstream(dir.file(name)) << "partial";
  // A link of the pattern is not a temporary of ours, whatever it points to.
  const std::string link = "out.vbs.partial-" + dead + "-zzzzzz";
  ASSERT_EQ(::symlink(in.npy.c_str(), dir.file(link).c_str()), 0);
  const std::vector<std::string> before = entries(dir.path());
  ASSERT_EQ(runCommand(runCreate, {dir.file("out.vbs"), "--from", in.npy}), 0);
  std::vector<std::string> expected;
  for (const auto& name : before) {
    if (std::find(gone.begin(), gone.end(), name) == gone.end()) expected.push_back(name);
  }
  expected.push_back("out.vbs");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries(dir.path()), expected);
}

}  // namespace
}  // namespace tyq_tool
