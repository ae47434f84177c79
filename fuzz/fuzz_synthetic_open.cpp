// Parses arbitrary bytes as a synthetic volume description and, when that
// succeeds, reads a few boxes at a few levels.
#include <cstdint>
#include <memory>
#include <vector>

#include "support/memory_file.h"
#include "synthetic/synthetic_reader.h"

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Factory::SyntheticReader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tyq_test::MemoryFile adt(std::make_shared<tyq_test::Bytes>(data, data + size));
  FA::AutoRef<FA::Reader> reader;
  if (SyntheticReader::Create(reader, "fuzz", &adt, nullptr) != 0) return 0;
  std::vector<float> box(16 * 16 * 16);
  std::vector<signed char> codes(box.size());
  for (int lod = 0; lod < 3; ++lod) {
    reader->ReadData(lod, 0, 0, 0, 16, 16, 16, box.data(), nullptr);
    reader->ReadData(lod, -3, 5, 1000, 16, 16, 16, codes.data(), nullptr);
  }
  return 0;
}
