// The tools' reader and writer adaptors: the dead value band of integer
// codings and trace flags derived from the samples.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/temp_dir.h"
#include "tools/tool_util.h"

namespace {

using namespace tyq_test;
namespace IO = Tyq::TyqCompressIO;

TEST(CompressIO, TheDeadBandSurroundsTheCodeOfZero) {
  TempDir dir;
  const int size[3] = {8, 8, 8};
  const auto zero = [](int, int, int) { return 0.0f; };
  struct Case {
    FA::DataTypeEnum::value_type type;
    float lo, hi, low, high;
  };
  // 8-bit over [-100, 155]: steps of 1 with a code on 0. 8-bit over
  // [-127.5, 127.5]: no code on 0. 16-bit: steps of 65535 / 65535. Float: none.
  const Case cases[] = {{FA::DataTypeEnum::Int8, -100, 155, -0.5f, 0.5f},
                        {FA::DataTypeEnum::UInt8, -127.5f, 127.5f, 0, 0},
                        {FA::DataTypeEnum::Int16, -32767, 32768, -0.5f, 0.5f},
                        {FA::DataTypeEnum::Float32, -1, 1, 0, 0}};
  for (const Case& c : cases) {
    const std::string name = dir.file("v" + std::to_string(c.type) + ".vbs");
    ASSERT_TRUE(writeVolume(name, size, zero, c.type, c.lo, c.hi));
    IO::Reader reader;
    Status status;
    ASSERT_TRUE(reader.open(name, FA::StorageOrderEnum::TraceOptimized(), &status));
    EXPECT_FLOAT_EQ(reader.deadLow(), c.low) << c.type;
    EXPECT_FLOAT_EQ(reader.deadHigh(), c.high) << c.type;
    EXPECT_EQ(reader.sampleSize(), FA::DataTypeEnum::Size(c.type));
    EXPECT_EQ(reader.sqnr(), -1.0f);
    EXPECT_EQ(reader.size(2, 3), 1);
    EXPECT_EQ(reader.size0(1), 4);
  }
}

TEST(CompressIO, ACopyMarksTracesDeadWhereEverySampleIsTheStoredZero) {
  TempDir dir;
  const std::string in = dir.file("in.vbs"), out = dir.file("out.vcs");
  const int size[3] = {64, 64, 64};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // Inline 0: zeros (dead); inline 1: one NaN among zeros (live); others live.
  const auto f = [nan](int i, int j, int k) {
    if (i == 0) return 0.0f;
    if (i == 1) return k == 5 ? nan : 0.0f;
    return seismic(i, j, k);
  };
  ASSERT_TRUE(writeVolume(in, size, f));
  ASSERT_TRUE(Tyq::TyqCompressCopy::run(in, out, 30, false, nullptr, nullptr));
  FA::AutoRef<FA::Reader> reader;
  Status status;
  ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, out, FA::TyqOptions(), &status), 0);
  ASSERT_TRUE(reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status));
  std::vector<unsigned char> flags(64 * 64);
  ASSERT_TRUE(reader->ReadGridFlags(0, 0, 0, 64, 64, flags.data(), &status));
  for (int j = 0; j < 64; ++j) {
    EXPECT_EQ(flags[j], 0) << j;
    EXPECT_NE(flags[64 + j], 0) << j;
    EXPECT_NE(flags[2 * 64 + j], 0) << j;
  }
}

TEST(CompressIO, AWriterWithoutFileReportsNoSize) {
  IO::Writer writer;
  EXPECT_EQ(writer.fileSize(), -1);
  EXPECT_EQ(writer.compressionFactor(), 1.0f);
  Status status;
  EXPECT_FALSE(writer.close(&status));
  EXPECT_FALSE(writer.write(IO::WorkItem(), nullptr, 4, 0, 0, &status));
}

}  // namespace
