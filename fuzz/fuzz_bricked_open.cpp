// Opens arbitrary bytes as an uncompressed volume file and, when that
// succeeds, reads every table entry, brick and tile it describes.
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "allocation_cap.h"
#include "bricked/file.h"
#include "support/memory_file.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Bricked::File;

// Bricks larger than this are legal but would only make the fuzzer slow,
// and so would walking every column of a damaged header's huge geometry:
// each level gets a budget of columns and bricks.
constexpr int64_t kMaxBrickBytes = 16 << 20;
constexpr int kMaxLevels = 32;
constexpr int kMaxReadsPerLevel = 16;
constexpr int kMaxStepsPerLevel = 64;

void readLevel(File& file, int level, uint8_t* brick, uint8_t* tile) {
  int reads = 0;
  int steps = 0;
  const auto more = [&] { return reads < kMaxReadsPerLevel && steps < kMaxStepsPerLevel; };
  for (int32_t i = 0; i < file.GetNumberOfBricks(0, level) && more(); ++i, ++steps) {
    for (int32_t j = 0; j < file.GetNumberOfBricks(1, level) && more(); ++j, ++steps) {
      file.GetGridFlagsTile(i, j, level, tile, nullptr);
      for (int32_t k = 0; k < file.GetNumberOfBricks(2, level) && more(); ++k, ++reads) {
        file.GetBrick(i, j, k, level, brick, nullptr);
      }
    }
  }
}

void readEverything(File& file) {
  const FA::FileInfo* info = file.GetFileInfo(nullptr);
  const int64_t brickBytes = info->GetNumberOfBytesPerBrick();
  if (brickBytes <= 0 || brickBytes > kMaxBrickBytes) return;
  std::vector<uint8_t> brick(static_cast<size_t>(brickBytes));
  std::vector<uint8_t> tile(static_cast<size_t>(info->GetNumberOfSamplesPerHorzTile()));
  for (int level = 0; level < info->numberOfLods && level < kMaxLevels; ++level) {
    readLevel(file, level, brick.data(), tile.data());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tyq_fuzz::AllocationCap cap;
  try {
    auto bytes = std::make_shared<tyq_test::Bytes>(data, data + size);
    tyq_test::MemoryFile adt(bytes);
    File file("fuzz", FA::FileFactory::UsageRead, &adt);
    if (file.Open("fuzz", true, FA::TyqOptions(), nullptr)) readEverything(file);
  } catch (const std::bad_alloc&) {
    // Above the allocation cap (allocation_cap.cpp): a refused input.
  }
  return 0;
}
