// The exported factory of uncompressed accessors, and the uncompressed
// format's row of the format table.
#include "bricked/accessor.h"
#include "bricked/format.h"
#include "bricked/format_row.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::FileAccess {

using Private::Func;
using Uncompressed = Private::Bricked::Accessor;

const char* PoststackSeis3dBrickedAccessorFactory::GetMagic() {
  return Private::Bricked::kMagicBytes;
}

int PoststackSeis3dBrickedAccessorFactory::CreateReader(AutoRef<Reader>& reader,
                                                        const std::string& name,
                                                        const TyqOptions& options, Status* status,
                                                        int version, FileADT* file) {
  Func func("PoststackSeis3dBrickedAccessorFactory::CreateReader", status);
  AutoRef<Uncompressed> accessor(new Uncompressed(file));
  if (!accessor->Open(name, options, func.statusP(), true, version)) return func.tyqError();
  AutoRef<Reader> result(accessor.get());
  reader.swap(result);
  return 0;
}

int PoststackSeis3dBrickedAccessorFactory::CreateAccessor(AutoRef<Accessor>& handle,
                                                          const std::string& name,
                                                          const TyqOptions& options, Status* status,
                                                          int version, FileADT* file) {
  Func func("PoststackSeis3dBrickedAccessorFactory::CreateAccessor", status);
  AutoRef<Uncompressed> accessor(new Uncompressed(file));
  if (!accessor->Open(name, options, func.statusP(), false, version)) return func.tyqError();
  AutoRef<Accessor> result(accessor.get());
  handle.swap(result);
  return 0;
}

int PoststackSeis3dBrickedAccessorFactory::CreateWriter(
    AutoRef<Writer>& writer, const std::string& name, const DataInfo& dataInfo,
    EnumClass<DataTypeEnum> dataType, const TyqOptions& options, Status* status, float valueMin,
    float valueMax, int version, FileADT* file) {
  Func func("PoststackSeis3dBrickedAccessorFactory::CreateWriter", status);
  AutoRef<Uncompressed> accessor(new Uncompressed(file));
  if (!accessor->Create(name, dataInfo, dataType, options, func.statusP(), valueMin, valueMax,
                        version)) {
    return func.tyqError();
  }
  AutoRef<Writer> result(accessor.get());
  writer.swap(result);
  return 0;
}

}  // namespace Qra::Ostrel::Tyq::FileAccess

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace FA = FileAccess;
using Factory = FA::PoststackSeis3dBrickedAccessorFactory;

namespace {

int openReader(FA::AutoRef<FA::Reader>& reader, const std::string& name,
               const FA::TyqOptions& options, FA::FileADT* file, Status* status) {
  return Factory::CreateReader(reader, name, options, status, 0, file);
}

int openAccessor(FA::AutoRef<FA::Accessor>& accessor, const std::string& name,
                 const FA::TyqOptions& options, FA::FileADT* file, Status* status) {
  return Factory::CreateAccessor(accessor, name, options, status, 0, file);
}

int createWriter(FA::AutoRef<FA::Writer>& writer, const std::string& name,
                 const FA::DataInfo& dataInfo, FA::EnumClass<FA::DataTypeEnum> dataType,
                 const FA::TyqOptions& options, float valueMin, float valueMax, FA::FileADT* file,
                 Status* status) {
  return Factory::CreateWriter(writer, name, dataInfo, dataType, options, status, valueMin,
                               valueMax, 0, file);
}

}  // namespace

Access::FormatRow FormatRowOfBricked() {
  return {FA::Tyq::FileTypeEnum::Uncompressed, std::string_view(kMagicBytes, sizeof kMagicBytes),
          openReader, openAccessor, createWriter};
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
