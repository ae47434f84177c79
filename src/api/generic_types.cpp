#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

#include "api/api_imp.h"

namespace Qra::Ostrel::Tyq::TyqApi::Anonymous_Details {

bool NearlyEqual(double a, double b) {
  // Exact equality first: for equal infinities the quotient below is NaN.
  if (a == b) return true;
  // Halving each term keeps the sum of two huge magnitudes finite.
  const double scale = std::fabs(a) * 0.5 + std::fabs(b) * 0.5 + 1.0;
  return std::fabs(a - b) / scale < 1e-9;
}

std::string FormatDouble(double value) {
  std::ostringstream out;
  // Metadata text must not depend on a locale the host may have installed.
  out.imbue(std::locale::classic());
  out << value;
  return out.str();
}

namespace {
// Half a unit in the last place above the largest float: from here on,
// rounding to nearest gives infinity.
constexpr double kFloatOverflow = 0x1.ffffffp127;

// Narrowing a finite double beyond the float range is undefined; give the
// infinity that IEEE rounding gives.
float NarrowToFloat(double value) {
  if (std::isfinite(value) && std::fabs(value) >= kFloatOverflow) {
    const float infinity = std::numeric_limits<float>::infinity();
    return value > 0 ? infinity : -infinity;
  }
  return static_cast<float>(value);
}
}  // namespace

// ---- None: converts to nothing; all None values are equal.

const TypeNone& TypeNone::instance() {
  static const TypeNone type{};
  return type;
}
Generic::Type TypeNone::code() const {
  return Generic::None;
}
bool TypeNone::toString(const GenericImp&, std::string*) const {
  return false;
}
bool TypeNone::toDouble(const GenericImp&, double*) const {
  return false;
}
bool TypeNone::toFloat(const GenericImp&, float*) const {
  return false;
}
bool TypeNone::toInt(const GenericImp&, int*) const {
  return false;
}
bool TypeNone::equal(const GenericImp&, const GenericImp&) const {
  return true;
}

// ---- Integer: converts to every type.

const TypeInteger& TypeInteger::instance() {
  static const TypeInteger type{};
  return type;
}
Generic::Type TypeInteger::code() const {
  return Generic::Integer;
}
bool TypeInteger::toString(const GenericImp& value, std::string* text) const {
  *text = std::to_string(value.intValue());
  return true;
}
bool TypeInteger::toDouble(const GenericImp& value, double* result) const {
  *result = value.intValue();
  return true;
}
bool TypeInteger::toFloat(const GenericImp& value, float* result) const {
  *result = static_cast<float>(value.intValue());
  return true;
}
bool TypeInteger::toInt(const GenericImp& value, int* result) const {
  *result = value.intValue();
  return true;
}
bool TypeInteger::equal(const GenericImp& a, const GenericImp& b) const {
  return a.intValue() == b.intValue();
}

// ---- Double: never converts to int, so no value is silently truncated.

const TypeDouble& TypeDouble::instance() {
  static const TypeDouble type{};
  return type;
}
Generic::Type TypeDouble::code() const {
  return Generic::Double;
}
bool TypeDouble::toString(const GenericImp& value, std::string* text) const {
  *text = FormatDouble(value.doubleValue());
  return true;
}
bool TypeDouble::toDouble(const GenericImp& value, double* result) const {
  *result = value.doubleValue();
  return true;
}
bool TypeDouble::toFloat(const GenericImp& value, float* result) const {
  *result = NarrowToFloat(value.doubleValue());
  return true;
}
bool TypeDouble::toInt(const GenericImp&, int*) const {
  return false;
}
bool TypeDouble::equal(const GenericImp& a, const GenericImp& b) const {
  return NearlyEqual(a.doubleValue(), b.doubleValue());
}

// ---- String: converts only to text.

const TypeString& TypeString::instance() {
  static const TypeString type{};
  return type;
}
Generic::Type TypeString::code() const {
  return Generic::String;
}
bool TypeString::toString(const GenericImp& value, std::string* text) const {
  *text = value.stringValue();
  return true;
}
bool TypeString::toDouble(const GenericImp&, double*) const {
  return false;
}
bool TypeString::toFloat(const GenericImp&, float*) const {
  return false;
}
bool TypeString::toInt(const GenericImp&, int*) const {
  return false;
}
bool TypeString::equal(const GenericImp& a, const GenericImp& b) const {
  return a.stringValue() == b.stringValue();
}

}  // namespace Qra::Ostrel::Tyq::TyqApi::Anonymous_Details
