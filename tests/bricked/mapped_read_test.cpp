// Reads through a mapping of the file against reads by transfer, a file
// truncated under a live reader, and one reader shared by several threads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "access/accessor_core.h"
#include "bricked/file.h"
#include "io/mt_file.h"
#include "support/temp_dir.h"
#include "tyq/environment.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace FA = FileAccess;
using E = FA::Error;

constexpr int kBrick = 16;
constexpr int kSize[3] = {45, 33, 40};

// Writes random codes of `type` at every level, leaving some bricks absent
// and storing some as one value.
void writeVolume(const std::string& name, FA::DataTypeEnum::value_type type, int sampleSize) {
  Environment::putNumericEnv("OSTREL_TYQ_BRICK_SIZE", kBrick);
  FA::DataInfo info;
  info.SetExtent(0, 1, kSize[0], 0, 1, kSize[1], 0, 4, kSize[2], false);
  File file(name, FA::FileFactory::UsageCreate, nullptr);
  ASSERT_TRUE(file.Create(name, info, type, FA::TyqOptions(), nullptr, -50, 70));
  ::unsetenv("OSTREL_TYQ_BRICK_SIZE");
  std::mt19937 rng(static_cast<unsigned>(type) + 3);
  std::vector<unsigned char> brick(size_t{kBrick} * kBrick * kBrick * sampleSize);
  const int levels = file.GetFileInfo(nullptr)->numberOfLods;
  for (int lod = 0; lod < levels; ++lod) {
    for (int i = 0; i < file.GetNumberOfBricks(0, lod); ++i) {
      for (int j = 0; j < file.GetNumberOfBricks(1, lod); ++j) {
        for (int k = 0; k < file.GetNumberOfBricks(2, lod); ++k) {
          const int kind = (i + 2 * j + 3 * k + lod) % 6;
          if (kind == 5) continue;  // absent
          if (type == FA::DataTypeEnum::Float32) {
            std::uniform_real_distribution<float> value(-50, 70);
            for (size_t n = 0; n < brick.size(); n += 4) {
              const float x = value(rng);
              std::memcpy(&brick[n], &x, 4);
            }
          } else {
            for (auto& b : brick) b = static_cast<unsigned char>(rng());
          }
          if (kind == 4) {
            ASSERT_TRUE(file.SetBrickAllConst(i, j, k, lod, brick.data(), nullptr));
          } else {
            ASSERT_TRUE(file.SetBrick(i, j, k, lod, brick.data(), nullptr));
          }
        }
      }
    }
  }
  ASSERT_TRUE(file.Flush(false, nullptr));
}

// Opens a reader with or without the mapping.
FA::AutoRef<FA::Reader> openReader(const std::string& name, bool mapped) {
  if (!mapped) Environment::putNumericEnv("OSTREL_TYQ_MMAP", 0);
  FA::AutoRef<FA::Reader> reader;
  Status status;
  EXPECT_EQ(FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), &status), 0)
      << status.message();
  ::unsetenv("OSTREL_TYQ_MMAP");
  return reader;
}

bool isMapped(FA::Reader& reader) {
  auto* core = dynamic_cast<Access::AccessorCore*>(&reader);
  auto* file = core ? dynamic_cast<File*>(core->GetStore()) : nullptr;
  return file && file->IsMapped();
}

struct Request {
  int lod, order, type;  // type: 0 float, 1 short, 2 signed char
  int start[3], size[3];
  size_t samples() const { return static_cast<size_t>(size[0]) * size[1] * size[2]; }
};

Request randomRequest(std::mt19937& rng) {
  Request r{};
  r.lod = static_cast<int>(rng() % 3);
  r.order = static_cast<int>(rng() % 6);
  r.type = static_cast<int>(rng() % 3);
  for (int a = 0; a < 3; ++a) {
    const int n = (kSize[a] + (1 << r.lod) - 1) >> r.lod;
    r.start[a] = static_cast<int>(rng() % (n + 4)) - 2;
    r.size[a] = 1 + static_cast<int>(rng() % (n + 2));
    if (rng() % 5 == 0) {  // one sample thick: slices
      r.size[a] = 1;
      r.start[a] = static_cast<int>(rng() % n);
    }
  }
  if (rng() % 6 == 0) {  // exactly one brick: the brick-wise path
    for (int a = 0; a < 3; ++a) r.start[a] = r.size[a] = kBrick;
  }
  return r;
}

// The bytes a request delivers (filled with 0xA5 where nothing is written)
// and its outcome code.
std::vector<unsigned char> readBytes(FA::Reader& reader, const Request& r, int& code,
                                     bool setOrder = true) {
  const size_t width = r.type == 0 ? 4 : (r.type == 1 ? 2 : 1);
  std::vector<unsigned char> out(r.samples() * width, 0xA5);
  Status status;
  if (setOrder) {
    EXPECT_TRUE(reader.SetAccessStorageOrder(static_cast<FA::StorageOrderEnum::value_type>(r.order),
                                             nullptr));
  }
  const int* s = r.start;
  const int* n = r.size;
  if (r.type == 0) {
    reader.ReadData(r.lod, s[0], s[1], s[2], n[0], n[1], n[2], reinterpret_cast<float*>(out.data()),
                    &status);
  } else if (r.type == 1) {
    reader.ReadData(r.lod, s[0], s[1], s[2], n[0], n[1], n[2], reinterpret_cast<short*>(out.data()),
                    &status);
  } else {
    reader.ReadData(r.lod, s[0], s[1], s[2], n[0], n[1], n[2],
                    reinterpret_cast<signed char*>(out.data()), &status);
  }
  code = status.tyqError();
  return out;
}

class MappedReadTest : public testing::TestWithParam<FA::DataTypeEnum::value_type> {
 protected:
  void SetUp() override {
    name_ = dir_.file("volume.vbs");
    const int size = GetParam() == FA::DataTypeEnum::Float32 ? 4
                     : GetParam() == FA::DataTypeEnum::Int16 ? 2
                                                             : 1;
    writeVolume(name_, GetParam(), size);
  }

  tyq_test::TempDir dir_;
  std::string name_;
};

TEST_P(MappedReadTest, MappedAndTransferReadsDeliverTheSameBytes) {
  auto mapped = openReader(name_, true);
  auto transfer = openReader(name_, false);
  ASSERT_TRUE(mapped && transfer);
  ASSERT_TRUE(isMapped(*mapped));
  ASSERT_FALSE(isMapped(*transfer));
  std::mt19937 rng(21);
  for (int trial = 0; trial < 400; ++trial) {
    const Request r = randomRequest(rng);
    int mappedCode = 0, transferCode = 0;
    const auto a = readBytes(*mapped, r, mappedCode);
    const auto b = readBytes(*transfer, r, transferCode);
    ASSERT_EQ(mappedCode, transferCode) << "trial " << trial;
    ASSERT_EQ(a, b) << "trial " << trial << " lod " << r.lod << " order " << r.order << " type "
                    << r.type;
  }
  // Whole bricks in the stored type, and converted, in every order.
  const int storedSize = GetParam() == FA::DataTypeEnum::Float32 ? 4
                         : GetParam() == FA::DataTypeEnum::Int16 ? 2
                                                                 : 1;
  for (int order = 0; order < 6; ++order) {
    for (int k = 0; k < 3; ++k) {
      std::vector<unsigned char> rawA(kBrick * kBrick * kBrick * 4, 1), rawB(rawA.size(), 2);
      std::vector<float> floatA(kBrick * kBrick * kBrick, 1), floatB(floatA.size(), 2);
      for (auto* reader : {mapped.get(), transfer.get()}) {
        ASSERT_TRUE(reader->SetAccessStorageOrder(
            static_cast<FA::StorageOrderEnum::value_type>(order), nullptr));
      }
      void* rawOut[2] = {rawA.data(), rawB.data()};
      float* floatOut[2] = {floatA.data(), floatB.data()};
      EXPECT_EQ(mapped->ReadRawBrick(0, 1, 0, k, 1, 1, 1, rawOut, nullptr),
                transfer->ReadRawBrick(0, 1, 0, k, 1, 1, 1, rawOut + 1, nullptr));
      EXPECT_EQ(mapped->ReadDataBrick(0, 0, 1, k, 1, 1, 1, floatOut, nullptr),
                transfer->ReadDataBrick(0, 0, 1, k, 1, 1, 1, floatOut + 1, nullptr));
      rawA.resize(rawA.size() / 4 * storedSize);
      rawB.resize(rawA.size());
      EXPECT_EQ(rawA, rawB) << "order " << order;
      EXPECT_EQ(floatA, floatB) << "order " << order;
    }
  }
}

// The whole of level 0, across every brick.
bool readWholeLevel0(FA::Reader& reader, std::vector<float>& out, Status* status) {
  out.assign(static_cast<size_t>(kSize[0]) * kSize[1] * kSize[2], 0.0f);
  return reader.ReadData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], out.data(), status);
}

TEST_P(MappedReadTest, AFileTruncatedUnderItsReaderFailsReadsWithoutACrash) {
  auto reader = openReader(name_, true);
  ASSERT_TRUE(reader);
  ASSERT_TRUE(isMapped(*reader));
  std::vector<float> out;
  ASSERT_TRUE(readWholeLevel0(*reader, out, nullptr));
  ASSERT_EQ(::truncate(name_.c_str(), 4096), 0);
  // Twice: the guard must still hold after it caught the first fault.
  for (int round = 0; round < 2; ++round) {
    Status status;
    EXPECT_FALSE(readWholeLevel0(*reader, out, &status));
    EXPECT_EQ(status.tyqError(), E::ReadFailed) << status.message();
    EXPECT_EQ(status.function(), "Accessor::ReadData");
  }
  std::vector<float> brick(kBrick * kBrick * kBrick);
  float* bricks[1] = {brick.data()};
  Status status;
  EXPECT_FALSE(reader->ReadDataBrick(0, 0, 0, 0, 1, 1, 1, bricks, &status));
  EXPECT_EQ(status.tyqError(), E::ReadFailed) << status.message();
}

// A file the host hands in may be anything (an object store, say): it keeps
// its transfers.
TEST_P(MappedReadTest, AHostsOwnFileIsReadByTransfer) {
  MtFileWin32 hostFile;
  FA::AutoRef<FA::Reader> reader;
  Status status;
  ASSERT_EQ(FA::Tyq::CreateTyqReader(reader, name_, FA::TyqOptions(), &status, &hostFile), 0)
      << status.message();
  EXPECT_FALSE(isMapped(*reader));
  auto mapped = openReader(name_, true);
  std::vector<float> a, b;
  EXPECT_EQ(readWholeLevel0(*reader, a, nullptr), readWholeLevel0(*mapped, b, nullptr));
  EXPECT_EQ(a, b);
}

INSTANTIATE_TEST_SUITE_P(StoredTypes, MappedReadTest,
                         testing::Values(FA::DataTypeEnum::Int8, FA::DataTypeEnum::Int16,
                                         FA::DataTypeEnum::Float32));

// Threads sharing one reader each read their own random boxes and must get
// what the same reader gives one thread at a time.
void checkConcurrentReads(FA::Reader& reader) {
  ASSERT_TRUE(reader.SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), nullptr));
  constexpr int kThreads = 4, kReads = 60;
  std::vector<std::vector<Request>> requests(kThreads);
  std::vector<std::vector<std::vector<unsigned char>>> expected(kThreads);
  std::mt19937 rng(5);
  for (int t = 0; t < kThreads; ++t) {
    for (int n = 0; n < kReads; ++n) {
      Request r = randomRequest(rng);
      r.order = 0;
      int code = 0;
      requests[t].push_back(r);
      expected[t].push_back(readBytes(reader, r, code));
    }
  }
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < kReads; ++n) {
        int code = 0;
        if (readBytes(reader, requests[t][n], code, false) != expected[t][n]) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(SharedReader, ConcurrentReadsOfOneReaderMatchSingleThreadedOnes) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("shared.vbs");
  writeVolume(name, FA::DataTypeEnum::Int16, 2);
  for (const bool mapped : {true, false}) {
    auto reader = openReader(name, mapped);
    ASSERT_TRUE(reader);
    EXPECT_EQ(isMapped(*reader), mapped);
    checkConcurrentReads(*reader);
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
