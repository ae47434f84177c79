#pragma once

#include "api/api_internal.h"
#include "tyq/api_values.h"
#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::TyqApi::Impl {

// What a new file is created from, gathered from public metadata keys.
struct WriterDescription {
  FileAccess::DataInfo dataInfo;
  int dataType = FileAccess::DataTypeEnum::Float32;
  float dataMin = 0.0f;
  float dataMax = 0.0f;
  FileAccess::TyqOptions options;
};

// 0, or InvalidArgument for a missing or unconvertible key, an unknown code
// or algorithm name.
int ReadWriterMetadata(const MetaDataProvider& metadata, WriterDescription& out);

// 0, or UnknownError (and nothing sent) when a stored value has no public code.
int SendMetadata(const FileAccess::FileInfo& file, const FileAccess::DataInfo& data,
                 MetaDataReceiver& receiver);

}  // namespace Qra::Ostrel::Tyq::TyqApi::Impl
