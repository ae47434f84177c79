#include "api/api_imp.h"
#include "api/api_internal.h"

namespace Qra::Ostrel::Tyq::TyqApi {

using Anonymous_Details::TypeDouble;
using Anonymous_Details::TypeInteger;
using Anonymous_Details::TypeNone;
using Anonymous_Details::TypeString;

Generic::Generic() : imp_(new GenericImp(TypeNone::instance(), 0, 0.0, std::string())) {}

Generic::Generic(int value)
    : imp_(new GenericImp(TypeInteger::instance(), value, 0.0, std::string())) {}

Generic::Generic(double value)
    : imp_(new GenericImp(TypeDouble::instance(), 0, value, std::string())) {}

Generic::Generic(const SimpleString& value)
    : imp_(new GenericImp(TypeString::instance(), 0, 0.0, ToStdString(value))) {}

Generic::Generic(const Generic& other) : imp_(other.imp_) {
  imp_->addRef();
}

Generic& Generic::operator=(const Generic& other) {
  GenericImp* previous = imp_;
  other.imp_->addRef();
  imp_ = other.imp_;
  previous->release();
  return *this;
}

Generic::~Generic() {
  imp_->release();
}

Generic::Type Generic::getType() const {
  return imp_->type().code();
}

bool Generic::get(SimpleString* value) const {
  std::string text;
  if (value == nullptr || !imp_->type().toString(*imp_, &text)) return false;
  *value = ToSimpleString(text);
  return true;
}

bool Generic::get(double* value) const {
  return value != nullptr && imp_->type().toDouble(*imp_, value);
}

bool Generic::get(float* value) const {
  return value != nullptr && imp_->type().toFloat(*imp_, value);
}

bool Generic::get(int* value) const {
  return value != nullptr && imp_->type().toInt(*imp_, value);
}

bool Generic::operator==(const Generic& other) const {
  const Anonymous_Details::Type& type = imp_->type();
  return &type == &other.imp_->type() && type.equal(*imp_, *other.imp_);
}

bool Generic::operator!=(const Generic& other) const {
  return !(*this == other);
}

}  // namespace Qra::Ostrel::Tyq::TyqApi
