#pragma once

#include <memory>
#include <mutex>

#include "compressed/file_adt.h"

namespace Qra::Ostrel::Tyq::Private::Compressed {

// Owns another compressed file object and forwards every call to it, one at
// a time when locking is on, so that several writer threads may share it.
class CompressedFileSync final : public CompressedFileADT {
 public:
  CompressedFileSync(std::unique_ptr<CompressedFileADT> inner, bool locking)
      : inner_(std::move(inner)), locking_(locking) {}

  bool IsTwoStage() const override { return inner_->IsTwoStage(); }
  bool IsWritable() const override;
  bool Create(const std::string& name, const DataInfo& dataInfo, float sqnr, int32_t version,
              bool overwrite, Status* status) override;
  bool Open(const std::string& name, int32_t version, Status* status) override;
  bool Finalize(bool newRevision, Status* status) override;
  bool Discard(Status* status) override;
  const FileInfo* GetFileInfo(Status* status) const override;
  const DataInfo* GetDataInfo(Status* status) const override;
  const Histogram* GetDataHist(Status* status) const override;
  bool GetGridFlagsTilePos(long long* out, int level, int32_t i0, int32_t j0, int32_t ni,
                           int32_t nj, Status* status) override;
  bool GetDataBrickPos(long long* out, int level, int32_t i0, int32_t j0, int32_t k0, int32_t ni,
                       int32_t nj, int32_t nk, Status* status) override;
  bool SetBrick(int32_t i, int32_t j, int32_t k, int level, const CompressedBlock3d& block,
                Status* status) override;
  bool GetBrick(int32_t i, int32_t j, int32_t k, int level, CompressedBlock3d& block,
                Status* status) override;
  bool SetGridFlagsTile(int32_t i, int32_t j, int level, const AlphaTile& tile,
                        Status* status) override;
  bool GetGridFlagsTile(int32_t i, int32_t j, int level, AlphaTile& tile, Status* status) override;
  bool SetDataInfo(const DataInfo& info, Status* status) override;
  bool SetDataStats(int64_t count, double sum, double sumOfSquares, double min, double max,
                    Status* status) override;
  bool SetDataHist(int64_t count, double min, double max, const int64_t* bins,
                   Status* status) override;

 private:
  // Runs `call` on the inner object, under the lock when locking is on.
  template <typename Call>
  auto Locked(Call call) const {
    if (!locking_) return call(*inner_);
    std::lock_guard<std::mutex> hold(lock_);
    return call(*inner_);
  }

  std::unique_ptr<CompressedFileADT> inner_;
  bool locking_;
  mutable std::mutex lock_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
