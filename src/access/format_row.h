#pragma once

// One row of the table of volume formats the entry functions choose from:
// how a format is recognised and how its readers, accessors and writers are
// made. Each format's folder contributes its row; the entry functions hold
// the table.
#include <string>
#include <string_view>

#include "tyq/accessor.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::Private::Access {

struct FormatRow {
  FileAccess::Tyq::FileTypeEnum::value_type type;
  // The first bytes of every file of the format.
  std::string_view magic;
  // Each returns 0 or the error code; on success the handle receives the new
  // object. A null function: the format offers no such object.
  int (*openReader)(FileAccess::AutoRef<FileAccess::Reader>& reader, const std::string& name,
                    const FileAccess::TyqOptions& options, FileAccess::FileADT* file,
                    Status* status);
  int (*openAccessor)(FileAccess::AutoRef<FileAccess::Accessor>& accessor, const std::string& name,
                      const FileAccess::TyqOptions& options, FileAccess::FileADT* file,
                      Status* status);
  int (*createWriter)(FileAccess::AutoRef<FileAccess::Writer>& writer, const std::string& name,
                      const FileAccess::DataInfo& dataInfo,
                      FileAccess::EnumClass<FileAccess::DataTypeEnum> dataType,
                      const FileAccess::TyqOptions& options, float valueMin, float valueMax,
                      FileAccess::FileADT* file, Status* status);
};

}  // namespace Qra::Ostrel::Tyq::Private::Access
