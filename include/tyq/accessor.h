#pragma once

#include "tyq/autoref.h"
#include "tyq/enums.h"
#include "tyq/export.h"
#include "tyq/records.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::FileAccess {

using Private::Status;

// Metadata, caller view (scale range, storage order) and reference counting
// of anything that serves a volume. Every operation returns true on success
// and reports into the Status, which may be null. Objects are reference
// counted: hold them in AutoRef; the last Release destroys them.
//
// Threads: AddRef and Release may be called from any thread. On a volume
// file's reader, writer or accessor, the reads and writes of samples, bricks
// and grid flags may run from several threads at once, provided no two
// calls in flight write the same brick or flag tile (a box that covers a
// brick only in part reads, merges and rewrites the whole brick). Every
// other operation (Reopen, Flush, Finalize, Discard, SetDataInfo and the
// access scale range and storage order setters) must not overlap any other
// call on the same object. One reader of an uncompressed file serves several
// threads: its bricks are copied in place from a read-only mapping of the
// file, without a lock, so the reads run side by side. The synthetic reader
// serialises all its calls.
class TYQ_EXPORT AccessorBase {
 public:
  virtual bool GetFileInfo(FileInfo& info, Status* status) = 0;
  virtual bool GetDataInfo(DataInfo& info, Status* status) = 0;
  // The histogram stored in the file.
  virtual bool GetDataHist(Histogram& hist, Status* status) = 0;
  // The value range that integer caller buffers map to.
  virtual bool SetAccessScaleRange(float low, float high, Status* status) = 0;
  virtual bool GetAccessScaleRange(float& low, float& high, Status* status) = 0;
  // Layout of caller buffers (sample boxes and grid flags); any value is
  // accepted, unknown ones leave the previous layout's strides in force.
  // A freshly opened accessor starts in the file's own storage order, which
  // differs by format: 0 (TraceOptimized, k fastest) for uncompressed files
  // and 5 (TraditionalTyq, i fastest) for compressed ones. A host that reads
  // or writes both formats sets the order it means after every open.
  virtual bool SetAccessStorageOrder(EnumClass<StorageOrderEnum> order, Status* status) = 0;
  virtual bool GetAccessStorageOrder(EnumClass<StorageOrderEnum>& order, Status* status) = 0;
  // File position per tile or brick of the range (i outermost, k innermost),
  // 1 for a constant, 0 for one the file does not hold.
  virtual bool GetGridFlagsTilePos(long long* positions, int lod, int ti, int tj, int nti, int ntj,
                                   Status* status) = 0;
  virtual bool GetDataBrickPos(long long* positions, int lod, int bi, int bj, int bk, int nbi,
                               int nbj, int nbk, Status* status) = 0;
  virtual ~AccessorBase();
  virtual void AddRef() = 0;
  virtual void Release() = 0;
};

// Reading boxes of samples at any level of detail, bricks, and grid flags.
// Box buffers hold exactly the box, laid out in the access storage order;
// brick buffers are one pointer per brick of the range (i outermost, k
// innermost), a null pointer skipping that brick.
class TYQ_EXPORT Reader : public virtual AccessorBase {
 public:
  virtual bool Reopen(Status* status) = 0;
  virtual bool ReadGridFlags(int lod, int i0, int j0, int ni, int nj, unsigned char* flags,
                             Status* status) = 0;
  virtual bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, float* data,
                        Status* status) = 0;
  virtual bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, short* data,
                        Status* status) = 0;
  virtual bool ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, signed char* data,
                        Status* status) = 0;
  virtual bool ReadGridFlagsTile(int lod, int ti, int tj, int nti, int ntj, unsigned char** tiles,
                                 Status* status) = 0;
  virtual bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                             signed char** bricks, Status* status) = 0;
  virtual bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                             short** bricks, Status* status) = 0;
  virtual bool ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                             float** bricks, Status* status) = 0;
  // Bricks in the stored sample type, without conversion.
  virtual bool ReadRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                            void** bricks, Status* status) = 0;
};

// Writing full-resolution samples, bricks and grid flags; flushing and
// finalising. newIdentity gives the data a new identifier; generateLods
// rebuilds every dirty level of detail before the file is stored.
//
// Only Flush and Finalize store the tables through which a file finds its
// bricks: a writer released without them leaves everything written since
// the last Flush unreachable (the bricks are in the file, nothing points to
// them), and the library does not flush on release. With OSTREL_TYQ_DEBUG
// above 0 a trace line says how many bricks and tiles were lost. When Flush
// or Finalize fail (a full disk while levels of detail are built), they
// still store the tables of what was written before they report it.
//
// Grid flags decide which samples the statistics count, so writing a
// column's flags re-counts its stored bricks: it must not overlap writes of
// bricks in that column.
class TYQ_EXPORT Writer : public virtual AccessorBase {
 public:
  virtual bool Flush(bool newIdentity, bool generateLods, Status* status) = 0;
  virtual bool Finalize(bool newIdentity, bool generateLods, Status* status) = 0;
  virtual void Discard(Status* status) = 0;
  virtual bool SetDataInfo(const DataInfo& info, Status* status) = 0;
  virtual bool WriteGridFlags(int lod, int i0, int j0, int ni, int nj, const unsigned char* flags,
                              Status* status) = 0;
  virtual bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, const float* data,
                         Status* status) = 0;
  virtual bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, const short* data,
                         Status* status) = 0;
  virtual bool WriteData(int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                         const signed char* data, Status* status) = 0;
  virtual bool WriteGridFlagsTile(int lod, int ti, int tj, int nti, int ntj,
                                  const unsigned char* const* tiles, Status* status) = 0;
  virtual bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                              const signed char* const* bricks, Status* status) = 0;
  virtual bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                              const short* const* bricks, Status* status) = 0;
  virtual bool WriteDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                              const float* const* bricks, Status* status) = 0;
  virtual bool WriteRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                             const void* const* bricks, Status* status) = 0;
};

class TYQ_EXPORT Accessor : public Reader, public Writer {};

}  // namespace Qra::Ostrel::Tyq::FileAccess
