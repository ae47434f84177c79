#include "volume_source.h"

#include <cstdio>
#include <cstdlib>

#include "user_errors.h"

namespace tyq_tool {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

FA::TyqOptions toolOptions() {
  FA::TyqOptions options;
  options.threads = std::getenv("OSTREL_TYQ_THREADS") ? -1 : 0;
  return options;
}

bool openReader(const char* command, const std::string& file, int order,
                FA::AutoRef<FA::Reader>& reader, FA::FileInfo& info, FA::DataInfo& data) {
  Qra::Ostrel::Tyq::Private::Status status;
  if (FA::Tyq::CreateTyqReader(reader, file, toolOptions(), &status) != 0 ||
      !reader->SetAccessStorageOrder(static_cast<FA::StorageOrderEnum::value_type>(order),
                                     &status) ||
      !reader->GetFileInfo(info, &status) || !reader->GetDataInfo(data, &status)) {
    std::fprintf(stderr, "tyq %s: %s\n", command, describeFailure(status).c_str());
    return false;
  }
  return true;
}

bool openVolume(const char* command, const std::string& file, int lod,
                FA::AutoRef<FA::Reader>& reader, FA::FileInfo& info, FA::DataInfo& data) {
  if (!openReader(command, file, FA::StorageOrderEnum::TraceOptimized(), reader, info, data)) {
    return false;
  }
  if (lod < 0 || lod >= info.numberOfLods) {
    std::fprintf(stderr, "tyq %s: %s has no level %d (it has %d)\n", command, file.c_str(), lod,
                 info.numberOfLods);
    return false;
  }
  return true;
}

bool useTraceOrder(FA::Writer& writer, Qra::Ostrel::Tyq::Private::Status* status) {
  return writer.SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), status);
}

}  // namespace tyq_tool
