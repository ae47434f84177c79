// Opens arbitrary bytes as a compressed volume file and, when that
// succeeds, decodes the flag tiles and bricks it describes.
#include <cstdint>
#include <memory>
#include <vector>

#include "compressed/file.h"
#include "compressed/store.h"
#include "support/memory_file.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
namespace C = Qra::Ostrel::Tyq::Private::Compressed;

// Decoding is the slow part; a few bricks cover every path.
constexpr int kMaxBricks = 16;

void readEverything(C::Store& store) {
  const FA::FileInfo* info = store.GetFileInfo(nullptr);
  std::vector<float> brick(64 * 64 * 64);
  std::vector<uint8_t> tile(64 * 64);
  long long position = 0;
  int reads = 0;
  for (int level = 0; level < info->numberOfLods && reads < kMaxBricks; ++level) {
    for (int32_t i = 0; i < store.GetNumberOfBricks(0, level) && reads < kMaxBricks; ++i) {
      for (int32_t j = 0; j < store.GetNumberOfBricks(1, level) && reads < kMaxBricks; ++j) {
        store.GetGridFlagsTile(i, j, level, tile.data(), nullptr, nullptr);
        for (int32_t k = 0; k < store.GetNumberOfBricks(2, level) && reads < kMaxBricks; ++k) {
          store.GetDataBrickPos(&position, level, i, j, k, 1, 1, 1, nullptr);
          if (position == 0) continue;
          store.GetBrick(i, j, k, level, brick.data(), nullptr);
          ++reads;
        }
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<tyq_test::Bytes>(data, data + size);
  tyq_test::MemoryFile adt(bytes);
  auto file = std::make_unique<C::File>(FA::FileFactory::UsageRead, &adt);
  if (!file->Open("fuzz", 0, nullptr)) return 0;
  C::Store store(std::move(file), "fuzz", 0);
  readEverything(store);
  return 0;
}
