// Opens arbitrary bytes as an uncompressed volume file and, when that
// succeeds, reads every table entry, brick and tile it describes.
#include <cstdint>
#include <memory>
#include <vector>

#include "bricked/file.h"
#include "support/memory_file.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Bricked::File;

// Bricks larger than this are legal but would only make the fuzzer slow.
constexpr int64_t kMaxBrickBytes = 16 << 20;

void readEverything(File& file) {
  const FA::FileInfo* info = file.GetFileInfo(nullptr);
  const int64_t brickBytes = info->GetNumberOfBytesPerBrick();
  if (brickBytes <= 0 || brickBytes > kMaxBrickBytes) return;
  std::vector<uint8_t> brick(static_cast<size_t>(brickBytes));
  std::vector<uint8_t> tile(static_cast<size_t>(info->GetNumberOfSamplesPerHorzTile()));
  int reads = 0;
  for (int level = 0; level < info->numberOfLods; ++level) {
    for (int32_t i = 0; i < file.GetNumberOfBricks(0, level); ++i) {
      for (int32_t j = 0; j < file.GetNumberOfBricks(1, level); ++j) {
        file.GetGridFlagsTile(i, j, level, tile.data(), nullptr);
        for (int32_t k = 0; k < file.GetNumberOfBricks(2, level) && reads < 64; ++k, ++reads) {
          file.GetBrick(i, j, k, level, brick.data(), nullptr);
        }
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<tyq_test::Bytes>(data, data + size);
  tyq_test::MemoryFile adt(bytes);
  File file("fuzz", FA::FileFactory::UsageRead, &adt);
  if (file.Open("fuzz", true, FA::TyqOptions(), nullptr)) readEverything(file);
  return 0;
}
