#pragma once

#include <string>

#include "access/accessor_core.h"
#include "bricked/file.h"
#include "tyq/accessor.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

// The accessor over an uncompressed volume file: the accessor core over a
// Bricked::File, with the core's default rules. Threads as the core says.
class Accessor final : public Access::AccessorCore {
 public:
  // `file`, when given, is used for every file object and never destroyed.
  explicit Accessor(FileAccess::FileADT* file = nullptr) : callerFile_(file) {}

  bool Open(const std::string& name, const FileAccess::TyqOptions& options, Status* status,
            bool readOnly, int version);
  bool Create(const std::string& name, const DataInfo& dataInfo,
              FileAccess::EnumClass<FileAccess::DataTypeEnum> dataType,
              const FileAccess::TyqOptions& options, Status* status, float valueMin, float valueMax,
              int version);

 private:
  FileAccess::FileADT* callerFile_ = nullptr;
};

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
