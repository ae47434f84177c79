#include <climits>
#include <cstring>

#include "api/api_imp.h"
#include "api/api_internal.h"

namespace Qra::Ostrel::Tyq::TyqApi {

namespace ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16 {

ImpBase::~ImpBase() = default;

}  // namespace ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16

SimpleStringImp* SharedEmptyString() {
  static SimpleStringImp* const empty = new SimpleStringImp(std::string());
  return empty;
}

namespace {
SimpleStringImp* AcquireEmpty() {
  SimpleStringImp* empty = SharedEmptyString();
  empty->addRef();
  return empty;
}
}  // namespace

SimpleString::SimpleString() : imp_(AcquireEmpty()) {}

SimpleString::SimpleString(const char* text)
    : imp_(text == nullptr || *text == '\0' ? AcquireEmpty()
                                            : new SimpleStringImp(std::string(text))) {}

SimpleString::SimpleString(const SimpleString& other) : imp_(other.imp_) {
  imp_->addRef();
}

SimpleString& SimpleString::operator=(const SimpleString& other) {
  SimpleStringImp* previous = imp_;
  other.imp_->addRef();
  imp_ = other.imp_;
  previous->release();
  return *this;
}

SimpleString::~SimpleString() {
  imp_->release();
}

int SimpleString::size() const {
  const std::string& text = imp_->text();
  return text.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(text.size());
}

int SimpleString::getCstr(char* buffer, int bufferSize) const {
  const std::string& text = imp_->text();
  // Counted in 64 bits: a text of INT_MAX bytes must not wrap to a small need.
  const long long needed = static_cast<long long>(text.size()) + 1;
  if (buffer == nullptr || bufferSize < needed) return -1;
  std::memcpy(buffer, text.c_str(), static_cast<size_t>(needed));
  return static_cast<int>(needed);
}

std::string ToStdString(const SimpleString& text) {
  return ImpAccess::imp(text)->text();
}

SimpleString ToSimpleString(const std::string& text) {
  return SimpleString(text.c_str());
}

}  // namespace Qra::Ostrel::Tyq::TyqApi
