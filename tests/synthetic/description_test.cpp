// Opening synthetic volume descriptions: the records built from a good one,
// and clean failures for spoilt, truncated, garbled and oversized ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "support/temp_dir.h"
#include "synthetic_text.h"

namespace tyq_synthetic_test {
namespace {

using E = FA::Error;

TEST(SyntheticOpen, RecordsFollowTheDescription) {
  const std::string text = Description().Text();
  MemoryReader m(text, "volume.syn");
  ASSERT_EQ(m.code, 0) << m.status.message();

  FA::FileInfo fi;
  ASSERT_TRUE(m.reader->GetFileInfo(fi, nullptr));
  EXPECT_EQ(fi.fileName, "volume.syn");
  EXPECT_EQ(fi.fileSize, static_cast<int64_t>(text.size()));
  EXPECT_EQ(fi.formatName, "Synthetic TYQ");
  EXPECT_EQ(fi.formatVersion, 1);
  EXPECT_EQ(fi.numberOfLods, 1);
  EXPECT_EQ(fi.brickSize[2], 64);
  EXPECT_EQ(fi.brickCount[0], 2);  // 70 inlines in bricks of 64
  EXPECT_EQ(fi.storageOrder, 0);
  EXPECT_EQ(fi.coding, FA::CodingTypeEnum::Uncompressed);
  EXPECT_EQ(fi.dataType, FA::DataTypeEnum::Float32);
  EXPECT_EQ(fi.valueMin, -1.0f);
  EXPECT_EQ(fi.valueMax, 1.0f);

  FA::DataInfo di;
  ASSERT_TRUE(m.reader->GetDataInfo(di, nullptr));
  EXPECT_EQ(di.size[0], 70);
  EXPECT_EQ(di.size[1], 50);
  EXPECT_EQ(di.size[2], 90);
  EXPECT_EQ(di.regionSize[2], 90);
  EXPECT_EQ(di.annotStart[1], 200.0f);
  EXPECT_EQ(di.annotInc[2], 4.0f);
  EXPECT_EQ(di.statCount, 0);
  EXPECT_EQ(di.statMin, -0.75f);
  EXPECT_EQ(di.statMax, 0.5f);
  EXPECT_EQ(di.sourceName, "volume.syn");
  EXPECT_EQ(di.sourceDescription, "Synthetic TYQ data");
  EXPECT_EQ(di.coordinateSystem, "<projection system>");
  EXPECT_EQ(di.horzDimension, FA::HorzDimEnum::Length);
  EXPECT_EQ(di.horzUnit, FA::Unit(0.3048, "ft"));
  EXPECT_EQ(di.vertDimension, FA::VertDimEnum::Time);
  EXPECT_EQ(di.vertUnit, FA::Unit(0.001, "ms"));
  // Last inline annotation 169, last crossline 298, through the tie points.
  const double corners[4][2] = {{1000, 4005}, {1690, 4005}, {1000, 5965}, {1690, 5965}};
  for (int c = 0; c < 4; ++c) {
    EXPECT_NEAR(di.corners[c][0], corners[c][0], 1e-6) << c;
    EXPECT_NEAR(di.corners[c][1], corners[c][1], 1e-6) << c;
  }

  FA::Histogram hist;
  ASSERT_TRUE(m.reader->GetDataHist(hist, nullptr));
  EXPECT_EQ(hist.count, 0);
  EXPECT_EQ(hist.min, -1.5f);
  EXPECT_EQ(hist.max, 1.5f);
  for (int b = 0; b < FA::Histogram::kBins; ++b) ASSERT_EQ(hist.bins[b], b);

  float low = 0, high = 0;
  ASSERT_TRUE(m.reader->GetAccessScaleRange(low, high, nullptr));
  EXPECT_EQ(low, -1.0f);
  EXPECT_EQ(high, 1.0f);
  FA::EnumClass<FA::StorageOrderEnum> order(FA::StorageOrderEnum::TraditionalTyq());
  ASSERT_TRUE(m.reader->GetAccessStorageOrder(order, nullptr));
  EXPECT_EQ(order, 0);
}

TEST(SyntheticOpen, CommentsBlankLinesAndLeadingBlanksAreSkipped) {
  Description d;
  d.vertical = "1 m depth";
  std::string decorated = d.Lines()[0] + "\r\n# a comment line\n\n   \n";
  for (size_t n = 1; n < d.Lines().size(); ++n) {
    decorated += "\t  " + d.Lines()[n] + "   # trailing comment " + std::to_string(n) + "\r\n";
    if (n % 5 == 0) decorated += "#\n\t\n";
  }
  MemoryReader plain(d.Text()), fancy(decorated);
  ASSERT_EQ(plain.code, 0);
  ASSERT_EQ(fancy.code, 0) << fancy.status.message();
  FA::FileInfo a, b;
  FA::DataInfo c, e;
  FA::Histogram f, g;
  ASSERT_TRUE(plain.reader->GetFileInfo(a, nullptr) && fancy.reader->GetFileInfo(b, nullptr));
  ASSERT_TRUE(plain.reader->GetDataInfo(c, nullptr) && fancy.reader->GetDataInfo(e, nullptr));
  ASSERT_TRUE(plain.reader->GetDataHist(f, nullptr) && fancy.reader->GetDataHist(g, nullptr));
  b.fileSize = a.fileSize;
  EXPECT_EQ(a, b);
  EXPECT_EQ(c, e);
  EXPECT_EQ(f, g);
  EXPECT_EQ(e.vertDimension, FA::VertDimEnum::Depth);
}

struct Spoilt {
  const char* what;
  std::function<void(Description&)> spoil;
  int code;
};

TEST(SyntheticOpen, SpoiltLinesFailWithTheirCodeAndTheName) {
  const Spoilt cases[] = {
      {"version 2", [](Description& d) { d.version = "2"; }, E::VersionTooNew},
      {"version 0", [](Description& d) { d.version = "0"; }, E::VersionTooOld},
      {"version -3", [](Description& d) { d.version = "-3"; }, E::VersionTooOld},
      {"version word", [](Description& d) { d.version = "one"; }, E::ReadFailed},
      {"version huge", [](Description& d) { d.version = "99999999999999999999"; }, E::ReadFailed},
      {"type only", [](Description& d) { d.typeAndRange = "F32 -1"; }, E::ReadFailed},
      {"unknown type", [](Description& d) { d.typeAndRange = "F64 -1 1"; }, E::ReadFailed},
      {"two bricks", [](Description& d) { d.bricks = "64 64"; }, E::ReadFailed},
      {"glued token", [](Description& d) { d.bricks = "64 64 6x4"; }, E::ReadFailed},
      {"one statistic", [](Description& d) { d.statistics = "-1"; }, E::ReadFailed},
      {"nan in range", [](Description& d) { d.histogram = "nan 1"; }, E::ReadFailed},
      {"axis two tokens", [](Description& d) { d.axes[2] = "0 4"; }, E::ReadFailed},
      {"fractional count", [](Description& d) { d.axes[0] = "0 1 7.5"; }, E::ReadFailed},
      {"no domain", [](Description& d) { d.vertical = "0.001 ms"; }, E::ReadFailed},
      {"unknown domain", [](Description& d) { d.vertical = "1 m height"; }, E::ReadFailed},
      {"no unit", [](Description& d) { d.horizontal = "1"; }, E::ReadFailed},
      {"short tie", [](Description& d) { d.ties[3] = "1 2 3"; }, E::ReadFailed},
      {"negative border", [](Description& d) { d.border = "-1"; }, E::ReadFailed},
      // Sizes no volume can have.
      {"zero count", [](Description& d) { d.axes[1] = "0 1 0"; }, E::ReadFailed},
      {"negative count", [](Description& d) { d.axes[1] = "0 1 -5"; }, E::ReadFailed},
      {"count past int", [](Description& d) { d.axes[1] = "0 1 2147483648"; }, E::ReadFailed},
      {"zero brick", [](Description& d) { d.bricks = "64 0 64"; }, E::ReadFailed},
      {"huge brick", [](Description& d) { d.bricks = "1024 1024 1024"; }, E::ReadFailed},
      {"too many samples",
       [](Description& d) {
         for (auto& axis : d.axes) axis = "0 1 2147483647";
       },
       E::ReadFailed},
      {"range too wide", [](Description& d) { d.typeAndRange = "F32 -3e38 3e38"; }, E::ReadFailed},
  };
  for (const auto& c : cases) {
    Description d;
    c.spoil(d);
    MemoryReader m(d.Text(), "spoilt.syn");
    EXPECT_EQ(m.code, c.code) << c.what;
    EXPECT_EQ(m.status.context(), "spoilt.syn") << c.what;
    EXPECT_FALSE(m.reader) << c.what;
  }
}

TEST(SyntheticOpen, LargestSizesAreAccepted) {
  Description d;
  d.axes[0] = "0 1 2147483647";
  d.axes[1] = "0 1 2147483647";
  d.axes[2] = "0 1 2";
  d.bricks = "256 256 4096";
  d.border = "18446744073709551615";
  MemoryReader m(d.Text());
  EXPECT_EQ(m.code, 0) << m.status.message();
}

TEST(SyntheticOpen, SignatureProblems) {
  const std::string signature = Description().Lines()[0];
  struct {
    const char* what;
    std::string text;
    int code;
  } cases[] = {
      {"empty", "", E::ReadFailed},
      {"comments only", "# nothing\n\n", E::ReadFailed},
      {"cut signature", signature.substr(0, 30), E::ReadFailed},
      {"other text", "Hello, world\n" + Description().Text(), E::UnknownFileType},
      {"changed signature", "X" + Description().Text().substr(1), E::UnknownFileType},
      {"nothing after signature", signature + "\n# end\n", E::ReadFailed},
  };
  for (const auto& c : cases) {
    MemoryReader m(c.text, "sig.syn");
    EXPECT_EQ(m.code, c.code) << c.what;
    EXPECT_EQ(m.status.context(), "sig.syn") << c.what;
  }
}

TEST(SyntheticOpen, EveryTruncationFails) {
  const std::string text = Description().Text();
  // Without its final newline the text is still whole; any shorter prefix
  // lacks at least the last line.
  for (size_t n = 0; n + 1 < text.size(); ++n) {
    MemoryReader m(text.substr(0, n));
    ASSERT_EQ(m.code, E::ReadFailed) << n;
  }
  EXPECT_EQ(MemoryReader(text.substr(0, text.size() - 1)).code, 0);
}

// Random damage must never crash or leave a reader that cannot read.
TEST(SyntheticOpen, GarbledDescriptionsFailCleanly) {
  const std::string signature = Description().Lines()[0] + "\n";
  const std::string text = Description().Text();
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 300; ++round) {
    std::string garbage = signature;
    for (int n = 0; n < 400; ++n) garbage += static_cast<char>(byte(rng));
    EXPECT_EQ(MemoryReader(garbage).code, E::ReadFailed) << round;
  }
  std::uniform_int_distribution<size_t> position(0, text.size() - 1);
  const char replacements[] = "0123456789-+.e# \n\tx\0";
  std::uniform_int_distribution<size_t> replacement(0, sizeof replacements - 1);
  for (int round = 0; round < 1000; ++round) {
    std::string damaged = text;
    for (int n = 0; n < 3; ++n) damaged[position(rng)] = replacements[replacement(rng)];
    MemoryReader m(damaged);
    const int code = m.code;
    ASSERT_TRUE(code == 0 || code == E::ReadFailed || code == E::UnknownFileType ||
                code == E::VersionTooOld || code == E::VersionTooNew)
        << code;
    if (code == 0) {
      float box[8];
      ASSERT_TRUE(m.reader->ReadData(0, -1, -1, -1, 2, 2, 2, box, nullptr));
    }
  }
}

TEST(SyntheticOpen, OversizedFileIsRefused) {
  std::string text = Description().Text();
  text += "#" + std::string(std::size_t{1} << 20, 'x') + "\n";
  MemoryReader m(text, "big.syn");
  EXPECT_EQ(m.code, E::ReadFailed);
  EXPECT_EQ(m.status.context(), "big.syn");
}

TEST(SyntheticOpen, FailedOpenLeavesNothingToRead) {
  tyq_test::MemoryFile file(BytesOf("not a description"));
  FA::AutoRef<SyntheticReader> reader(new SyntheticReader("bad.syn", &file));
  Status status;
  EXPECT_FALSE(reader->Open("bad.syn", &status));
  EXPECT_EQ(status.tyqError(), E::UnknownFileType);
  FA::FileInfo fi;
  EXPECT_FALSE(reader->GetFileInfo(fi, &status));
  EXPECT_EQ(status.tyqError(), E::NotOpen);
  EXPECT_EQ(status.context(), "");
  EXPECT_EQ(status.function(), "SyntheticReader::GetFileInfo");
  float v = 0;
  EXPECT_FALSE(reader->ReadData(0, 0, 0, 0, 1, 1, 1, &v, nullptr));
  EXPECT_FALSE(reader->Reopen(nullptr));
}

TEST(SyntheticReopen, FailureKeepsTheEarlierRecords) {
  Description d;
  MemoryReader m(d.Text());
  ASSERT_EQ(m.code, 0);
  d.version = "2";
  *m.bytes = *BytesOf(d.Text());
  Status status;
  EXPECT_FALSE(m.reader->Reopen(&status));
  EXPECT_EQ(status.tyqError(), E::VersionTooNew);
  FA::FileInfo fi;
  ASSERT_TRUE(m.reader->GetFileInfo(fi, nullptr));
  EXPECT_EQ(fi.brickSize[0], 64);

  d.version = "1";
  d.bricks = "32 16 8";
  *m.bytes = *BytesOf(d.Text());
  ASSERT_TRUE(m.reader->SetAccessScaleRange(-5, 5, nullptr));
  ASSERT_TRUE(m.reader->Reopen(&status)) << status.message();
  ASSERT_TRUE(m.reader->GetFileInfo(fi, nullptr));
  EXPECT_EQ(fi.brickSize[0], 32);
  EXPECT_EQ(fi.brickSize[2], 8);
  float low = 0, high = 0;
  ASSERT_TRUE(m.reader->GetAccessScaleRange(low, high, nullptr));
  EXPECT_EQ(low, -1.0f);
  EXPECT_EQ(high, 1.0f);
}

TEST(SyntheticOpen, FromDiskThroughTheFileFactory) {
  tyq_test::TempDir dir;
  const std::string name = dir.file("disk.syn");
  const std::string text = Description().Text();
  std::ofstream(name, std::ios::binary) << text;
  FA::AutoRef<FA::Reader> reader;
  Status status;
  ASSERT_EQ(SyntheticReader::Create(reader, name, nullptr, &status), 0) << status.message();
  FA::FileInfo fi;
  ASSERT_TRUE(reader->GetFileInfo(fi, nullptr));
  EXPECT_EQ(fi.fileSize, static_cast<int64_t>(text.size()));

  Status missing;
  FA::AutoRef<FA::Reader> none;
  EXPECT_NE(SyntheticReader::Create(none, dir.file("absent.syn"), nullptr, &missing), 0);
  EXPECT_FALSE(none);
}

// The shipped demonstration volume.
TEST(SyntheticOpen, ExampleDescription) {
  const char* data = std::getenv("TYQ_TEST_DATA");
  if (!data) GTEST_SKIP() << "TYQ_TEST_DATA not set";
  const std::string name = (std::filesystem::path(data).parent_path().parent_path() /
                            "apps/tyq/examples" / "demo_synthetic.txt")
                               .string();
  FA::AutoRef<FA::Reader> reader;
  Status status;
  ASSERT_EQ(SyntheticReader::Create(reader, name, nullptr, &status), 0) << status.message();
  FA::FileInfo fi;
  FA::DataInfo di;
  ASSERT_TRUE(reader->GetFileInfo(fi, nullptr) && reader->GetDataInfo(di, nullptr));
  EXPECT_EQ(fi.dataType, FA::DataTypeEnum::Float32);
  for (int a = 0; a < 3; ++a) EXPECT_GE(di.size[a], 256) << a;
  EXPECT_EQ(di.vertDimension, FA::VertDimEnum::Time);
  EXPECT_EQ(di.vertUnit.name, "ms");
  // The unused fourth tie point agrees with the map of the other three.
  EXPECT_NEAR(di.corners[3][0], 462298.44, 0.05);
  EXPECT_NEAR(di.corners[3][1], 6788240.78, 0.05);
}

}  // namespace
}  // namespace tyq_synthetic_test
