// The compress copy: refusals before anything is written, a compressed and
// an uncompressed copy, cancelling, and failures that must not leave a
// partial output behind.
#include <gtest/gtest.h>

#include <memory>

#include "support/fault_injection.h"
#include "support/temp_dir.h"
#include "tools/tool_util.h"

namespace {

using namespace tyq_test;
using Tyq::TyqCompressCopy;
constexpr int kSize[3] = {150, 70, 90};

class CompressCopy : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(writeVolume(input_, kSize, seismic)); }

  TempDir dir_;
  std::string input_ = dir_.file("in.vbs");
  Recorder calls_;
};

TEST_F(CompressCopy, OntoItselfIsRefusedBeforeAnythingIsOpened) {
  EXPECT_FALSE(TyqCompressCopy::run(input_, input_, 30, false, Recorder::callback, &calls_));
  ASSERT_EQ(calls_.calls.size(), 2u);
  EXPECT_EQ(calls_.calls[0].state, Tyq::TyqCompressStarting);
  EXPECT_EQ(calls_.calls[0].a, -1);
  EXPECT_EQ(calls_.last().state, Tyq::TyqCompressFailed);
  EXPECT_EQ(calls_.last().text, "Input- and output file names must not be identical");
  EXPECT_EQ(calls_.last().a, 0);
  EXPECT_EQ(calls_.last().b, -1);
  EXPECT_EQ(calls_.last().percent, 100.0f);
  EXPECT_FALSE(readLevel(input_, 0).empty());
}

TEST_F(CompressCopy, AnExistingOutputIsRefusedAndKept) {
  const std::string out = dir_.file("taken.vcs");
  ASSERT_TRUE(writeVolume(out, kSize, seismic));
  TyqCompressCopy copy(input_, out, 30, false, Recorder::callback, &calls_);
  EXPECT_FALSE(copy.open(1));
  EXPECT_EQ(copy.message(), "The output file should not already exist");
  EXPECT_FALSE(copy.close());
  EXPECT_EQ(calls_.count(Tyq::TyqCompressFailed), 1);
  EXPECT_FALSE(readLevel(out, 0).empty());
}

TEST_F(CompressCopy, CancelAtStartLeavesNoOutput) {
  const std::string out = dir_.file("out.vcs");
  calls_.answer = [](const Call& c) { return c.state != Tyq::TyqCompressStarting; };
  EXPECT_FALSE(TyqCompressCopy::run(input_, out, 30, false, Recorder::callback, &calls_));
  EXPECT_EQ(calls_.last().state, Tyq::TyqCompressFailed);
  EXPECT_EQ(calls_.last().text, "Cancelled before starting");
  EXPECT_FALSE(exists(out));
}

TEST_F(CompressCopy, CancelDuringTheCopyDeletesThePartialOutput) {
  const std::string out = dir_.file("out.vcs");
  calls_.answer = [](const Call& c) { return c.state != Tyq::TyqCompressProgress; };
  EXPECT_FALSE(TyqCompressCopy::run(input_, out, 30, false, Recorder::callback, &calls_));
  EXPECT_EQ(calls_.count(Tyq::TyqCompressProgress), 1);
  EXPECT_EQ(calls_.last().text, "Cancelled");
  EXPECT_FALSE(exists(out));
}

TEST_F(CompressCopy, CompressesEveryLevelAndReportsTheOutput) {
  const std::string out = dir_.file("out.vcs");
  ASSERT_TRUE(TyqCompressCopy::run(input_, out, 30, false, Recorder::callback, &calls_))
      << calls_.last().text;
  const FA::FileInfo in = fileInfoOf(input_), info = fileInfoOf(out);
  EXPECT_EQ(info.coding, FA::CodingTypeEnum::Compressed);
  EXPECT_FLOAT_EQ(info.sqnr, 30.0f);
  const Call& done = calls_.last();
  EXPECT_EQ(done.state, Tyq::TyqCompressFinished);
  EXPECT_EQ(done.a, in.fileSize);
  EXPECT_EQ(done.b, static_cast<int64_t>(std::filesystem::file_size(out)));
  EXPECT_GT(done.ratio, 1.0f);
  // Progress climbs from 1 to 95, compressed size unknown until the end.
  float before = 0;
  for (const Call& c : calls_.calls) {
    if (c.state != Tyq::TyqCompressProgress) continue;
    EXPECT_GE(c.percent, before);
    EXPECT_GE(c.percent, 1.0f);
    EXPECT_LE(c.percent, 95.0f);
    EXPECT_EQ(c.ratio, 0.0f);
    before = c.percent;
  }
  EXPECT_EQ(before, 95.0f);
  for (int level = 0; level < info.numberOfLods; ++level) {
    const std::vector<float> a = readLevel(input_, level), b = readLevel(out, level);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_GT(Qra::Ostrel::Tyq::Private::Compressor3d::calculateSQNR(static_cast<int64_t>(a.size()),
                                                                     a.data(), b.data()),
              level == 0 ? 27.0f : 15.0f)
        << "level " << level;
  }
}

TEST_F(CompressCopy, RecompressingNeedsAClearlyLowerQuality) {
  const std::string at30 = dir_.file("30.vcs");
  ASSERT_TRUE(TyqCompressCopy::run(input_, at30, 30, false, nullptr, nullptr));
  const std::string refused = dir_.file("30.05.vcs");
  TyqCompressCopy copy(at30, refused, 30.05f, false, nullptr, nullptr);
  EXPECT_FALSE(copy.open(2));
  EXPECT_EQ(copy.message(),
            "Source file is already compressed with the same or lower SQNR. It is not possible to "
            "obtain the requested quality.");
  EXPECT_FALSE(exists(refused));
  const std::string at20 = dir_.file("20.vcs");
  ASSERT_TRUE(TyqCompressCopy::run(at30, at20, 20, false, nullptr, nullptr));
  EXPECT_FLOAT_EQ(fileInfoOf(at20).sqnr, 20.0f);
  EXPECT_EQ(readLevel(at20, 0).size(), readLevel(input_, 0).size());
}

TEST_F(CompressCopy, UncompressedCopyIsExactAndSingleThreaded) {
  const std::string in16 = dir_.file("in16.vbs"), out = dir_.file("out.vbs");
  ASSERT_TRUE(writeVolume(in16, kSize, seismic, FA::DataTypeEnum::Int16, -1500, 1500));
  TyqCompressCopy two(in16, out, 0, false, nullptr, nullptr);
  EXPECT_FALSE(two.open(2));
  EXPECT_EQ(two.message(), "Writing an uncompressed file is not thread safe");
  ASSERT_TRUE(TyqCompressCopy::run(in16, out, 0, false, Recorder::callback, &calls_));
  EXPECT_EQ(calls_.last().ratio, 1.0f);
  const FA::FileInfo info = fileInfoOf(out);
  EXPECT_EQ(info.dataType, FA::DataTypeEnum::Int16);
  for (int level = 0; level < info.numberOfLods; ++level) {
    EXPECT_EQ(readLevel(in16, level), readLevel(out, level)) << "level " << level;
  }
}

TEST_F(CompressCopy, AThreadIndexNotGivenToOpenFailsTheCopy) {
  const std::string out = dir_.file("out.vcs");
  TyqCompressCopy copy(input_, out, 30, false, nullptr, nullptr);
  ASSERT_TRUE(copy.open(2));
  EXPECT_FALSE(copy.copy(0, 2));
  EXPECT_EQ(copy.message(),
            "Internal error, no buffer allocated for this thread. Did you call open()?");
  EXPECT_FALSE(copy.copy(1, 0));  // nothing more happens after the first error
  EXPECT_FALSE(copy.close());
  EXPECT_FALSE(exists(out));
  TyqCompressCopy range(input_, out, 30, false, nullptr, nullptr);
  ASSERT_TRUE(range.open(1));
  EXPECT_FALSE(range.copy(range.size(), 0));
  EXPECT_EQ(range.message(), "Internal error, brick number out of range");
}

TEST_F(CompressCopy, AFullDiskEndsInFailureWithoutOutput) {
  const std::string out = dir_.file("out.vcs");
  auto state = std::make_shared<FaultState>();
  state->sizeLimit = 30000;
  FA::FileFactory::setInstanceGiveOwnership(new FaultInjectionFactory(state));
  const bool ok = TyqCompressCopy::run(input_, out, 40, false, Recorder::callback, &calls_);
  delete FA::FileFactory::getInstanceTakeOwnership();
  EXPECT_FALSE(ok);
  EXPECT_EQ(calls_.last().state, Tyq::TyqCompressFailed);
  EXPECT_NE(calls_.last().text.find("No space left"), std::string::npos) << calls_.last().text;
  EXPECT_FALSE(exists(out));
}

TEST_F(CompressCopy, AnOpenLeftWithoutCloseLeavesNoOutput) {
  const std::string out = dir_.file("out.vcs");
  {
    TyqCompressCopy copy(input_, out, 30, false, nullptr, nullptr);
    ASSERT_TRUE(copy.open(1));
    ASSERT_TRUE(copy.copy(0, 0));
  }
  EXPECT_FALSE(exists(out));
}

}  // namespace
