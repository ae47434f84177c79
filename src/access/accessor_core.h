#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "access/brick_store.h"
#include "access/conversion.h"
#include "access/held_bricks.h"
#include "access/lod_driver.h"
#include "core/aligned_buffer.h"
#include "core/ref_counted.h"
#include "tyq/accessor.h"
#include "tyq/stats.h"

namespace Qra::Ostrel::Tyq::Private::Access {

struct ConvertCall;

// The accessor over any brick store: cuts requests into bricks, fetches and
// stores them through the store, converts samples between the stored coding
// and the caller's type and scale, lays them out in the caller's storage
// order, keeps the histogram and statistics while writing and triggers
// level-of-detail generation. A format's accessor derives from it, opens
// its store and hands it to Attach; where a format's rules differ, it
// overrides the hooks below.
//
// Threads: reads and writes (data, bricks, flags) may run from several
// threads at once as long as no two of them write the same brick or flag
// tile (a box that covers a brick in part reads, merges and rewrites it).
// The histogram and statistics have their own lock, level-of-detail
// generation runs under another. Opening, Reopen, Flush, Finalize, Discard,
// SetDataInfo and the access scale range and storage order setters must not
// overlap any other call.
class AccessorCore : public FileAccess::Accessor, private RefCounted {
 public:
  using FileInfo = FileAccess::FileInfo;
  using DataInfo = FileAccess::DataInfo;
  using Histogram = FileAccess::Histogram;
  using StorageOrder = FileAccess::EnumClass<FileAccess::StorageOrderEnum>;

  ~AccessorCore() override;

  // AccessorBase
  bool GetFileInfo(FileInfo& info, Status* status) override;
  bool GetDataInfo(DataInfo& info, Status* status) override;
  bool GetDataHist(Histogram& hist, Status* status) override;
  bool SetAccessScaleRange(float low, float high, Status* status) override;
  bool GetAccessScaleRange(float& low, float& high, Status* status) override;
  bool SetAccessStorageOrder(StorageOrder order, Status* status) override;
  bool GetAccessStorageOrder(StorageOrder& order, Status* status) override;
  bool GetGridFlagsTilePos(long long* positions, int lod, int ti, int tj, int nti, int ntj,
                           Status* status) override;
  bool GetDataBrickPos(long long* positions, int lod, int bi, int bj, int bk, int nbi, int nbj,
                       int nbk, Status* status) override;
  void AddRef() override;
  void Release() override;

  // Reader
  bool Reopen(Status* status) override;
  bool ReadGridFlags(int lod, int i0, int j0, int ni, int nj, unsigned char* flags,
                     Status* status) override;
  bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, float* data,
                Status* status) override;
  bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, short* data,
                Status* status) override;
  bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, signed char* data,
                Status* status) override;
  bool ReadGridFlagsTile(int lod, int ti, int tj, int nti, int ntj, unsigned char** tiles,
                         Status* status) override;
  bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                     signed char** bricks, Status* status) override;
  bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk, short** bricks,
                     Status* status) override;
  bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk, float** bricks,
                     Status* status) override;
  bool ReadRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk, void** bricks,
                    Status* status) override;

  // Writer
  bool Flush(bool newIdentity, bool generateLods, Status* status) override;
  bool Finalize(bool newIdentity, bool generateLods, Status* status) override;
  void Discard(Status* status) override;
  bool SetDataInfo(const DataInfo& info, Status* status) override;
  bool WriteGridFlags(int lod, int i0, int j0, int ni, int nj, const unsigned char* flags,
                      Status* status) override;
  bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, const float* data,
                 Status* status) override;
  bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, const short* data,
                 Status* status) override;
  bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, const signed char* data,
                 Status* status) override;
  bool WriteGridFlagsTile(int lod, int ti, int tj, int nti, int ntj,
                          const unsigned char* const* tiles, Status* status) override;
  bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                      const signed char* const* bricks, Status* status) override;
  bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                      const short* const* bricks, Status* status) override;
  bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                      const float* const* bricks, Status* status) override;
  bool WriteRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                     const void* const* bricks, Status* status) override;

  // The store while open, else null.
  BrickStore* GetStore() const { return store_.get(); }

 protected:
  AccessorCore() = default;

  // Takes over an open store and prepares the caller's view of it; on
  // failure the store is discarded.
  bool Attach(std::unique_ptr<BrickStore> store, const FileAccess::TyqOptions& options,
              Status* status);

  // Hooks where a format's rules differ; the defaults are the uncompressed
  // format's.
  //
  // The in-memory histogram of a writable store, seeded from its records.
  virtual std::unique_ptr<HistogramBuilder> MakeHistogram(const Histogram& stored) const;
  // Whether a box that covers a brick in part keeps the brick's other
  // samples (read, merged, rewritten); otherwise they are written as 0.
  virtual bool MergesPartialBricks() const { return true; }
  // Whether, at level 0, a brick's old samples leave the histogram before
  // its new ones enter (a format that writes every brick once need not).
  virtual bool ReplacesOldSamples() const { return true; }
  // Whether a brick with these statistics (valid, live samples, stored
  // type) is stored as one value, and which: `value` receives one stored
  // sample. `firstLive` is the brick's first live sample; `written` the
  // level-0 statistics as they stood when the request began, for a format
  // that weighs bricks by them.
  virtual bool ChooseConstant(const StatisticData& brickStats, const StatisticData& written,
                              const void* firstLive, unsigned char* value) const;
  // Whether Flush stores statistics and histogram (else only Finalize).
  virtual bool StoresStatisticsOnFlush() const { return true; }

 private:
  // Reads one whole brick in the stored sample type for the driver, in
  // place when the writer still holds it.
  class BrickReader : public Lod::BrickSource {
   public:
    BrickReader(BrickStore& store, HeldBricks& held) : store_(store), held_(held) {}
    int GetBrick(int i, int j, int k, int lod, void* buffer, Status* status) override;
    std::shared_ptr<const AlignedBuffer> HeldBrick(int i, int j, int k, int lod) override;
    void BrickBuilt(int i, int j, int k, int lod, const void* samples) override;
    void BrickLost(int i, int j, int k, int lod) override;

   private:
    BrickStore& store_;
    HeldBricks& held_;
  };

  void ResetAccessScaleRange();
  bool UpdateConvFcn(Status* status);
  bool CheckOpen(Func& func) const;
  bool CheckLod(int lod, Func& func) const;

  template <typename T>
  bool ReadGeneralRangeT(int lod, const int start[3], const int size[3], T* data, Func& func);
  template <typename T>
  int ReadWholeBrickT(int lod, const int index[3], T* out, const int outStrides[3],
                      const ConvertCall& convert, int64_t requestBricks, Func& func);
  template <typename T>
  int ReadBoxPieceT(int lod, const int index[3], const int ovStart[3], const int ovSize[3], T* dst,
                    const int dstStrides[3], bool stream, int64_t requestBricks, Func& func);
  template <typename T>
  bool ReadBrickRangeT(int lod, const int start[3], const int count[3], T** bricks, bool raw,
                       Func& func);
  template <typename T>
  bool ReadDataExT(int lod, const int begin[3], const int end[3], T** bricks, bool raw, Func& func);
  template <typename T>
  ConvFcn ReadConversion(bool raw) const;
  template <typename T>
  ConvFcn WriteConversion(bool raw) const;
  // One brick of a write request: its index and, for a box, the part of
  // the box it takes (`source`: the part's first sample in the caller's
  // buffer); for whole bricks, `source` numbers the caller's brick.
  struct WriteItem {
    int index[3];
    int start[3], size[3];
    int64_t source;
    bool partial;
  };
  // What the bricks of one write request share, so that what the file holds
  // afterwards does not depend on the order they were stored in: the
  // level-0 statistics as they stood when the request began, by which
  // every brick's constant test weighs it, the histogram range its samples
  // are counted over, the flag tile of each column it touches, and each
  // brick's level-0 counts, merged into the writer's histogram in brick
  // order (the bricks stored before a failure still count). Its bricks may
  // be stored from several threads at once.
  class WriteRequest {
   public:
    struct Column {
      int state = -1;                   // as ReadRawGridFlagsTile says; -1 not read yet
      std::vector<unsigned char> tile;  // mixed columns only
    };
    // A brick's level-0 counts: samples that leave the histogram and
    // samples that enter it.
    struct Counts {
      std::optional<HistogramBuilder> gone, came;
    };

    // Columns [begin, end) of level `lod`.
    WriteRequest(AccessorCore& core, int lod, const int begin[2], const int end[2]);
    WriteRequest(const WriteRequest&) = delete;
    WriteRequest& operator=(const WriteRequest&) = delete;
    ~WriteRequest() { Finish(); }

    int lod() const { return lod_; }
    const StatisticData& written() const { return written_; }
    // A builder for samples entering (or, `fixed`, leaving) the histogram.
    HistogramBuilder Empty(bool fixed) const;
    Column& ColumnOf(int bi, int bj);
    // The request stores bricks 0 .. count - 1 from now on.
    void Expect(int64_t count);
    // Brick `n` was stored: its counts are merged once every brick before
    // it is settled too.
    void Settle(int64_t n, Counts counts);
    // Merges what is settled and not yet merged, in brick order.
    void Finish();
    // Whether the histogram had no range when the request began: its first
    // brick then sets one, which the others are counted over.
    bool NeedsRange() const { return binMin_ == binMax_ && !binFixed_; }
    void TakeRange();

   private:
    void MergeFrom(bool skipGaps);

    AccessorCore& core_;
    const int lod_;
    int begin_[2], columns1_;
    StatisticData written_;
    int binCount_ = 0;
    double binMin_ = 0.0, binMax_ = 0.0;
    bool binFixed_ = false;
    std::vector<Column> columns_;
    std::vector<std::optional<Counts>> settled_;  // under histLock_
    int64_t merged_ = 0;                          // under histLock_
  };

  template <typename T>
  bool WriteGeneralRangeT(int lod, const int start[3], const int size[3], const T* data,
                          Func& func);
  template <typename T>
  bool WriteBrickRangeT(int lod, const int start[3], const int count[3], const T* const* bricks,
                        bool raw, Func& func);
  template <typename T>
  bool WriteDataExT(int lod, const int begin[3], const int end[3], const T* const* bricks, bool raw,
                    Func& func);
  // WriteDataExT with its conversion chosen: bricks laid out in storage
  // order `order`, made stored samples by `convert` (null: they are).
  template <typename T>
  bool WriteBricksT(int lod, const int begin[3], const int end[3], const T* const* bricks,
                    ConvFcn convert, int order, Func& func);
  // Reads the flag tiles of the items' columns into the request, marks
  // absent ones all live, and drops the items of dead columns.
  bool PrepareColumns(WriteRequest& request, std::vector<WriteItem>& items, Func& func);
  // Calls body(n, func) for every item on the pool. Where writes rebuild
  // the levels above automatically, the items go in slabs of two brick
  // rows, each followed by building the parents it completed.
  template <typename Body>
  bool WriteItems(WriteRequest& request, const std::vector<WriteItem>& items, Func& func,
                  Body&& body);
  // Builds the parents that the items [first, last) completed.
  bool BuildParents(int lod, const std::vector<WriteItem>& items, size_t first, size_t last,
                    Func& func);
  // Writes item `n` of a box request (`item`) from the caller's box at
  // `data` laid out by `srcStrides`.
  template <typename T>
  bool WriteBoxItemT(WriteRequest& request, int64_t n, const WriteItem& item, const T* data,
                     const int srcStrides[3], Func& func);
  // Writes the part `ovStart`, `ovSize` of the caller's box into brick
  // `index` through the caller's type, assembled in `temp` (caller's storage
  // order).
  template <typename T>
  bool WriteBoxPieceT(WriteRequest& request, int64_t n, const int index[3], const int ovStart[3],
                      const int ovSize[3], const T* src, const int srcStrides[3], bool partial,
                      T* temp, std::shared_ptr<AlignedBuffer>* adoptable, Func& func);
  // Puts the part `ovStart`, `ovSize` of the caller's box (at `src`, laid
  // out by `srcStrides`) into brick `index` as the file holds it, assembled
  // in `work` (one brick of stored samples), and stores the brick. The
  // samples outside the part keep their stored bits.
  template <typename T>
  bool MergeStoredT(WriteRequest& request, int64_t n, const int index[3], const int ovStart[3],
                    const int ovSize[3], const T* src, const int srcStrides[3], void* work,
                    std::shared_ptr<AlignedBuffer>* adoptable, Func& func);
  // Stores brick `n` of the request (at `index`), laid out in storage order
  // `order` and made stored samples by `convert`.
  template <typename T>
  bool PutBrickT(WriteRequest& request, int64_t n, const int index[3], const T* in, ConvFcn convert,
                 int order, Func& func, std::shared_ptr<AlignedBuffer>* adoptable);
  // Stores brick `n` of the request, keeping the in-memory histogram exact
  // at level 0.
  bool StoreBrick(WriteRequest& request, int64_t n, const int index[3], const void* samples,
                  bool direct, Func& func, std::shared_ptr<AlignedBuffer>* adoptable = nullptr);
  bool ReadStoredBrick(const int index[3], AlignedBuffer& old, bool& had, Func& func);
  // Whether bricks of `lod` the caller writes are held for building the
  // level above.
  bool HoldsLevel(int lod) const;
  HistogramBuilder EmptyHistogram() const;
  bool CountConstant(const WriteRequest& request, const void* value, const int valid[3],
                     const unsigned char* flags, HistogramBuilder& counted) const;
  void ValidSize(int lod, const int index[3], int valid[3]) const;
  bool CollectFlagChange(int ti, int tj, int oldState, const unsigned char* before,
                         const unsigned char* after, HistogramBuilder& gone, HistogramBuilder& came,
                         bool& changed, Func& func);
  bool CheckWritable(Func& func) const;
  const void* FirstLiveSample(const void* samples, const int valid[3],
                              const unsigned char* flags) const;
  bool StoreStatistics(bool newIdentity, bool generateLods, Func& func);
  bool GenerateLODs(int highest, int force, const int* begin, const int* end, Status* status);
  void FlagExtent(int lod, int extent[3]) const;
  // State of a flag tile: 0 absent, 1 all dead, 2 all live, 3 mixed.
  bool ReadRawGridFlagsTile(int lod, int ti, int tj, int* state, unsigned char* buffer, Func& func);

  std::unique_ptr<BrickStore> store_;
  const FileInfo* fileInfo_ = nullptr;
  const DataInfo* dataInfo_ = nullptr;
  float scaleLow_ = 0.0f;
  float scaleHigh_ = 0.0f;
  StorageOrder accessOrder_;
  int brickStrides_[3] = {0, 0, 0};
  // Threads of the pool that the bricks of one request may use.
  int threads_ = 1;
  int flagStrides_[2] = {0, 0};
  ConversionTables conversions_{};
  mutable std::mutex histLock_;
  std::unique_ptr<HistogramBuilder> hist_;  // present exactly while writable
  std::mutex lodLock_;
  std::unique_ptr<AlignedBuffer> lodWork_;  // the driver's work buffer, under lodLock_
  Lod::LodSettings lodSettings_;
  // Bricks stored but not yet built into the level above.
  HeldBricks held_;
  // Bricks and flag tiles stored since the last successful flush: what a
  // release without Flush leaves unreachable.
  std::atomic<int64_t> unflushed_{0};
};

}  // namespace Qra::Ostrel::Tyq::Private::Access
