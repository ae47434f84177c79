#pragma once

// Objects behind the public value handles. Only the library creates and
// destroys them; the handles in tyq/api_values.h hold one pointer each.

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "tyq/api_values.h"

namespace Qra::Ostrel::Tyq::TyqApi {

namespace ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16 {

// Reference-counted base of every implementation object. The creating handle
// holds the first reference.
class ImpBase {
 public:
  ImpBase() = default;
  ImpBase(const ImpBase&) = delete;
  ImpBase& operator=(const ImpBase&) = delete;
  virtual ~ImpBase();

  void addRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Deletes the object once no reference is left. The acquire-release order
  // makes every write of the other holders visible to the destructor.
  void release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) <= 1) delete this;
  }
  int32_t refCount() const { return refs_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int32_t> refs_{1};
};

// The library's way to the private pointer of a handle.
struct ImpAccess {
  static SimpleStringImp* imp(const SimpleString& handle) { return handle.imp_; }
  static GenericImp* imp(const Generic& handle) { return handle.imp_; }
  static MetaDataImp* imp(const MetaData& handle) { return handle.imp_; }
  static ErrorImp* imp(const Error& handle) { return handle.imp_; }
};

}  // namespace ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16

using ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16::ImpAccess;
using ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16::ImpBase;

namespace Anonymous_Details {
class Type;
}  // namespace Anonymous_Details

class SimpleStringImp final : public ImpBase {
 public:
  explicit SimpleStringImp(std::string text) : text_(std::move(text)) {}
  const std::string& text() const { return text_; }

 private:
  const std::string text_;
};

class ErrorImp final : public ImpBase {
 public:
  ErrorImp(int32_t code, std::string context) : code_(code), context_(std::move(context)) {}
  int32_t code() const { return code_; }
  const std::string& context() const { return context_; }

 private:
  const int32_t code_;
  const std::string context_;
};

// Every value field exists whatever the type; those the type does not use
// stay 0 or empty.
class GenericImp final : public ImpBase {
 public:
  GenericImp(const Anonymous_Details::Type& type, int32_t intValue, double doubleValue,
             std::string stringValue)
      : type_(&type),
        intValue_(intValue),
        doubleValue_(doubleValue),
        stringValue_(std::move(stringValue)) {}

  const Anonymous_Details::Type& type() const { return *type_; }
  int32_t intValue() const { return intValue_; }
  double doubleValue() const { return doubleValue_; }
  const std::string& stringValue() const { return stringValue_; }

 private:
  const Anonymous_Details::Type* const type_;
  const int32_t intValue_;
  const double doubleValue_;
  const std::string stringValue_;
};

class MetaDataImp final : public ImpBase {
 public:
  // std::string orders its characters as unsigned char, i.e. byte-wise.
  std::map<std::string, Generic> entries;
};

namespace Anonymous_Details {

// Behaviour of one value type. Exactly one object of each kind exists, so
// two values have the same type when they point to the same object. The
// conversions leave the output alone when they return false.
class Type {
 public:
  virtual Generic::Type code() const = 0;
  virtual bool toString(const GenericImp& value, std::string* text) const = 0;
  virtual bool toDouble(const GenericImp& value, double* result) const = 0;
  virtual bool toFloat(const GenericImp& value, float* result) const = 0;
  virtual bool toInt(const GenericImp& value, int* result) const = 0;
  // Both values are of this type.
  virtual bool equal(const GenericImp& a, const GenericImp& b) const = 0;

 protected:
  Type() = default;
  ~Type() = default;
};

class TypeNone final : public Type {
 public:
  static const TypeNone& instance();
  Generic::Type code() const override;
  bool toString(const GenericImp& value, std::string* text) const override;
  bool toDouble(const GenericImp& value, double* result) const override;
  bool toFloat(const GenericImp& value, float* result) const override;
  bool toInt(const GenericImp& value, int* result) const override;
  bool equal(const GenericImp& a, const GenericImp& b) const override;
};

class TypeInteger final : public Type {
 public:
  static const TypeInteger& instance();
  Generic::Type code() const override;
  bool toString(const GenericImp& value, std::string* text) const override;
  bool toDouble(const GenericImp& value, double* result) const override;
  bool toFloat(const GenericImp& value, float* result) const override;
  bool toInt(const GenericImp& value, int* result) const override;
  bool equal(const GenericImp& a, const GenericImp& b) const override;
};

class TypeDouble final : public Type {
 public:
  static const TypeDouble& instance();
  Generic::Type code() const override;
  bool toString(const GenericImp& value, std::string* text) const override;
  bool toDouble(const GenericImp& value, double* result) const override;
  bool toFloat(const GenericImp& value, float* result) const override;
  bool toInt(const GenericImp& value, int* result) const override;
  bool equal(const GenericImp& a, const GenericImp& b) const override;
};

class TypeString final : public Type {
 public:
  static const TypeString& instance();
  Generic::Type code() const override;
  bool toString(const GenericImp& value, std::string* text) const override;
  bool toDouble(const GenericImp& value, double* result) const override;
  bool toFloat(const GenericImp& value, float* result) const override;
  bool toInt(const GenericImp& value, int* result) const override;
  bool equal(const GenericImp& a, const GenericImp& b) const override;
};

// Tolerant equality of doubles: relative for large magnitudes, absolute near
// zero; equal infinities are equal, NaN equals nothing.
bool NearlyEqual(double a, double b);

// Default stream formatting (six significant digits), independent of the
// process's global locale.
std::string FormatDouble(double value);

}  // namespace Anonymous_Details

// The one empty string object; never freed, so handles that outlive static
// destruction stay valid.
SimpleStringImp* SharedEmptyString();

}  // namespace Qra::Ostrel::Tyq::TyqApi
