// The exported factory of compressed readers and writers, and the
// compressed format's row of the format table.
#include "compressed/accessor.h"
#include "compressed/format.h"
#include "compressed/format_row.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::FileAccess {

using Private::Func;
using CompressedAccessor = Private::Compressed::Accessor;

const char* PoststackSeis3dCompressedAccessorFactory::GetMagic() {
  return Private::Compressed::kMagicBytes;
}

int PoststackSeis3dCompressedAccessorFactory::CreateReader(AutoRef<Reader>& reader,
                                                           const std::string& name,
                                                           const TyqOptions& options,
                                                           Status* status, int version,
                                                           FileADT* file) {
  Func func("PoststackSeis3dCompressedAccessorFactory::CreateReader", status);
  AutoRef<CompressedAccessor> accessor(new CompressedAccessor(file));
  if (!accessor->Open(name, options, func.statusP(), version)) return func.tyqError();
  AutoRef<Reader> result(accessor.get());
  reader.swap(result);
  return 0;
}

int PoststackSeis3dCompressedAccessorFactory::CreateWriter(
    AutoRef<Writer>& writer, const std::string& name, const DataInfo& dataInfo,
    const TyqOptions& options, Status* status, int version, FileADT* file, double histogramMin,
    double histogramMax) {
  Func func("PoststackSeis3dCompressedAccessorFactory::CreateWriter", status);
  AutoRef<CompressedAccessor> accessor(new CompressedAccessor(file));
  if (!accessor->Create(name, dataInfo, options, func.statusP(), version, histogramMin,
                        histogramMax)) {
    return func.tyqError();
  }
  AutoRef<Writer> result(accessor.get());
  writer.swap(result);
  return 0;
}

}  // namespace Qra::Ostrel::Tyq::FileAccess

namespace Qra::Ostrel::Tyq::Private::Compressed {

namespace FA = FileAccess;
using Factory = FA::PoststackSeis3dCompressedAccessorFactory;

namespace {

int openReader(FA::AutoRef<FA::Reader>& reader, const std::string& name,
               const FA::TyqOptions& options, FA::FileADT* file, Status* status) {
  return Factory::CreateReader(reader, name, options, status, 0, file);
}

// Compressed volumes are stored as float; the data type asked for only
// steers the uncompressed format.
int createWriter(FA::AutoRef<FA::Writer>& writer, const std::string& name,
                 const FA::DataInfo& dataInfo, FA::EnumClass<FA::DataTypeEnum> /*dataType*/,
                 const FA::TyqOptions& options, float valueMin, float valueMax, FA::FileADT* file,
                 Status* status) {
  return Factory::CreateWriter(writer, name, dataInfo, options, status, 0, file, valueMin,
                               valueMax);
}

}  // namespace

Access::FormatRow FormatRowOfCompressed() {
  return {FA::Tyq::FileTypeEnum::Compressed, std::string_view(kMagicBytes, sizeof kMagicBytes),
          openReader, nullptr, createWriter};
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
