#include "synthetic/synthetic_row.h"

#include "synthetic/synthetic_description.h"
#include "synthetic/synthetic_reader.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

namespace FA = FileAccess;

namespace {

// Descriptions carry no options of their own.
int openReader(FA::AutoRef<FA::Reader>& reader, const std::string& name,
               const FA::TyqOptions& /*options*/, FA::FileADT* file, Status* status) {
  return SyntheticReader::Create(reader, name, file, status);
}

}  // namespace

Access::FormatRow FormatRowOfSynthetic() {
  return {FA::Tyq::FileTypeEnum::Synthetic, kSyntheticSignature, openReader, nullptr, nullptr};
}

}  // namespace Qra::Ostrel::Tyq::Private::Factory
