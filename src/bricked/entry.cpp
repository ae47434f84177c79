// Entry functions: find what kind of volume a file is and hand out readers,
// writers and accessors for it.
#include <cstring>
#include <memory>
#include <vector>

#include "bricked/accessor.h"
#include "synthetic/synthetic_reader.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::FileAccess {

namespace {

using Err = Error;
using Private::Func;

struct Magic {
  const char* bytes;
  int length;
  Tyq::FileTypeEnum::value_type type;
};

// Tried in this order; the synthetic signature is the longest, so a short
// file that matches neither binary magic fails with a read error.
const Magic kMagics[] = {
    {"VCS\0", 4, Tyq::FileTypeEnum::Compressed},
    {"VBS\0", 4, Tyq::FileTypeEnum::Uncompressed},
    {"Synthetic-TYQ-c1842746-79d2-4fdb-a5fb-abc8c7a331c2 Version ", 59,
     Tyq::FileTypeEnum::Synthetic},
};

}  // namespace

const char* PoststackSeis3dBrickedAccessorFactory::GetMagic() { return "VBS"; }

int PoststackSeis3dBrickedAccessorFactory::CreateReader(AutoRef<Reader>& reader,
                                                        const std::string& name,
                                                        const TyqOptions& options,
                                                        Status* status, int version,
                                                        FileADT* file) {
  Func func("PoststackSeis3dBrickedAccessorFactory::CreateReader", status);
  AutoRef<Private::Bricked::Accessor> accessor(new Private::Bricked::Accessor(file));
  if (!accessor->Open(name, options, func.statusP(), true, version)) return func.tyqError();
  AutoRef<Reader> result(accessor.get());
  reader.swap(result);
  return 0;
}

int PoststackSeis3dBrickedAccessorFactory::CreateAccessor(AutoRef<Accessor>& handle,
                                                          const std::string& name,
                                                          const TyqOptions& options,
                                                          Status* status, int version,
                                                          FileADT* file) {
  Func func("PoststackSeis3dBrickedAccessorFactory::CreateAccessor", status);
  AutoRef<Private::Bricked::Accessor> accessor(new Private::Bricked::Accessor(file));
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
  AutoRef<Private::Bricked::Accessor> accessor(new Private::Bricked::Accessor(file));
  if (!accessor->Create(name, dataInfo, dataType, options, func.statusP(), valueMin, valueMax,
                        version)) {
    return func.tyqError();
  }
  AutoRef<Writer> result(accessor.get());
  writer.swap(result);
  return 0;
}

namespace Tyq {

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
  for (const Magic& magic : kMagics) {
    const int code = VerifyMagic(*file, magic.bytes, magic.length, func.statusP());
    if (code == 0) {
      type = magic.type;
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
  switch (type) {
    case FileTypeEnum::Uncompressed:
      return PoststackSeis3dBrickedAccessorFactory::CreateReader(reader, name, options,
                                                                 func.statusP(), 0, file);
    case FileTypeEnum::Synthetic:
      return Private::Factory::SyntheticReader::Create(reader, name, file, func.statusP());
    case FileTypeEnum::Compressed:
      func.setError(Err::NotImplemented, name);
      return func.tyqError();
    default:
      func.setError(Err::InternalError, name);
      return func.tyqError();
  }
}

int CreateTyqAccessor(AutoRef<Accessor>& accessor, const std::string& name,
                      const TyqOptions& options, Status* status, FileADT* file) {
  Func func("CreateTyqAccessor", status);
  EnumClass<FileTypeEnum> type;
  if (GetFileType(type, name, func.statusP(), file) != 0) return func.tyqError();
  if (type != FileTypeEnum::Uncompressed) {
    func.setError(Err::InvalidArgument, name);
    return func.tyqError();
  }
  return PoststackSeis3dBrickedAccessorFactory::CreateAccessor(accessor, name, options,
                                                               func.statusP(), 0, file);
}

int CreateTyqWriter(AutoRef<Writer>& writer, const std::string& name, const DataInfo& dataInfo,
                    EnumClass<DataTypeEnum> dataType, const TyqOptions& options, Status* status,
                    double valueMin, double valueMax, FileADT* file) {
  Func func("CreateTyqWriter", status);
  if (options.sqnr > 0) {
    func.setError(Err::NotImplemented, name);
    return func.tyqError();
  }
  return PoststackSeis3dBrickedAccessorFactory::CreateWriter(
      writer, name, dataInfo, dataType, options, func.statusP(), static_cast<float>(valueMin),
      static_cast<float>(valueMax), 0, file);
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

}  // namespace Tyq
}  // namespace Qra::Ostrel::Tyq::FileAccess
