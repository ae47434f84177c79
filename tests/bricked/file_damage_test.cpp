// Opening and reading damaged or hostile files: each gives a clear code,
// never a crash, never data taken from outside the data area, and never an
// allocation the file's own size or the request cannot justify.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bricked/accessor.h"
#include "bricked/file.h"
#include "bricked/format.h"
#include "core/endian.h"
#include "support/headroom.h"
#include "support/memory_file.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {
namespace {

namespace FA = FileAccess;
using E = FA::Error;
using tyq_test::Bytes;
using tyq_test::MemoryFile;

Bytes goodFile(int version) {
  auto bytes = std::make_shared<Bytes>();
  MemoryFile adt(bytes);
  File file("good", FA::FileFactory::UsageCreate, &adt);
  FA::DataInfo info;
  info.SetExtent(0, 1, 100, 0, 1, 100, 0, 1, 100, false);
  EXPECT_TRUE(
      file.Create("good", info, FA::DataTypeEnum::Int8, FA::TyqOptions(), nullptr, 0, 1, version));
  std::vector<uint8_t> brick(64 * 64 * 64, 1);
  EXPECT_TRUE(file.SetBrick(0, 0, 0, 0, brick.data(), nullptr));
  EXPECT_TRUE(file.Flush(false, nullptr));
  return *bytes;
}

int openCode(const Bytes& bytes, int version = 0) {
  MemoryFile adt(std::make_shared<Bytes>(bytes));
  File file("bad", FA::FileFactory::UsageRead, &adt);
  Status status;
  const bool ok = file.Open("bad", true, FA::TyqOptions(), &status, version);
  EXPECT_EQ(ok, status.ok());
  EXPECT_FALSE(ok && file.GetFileInfo(nullptr) == nullptr);
  if (!ok) {
    EXPECT_FALSE(file.IsOpen());
  }
  return status.tyqError();
}

TEST(DamagedFile, HeaderChecksInOrder) {
  EXPECT_EQ(openCode(Bytes()), E::ReadFailed);
  EXPECT_EQ(openCode(Bytes{'V', 'B', 'S'}), E::ReadFailed);
  Bytes header = {'V', 'B', 'S', 0, 4, 0, 0, 0};
  EXPECT_EQ(openCode(header), E::VersionTooNew);
  header[4] = 0;
  EXPECT_EQ(openCode(header), E::VersionTooOld);
  header[4] = 0xFF;
  header[7] = 0xFF;  // -1
  EXPECT_EQ(openCode(header), E::VersionTooOld);
  header[0] = 'X';
  EXPECT_EQ(openCode(header), E::UnknownFileType);

  const Bytes good = goodFile(3);
  EXPECT_EQ(openCode(good), E::NoError);
  EXPECT_EQ(openCode(good, 2), E::VersionUnsupported);
  EXPECT_EQ(openCode(good, 3), E::NoError);
}

TEST(DamagedFile, TruncationBeforeTheTablesEndIsAReadFailure) {
  // Tables end at 1330 (version 1: offsets at 40, 5 tile and 9 brick entries)
  // and at 2527 (versions 2 and 3).
  for (int version = 1; version <= 3; ++version) {
    const Bytes good = goodFile(version);
    const size_t tablesEnd = version == 1 ? 1330 : 2527;
    for (size_t cut : {size_t{4}, size_t{8}, size_t{20}, size_t{100}, size_t{300}, tablesEnd - 100,
                       tablesEnd - 1}) {
      const Bytes shortened(good.begin(), good.begin() + static_cast<long>(cut));
      EXPECT_EQ(openCode(shortened), E::ReadFailed) << "version " << version << " cut " << cut;
    }
    // Cut right behind the tables, the one brick the table stores is gone:
    // its brick size is no longer believable.
    const Bytes tablesOnly(good.begin(), good.begin() + static_cast<long>(tablesEnd));
    EXPECT_EQ(openCode(tablesOnly), E::ReadFailed) << "version " << version;
  }
}

void putI32(Bytes& bytes, size_t at, int32_t v) {
  Le::putI32(bytes.data() + at, v);
}

TEST(DamagedFile, AbsurdGeometryIsRefusedBeforeAllocating) {
  const Bytes good = goodFile(3);
  const size_t info = static_cast<size_t>(kV23InfoPos);
  struct Damage {
    const char* what;
    size_t offset;
    int32_t value;
  } damages[] = {
      {"zero size", info + 94, 0},
      {"negative size", info + 98, -5},
      {"huge size", info + 102, 0x7FFFFFFF},
      {"zero brick", info + 0, 0},
      {"negative brick", info + 4, -64},
      {"brick of one sample", info + 0, 1},
      {"brick far beyond the survey", info + 8, 1 << 20},
  };
  for (const Damage& d : damages) {
    Bytes bad = good;
    if (std::string(d.what) == "brick of one sample") {
      putI32(bad, info + 4, 1);
      putI32(bad, info + 8, 1);
    }
    putI32(bad, d.offset, d.value);
    EXPECT_EQ(openCode(bad), E::ReadFailed) << d.what;
  }
  // Sizes whose tables could never fit in the file.
  Bytes big = good;
  putI32(big, info + 94, 1 << 30);
  putI32(big, info + 98, 1 << 30);
  EXPECT_EQ(openCode(big), E::ReadFailed);
}

TEST(DamagedFile, StringsBlockLongerThanTheFile) {
  Bytes bad = goodFile(3);
  Le::putU32(bad.data() + kV23InfoPos + 333, 0xFFFFFFF0u);
  EXPECT_EQ(openCode(bad), E::ReadFailed);
  Le::putU32(bad.data() + kV23InfoPos + 333, 3);  // fewer than five terminators
  EXPECT_EQ(openCode(bad), E::ReadFailed);
}

TEST(DamagedFile, Version1OffsetsOutsideTheFile) {
  const Bytes good = goodFile(1);
  for (size_t slot = 0; slot < 4; ++slot) {
    Bytes bad = good;
    Le::putI64HighFirst(bad.data() + kHeaderSize + slot * 8, int64_t{1} << 40);
    EXPECT_EQ(openCode(bad), E::ReadFailed) << "slot " << slot;
    Le::putI64HighFirst(bad.data() + kHeaderSize + slot * 8, -8);
    EXPECT_EQ(openCode(bad), E::ReadFailed) << "slot " << slot;
  }
}

TEST(DamagedFile, BrickPositionsPastTheEndFailOnRead) {
  for (int version = 1; version <= 3; ++version) {
    Bytes bad = goodFile(version);
    MemoryFile probeAdt(std::make_shared<Bytes>(bad));
    File probe("p", FA::FileFactory::UsageRead, &probeAdt);
    ASSERT_TRUE(probe.Open("p", true, FA::TyqOptions(), nullptr));
    const LookupTable& table = probe.GetBrickTable();
    const size_t at = static_cast<size_t>(table.position + 8 * table.levelStart[0]);
    if (version == 1) {
      Le::putI64HighFirst(bad.data() + at, int64_t{1} << 40);
    } else {
      Le::putI64(bad.data() + at, int64_t{1} << 40);
    }
    MemoryFile adt(std::make_shared<Bytes>(bad));
    File file("bad", FA::FileFactory::UsageRead, &adt);
    Status status;
    ASSERT_TRUE(file.Open("bad", true, FA::TyqOptions(), &status)) << status.message();
    std::vector<uint8_t> brick(64 * 64 * 64);
    EXPECT_FALSE(file.GetBrick(0, 0, 0, 0, brick.data(), &status));
    EXPECT_EQ(status.tyqError(), E::ReadFailed) << "version " << version;
  }
}

std::string damaged(const char* name) {
  const char* data = std::getenv("TYQ_TEST_DATA");
  return std::string(data ? data : "tests/data") + "/damaged/" + name;
}

// A good version-3 file and where its first brick entry and its tables lie.
struct Layout {
  Bytes bytes;
  int64_t entryAt = 0;
  int64_t tilesAt = 0;
  int64_t bricksAt = 0;
};

Layout goodLayout() {
  Layout out;
  out.bytes = goodFile(3);
  MemoryFile adt(std::make_shared<Bytes>(out.bytes));
  File probe("p", FA::FileFactory::UsageRead, &adt);
  EXPECT_TRUE(probe.Open("p", true, FA::TyqOptions(), nullptr));
  out.tilesAt = probe.GetTileTable().position;
  out.bricksAt = probe.GetBrickTable().position;
  out.entryAt = out.bricksAt + 8 * probe.GetBrickTable().levelStart[0];
  return out;
}

TEST(DamagedTable, PositionsOutsideTheDataAreaAreNotSampleData) {
  const Layout good = goodLayout();
  const int64_t positions[] = {2,
                               4,
                               9,
                               100,
                               good.tilesAt,
                               good.bricksAt,
                               good.bricksAt + 8,
                               static_cast<int64_t>(good.bytes.size()) - 10};
  for (const int64_t position : positions) {
    Bytes bad = good.bytes;
    Le::putI64(bad.data() + good.entryAt, position);
    // Reading: the header, description blocks or tables are no samples.
    MemoryFile readAdt(std::make_shared<Bytes>(bad));
    File reader("bad", FA::FileFactory::UsageRead, &readAdt);
    ASSERT_TRUE(reader.Open("bad", true, FA::TyqOptions(), nullptr));
    std::vector<uint8_t> brick(64 * 64 * 64);
    Status status;
    EXPECT_FALSE(reader.GetBrick(0, 0, 0, 0, brick.data(), &status)) << position;
    EXPECT_EQ(status.tyqError(), E::ReadFailed) << position;
    // Writing the brick again must not overwrite them either.
    auto shared = std::make_shared<Bytes>(bad);
    MemoryFile writeAdt(shared);
    File writer("bad", FA::FileFactory::UsageReadWrite, &writeAdt);
    ASSERT_TRUE(writer.Open("bad", false, FA::TyqOptions(), nullptr));
    EXPECT_FALSE(writer.SetBrick(0, 0, 0, 0, brick.data(), &status)) << position;
    EXPECT_EQ(status.tyqError(), E::ReadFailed) << position;
    EXPECT_TRUE(std::equal(bad.begin(), bad.begin() + good.entryAt, shared->begin()));
  }
}

TEST(DamagedTable, EntryIntoTheHeaderOfAKeptFile) {
  File file("kept", FA::FileFactory::UsageRead, nullptr);
  Status status;
  ASSERT_TRUE(
      file.Open(damaged("table_entry_points_into_header.vbs"), true, FA::TyqOptions(), &status))
      << status.message();
  const FA::FileInfo* info = file.GetFileInfo(nullptr);
  const int n[3] = {info->brickCount[0], info->brickCount[1], info->brickCount[2]};
  std::vector<long long> positions(static_cast<size_t>(n[0]) * n[1] * n[2]);
  ASSERT_TRUE(file.GetDataBrickPos(positions.data(), 0, 0, 0, 0, n[0], n[1], n[2], nullptr));
  const int64_t tablesEnd = file.GetBrickTable().position + 8 * file.GetBrickTable().count;
  std::vector<uint8_t> brick(static_cast<size_t>(info->GetNumberOfBytesPerBrick()));
  int intoHeader = 0;
  for (int i = 0; i < n[0]; ++i) {
    for (int j = 0; j < n[1]; ++j) {
      for (int k = 0; k < n[2]; ++k) {
        const long long position = positions[(static_cast<size_t>(i) * n[1] + j) * n[2] + k];
        if (position <= 1 || position >= tablesEnd) continue;
        ++intoHeader;
        EXPECT_FALSE(file.GetBrick(i, j, k, 0, brick.data(), &status));
        EXPECT_EQ(status.tyqError(), E::ReadFailed);
      }
    }
  }
  EXPECT_GT(intoHeader, 0);
}

using tyq_test::withinHeadroom;

// The three files claim bricks of 4096 x 4096 x 64 one-byte samples (1 GiB)
// in 2.4 KB.
TEST(DamagedTable, HugeBrickSizesCostOnlyWhatTheReadNeeds) {
  constexpr size_t kHeadroom = size_t{64} << 20;
  for (const char* name : {"huge_brick_absent_1x1x1.vbs", "huge_brick_const_1x1x1.vbs"}) {
    EXPECT_TRUE(withinHeadroom(kHeadroom, [&] {
      FA::AutoRef<Accessor> accessor(new Accessor);
      if (!accessor->Open(damaged(name), FA::TyqOptions(), nullptr, true, 0)) return false;
      float sample = -1;
      Status status;
      accessor->ReadData(0, 0, 0, 0, 1, 1, 1, &sample, &status);
      return (status.ok() || status.tyqError() == E::BrickNotFound) && std::isfinite(sample);
    })) << name;
  }
  // A stored brick of that size cannot be in so small a file.
  Status status;
  FA::AutoRef<Accessor> accessor(new Accessor);
  EXPECT_FALSE(
      accessor->Open(damaged("huge_brick_past_eof.vbs"), FA::TyqOptions(), &status, true, 0));
  EXPECT_EQ(status.tyqError(), E::ReadFailed);
}

// Histogram bins and statistics counts near the 64-bit limits overflowed
// once later writes were added to them.
TEST(DamagedCounts, CountsNoFileCanHoldAreRefused) {
  for (const char* name : {"hist_bins_int64_max.vbs", "hist_bin_int64_min.vbs"}) {
    Status status;
    FA::AutoRef<Accessor> accessor(new Accessor);
    EXPECT_FALSE(accessor->Open(damaged(name), FA::TyqOptions(), &status, false, 0)) << name;
    EXPECT_EQ(status.tyqError(), E::ReadFailed) << name;
  }
  constexpr int64_t kBig = int64_t{1} << 62;
  struct Case {
    int64_t binA, binB, histCount, statCount;
    bool opens;
  };
  const Case cases[] = {
      {5, 7, 12, 12, true},        {kBig, 0, kBig, kBig, true},         {-1, 7, 6, 6, false},
      {INT64_MIN, 0, 0, 0, false}, {kBig, 1, kBig, kBig, false},        {5, 7, -12, 12, false},
      {5, 7, 12, kBig + 1, false}, {INT64_MAX, INT64_MAX, 0, 0, false},
  };
  for (const Case& c : cases) {
    auto bytes = std::make_shared<Bytes>();
    {
      MemoryFile adt(bytes);
      File file("counts", FA::FileFactory::UsageCreate, &adt);
      FA::DataInfo info;
      info.SetExtent(0, 1, 10, 0, 1, 10, 0, 1, 10, false);
      ASSERT_TRUE(
          file.Create("counts", info, FA::DataTypeEnum::Float32, FA::TyqOptions(), nullptr, -1, 1));
      int64_t bins[FA::Histogram::kBins] = {};
      bins[3] = c.binA;
      bins[200] = c.binB;
      ASSERT_TRUE(file.SetDataHist(c.histCount, -1, 1, bins, nullptr));
      ASSERT_TRUE(file.SetDataStats(c.statCount, 1, 1, -1, 1, nullptr));
      ASSERT_TRUE(file.Flush(false, nullptr));
    }
    MemoryFile adt(bytes);
    File file("counts", FA::FileFactory::UsageRead, &adt);
    Status status;
    EXPECT_EQ(file.Open("counts", false, FA::TyqOptions(), &status), c.opens)
        << c.binA << " " << c.binB << " " << c.histCount << " " << c.statCount;
    if (!c.opens) {
      EXPECT_EQ(status.tyqError(), E::ReadFailed);
    }
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
