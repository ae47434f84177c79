#include "compressed/file_sync.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

namespace FA = FileAccess;
using F = CompressedFileADT;

bool CompressedFileSync::IsWritable() const {
  return Locked([](F& f) { return f.IsWritable(); });
}

bool CompressedFileSync::Create(const std::string& name, const DataInfo& dataInfo, float sqnr,
                                int32_t version, bool overwrite, Status* status) {
  return Locked([&](F& f) { return f.Create(name, dataInfo, sqnr, version, overwrite, status); });
}

bool CompressedFileSync::Open(const std::string& name, int32_t version, Status* status) {
  return Locked([&](F& f) { return f.Open(name, version, status); });
}

bool CompressedFileSync::Finalize(bool newRevision, Status* status) {
  return Locked([&](F& f) { return f.Finalize(newRevision, status); });
}

bool CompressedFileSync::Discard(Status* status) {
  return Locked([&](F& f) { return f.Discard(status); });
}

const FA::FileInfo* CompressedFileSync::GetFileInfo(Status* status) const {
  return Locked([&](F& f) { return f.GetFileInfo(status); });
}

const FA::DataInfo* CompressedFileSync::GetDataInfo(Status* status) const {
  return Locked([&](F& f) { return f.GetDataInfo(status); });
}

const FA::Histogram* CompressedFileSync::GetDataHist(Status* status) const {
  return Locked([&](F& f) { return f.GetDataHist(status); });
}

bool CompressedFileSync::GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0,
                                             int32_t ni, int32_t nj, Status* status) {
  return Locked([&](F& f) { return f.GetGridFlagsTilePos(out, level, i0, j0, ni, nj, status); });
}

bool CompressedFileSync::GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0,
                                         int32_t k0, int32_t ni, int32_t nj, int32_t nk,
                                         Status* status) {
  return Locked(
      [&](F& f) { return f.GetDataBrickPos(out, level, i0, j0, k0, ni, nj, nk, status); });
}

bool CompressedFileSync::SetBrick(int32_t i, int32_t j, int32_t k, int level,
                                  const CompressedBlock3d& block, Status* status) {
  return Locked([&](F& f) { return f.SetBrick(i, j, k, level, block, status); });
}

bool CompressedFileSync::GetBrick(int32_t i, int32_t j, int32_t k, int level,
                                  CompressedBlock3d& block, Status* status) {
  return Locked([&](F& f) { return f.GetBrick(i, j, k, level, block, status); });
}

bool CompressedFileSync::SetGridFlagsTile(int32_t i, int32_t j, int level, const AlphaTile& tile,
                                          Status* status) {
  return Locked([&](F& f) { return f.SetGridFlagsTile(i, j, level, tile, status); });
}

bool CompressedFileSync::GetGridFlagsTile(int32_t i, int32_t j, int level, AlphaTile& tile,
                                          Status* status) {
  return Locked([&](F& f) { return f.GetGridFlagsTile(i, j, level, tile, status); });
}

bool CompressedFileSync::SetDataInfo(const DataInfo& info, Status* status) {
  return Locked([&](F& f) { return f.SetDataInfo(info, status); });
}

bool CompressedFileSync::SetDataStats(int64_t count, double sum, double sumOfSquares, double min,
                                      double max, Status* status) {
  return Locked([&](F& f) { return f.SetDataStats(count, sum, sumOfSquares, min, max, status); });
}

bool CompressedFileSync::SetDataHist(int64_t count, double min, double max, const int64_t* bins,
                                     Status* status) {
  return Locked([&](F& f) { return f.SetDataHist(count, min, max, bins, status); });
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
