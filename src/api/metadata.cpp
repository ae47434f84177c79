#include "api/api_imp.h"

namespace Qra::Ostrel::Tyq::TyqApi {

// Out of line so that the interfaces' vtables and type information live in
// the library, where host implementations find them.
MetaDataProvider::~MetaDataProvider() = default;
MetaDataReceiver::~MetaDataReceiver() = default;

MetaData::MetaData() : imp_(new MetaDataImp) {}

MetaData::MetaData(const MetaData& other)
    : MetaDataProvider(other), MetaDataReceiver(other), imp_(other.imp_) {
  imp_->addRef();
}

MetaData& MetaData::operator=(const MetaData& other) {
  MetaDataImp* previous = imp_;
  other.imp_->addRef();
  imp_ = other.imp_;
  previous->release();
  return *this;
}

MetaData::~MetaData() {
  imp_->release();
}

bool MetaData::get(const SimpleString& key, Generic* value) const {
  if (value == nullptr) return false;
  const auto& entries = imp_->entries;
  const auto found = entries.find(ImpAccess::imp(key)->text());
  if (found == entries.end()) return false;
  *value = found->second;
  return true;
}

void MetaData::set(const SimpleString& key, const Generic& value) {
  imp_->entries.insert_or_assign(ImpAccess::imp(key)->text(), value);
}

}  // namespace Qra::Ostrel::Tyq::TyqApi
