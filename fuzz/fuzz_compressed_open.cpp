// Opens arbitrary bytes as a compressed volume file and, when that
// succeeds, reads the flag tiles and bricks it describes through the store
// the accessors use. The store decodes a brick at full resolution, which
// under the sanitizers costs tens of times the rest of an input; coded
// bricks are therefore fetched from the file object and decoded here at
// quarter resolution with their column's flags (the block decode target
// covers full resolution), while constant, zero and dead bricks go through
// the store.
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "allocation_cap.h"
#include "compressed/file.h"
#include "compressed/store.h"
#include "support/memory_file.h"
#include "tyq/compressor3d.h"

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
namespace P = Qra::Ostrel::Tyq::Private;
namespace C = P::Compressed;

// A few bricks of each kind cover every path; the walk stops after a few
// hundred steps, however many levels and bricks a damaged header claims.
constexpr int kMaxBricks = 16;
constexpr int kMaxDecodes = 2;
constexpr int kMaxVisits = 256;
constexpr int kSamples = P::Compressor3d::kBlockSamples;

struct Reading {
  C::Store& store;
  C::File& file;
  int bricks = 0;
  int decodes = 0;
  int visits = 0;
  bool done() const { return bricks >= kMaxBricks || visits >= kMaxVisits; }
};

// Allocated once: clearing a megabyte per input would dominate.
float* brickBuffer() {
  static auto* buffer = new std::vector<float>(kSamples);
  return buffer->data();
}

void decodeCoarse(const P::CompressedBlock3d& block, const uint8_t* flags, bool twoStage) {
  static auto* codec = new P::Compressor3d;
  codec->PrepareDecompress(&block, P::CompDataFloat, brickBuffer(), flags, P::DecompSubbandsAll,
                           P::DecompQuarter, twoStage);
  codec->Execute();
}

void readBrick(Reading& r, int32_t i, int32_t j, int32_t k, int level, const uint8_t* flags) {
  ++r.visits;
  long long position = 0;
  r.store.GetDataBrickPos(&position, level, i, j, k, 1, 1, 1, nullptr);
  if (position == 0) return;
  ++r.bricks;
  P::CompressedBlock3d block;
  if (!r.file.GetBrick(i, j, k, level, block, nullptr)) return;
  if (block.IsAllConst()) {
    r.store.GetBrick(i, j, k, level, brickBuffer(), nullptr);
  } else if (r.decodes < kMaxDecodes) {
    ++r.decodes;
    if (block.UnpackData()) decodeCoarse(block, flags, r.file.IsTwoStage());
  }
}

void readColumn(Reading& r, int32_t i, int32_t j, int level) {
  static auto* tile = new std::vector<uint8_t>(64 * 64);
  ++r.visits;
  bool uniform = false;
  const bool hasTile = r.store.GetGridFlagsTile(i, j, level, tile->data(), &uniform, nullptr);
  const bool dead = hasTile && uniform && (*tile)[0] == 0;
  const uint8_t* flags = hasTile && !uniform ? tile->data() : nullptr;
  for (int32_t k = 0; k < r.store.GetNumberOfBricks(2, level) && !r.done(); ++k) {
    if (dead) {
      ++r.bricks;
      r.store.GetBrick(i, j, k, level, brickBuffer(), nullptr);
    } else {
      readBrick(r, i, j, k, level, flags);
    }
  }
}

void readEverything(Reading& r) {
  const FA::FileInfo* info = r.store.GetFileInfo(nullptr);
  for (int level = 0; level < info->numberOfLods && !r.done(); ++level, ++r.visits) {
    for (int32_t i = 0; i < r.store.GetNumberOfBricks(0, level) && !r.done(); ++i, ++r.visits) {
      for (int32_t j = 0; j < r.store.GetNumberOfBricks(1, level) && !r.done(); ++j) {
        readColumn(r, i, j, level);
      }
    }
  }
}

void openAndRead(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<tyq_test::Bytes>(data, data + size);
  tyq_test::MemoryFile adt(bytes);
  auto owned = std::make_unique<C::File>(FA::FileFactory::UsageRead, &adt);
  C::File& file = *owned;
  if (!file.Open("fuzz", 0, nullptr)) return;
  C::Store store(std::move(owned), "fuzz", 0);
  Reading reading{store, file};
  readEverything(reading);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tyq_fuzz::AllocationCap cap;
  try {
    openAndRead(data, size);
  } catch (const std::bad_alloc&) {
    // Above the allocation cap (allocation_cap.cpp): a refused input.
  }
  return 0;
}
