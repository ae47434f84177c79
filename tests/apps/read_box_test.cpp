// tyq read: boxes checked against the level before anything is allocated,
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

TEST(ReadBox, OutsideTheLevelIsRefusedBeforeAllocating) {
  tyq_test::TempDir dir;
  const std::string name = writeCodes<short>(dir, FA::DataTypeEnum::Int16, 0);
  const std::string out = dir.file("o.raw");
  std::string err;
  // 46340^2 samples is just under 2^31: 8 GB of floats for a 70 x 50 x 40 file.
  EXPECT_EQ(
      runCommand(runRead,
                 {name, "--lod", "0", "--start", "0,0,0", "--size", "46340,46340,1", "-o", out},
                 &err),
      2);
  EXPECT_NE(err.find("outside level 0 (70 x 50 x 40 samples)"), std::string::npos) << err;
  const std::vector<std::vector<std::string>> refused = {
      {"--lod", "0", "--start", "-1,0,0", "--size", "1,1,1"},
      {"--lod", "0", "--start", "0,0,0", "--size", "71,1,1"},
      {"--lod", "0", "--start", "0,0,39", "--size", "1,1,2"},
      {"--lod", "1", "--start", "0,0,0", "--size", "36,1,1"},  // level 1 is 35 x 25 x 20
      {"--lod", "7", "--start", "0,0,0", "--size", "1,1,1"},
      {"--lod", "-1", "--start", "0,0,0", "--size", "1,1,1"},
  };
  for (std::vector<std::string> args : refused) {
    args.insert(args.begin(), name);
    args.insert(args.end(), {"-o", out});
    EXPECT_EQ(runCommand(runRead, args), 2) << args[2] << " " << args[4] << " " << args[6];
  }
  EXPECT_EQ(runCommand(runRead, {name, "--lod", "0", "--start", "0,0,0", "--size", "70,50,40",
                                 "--type", "int16", "-o", out}),
            0);
}

}  // namespace
}  // namespace tyq_tool
