// What a new uncompressed file is made of comes from the caller: brick size
// through the options, refusals before anything reaches the disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::FileAccess {
namespace {

using E = Error;
using Private::Status;

bool exists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0;
}

DataInfo volume() {
  DataInfo info;
  info.SetExtent(0, 1, 40, 0, 1, 70, 0, 1, 20, false);
  return info;
}

int create(AutoRef<Writer>& writer, const std::string& name, int type, const TyqOptions& options,
           int version = 0) {
  Status status;
  return PoststackSeis3dBrickedAccessorFactory::CreateWriter(
      writer, name, volume(), static_cast<DataTypeEnum::value_type>(type), options, &status, -1, 1,
      version);
}

TEST(CreateOptions, RefusedBeforeAnythingIsOnDisk) {
  tyq_test::TempDir dir;
  TyqOptions options;
  AutoRef<Writer> writer;
  Status status;
  EXPECT_EQ(Tyq::CreateTyqWriter(writer, dir.file("ibm.vbs"), volume(), DataTypeEnum::IbmFloat32,
                                 options, &status, -1, 1, nullptr),
            E::InvalidArgument);
  EXPECT_NE(status.message().find(dir.file("ibm.vbs")), std::string::npos) << status.message();
  EXPECT_FALSE(exists(dir.file("ibm.vbs")));

  const struct {
    int32_t brick[3];
    int version;
  } refused[] = {
      {{16, 0, 8}, 0},
      {{-8, 8, 8}, 0},
      {{1, 1, 1}, 0},
      {{32, 64, 64}, 1},
      {{1 << 20, 1 << 20, 64}, 0},
  };
  for (const auto& r : refused) {
    std::copy(r.brick, r.brick + 3, options.brickSize);
    const std::string name = dir.file("refused.vbs");
    EXPECT_EQ(create(writer, name, DataTypeEnum::Float32, options, r.version), E::InvalidArgument)
        << r.brick[0] << "," << r.brick[1] << "," << r.brick[2];
    EXPECT_FALSE(exists(name));
  }
}

TEST(CreateOptions, BrickSizeTravelsInTheOptions) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("bricks.vbs");
  TyqOptions options;
  options.brickSize[0] = 16;
  options.brickSize[1] = 32;
  options.brickSize[2] = 8;
  // The options win over a host's environment override.
  ::setenv("OSTREL_TYQ_BRICK_SIZE", "128", 1);
  testing::internal::CaptureStderr();
  AutoRef<Writer> writer;
  const int code = create(writer, name, DataTypeEnum::Int16, options);
  const std::string warned = testing::internal::GetCapturedStderr();
  ::unsetenv("OSTREL_TYQ_BRICK_SIZE");
  ASSERT_EQ(code, 0);
  EXPECT_EQ(warned, "");
  std::vector<float> values(40 * 70 * 20);
  for (size_t n = 0; n < values.size(); ++n) values[n] = static_cast<float>(n % 17) / 17.0f;
  Status status;
  ASSERT_TRUE(writer->WriteData(0, 0, 0, 0, 40, 70, 20, values.data(), &status));
  ASSERT_TRUE(writer->Finalize(false, true, &status)) << status.message();
  writer = AutoRef<Writer>();

  AutoRef<Reader> reader;
  ASSERT_EQ(Tyq::CreateTyqReader(reader, name, TyqOptions(), &status), 0) << status.message();
  FileInfo info;
  ASSERT_TRUE(reader->GetFileInfo(info, &status));
  EXPECT_EQ(info.brickSize[0], 16);
  EXPECT_EQ(info.brickSize[1], 32);
  EXPECT_EQ(info.brickSize[2], 8);
  std::vector<float> back(values.size());
  ASSERT_TRUE(reader->ReadData(0, 0, 0, 0, 40, 70, 20, back.data(), &status));
  for (size_t n = 0; n < values.size(); n += 97) EXPECT_NEAR(back[n], values[n], 1e-4f) << n;

  // Without a size in the options the environment still decides, for hosts.
  ::setenv("OSTREL_TYQ_BRICK_SIZE", "32", 1);
  testing::internal::CaptureStderr();
  ASSERT_EQ(create(writer, dir.file("env.vbs"), DataTypeEnum::Int8, TyqOptions()), 0);
  testing::internal::GetCapturedStderr();
  ::unsetenv("OSTREL_TYQ_BRICK_SIZE");
  ASSERT_TRUE(writer->GetFileInfo(info, &status));
  EXPECT_EQ(info.brickSize[0], 32);
  EXPECT_EQ(info.brickSize[2], 32);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::FileAccess
