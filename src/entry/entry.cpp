// Entry functions: find what kind of volume a file is and hand out readers,
// writers and accessors for it, through the table of formats.
#include <cstring>
#include <memory>
#include <vector>

#include "entry/format_table.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::FileAccess::Tyq {

namespace {

using Err = Error;
using Private::Func;
using Private::Access::FormatRow;

// The row of a detected type, or null with `code` reported when the type
// has no row or the row lacks what `has` asks for.
template <typename Has>
const FormatRow* rowFor(int type, Has has, int code, const std::string& name, Func& func) {
  const FormatRow* row = Private::Entry::FormatRowOf(type);
  if (!row) {
    func.setError(Err::InternalError, name);
    return nullptr;
  }
  if (!has(*row)) {
    func.setError(code, name);
    return nullptr;
  }
  return row;
}

}  // namespace

int VerifyMagic(FileADT& file, const char* magic, int length, Status* status) {
  Func func("VerifyMagic", status);
  std::vector<char> bytes(static_cast<size_t>(length));
  if (!file.ReadFromPosition(0, static_cast<uint32_t>(length), bytes.data(), func.statusP())) {
    func.pushError(Err::ReadFailed);
    return func.tyqError();
  }
  if (std::memcmp(bytes.data(), magic, static_cast<size_t>(length)) != 0) {
    func.setError(Err::UnknownFileType, file.FileName());
  }
  return func.tyqError();
}

int GetFileType(EnumClass<FileTypeEnum>& type, const std::string& name, Status* status,
                FileADT* file) {
  Func func("GetFileType", status);
  std::unique_ptr<FileADT> owned;
  if (!file) {
    owned.reset(FileFactory::instance().CreateFileADT(name, FileFactory::UsageRead, false));
    file = owned.get();
  }
  if (!file->OpenExistingFile(name, func.statusP(), true, true, true, true)) {
    func.pushError(Err::OpenFailed);
    return func.tyqError();
  }
  for (const FormatRow& row : Private::Entry::FormatTable()) {
    const int code =
        VerifyMagic(*file, row.magic.data(), static_cast<int>(row.magic.size()), func.statusP());
    if (code == 0) {
      type = row.type;
      break;
    }
    if (code != Err::UnknownFileType) break;
  }
  return func.tyqError();
}

int CreateTyqReader(AutoRef<Reader>& reader, const std::string& name, const TyqOptions& options,
                    Status* status, FileADT* file) {
  Func func("CreateTyqReader", status);
  EnumClass<FileTypeEnum> type;
  if (GetFileType(type, name, func.statusP(), file) != 0) return func.tyqError();
  const FormatRow* row = rowFor(
      type, [](const FormatRow& r) { return r.openReader != nullptr; }, Err::NotImplemented, name,
      func);
  if (!row) return func.tyqError();
  return row->openReader(reader, name, options, file, func.statusP());
}

int CreateTyqAccessor(AutoRef<Accessor>& accessor, const std::string& name,
                      const TyqOptions& options, Status* status, FileADT* file) {
  Func func("CreateTyqAccessor", status);
  EnumClass<FileTypeEnum> type;
  if (GetFileType(type, name, func.statusP(), file) != 0) return func.tyqError();
  const FormatRow* row = rowFor(
      type, [](const FormatRow& r) { return r.openAccessor != nullptr; }, Err::InvalidArgument,
      name, func);
  if (!row) return func.tyqError();
  return row->openAccessor(accessor, name, options, file, func.statusP());
}

int CreateTyqWriter(AutoRef<Writer>& writer, const std::string& name, const DataInfo& dataInfo,
                    EnumClass<DataTypeEnum> dataType, const TyqOptions& options, Status* status,
                    double valueMin, double valueMax, FileADT* file) {
  Func func("CreateTyqWriter", status);
  // A quality target asks for the compressed format.
  const int type = options.sqnr > 0 ? FileTypeEnum::Compressed : FileTypeEnum::Uncompressed;
  const FormatRow* row = rowFor(
      type, [](const FormatRow& r) { return r.createWriter != nullptr; }, Err::NotImplemented, name,
      func);
  if (!row) return func.tyqError();
  return row->createWriter(writer, name, dataInfo, dataType, options, static_cast<float>(valueMin),
                           static_cast<float>(valueMax), file, func.statusP());
}

int CreateCompressedWriter(AutoRef<Writer>& writer, const std::string& name, DataInfo dataInfo,
                           Status* status, float sqnr, double valueMin, double valueMax,
                           FileADT* file) {
  Func func("CreateCompressedWriter", status);
  TyqOptions options;
  options.sqnr = sqnr;
  return CreateTyqWriter(writer, name, dataInfo, DataTypeEnum::Float32, options, func.statusP(),
                         valueMin, valueMax, file);
}

}  // namespace Qra::Ostrel::Tyq::FileAccess::Tyq
