#pragma once

// Entry functions: open a volume file by name (its kind is found from its
// first bytes) or create one, and get a reader, writer or accessor for it.
// Each returns 0 or the error code the status holds; the status may be null.
// A caller-supplied file is used instead of one from the file factory and is
// never destroyed by the library.
//
// Buffer layout: the accessor handed out lays caller buffers (ReadData,
// WriteData, grid flags) in the file's own storage order until the caller
// sets another: 0 (TraceOptimized, sample index fastest) for uncompressed
// files, 5 (TraditionalTyq, inline index fastest) for compressed files, and
// 0 for synthetic volumes. The same call on two formats therefore fills the
// buffer differently; call SetAccessStorageOrder after opening.

#include <string>

#include "tyq/accessor.h"
#include "tyq/export.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::FileAccess::Tyq {

TYQ_EXPORT int GetFileType(EnumClass<FileTypeEnum>& type, const std::string& name, Status* status,
                           FileADT* file = nullptr);
// Reads `length` bytes at 0 and compares them with `magic`.
TYQ_EXPORT int VerifyMagic(FileADT& file, const char* magic, int length, Status* status);
TYQ_EXPORT int CreateTyqReader(AutoRef<Reader>& reader, const std::string& name,
                               const TyqOptions& options, Status* status, FileADT* file = nullptr);
TYQ_EXPORT int CreateTyqAccessor(AutoRef<Accessor>& accessor, const std::string& name,
                                 const TyqOptions& options, Status* status,
                                 FileADT* file = nullptr);
TYQ_EXPORT int CreateTyqWriter(AutoRef<Writer>& writer, const std::string& name,
                               const DataInfo& dataInfo, EnumClass<DataTypeEnum> dataType,
                               const TyqOptions& options, Status* status, double valueMin,
                               double valueMax, FileADT* file = nullptr);
TYQ_EXPORT int CreateCompressedWriter(AutoRef<Writer>& writer, const std::string& name,
                                      DataInfo dataInfo, Status* status, float sqnr,
                                      double valueMin, double valueMax, FileADT* file = nullptr);

}  // namespace Qra::Ostrel::Tyq::FileAccess::Tyq

namespace Qra::Ostrel::Tyq::FileAccess {

// Makes uncompressed accessors; each returns 0 or the error code. On success
// the handle receives the new object; on failure it is left as it was.
class TYQ_EXPORT PoststackSeis3dBrickedAccessorFactory {
 public:
  static const char* GetMagic();
  static int GetMagicSize() { return 4; }
  static int CreateReader(AutoRef<Reader>& reader, const std::string& name,
                          const TyqOptions& options, Status* status, int version,
                          FileADT* file = nullptr);
  static int CreateAccessor(AutoRef<Accessor>& accessor, const std::string& name,
                            const TyqOptions& options, Status* status, int version,
                            FileADT* file = nullptr);
  static int CreateWriter(AutoRef<Writer>& writer, const std::string& name,
                          const DataInfo& dataInfo, EnumClass<DataTypeEnum> dataType,
                          const TyqOptions& options, Status* status, float valueMin, float valueMax,
                          int version, FileADT* file = nullptr);
};

// Makes compressed readers and writers; each returns 0 or the error code.
// A writer's target quality is the SQNR of its options; its histogram
// covers [histogramMin, histogramMax].
class TYQ_EXPORT PoststackSeis3dCompressedAccessorFactory {
 public:
  static const char* GetMagic();
  static int GetMagicSize() { return 4; }
  static int CreateReader(AutoRef<Reader>& reader, const std::string& name,
                          const TyqOptions& options, Status* status, int version,
                          FileADT* file = nullptr);
  static int CreateWriter(AutoRef<Writer>& writer, const std::string& name,
                          const DataInfo& dataInfo, const TyqOptions& options, Status* status,
                          int version, FileADT* file, double histogramMin, double histogramMax);
};

}  // namespace Qra::Ostrel::Tyq::FileAccess
