// Count and sums of compressed files: those of the live samples written,
// kept across reopening, and never a reason to refuse a file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "compressed/volume_util.h"
#include "support/temp_dir.h"

namespace {

using namespace tyq_test;

struct Sums {
  int64_t count = 0;
  double sum = 0, squares = 0;
};

// A 70 x 40 x 90 volume whose traces with (i + 2 j) % 7 == 0 are dead and
// hold samples far outside the live range, so that counting them shows.
Sums writeWithDeadTraces(const std::string& name) {
  const int size[3] = {70, 40, 90}, start[3] = {0, 0, 0};
  std::vector<float> samples = volumeBox(start, size);
  std::vector<unsigned char> flags(static_cast<size_t>(size[0]) * size[1]);
  Sums sums;
  for (int i = 0; i < size[0]; ++i) {
    for (int j = 0; j < size[1]; ++j) {
      const bool live = (i + 2 * j) % 7 != 0;
      flags[static_cast<size_t>(i) * size[1] + j] = live;
      for (int k = 0; k < size[2]; ++k) {
        float& v = samples[(static_cast<size_t>(i) * size[1] + j) * size[2] + k];
        if (!live) v = 1e6f;
        if (!live) continue;
        ++sums.count;
        sums.sum += v;
        sums.squares += double{v} * v;
      }
    }
  }
  auto writer = compressedWriter(name, volumeInfo(size[0], size[1], size[2]), 30.0f);
  Status status;
  EXPECT_TRUE(writer->WriteGridFlags(0, 0, 0, size[0], size[1], flags.data(), &status));
  EXPECT_TRUE(writer->WriteData(0, 0, 0, 0, size[0], size[1], size[2], samples.data(), &status))
      << status.message();
  EXPECT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  return sums;
}

std::string readBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FA::DataInfo reopened(const std::string& name) {
  FA::DataInfo info;
  auto reader = traceReader(name);
  EXPECT_TRUE(reader);
  if (reader) {
    EXPECT_TRUE(reader->GetDataInfo(info, nullptr));
  }
  return info;
}

TEST(CompressedStatistics, LiveSamplesAreCountedAndSummedAcrossReopening) {
  TempDir dir;
  const std::string name = dir.file("dead.vcs");
  const Sums sums = writeWithDeadTraces(name);
  const FA::DataInfo info = reopened(name);
  EXPECT_EQ(info.statCount, sums.count);
  // Samples reach about 840 in magnitude.
  EXPECT_NEAR(info.statSum, sums.sum, 1e-9 * 840.0 * static_cast<double>(sums.count));
  EXPECT_NEAR(info.statSumOfSquares, sums.squares, 1e-9 * sums.squares);
  EXPECT_LT(info.statMax, 1e6f);
  FA::Histogram hist;
  auto reader = traceReader(name);
  ASSERT_TRUE(reader->GetDataHist(hist, nullptr));
  EXPECT_EQ(hist.count, sums.count);
}

// The record sits in a slot other writers leave 0; a damaged or foreign one
// costs the figures, not the file.
TEST(CompressedStatistics, ADamagedRecordIsPassedOver) {
  TempDir dir;
  const std::string name = dir.file("damaged.vcs");
  writeWithDeadTraces(name);
  std::string bytes = readBytes(name);
  // The slot's position, stored high half first.
  const uint32_t position = static_cast<uint8_t>(bytes[20]) | static_cast<uint8_t>(bytes[21]) << 8 |
                            static_cast<uint32_t>(static_cast<uint8_t>(bytes[22])) << 16;
  ASSERT_GT(position, 48u);
  ASSERT_EQ(bytes.substr(position, 4), "STAT");
  const auto rewrite = [&](const std::string& changed) {
    std::ofstream(name, std::ios::binary)
        .write(changed.data(), static_cast<std::streamsize>(changed.size()));
  };
  std::string wrongCount = bytes;
  wrongCount[position + 4] ^= 1;
  rewrite(wrongCount);
  FA::DataInfo info = reopened(name);
  EXPECT_EQ(info.statCount, 0);
  EXPECT_EQ(info.statSum, 0.0);
  std::string outside = bytes;
  outside[23] = '\x7f';  // the slot points past the end
  rewrite(outside);
  info = reopened(name);
  EXPECT_EQ(info.statCount, 0);
  EXPECT_GT(info.statMax, 0.0f);  // the histogram's figures stay
}

}  // namespace
