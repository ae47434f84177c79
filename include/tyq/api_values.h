#ifndef TYQ_API_VALUES_H
#define TYQ_API_VALUES_H

// Value classes of the binary-stable interface: strings, tagged values,
// key/value metadata and errors.
//
// Hosts may be built with another compiler, standard library or allocator
// than libtyq, and may use C++11. Each class is therefore either an abstract
// interface or a handle whose only data member is a pointer to an object
// that the library creates and destroys. Every special member is defined in
// the library, so nothing that touches an implementation object is ever
// inlined into the host.
//
// Copying a handle shares the object (reference counts are atomic, so copies
// may live on different threads). Strings, values and errors never change
// after construction; a MetaData map is shared by all copies of a handle and
// has no lock.

#include "tyq/export.h"

namespace Qra {
namespace Ostrel {
namespace Tyq {
namespace TyqApi {

namespace ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16 {
struct ImpAccess;
}  // namespace ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16

class SimpleStringImp;
class GenericImp;
class MetaDataImp;
class ErrorImp;

// Immutable byte string, zero-terminated. All empty strings share one object.
class TYQ_EXPORT SimpleString {
 public:
  SimpleString();
  // Copies the bytes up to the terminating NUL; null means empty. Implicit,
  // so that literals serve directly as keys and file names.
  SimpleString(const char* text);
  SimpleString(const SimpleString& other);
  SimpleString& operator=(const SimpleString& other);
  ~SimpleString();

  // Length in bytes, terminator not counted.
  int size() const;
  // Copies the text and its terminator when bufferSize >= size() + 1 and
  // returns size() + 1; otherwise (or for a null buffer) returns -1 and
  // writes nothing.
  int getCstr(char* buffer, int bufferSize) const;

 private:
  friend struct ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16::ImpAccess;
  SimpleStringImp* imp_;
};

// Immutable tagged value: none, a 32-bit integer, a double or a string.
class TYQ_EXPORT Generic {
 public:
  enum Type { None = 0, Integer = 1, Double = 2, String = 3 };

  Generic();
  explicit Generic(int value);
  explicit Generic(double value);
  explicit Generic(const SimpleString& value);
  Generic(const Generic& other);
  Generic& operator=(const Generic& other);
  ~Generic();

  Type getType() const;

  // Conversions; on false the output is not written. A None value converts
  // to nothing. Integers convert to every type; doubles to text (default
  // six-significant-digit formatting), double and float but never to int;
  // strings only to text.
  bool get(SimpleString* value) const;
  bool get(double* value) const;
  bool get(float* value) const;
  bool get(int* value) const;

  // Values of different types differ (1 != 1.0). Doubles compare with a
  // tolerance of 1e-9, relative for large magnitudes and absolute near zero.
  bool operator==(const Generic& other) const;
  bool operator!=(const Generic& other) const;

 private:
  friend struct ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16::ImpAccess;
  GenericImp* imp_;
};

// Source of metadata values, e.g. the description of a file to be created.
// Hosts may implement it.
class TYQ_EXPORT MetaDataProvider {
 public:
  virtual ~MetaDataProvider();
  // True and *value set when the key is present; false otherwise.
  virtual bool get(const SimpleString& key, Generic* value) const = 0;
};

// Sink of metadata values, e.g. the description of an opened file. Hosts may
// implement it.
class TYQ_EXPORT MetaDataReceiver {
 public:
  virtual ~MetaDataReceiver();
  virtual void set(const SimpleString& key, const Generic& value) = 0;
};

// Key/value map, keys ordered byte-wise. Copies share one map: a set through
// either handle is seen by both. Concurrent set, or set concurrent with get,
// on one map must be serialised by the host.
class TYQ_EXPORT MetaData : public virtual MetaDataProvider, public virtual MetaDataReceiver {
 public:
  MetaData();
  MetaData(const MetaData& other);
  MetaData& operator=(const MetaData& other);
  ~MetaData() override;

  // False for a null value or an absent key; otherwise *value shares the
  // stored value.
  bool get(const SimpleString& key, Generic* value) const override;
  // Inserts or replaces the key's value.
  void set(const SimpleString& key, const Generic& value) override;

 private:
  friend struct ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16::ImpAccess;
  MetaDataImp* imp_;
};

// Immutable error: a library error code (0 = success) and a context text.
class TYQ_EXPORT Error {
 public:
  explicit Error(int code = 0, const SimpleString& context = SimpleString());
  Error(const Error& other);
  Error& operator=(const Error& other);
  ~Error();

  int getCode() const;
  bool isOk() const;
  // Fixed text of the code; "<invalid error code>" for an unknown one.
  SimpleString getMsg() const;
  SimpleString getCtx() const;
  // "<code>: <message>", or "<code>: <context>: <message>" with a context.
  SimpleString getFullMsg() const;

 private:
  friend struct ns_6f1d2c84_93ab_4e57_b0c1_5a7e3d9f2b16::ImpAccess;
  ErrorImp* imp_;
};

namespace MetaDataKey {

// Codes of the metadata keys; Get(code) gives the key text, which is the
// enumerator's name ("Size0", ..., "Sqnr").
enum Code {
  Size0 = 1000,
  Size1 = 1001,
  Size2 = 1002,
  DataType = 1003,
  DataMin = 1004,
  DataMax = 1005,
  InlineStart = 1006,
  InlineInc = 1007,
  CrosslineStart = 1008,
  CrosslineInc = 1009,
  ZUnitDim = 1010,
  ZUnitFactor = 1011,
  ZUnitName = 1012,
  ZStart = 1013,
  ZInc = 1014,
  HUnitDim = 1015,
  HUnitFactor = 1016,
  HUnitName = 1017,
  HCorner00X = 1018,
  HCorner00Y = 1019,
  HCorner0NX = 1020,
  HCorner0NY = 1021,
  HCornerM0X = 1022,
  HCornerM0Y = 1023,
  HCornerMNX = 1024,
  HCornerMNY = 1025,
  BrickSize0 = 1026,
  BrickSize1 = 1027,
  BrickSize2 = 1028,
  NumberOfBricks0 = 1029,
  NumberOfBricks1 = 1030,
  NumberOfBricks2 = 1031,
  BrickStorageOrder = 1032,
  NumberOfLoDs = 1033,
  LodAlgorithm1 = 1034,
  LodAlgorithm2 = 1035,
  LodAlgorithmN = 1036,
  // Target quality of a compressed file in dB; a writer given a value above
  // 0 writes a compressed file, a reader of one reports it.
  Sqnr = 1037
};

// Key text of a code; "<unknown code>" outside 1000..1037.
TYQ_EXPORT SimpleString Get(int code);

}  // namespace MetaDataKey

// Integer values of the "DataType" key.
namespace DataTypeCode {
enum Code { Int8 = 1000, Int16 = 1001, Float32 = 1002 };
}  // namespace DataTypeCode

// Integer values of the "BrickStorageOrder" key (reported, never read).
namespace BrickStorageOrderCode {
enum Code { TraceOptimized = 1001, Traditional = 1002 };
}  // namespace BrickStorageOrderCode

// Integer values of the "ZUnitDim" key.
namespace ZUnitDimCode {
enum Code { Unknown = 1000, Time = 1001, Depth = 1002 };
}  // namespace ZUnitDimCode

// Integer values of the "HUnitDim" key; 1001 is deliberately not one.
namespace HUnitDimCode {
enum Code { Unknown = 1000, Length = 1002, ArcAngle = 1003 };
}  // namespace HUnitDimCode

}  // namespace TyqApi
}  // namespace Tyq
}  // namespace Ostrel
}  // namespace Qra

#endif  // TYQ_API_VALUES_H
