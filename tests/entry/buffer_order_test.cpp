// What a host gets that opens both formats through the entry functions: the
// buffer layout starts as the file's own order, trace order for uncompressed
// files and inline-fastest for compressed ones, until the host sets one.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tyq/tyq.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;

constexpr int kN[3] = {30, 20, 40};

float sample(int i, int j, int k) {
  return static_cast<float>(100 * i + 10 * j + k) + 1.0f;
}

// Index of (i, j, k) in a dense box laid out in storage order 0 or 5.
size_t at(int order, int i, int j, int k) {
  return order == 0 ? (static_cast<size_t>(i) * kN[1] + j) * kN[2] + k
                    : (static_cast<size_t>(k) * kN[1] + j) * kN[0] + i;
}

void write(const std::string& name, float sqnr) {
  FA::DataInfo info;
  info.SetExtent(1, 1, kN[0], 1, 1, kN[1], 0, 4, kN[2], false);
  FA::AutoRef<FA::Writer> writer;
  Status status;
  if (sqnr > 0) {
    ASSERT_EQ(FA::Tyq::CreateCompressedWriter(writer, name, info, &status, sqnr, 0, 4000), 0);
  } else {
    ASSERT_EQ(FA::Tyq::CreateTyqWriter(writer, name, info, FA::DataTypeEnum::Float32,
                                       FA::TyqOptions(), &status, 0, 4000),
              0);
  }
  ASSERT_TRUE(writer->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status));
  std::vector<float> v(static_cast<size_t>(kN[0]) * kN[1] * kN[2]);
  for (int i = 0; i < kN[0]; ++i) {
    for (int j = 0; j < kN[1]; ++j) {
      for (int k = 0; k < kN[2]; ++k) v[at(0, i, j, k)] = sample(i, j, k);
    }
  }
  ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, kN[0], kN[1], kN[2], v.data(), &status));
  ASSERT_TRUE(writer->Finalize(false, false, &status)) << status.message();
}

// Largest difference between the box read and the volume laid out in `order`.
float worstIn(const std::vector<float>& box, int order) {
  float worst = 0;
  for (int i = 0; i < kN[0]; ++i) {
    for (int j = 0; j < kN[1]; ++j) {
      for (int k = 0; k < kN[2]; ++k) {
        worst = std::max(worst, std::fabs(box[at(order, i, j, k)] - sample(i, j, k)));
      }
    }
  }
  return worst;
}

TEST(BufferOrder, StartsAsTheFilesOwnUntilTheHostSetsOne) {
  tyq_test::TempDir dir;
  write(dir.file("plain.vbs"), 0);
  write(dir.file("packed.vcs"), 60);
  for (const auto& [name, own] :
       {std::pair{dir.file("plain.vbs"), 0}, {dir.file("packed.vcs"), 5}}) {
    SCOPED_TRACE(name);
    FA::AutoRef<FA::Reader> reader;
    Status status;
    ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status), 0);
    FA::EnumClass<FA::StorageOrderEnum> order;
    ASSERT_TRUE(reader->GetAccessStorageOrder(order, &status));
    EXPECT_EQ(static_cast<int>(order), own);
    std::vector<float> box(static_cast<size_t>(kN[0]) * kN[1] * kN[2]);
    ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, kN[0], kN[1], kN[2], box.data(), &status));
    // 60 dB keeps every sample within a few units of values up to 3000.
    EXPECT_LT(worstIn(box, own), 10.0f);
    EXPECT_GT(worstIn(box, 5 - own), 100.0f);
    ASSERT_TRUE(reader->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status));
    ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, kN[0], kN[1], kN[2], box.data(), &status));
    EXPECT_LT(worstIn(box, 0), 10.0f);
  }
}

}  // namespace
