// Files of other writers may store bricks at any byte, odd ones included:
// read through the mapping or by transfer, such a file reads as the same
// file with its bricks in place. (Under the sanitizer build a misaligned
// sample load aborts the test.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "bricked/file.h"
#include "core/endian.h"
#include "support/temp_dir.h"
#include "tyq/environment.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace FA = FileAccess;

constexpr int kBrick = 16;
constexpr int kSize = 20;

// Two by two by two bricks of `type`, all stored, at level 0 only.
void writeVolume(const std::string& name, FA::DataTypeEnum::value_type type, int sampleSize) {
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", kBrick);
  FA::DataInfo info;
  info.SetExtent(0, 1, kSize, 0, 1, kSize, 0, 4, kSize, false);
  File file(name, FA::FileFactory::UsageCreate, nullptr);
  ASSERT_TRUE(file.Create(name, info, type, FA::TyqOptions(), nullptr, -50, 70));
  ::unsetenv("OSTREL_TYQ_BRICK_SIZE");
  std::vector<unsigned char> brick(size_t{kBrick} * kBrick * kBrick * sampleSize);
  for (int n = 0; n < 8; ++n) {
    for (size_t b = 0; b < brick.size(); b += static_cast<size_t>(sampleSize)) {
      const float value = static_cast<float>((b / sampleSize * 7 + n * 13) % 101) - 40.0f;
      if (sampleSize == 4) {
        std::memcpy(&brick[b], &value, 4);
      } else {
        const int16_t code = static_cast<int16_t>(value * 300.0f);
        std::memcpy(&brick[b], &code, 2);
      }
    }
    ASSERT_TRUE(file.SetBrick(n & 1, (n >> 1) & 1, n >> 2, 0, brick.data(), nullptr));
  }
  ASSERT_TRUE(file.Flush(false, nullptr));
}

std::string readAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Moves every stored brick and tile one byte further into the file, with
// the table entries that point to them.
void shiftBlocks(const std::string& from, const std::string& to) {
  File probe(from, FA::FileFactory::UsageRead, nullptr);
  ASSERT_TRUE(probe.Open(from, true, FA::TyqOptions(), nullptr));
  std::set<int64_t> stored;
  for (const LookupTable* t : {&probe.GetBrickTable(), &probe.GetTileTable()}) {
    for (const int64_t e : t->entries) {
      if (e > 1) stored.insert(e);
    }
  }
  ASSERT_FALSE(stored.empty());
  std::string bytes = readAll(from);
  for (const LookupTable* t : {&probe.GetBrickTable(), &probe.GetTileTable()}) {
    for (int64_t n = 0; n < t->count; ++n) {
      auto* at = reinterpret_cast<uint8_t*>(bytes.data()) + t->position + 8 * n;
      const uint64_t plain = static_cast<uint64_t>(Le::getI64(at));
      const uint64_t swapped = (plain << 32) | (plain >> 32);
      if (stored.count(static_cast<int64_t>(plain))) {
        Le::putI64(at, static_cast<int64_t>(plain + 1));
      } else if (stored.count(static_cast<int64_t>(swapped))) {
        const uint64_t moved = swapped + 1;
        Le::putI64(at, static_cast<int64_t>((moved << 32) | (moved >> 32)));
      }
    }
  }
  bytes.insert(static_cast<size_t>(*stored.begin()), 1, '\0');
  std::ofstream(to, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The whole volume in access order `order` (0..5).
template <typename T>
std::vector<T> readWhole(const std::string& name, bool mapped, int order) {
  if (!mapped) Environment::putNumericEnv("OSTREL_TYQ_MMAP", 0);
  FA::AutoRef<FA::Reader> reader;
  Status status;
  EXPECT_EQ(FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status), 0)
      << status.message();
  ::unsetenv("OSTREL_TYQ_MMAP");
  std::vector<T> out(size_t{kSize} * kSize * kSize + 1);
  if (!reader) return out;
  EXPECT_TRUE(
      reader->SetAccessStorageOrder(static_cast<FA::StorageOrderEnum::value_type>(order), nullptr));
  // The slot past the samples tells whether the last brick lies at an odd byte.
  reader->ReadData(0, 0, 0, 0, kSize, kSize, kSize, out.data(), &status);
  EXPECT_TRUE(status.ok()) << status.message();
  long long position = 0;
  EXPECT_TRUE(reader->GetDataBrickPos(&position, 0, 1, 1, 1, 1, 1, 1, nullptr));
  out.back() = static_cast<T>(position % 2);
  return out;
}

class OddPositions : public testing::TestWithParam<FA::DataTypeEnum::value_type> {};

TEST_P(OddPositions, ReadAsTheFileWithBricksInPlace) {
  const FA::DataTypeEnum::value_type type = GetParam();
  tyq_test::TempDir dir;
  const std::string even = dir.file("even.vbs"), odd = dir.file("odd.vbs");
  writeVolume(even, type, type == FA::DataTypeEnum::Float32 ? 4 : 2);
  shiftBlocks(even, odd);
  for (const bool mapped : {true, false}) {
    for (const int order : {0, 5}) {  // one of them copies sample by sample
      SCOPED_TRACE(std::string(mapped ? "mapped" : "by transfer") + ", order " +
                   std::to_string(order));
      std::vector<float> expected = readWhole<float>(even, mapped, order);
      std::vector<float> got = readWhole<float>(odd, mapped, order);
      EXPECT_EQ(expected.back(), 0.0f);
      EXPECT_EQ(got.back(), 1.0f);  // the brick did move to an odd byte
      expected.pop_back(), got.pop_back();
      EXPECT_EQ(got, expected);
      std::vector<short> expectedCodes = readWhole<short>(even, mapped, order);
      std::vector<short> gotCodes = readWhole<short>(odd, mapped, order);
      expectedCodes.pop_back(), gotCodes.pop_back();
      EXPECT_EQ(gotCodes, expectedCodes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Types, OddPositions,
                         testing::Values(FA::DataTypeEnum::Float32, FA::DataTypeEnum::Int16));

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
