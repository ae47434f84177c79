// The fallback of stores that read bricks only whole.
#include "access/brick_store.h"

#include <cstring>

#include "core/aligned_buffer.h"

namespace Qra::Ostrel::Tyq::Private::Access {

bool BrickStore::GetBrickWindow(int32_t i, int32_t j, int32_t k, int level, void* window,
                                const BrickReadHint& hint, Status* status) {
  Func func("BrickStore::GetBrickWindow", status);
  const FileInfo* info = GetFileInfo(func.statusP());
  if (!info) return false;
  const int64_t total = info->GetNumberOfSamplesPerBrick();
  if (!window || hint.skipBefore < 0 || hint.skipAfter < 0 ||
      hint.skipBefore > total - hint.skipAfter) {
    return func.setError(FileAccess::Error::InvalidArgument, info->fileName);
  }
  const size_t sample = static_cast<size_t>(GetSampleSize());
  AlignedBuffer brick;
  if (!brick.Resize(static_cast<size_t>(total) * sample)) {
    return func.setError(FileAccess::Error::OutOfMemory, info->fileName);
  }
  if (!GetBrickPart(i, j, k, level, brick.data(), hint, func.statusP())) return false;
  std::memcpy(window, brick.bytes() + static_cast<size_t>(hint.skipBefore) * sample,
              static_cast<size_t>(total - hint.skipBefore - hint.skipAfter) * sample);
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private::Access
