// Opening and creating an uncompressed volume through the accessor.
#include "bricked/accessor.h"

#include <cstdio>
#include <memory>

#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

namespace FA = FileAccess;

bool Accessor::Open(const std::string& name, const FA::TyqOptions& options, Status* status,
                    bool readOnly, int version) {
  Func func("Accessor::Open", status);
  if (getDebugLevel() > 0) std::printf("## Open name=\"%s\"\n", name.c_str());
  Discard(nullptr);
  auto file = std::make_unique<File>(
      name, readOnly ? FA::FileFactory::UsageRead : FA::FileFactory::UsageReadWrite, callerFile_);
  if (!file->Open(name, readOnly, options, func.statusP(), version)) return false;
  return Attach(std::move(file), options, func.statusP());
}

bool Accessor::Create(const std::string& name, const DataInfo& dataInfo,
                      FA::EnumClass<FA::DataTypeEnum> dataType, const FA::TyqOptions& options,
                      Status* status, float valueMin, float valueMax, int version) {
  Func func("Accessor::Create", status);
  if (getDebugLevel() > 0) std::printf("## Create name=\"%s\"\n", name.c_str());
  Discard(nullptr);
  // Samples are converted to the stored type on every write, and IBM floats
  // have no encoder: refuse them before a file exists.
  if (dataType < 0 || dataType >= FA::DataTypeEnum::IbmFloat32) {
    return func.setError(FA::Error::InvalidArgument, name);
  }
  auto file = std::make_unique<File>(name, FA::FileFactory::UsageCreate, callerFile_);
  if (!file->Create(name, dataInfo, dataType, options, func.statusP(), valueMin, valueMax,
                    version)) {
    return false;
  }
  return Attach(std::move(file), options, func.statusP());
}

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
