#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "io/vv_file.h"
#include "support/temp_dir.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::FileAccess {
namespace {

using E = Error;
using Private::Status;

void writeBytes(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

TEST(FileType, DetectedByMagicInOrder) {
  tyq_test::TempDir dir;
  const struct {
    const char* name;
    std::string bytes;
    int code;
    int type;
  } cases[] = {
      {"compressed", std::string("VCS\0", 4), 0, Tyq::FileTypeEnum::Compressed},
      {"uncompressed", std::string("VBS\0", 4), 0, Tyq::FileTypeEnum::Uncompressed},
      {"synthetic", "Synthetic-TYQ-c1842746-79d2-4fdb-a5fb-abc8c7a331c2 Version 1\n", 0,
       Tyq::FileTypeEnum::Synthetic},
      {"empty", "", E::ReadFailed, -1},
      {"short other", std::string(10, 'x'), E::ReadFailed, -1},
      {"long other", std::string(100, 'x'), E::UnknownFileType, -1},
  };
  for (const auto& c : cases) {
    writeBytes(dir.file(c.name), c.bytes);
    EnumClass<Tyq::FileTypeEnum> type(static_cast<Tyq::FileTypeEnum::value_type>(-1));
    Status status;
    EXPECT_EQ(Tyq::GetFileType(type, dir.file(c.name), &status), c.code) << c.name;
    EXPECT_EQ(static_cast<int>(type), c.type) << c.name;
  }
  EnumClass<Tyq::FileTypeEnum> type;
  Status status;
  EXPECT_EQ(Tyq::GetFileType(type, dir.file("missing"), &status), E::OpenFailed);
  EXPECT_EQ(status.sysError(), ENOENT);
  EXPECT_EQ(status.function(), "vvFile::OpenExistingFile from GetFileType");
}

TEST(FileType, SuppliedFileStaysOpen) {
  tyq_test::TempDir dir;
  writeBytes(dir.file("v"), std::string("VBS\0", 4));
  Private::vvFile file;
  EnumClass<Tyq::FileTypeEnum> type;
  EXPECT_EQ(Tyq::GetFileType(type, dir.file("v"), nullptr, &file), 0);
  EXPECT_TRUE(file.IsOpen());
}

DataInfo survey() {
  DataInfo info;
  info.SetExtent(1, 1, 100, 1, 1, 80, 0, 4, 60, false);
  return info;
}

TEST(EntryFunctions, WriterCreatesVersion3AndReaderOpensIt) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("new.vbs");
  AutoRef<Writer> writer;
  Status status;
  ASSERT_EQ(Tyq::CreateTyqWriter(writer, name, survey(), DataTypeEnum::Int16, TyqOptions(), &status,
                                 -2.0, 2.0),
            0)
      << status.message();
  ASSERT_TRUE(writer->Finalize(false, false, &status)) << status.message();
  writer = AutoRef<Writer>();

  AutoRef<Reader> reader;
  ASSERT_EQ(Tyq::CreateTyqReader(reader, name, TyqOptions(), &status), 0) << status.message();
  FileInfo info;
  ASSERT_TRUE(reader->GetFileInfo(info, &status));
  EXPECT_EQ(info.formatVersion, 3);
  EXPECT_EQ(info.valueMin, -2.0f);
  float data[4];
  EXPECT_FALSE(reader->ReadData(0, 0, 0, 0, 1, 2, 2, data, &status));
  EXPECT_EQ(status.tyqError(), E::BrickNotFound);

  AutoRef<Accessor> accessor;
  ASSERT_EQ(Tyq::CreateTyqAccessor(accessor, name, TyqOptions(), &status), 0);
  EXPECT_TRUE(accessor->Flush(false, false, &status)) << status.message();
}

TEST(EntryFunctions, FailuresLeaveHandlesEmptyAndNameTheTrail) {
  tyq_test::TempDir dir;
  writeBytes(dir.file("c.vcs"), std::string("VCS\0", 4));
  AutoRef<Accessor> accessor;
  Status status;
  EXPECT_EQ(Tyq::CreateTyqAccessor(accessor, dir.file("c.vcs"), TyqOptions(), &status),
            E::InvalidArgument);
  EXPECT_FALSE(accessor);
  EXPECT_EQ(status.context(), dir.file("c.vcs"));

  // A compressed file cut after its magic.
  AutoRef<Reader> reader;
  EXPECT_EQ(Tyq::CreateTyqReader(reader, dir.file("c.vcs"), TyqOptions(), &status), E::ReadFailed);
  EXPECT_FALSE(reader);

  writeBytes(dir.file("future.vbs"), std::string("VBS\0\x07\0\0\0", 8));
  EXPECT_EQ(Tyq::CreateTyqReader(reader, dir.file("future.vbs"), TyqOptions(), &status),
            E::VersionTooNew);
  EXPECT_EQ(status.function(),
            "File::SetVersion from File::ReadFileHeader from File::Reload from File::Open from "
            "Accessor::Open from PoststackSeis3dBrickedAccessorFactory::CreateReader from "
            "CreateTyqReader");

  AutoRef<Writer> writer;
  EXPECT_EQ(
      Tyq::CreateCompressedWriter(writer, dir.file("none/x.vcs"), survey(), &status, 20, 0, 1),
      E::CreateFailed);
  EXPECT_FALSE(writer);
  const std::string trail = status.function();
  EXPECT_EQ(trail.substr(trail.size() - 43), "CreateTyqWriter from CreateCompressedWriter");
}

TEST(EntryFunctions, ReadOnlyAndEmptyAccessorsRefuseWrites) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("ro.vbs");
  AutoRef<Writer> writer;
  ASSERT_EQ(Tyq::CreateTyqWriter(writer, name, survey(), DataTypeEnum::Float32, TyqOptions(),
                                 nullptr, 0, 0),
            0);
  ASSERT_TRUE(writer->Finalize(false, false, nullptr));
  Status status;
  const float sample = 1.0f;
  EXPECT_FALSE(writer->WriteData(0, 0, 0, 0, 1, 1, 1, &sample, &status));
  EXPECT_EQ(status.tyqError(), E::ReadOnly);
  writer->Discard(nullptr);
  FileInfo info;
  EXPECT_FALSE(writer->GetFileInfo(info, &status));
  EXPECT_EQ(status.tyqError(), E::NotOpen);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::FileAccess
