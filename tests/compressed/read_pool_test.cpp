// Reads of compressed volumes through the library's pool and the decoded
// brick cache: the same bytes as one thread, a cache that keeps its working
// set through large requests and recycles its buffers, and failures inside
// pool items reported once.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "access/accessor_core.h"
#include "compressed/store.h"
#include "compressed/volume_util.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

namespace {

using namespace tyq_test;
namespace C = Qra::Ostrel::Tyq::Private::Compressed;
using Qra::Ostrel::Tyq::Private::Access::AccessorCore;

constexpr int kSize[3] = {150, 140, 130};  // 3 x 3 x 3 bricks, the last ones partial

// A volume with a dead corner (its column reads as zeros without a brick).
std::string writeVolume(const TempDir& dir) {
  const std::string name = dir.file("pool.vcs");
  auto writer = compressedWriter(name, volumeInfo(kSize[0], kSize[1], kSize[2]), 30.0f);
  Status status;
  std::vector<unsigned char> flags(size_t{kSize[0]} * kSize[1], 1);
  for (int i = 0; i < 64; ++i) std::memset(&flags[size_t(i) * kSize[1]], 0, 64);
  const int origin[3] = {0, 0, 0};
  const std::vector<float> v = volumeBox(origin, kSize);
  EXPECT_TRUE(writer->WriteGridFlags(0, 0, 0, kSize[0], kSize[1], flags.data(), &status));
  EXPECT_TRUE(writer->WriteData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], v.data(), &status))
      << status.message();
  EXPECT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  return name;
}

FA::AutoRef<FA::Reader> openReader(const std::string& name, int threads, int cacheMegabytes) {
  FA::TyqOptions options;
  options.threads = threads;
  options.brickCacheMegabytes = cacheMegabytes;
  return traceReader(name, options);
}

C::Store& storeOf(FA::Reader& reader) {
  return dynamic_cast<C::Store&>(*dynamic_cast<AccessorCore&>(reader).GetStore());
}

struct Box {
  int start[3], size[3];
};

// Every read a caller can make, as bytes: boxes in three sample types and
// a range of whole bricks.
std::vector<unsigned char> readAll(FA::Reader& r) {
  std::vector<unsigned char> out;
  Status status;
  const auto append = [&](const void* p, size_t bytes) {
    const auto* b = static_cast<const unsigned char*>(p);
    out.insert(out.end(), b, b + bytes);
  };
  for (const Box& b :
       {Box{{0, 0, 0}, {kSize[0], kSize[1], kSize[2]}}, Box{{30, 50, 20}, {100, 70, 90}},
        Box{{77, 0, 0}, {1, kSize[1], kSize[2]}}}) {
    const size_t n = size_t(b.size[0]) * b.size[1] * b.size[2];
    std::vector<float> f(n);
    std::vector<short> s(n);
    std::vector<signed char> c(n);
    EXPECT_TRUE(r.ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1], b.size[2],
                           f.data(), &status))
        << status.message();
    EXPECT_TRUE(r.ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1], b.size[2],
                           s.data(), &status));
    EXPECT_TRUE(r.ReadData(0, b.start[0], b.start[1], b.start[2], b.size[0], b.size[1], b.size[2],
                           c.data(), &status));
    append(f.data(), n * sizeof(float));
    append(s.data(), n * sizeof(short));
    append(c.data(), n);
  }
  std::vector<std::vector<float>> bricks(8, std::vector<float>(64 * 64 * 64));
  std::vector<float*> pointers;
  for (auto& b : bricks) pointers.push_back(b.data());
  EXPECT_TRUE(r.ReadDataBrick(0, 1, 1, 1, 2, 2, 2, pointers.data(), &status)) << status.message();
  for (auto& b : bricks) append(b.data(), b.size() * sizeof(float));
  return out;
}

TEST(CompressedReadPool, ThreadsGiveTheBytesOfOneThreadInEveryOrder) {
  TempDir dir;
  const std::string name = writeVolume(dir);
  for (int order : {0, 5, 2}) {
    SCOPED_TRACE(order);
    std::vector<std::vector<unsigned char>> results;
    // One thread with a cache; three with a cache; three with none (every
    // brick decoded into a recycled buffer and lent once).
    for (const auto& [threads, cache] : {std::pair{1, 64}, std::pair{3, 64}, std::pair{3, 0}}) {
      auto reader = openReader(name, threads, cache);
      ASSERT_TRUE(reader);
      ASSERT_TRUE(reader->SetAccessStorageOrder(
          static_cast<FA::StorageOrderEnum::value_type>(order), nullptr));
      results.push_back(readAll(*reader));
    }
    EXPECT_TRUE(results[0] == results[1]);
    EXPECT_TRUE(results[0] == results[2]);
  }
}

TEST(CompressedReadPool, RequestLargerThanTheCacheLeavesItsWorkingSet) {
  TempDir dir;
  const std::string name = writeVolume(dir);
  auto reader = openReader(name, 1, 8);  // eight bricks
  ASSERT_TRUE(reader);
  C::Store& store = storeOf(*reader);
  std::vector<float> small(10 * 10 * 10), whole(size_t{kSize[0]} * kSize[1] * kSize[2]);
  Status status;
  // Crosses two bricks of a live column.
  ASSERT_TRUE(reader->ReadData(0, 100, 100, 60, 10, 10, 10, small.data(), &status));
  EXPECT_EQ(store.BricksDecoded(), 2);
  ASSERT_TRUE(reader->ReadData(0, 100, 100, 60, 10, 10, 10, small.data(), &status));
  EXPECT_EQ(store.BricksDecoded(), 2);
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], whole.data(), &status));
  const int64_t afterWhole = store.BricksDecoded();
  EXPECT_EQ(afterWhole, 2 + 24 - 2);  // 3 dead bricks never decoded, 2 were cached
  ASSERT_TRUE(reader->ReadData(0, 100, 100, 60, 10, 10, 10, small.data(), &status));
  EXPECT_EQ(store.BricksDecoded(), afterWhole);
  // The large request kept nothing: reading it again decodes it all again.
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], whole.data(), &status));
  EXPECT_EQ(store.BricksDecoded(), 2 * afterWhole - 2);
}

TEST(CompressedReadPool, WarmReaderRecyclesItsBrickBuffers) {
  TempDir dir;
  const std::string name = writeVolume(dir);
  auto reader = openReader(name, 2, 4);  // four bricks: far fewer than are read
  ASSERT_TRUE(reader);
  C::Store& store = storeOf(*reader);
  std::mt19937 rng(3);
  std::vector<float> box(50 * 50 * 50);
  Status status;
  for (int n = 0; n < 120; ++n) {
    const int i = int(rng() % 100), j = int(rng() % 90), k = int(rng() % 80);
    ASSERT_TRUE(reader->ReadData(0, i, j, k, 50, 50, 50, box.data(), &status));
  }
  EXPECT_GT(store.BricksDecoded(), 200);
  // What the cache holds, the spare buffers and one in flight per thread.
  EXPECT_LE(store.CacheBuffersMade(), 4 + 16 + 2);
}

// Each pool item has a status of its own; the caller sees the first
// failure once, as one thread reports it, and the reader stays usable.
TEST(CompressedReadPool, FailureInsideAThreadReachesTheCallerOnce) {
  TempDir dir;
  const std::string name = writeVolume(dir);
  auto state = std::make_shared<FaultState>();
  FA::FileFactory::setInstanceGiveOwnership(new FaultInjectionFactory(state));
  std::vector<Status> seen;
  for (int threads : {1, 3}) {
    auto reader = openReader(name, threads, 0);
    ASSERT_TRUE(reader);
    state->read = Fault::error(state->reads + 5);
    state->read.repeat = true;  // a failing disk, whichever item reads first
    std::vector<float> whole(size_t{kSize[0]} * kSize[1] * kSize[2]);
    Status status;
    EXPECT_FALSE(reader->ReadData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], whole.data(), &status));
    seen.push_back(status);
    state->read = Fault();
    EXPECT_TRUE(reader->ReadData(0, 0, 0, 0, kSize[0], kSize[1], kSize[2], whole.data(), &status))
        << status.message();
  }
  FA::FileFactory::setInstanceGiveOwnership(nullptr);
  // Which read of the file fails first (a brick's or a flag tile's) depends
  // on the threads; what reaches the caller is one failure, told the same way.
  for (const Status& s : seen) {
    EXPECT_NE(s.tyqError(), FA::Error::NoError);
    EXPECT_EQ(s.tyqError(), seen[0].tyqError());
    EXPECT_EQ(s.sysError(), EIO);
    const std::string trail = s.function();
    EXPECT_EQ(trail.substr(0, trail.find(" from ")), "FaultInjectionFile::ReadBytesFromPosition");
    const std::string tail = " from Store::GetBrick from Accessor::ReadData";
    EXPECT_TRUE(trail.size() > tail.size() &&
                trail.compare(trail.size() - tail.size(), tail.size(), tail) == 0)
        << trail;
  }
}

}  // namespace
