#pragma once

#include <cstdint>
#include <string>

#include "tyq/export.h"
#include "tyq/status.h"

namespace Qra::Ostrel::Tyq::FileAccess {

using Private::Status;

// An abstract file read and written by absolute byte position. Failures are
// reported through the Status (which may be null); nothing throws.
class TYQ_EXPORT FileADT {
 public:
  virtual ~FileADT();
  virtual bool CreateNewFile(const std::string& name, Status* status, bool ignoredFlag,
                             bool buffered, bool synchronous, bool overwrite) = 0;
  virtual bool OpenExistingFile(const std::string& name, Status* status, bool readOnly,
                                bool ignoredFlag, bool buffered, bool synchronous) = 0;
  virtual void Close(Status* status) = 0;
  virtual bool Flush(Status* status) = 0;
  virtual bool WriteAtPosition(int64_t position, uint32_t size, const void* buffer,
                               Status* status) = 0;
  virtual bool ReadFromPosition(int64_t position, uint32_t size, void* buffer, Status* status) = 0;
  virtual int32_t WriteBytesAtPosition(int64_t position, uint32_t size, const void* buffer,
                                       Status* status) = 0;
  virtual int32_t ReadBytesFromPosition(int64_t position, uint32_t size, void* buffer,
                                        Status* status) = 0;
  virtual int64_t GetFileSize(Status* status) = 0;
  virtual const std::string& FileName() const = 0;
  virtual bool IsWritable() const = 0;
  virtual bool IsOpen() const = 0;
  virtual bool IsReadOnly() const = 0;
  virtual void* AllocateBuffer(uint32_t size) = 0;
  virtual void ReleaseBuffer(void* buffer) = 0;
};

// Makes unopened files. One process-wide instance is used by the library; a
// host may install its own to reach other storage.
class TYQ_EXPORT FileFactory {
 public:
  enum UsageHint : int32_t { UsageRead = 1, UsageReadWrite = 2, UsageCreate = 3 };

  virtual ~FileFactory();
  // Returns a new, unopened file owned by the caller.
  virtual FileADT* CreateFileADT(const std::string& name, UsageHint hint, bool multiThreaded) = 0;

  // The current factory; a default one is made when none is installed.
  static FileFactory& instance();
  // Installs `factory` (the library takes ownership) and destroys the
  // previous one, unless it is the same object.
  static void setInstanceGiveOwnership(FileFactory* factory);
  // Hands the current factory (possibly null) to the caller and forgets it.
  static FileFactory* getInstanceTakeOwnership();
};

class TYQ_EXPORT DefaultFileFactory : public FileFactory {
 public:
  FileADT* CreateFileADT(const std::string& name, UsageHint hint, bool multiThreaded) override;
};

}  // namespace Qra::Ostrel::Tyq::FileAccess
