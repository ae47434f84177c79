// tyq read: boxes over the level's edge and beyond its levels,
// and raw reads of every sample type the accessor stores.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "command_runner.h"
#include "read_command.h"
#include "support/temp_dir.h"
#include "tyq/tyq.h"

namespace tyq_tool {
namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

constexpr int kSize[3] = {70, 50, 40};  // two bricks along i, one along j and k

template <typename T>
T codeAt(int i, int j, int k, T base) {
  return static_cast<T>(base + static_cast<T>((i * 7 + j * 13 + k * 29) % 50));
}

// A volume whose first brick holds distinct codes near the top (or bottom)
// of the type's range, written raw; the second brick is left absent.
template <typename T>
std::string writeCodes(const tyq_test::TempDir& dir, FA::DataTypeEnum::value_type type, T base) {
  const std::string name = dir.file(std::string("codes") + std::to_string(type) + ".vbs");
  FA::DataInfo info;
  info.SetExtent(0, 1, kSize[0], 0, 1, kSize[1], 0, 1, kSize[2], false);
  FA::AutoRef<FA::Writer> writer;
  EXPECT_EQ(
      FA::Tyq::CreateTyqWriter(writer, name, info, type, FA::TyqOptions(), nullptr, -1000, 1000),
      0);
  std::vector<T> brick(64 * 64 * 64);
  for (int i = 0; i < 64; ++i) {
    for (int j = 0; j < 64; ++j) {
      for (int k = 0; k < 64; ++k) brick[(i * 64 + j) * 64 + k] = codeAt(i, j, k, base);
    }
  }
  const void* bricks[1] = {brick.data()};
  EXPECT_TRUE(writer->WriteRawBrick(0, 0, 0, 0, 1, 1, 1, bricks, nullptr));
  EXPECT_TRUE(writer->Finalize(false, false, nullptr));
  return name;
}

// Reads box (10, 20, 5) + (60, 30, 35) raw in storage order 0 and 5 and
// compares it with the codes written, zeros past the first brick.
template <typename T>
void expectRawCodes(const tyq_test::TempDir& dir, FA::DataTypeEnum::value_type type, T base,
                    const char* npyType) {
  const std::string name = writeCodes(dir, type, base);
  const int start[3] = {10, 20, 5}, size[3] = {60, 30, 35};
  for (const char* order : {"0", "5"}) {
    const std::string out = dir.file("box.raw");
    ASSERT_EQ(runCommand(runRead, {name, "--lod", "0", "--start", "10,20,5", "--size", "60,30,35",
                                   "--type", "raw", "--order", order, "-o", out}),
              0)
        << FA::DataTypeEnum::Name(type);
    const std::string bytes = readWholeFile(out);
    ASSERT_EQ(bytes.size(), sizeof(T) * size[0] * size[1] * size[2]);
    const T* codes = reinterpret_cast<const T*>(bytes.data());
    int mismatches = 0;
    for (int i = 0; i < size[0]; ++i) {
      for (int j = 0; j < size[1]; ++j) {
        for (int k = 0; k < size[2]; ++k) {
          const int at =
              order[0] == '0' ? (i * size[1] + j) * size[2] + k : (k * size[1] + j) * size[0] + i;
          const int gi = start[0] + i, gj = start[1] + j, gk = start[2] + k;
          const T expected = gi < 64 ? codeAt(gi, gj, gk, base) : T{0};
          mismatches += std::memcmp(&codes[at], &expected, sizeof(T)) != 0;
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << FA::DataTypeEnum::Name(type) << ", order " << order;
  }
  ASSERT_EQ(runCommand(runRead, {name, "--lod", "0", "--start", "0,0,0", "--size", "2,2,2",
                                 "--type", "raw", "-o", dir.file("box.npy")}),
            0);
  EXPECT_NE(readWholeFile(dir.file("box.npy")).find(std::string("'descr': '") + npyType + "'"),
            std::string::npos);
}

TEST(ReadRaw, EveryStoredIntegerAndFloatTypeComesBackUnconverted) {
  tyq_test::TempDir dir;
  expectRawCodes<unsigned char>(dir, FA::DataTypeEnum::UInt8, 200, "|u1");
  expectRawCodes<signed char>(dir, FA::DataTypeEnum::Int8, -120, "|i1");
  expectRawCodes<unsigned short>(dir, FA::DataTypeEnum::UInt16, 65000, "<u2");
  expectRawCodes<short>(dir, FA::DataTypeEnum::Int16, -32000, "<i2");
  expectRawCodes<int>(dir, FA::DataTypeEnum::Int32, -2000000000, "<i4");
  expectRawCodes<unsigned int>(dir, FA::DataTypeEnum::UInt32, 4000000000u, "<u4");
  expectRawCodes<float>(dir, FA::DataTypeEnum::Float32, 0.25f, "<f4");
}

// As the library reads it: a box over the level's edge (on either side) is
// read, with zeros outside; only a box wholly outside is refused.
TEST(ReadBox, ABoxOverTheEdgeReadsZerosOutsideTheLevel) {
  tyq_test::TempDir dir;
  const std::string name = writeCodes<short>(dir, FA::DataTypeEnum::Int16, 1);
  const std::string out = dir.file("edge.raw");
  for (const char* type : {"int16", "raw"}) {
    ASSERT_EQ(runCommand(runRead, {name, "--lod", "0", "--start", "-2,48,38", "--size", "4,4,4",
                                   "--type", type, "-o", out}),
              0)
        << type;
    const std::string bytes = readWholeFile(out);
    ASSERT_EQ(bytes.size(), 2u * 64);
    const short* codes = reinterpret_cast<const short*>(bytes.data());
    int mismatches = 0;
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        for (int k = 0; k < 4; ++k) {
          const int gi = i - 2, gj = 48 + j, gk = 38 + k;
          const bool inside = gi >= 0 && gj < kSize[1] && gk < kSize[2];
          const short expected = inside ? codeAt<short>(gi, gj, gk, 1) : short{0};
          mismatches += codes[(i * 4 + j) * 4 + k] != expected;
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << type;
  }
  std::string err;
  EXPECT_EQ(
      runCommand(runRead, {name, "--lod", "1", "--start", "35,0,0", "--size", "1,1,1", "-o", out},
                 &err),
      2);  // level 1 is 35 x 25 x 20
  EXPECT_NE(err.find("wholly outside level 1 (35 x 25 x 20 samples)"), std::string::npos) << err;
  EXPECT_EQ(
      runCommand(runRead, {name, "--lod", "0", "--start", "-5,0,0", "--size", "5,1,1", "-o", out}),
      2);
  EXPECT_EQ(
      runCommand(runRead, {name, "--lod", "-1", "--start", "0,0,0", "--size", "1,1,1", "-o", out}),
      2);
  // The library's limit on one read is refused before any room is taken.
  EXPECT_EQ(runCommand(runRead, {name, "--lod", "0", "--start", "0,0,0", "--size", "46341,46341,1",
                                 "-o", out}),
            2);
}

// Levels beyond a file's count go to the reader: the synthetic one serves
// them, a file's reader refuses them and the message says why.
TEST(ReadBox, LevelsBeyondTheCountAreTheReadersToRefuse) {
  tyq_test::TempDir dir;
  const std::string out = dir.file("deep.npy");
  const std::string synthetic = std::string(TYQ_EXAMPLES_DIR) + "/demo_synthetic.txt";
  EXPECT_EQ(runCommand(runRead,
                       {synthetic, "--lod", "7", "--start", "0,0,0", "--size", "3,3,2", "-o", out}),
            0);
  const std::string name = writeCodes<short>(dir, FA::DataTypeEnum::Int16, 0);
  std::string err;
  EXPECT_EQ(
      runCommand(runRead, {name, "--lod", "7", "--start", "0,0,0", "--size", "1,1,1", "-o", out},
                 &err),
      1);
  EXPECT_NE(err.find("level 7 is beyond the file's 2 levels"), std::string::npos) << err;
}

}  // namespace
}  // namespace tyq_tool
