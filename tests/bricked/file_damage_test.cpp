// Opening damaged or hostile files: each gives a clear code, never a crash,
// and never an allocation the file's own size cannot justify.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "bricked/file.h"
#include "bricked/format.h"
#include "core/endian.h"
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
  EXPECT_TRUE(file.Create("good", info, FA::DataTypeEnum::Int8, FA::TyqOptions(), nullptr, 0, 1,
                          version));
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
    for (size_t cut : {size_t{4}, size_t{8}, size_t{20}, size_t{100}, size_t{300},
                       tablesEnd - 100, tablesEnd - 1}) {
      const Bytes shortened(good.begin(), good.begin() + static_cast<long>(cut));
      EXPECT_EQ(openCode(shortened), E::ReadFailed) << "version " << version << " cut " << cut;
    }
    // Cut right behind the tables, the one brick the table stores is gone:
    // its brick size is no longer believable.
    const Bytes tablesOnly(good.begin(), good.begin() + static_cast<long>(tablesEnd));
    EXPECT_EQ(openCode(tablesOnly), E::ReadFailed) << "version " << version;
  }
}

void putI32(Bytes& bytes, size_t at, int32_t v) { Le::putI32(bytes.data() + at, v); }

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

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Bricked
