#include "entry/format_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "support/temp_dir.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::Private::Entry {
namespace {

namespace FA = FileAccess;

TEST(FormatTable, EveryRowIsFoundByItsMagicAndOffersWhatItSays) {
  tyq_test::TempDir dir;
  std::set<int> types;
  for (const Access::FormatRow& row : FormatTable()) {
    EXPECT_TRUE(types.insert(row.type).second) << "type listed twice: " << row.type;
    EXPECT_EQ(FormatRowOf(row.type), &row);
    // The magic alone, padded to the longest magic so no shorter file trips
    // the read error of the detection.
    const std::string name = dir.file("row" + std::to_string(row.type));
    std::ofstream(name, std::ios::binary) << row.magic << std::string(64, '\n');
    FA::EnumClass<FA::Tyq::FileTypeEnum> type;
    Status status;
    EXPECT_EQ(FA::Tyq::GetFileType(type, name, &status), 0) << status.message();
    EXPECT_EQ(static_cast<int>(type), row.type);
  }
  EXPECT_EQ(FormatRowOf(99), nullptr);
  const Access::FormatRow* synthetic = FormatRowOf(FA::Tyq::FileTypeEnum::Synthetic);
  ASSERT_NE(synthetic, nullptr);
  EXPECT_NE(synthetic->openReader, nullptr);
  EXPECT_EQ(synthetic->openAccessor, nullptr);
  EXPECT_EQ(synthetic->createWriter, nullptr);
  const Access::FormatRow* bricked = FormatRowOf(FA::Tyq::FileTypeEnum::Uncompressed);
  ASSERT_NE(bricked, nullptr);
  EXPECT_EQ(bricked->magic,
            std::string_view(FA::PoststackSeis3dBrickedAccessorFactory::GetMagic(), 4));
}

TEST(FormatTable, TheSyntheticSignatureIsTriedLast) {
  const auto table = FormatTable();
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table.back().type, FA::Tyq::FileTypeEnum::Synthetic);
  for (const Access::FormatRow& row : table) EXPECT_LE(row.magic.size(), table.back().magic.size());
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Entry
