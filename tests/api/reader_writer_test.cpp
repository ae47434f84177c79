// The public reader and writer, in-process: codes, metadata translation and
// the error contract of every call.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tyq/api.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::TyqApi {
namespace {

MetaData description() {
  MetaData m;
  const auto i = [&m](int key, int v) { m.set(MetaDataKey::Get(key), Generic(v)); };
  const auto d = [&m](int key, double v) { m.set(MetaDataKey::Get(key), Generic(v)); };
  i(1000, 40);
  i(1001, 30);
  i(1002, 20);
  i(1003, 1002);
  d(1004, -1);
  d(1005, 1);
  d(1006, 1);
  d(1007, 1);
  d(1008, 1);
  d(1009, 1);
  i(1010, 1001);
  d(1011, 0.001);
  m.set(MetaDataKey::Get(1012), Generic(SimpleString("ms")));
  d(1013, 0);
  d(1014, 4);
  i(1015, 1003);
  d(1016, 3600);
  m.set(MetaDataKey::Get(1017), Generic(SimpleString("arcdeg")));
  for (int n = 0; n < 8; ++n) d(1018 + n, n * 0.5);
  return m;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

TEST(PublicWriter, DescriptionIsCheckedBeforeAnyFileIsMade) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("w.vbs");
  AutoRef<Writer> writer;
  Error error;
  // A copy shares the map, so take a fresh description for each variant.
  MetaData noZInc;
  MetaData full = description();
  for (int key = 1000; key <= 1025; ++key) {
    Generic v;
    if (key != 1014 && full.get(MetaDataKey::Get(key), &v)) noZInc.set(MetaDataKey::Get(key), v);
  }
  EXPECT_FALSE(getWriterFactory()->createWriter(name.c_str(), noZInc, writer, &error));
  EXPECT_EQ(error.getCode(), 3);
  EXPECT_FALSE(exists(name));

  MetaData badUnit = description();
  badUnit.set(MetaDataKey::Get(1015), Generic(1001));  // no horizontal code 1001
  EXPECT_FALSE(getWriterFactory()->createWriter(name.c_str(), badUnit, writer, &error));
  EXPECT_EQ(error.getCode(), 3);
  MetaData badName = description();
  badName.set(MetaDataKey::Get(1035), Generic(SimpleString("lowpass")));
  EXPECT_FALSE(getWriterFactory()->createWriter(name.c_str(), badName, writer, &error));
  MetaData floatSize = description();
  floatSize.set(MetaDataKey::Get(1000), Generic(40.0));  // sizes must be integers
  EXPECT_FALSE(getWriterFactory()->createWriter(name.c_str(), floatSize, writer, &error));
  EXPECT_FALSE(writer.get());
  EXPECT_FALSE(exists(name));

  ASSERT_TRUE(getWriterFactory()->createWriter(name.c_str(), description(), writer, &error));
  EXPECT_TRUE(error.isOk());
}

TEST(PublicReader, MetadataRoundTripsIntoANewWriter) {
  tyq_test::TempDir dir;
  AutoRef<Writer> writer;
  ASSERT_TRUE(
      getWriterFactory()->createWriter(dir.file("a.vbs").c_str(), description(), writer, nullptr));
  std::vector<float> box(40 * 30 * 20, 0.25f);
  box[7] = -0.5f;
  ASSERT_TRUE(writer->writeFloat(0, 0, 0, 40, 30, 20, box.data(), nullptr));
  ASSERT_TRUE(writer->finalize(nullptr));

  AutoRef<Reader> reader;
  Error error(7, SimpleString("stale"));
  ASSERT_TRUE(getReaderFactory()->createReader(dir.file("a.vbs").c_str(), reader, &error));
  EXPECT_TRUE(error.isOk());
  EXPECT_EQ(error.getCtx().size(), 0);
  MetaData metadata;
  ASSERT_TRUE(reader->getMetaData(metadata, &error));
  Generic v;
  int code = 0;
  ASSERT_TRUE(metadata.get(MetaDataKey::Get(1015), &v) && v.get(&code));
  EXPECT_EQ(code, 1003);
  ASSERT_TRUE(metadata.get(MetaDataKey::Get(1032), &v) && v.get(&code));
  EXPECT_EQ(code, 1001);  // trace-optimised bricks
  EXPECT_FALSE(metadata.get(MetaDataKey::Get(1034), &v));
  // What a reader reports is enough to create a like volume.
  AutoRef<Writer> again;
  EXPECT_TRUE(getWriterFactory()->createWriter(dir.file("b.vbs").c_str(), metadata, again, &error));

  std::vector<short> codes(4, 99);
  EXPECT_FALSE(reader->readInt16(0, 0, 0, 1, 1, 4, codes.data(), &error));
  EXPECT_EQ(error.getCode(), 3);
  EXPECT_EQ(codes[0], 99);
  std::vector<float> back(box.size());
  EXPECT_TRUE(reader->readFloat(0, 0, 0, 40, 30, 20, back.data(), nullptr));
  EXPECT_EQ(back, box);
  std::vector<float> brick(64 * 64 * 64);
  EXPECT_TRUE(reader->readRawBrick(0, 0, 0, 0, brick.data(), &error));
  EXPECT_EQ(brick[7], -0.5f);
  EXPECT_FALSE(reader->readFloatLod(0, 0, 0, 0, 0, 1, 1, back.data(), &error));
  EXPECT_EQ(error.getCode(), 3);
}

TEST(PublicReader, StoredTypesWithoutAPublicCodeSendNothing) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("u16.vbs");
  FileAccess::AutoRef<FileAccess::Writer> internal;
  FileAccess::DataInfo info;
  info.SetExtent(0, 1, 8, 0, 1, 8, 0, 1, 8, false);
  ASSERT_EQ(FileAccess::Tyq::CreateTyqWriter(internal, name, info, FileAccess::DataTypeEnum::UInt16,
                                             FileAccess::TyqOptions(), nullptr, 0, 1),
            0);
  ASSERT_TRUE(internal->Finalize(false, false, nullptr));
  internal = FileAccess::AutoRef<FileAccess::Writer>();
  AutoRef<Reader> reader;
  ASSERT_TRUE(getReaderFactory()->createReader(name.c_str(), reader, nullptr));
  MetaData metadata;
  Error error;
  EXPECT_FALSE(reader->getMetaData(metadata, &error));
  EXPECT_EQ(error.getCode(), 1);
  Generic v;
  EXPECT_FALSE(metadata.get(MetaDataKey::Get(1000), &v));

  Error missing;
  EXPECT_FALSE(getReaderFactory()->createReader(dir.file("none.vbs").c_str(), reader, &missing));
  EXPECT_EQ(missing.getCode(), 7);
  EXPECT_TRUE(reader.get());  // a failed open leaves the handle as it was
}

TEST(PublicWriter, SqnrKeyWritesACompressedFile) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("c.vcs");
  MetaData m = description();
  m.set(MetaDataKey::Get(MetaDataKey::Sqnr), Generic(35.0));
  AutoRef<Writer> writer;
  ASSERT_TRUE(getWriterFactory()->createWriter(name.c_str(), m, writer, nullptr));
  std::vector<float> box(40 * 30 * 20);
  for (size_t n = 0; n < box.size(); ++n) box[n] = static_cast<float>(n % 20) * 0.05f - 0.5f;
  std::vector<short> ints(box.size());
  EXPECT_FALSE(writer->writeInt16(0, 0, 0, 40, 30, 20, ints.data(), nullptr));
  ASSERT_TRUE(writer->writeFloat(0, 0, 0, 40, 30, 20, box.data(), nullptr));
  ASSERT_TRUE(writer->finalize(nullptr));

  AutoRef<Reader> reader;
  ASSERT_TRUE(getReaderFactory()->createReader(name.c_str(), reader, nullptr));
  MetaData got;
  ASSERT_TRUE(reader->getMetaData(got, nullptr));
  double sqnr = 0;
  Generic value;
  ASSERT_TRUE(got.get(MetaDataKey::Get(MetaDataKey::Sqnr), &value));
  ASSERT_TRUE(value.get(&sqnr));
  EXPECT_DOUBLE_EQ(sqnr, 35.0);
  std::vector<float> back(box.size());
  ASSERT_TRUE(reader->readFloat(0, 0, 0, 40, 30, 20, back.data(), nullptr));
  // The vertical index is fastest both ways: sample n % 20 along each trace.
  EXPECT_NEAR(back[21], box[21], 0.05f);
  EXPECT_NEAR(back[5000], box[5000], 0.05f);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::TyqApi
