#pragma once

// The one place where numbers become file bytes and back. Every on-disk
// number of both formats is little-endian; the oldest layout stores 64-bit
// values as two 32-bit words with the high word first.

#include <cstdint>
#include <cstring>
#include <string>

namespace Qra::Ostrel::Tyq::Private::Le {

inline void putU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putI16(uint8_t* p, int16_t v) {
  putU16(p, static_cast<uint16_t>(v));
}
inline void putI32(uint8_t* p, int32_t v) {
  putU32(p, static_cast<uint32_t>(v));
}
inline void putI64(uint8_t* p, int64_t v) {
  putU64(p, static_cast<uint64_t>(v));
}
inline void putF32(uint8_t* p, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  putU32(p, bits);
}
inline void putF64(uint8_t* p, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  putU64(p, bits);
}
// High 32-bit word first, each word little-endian.
inline void putI64HighFirst(uint8_t* p, int64_t v) {
  const uint64_t u = static_cast<uint64_t>(v);
  putU32(p, static_cast<uint32_t>(u >> 32));
  putU32(p + 4, static_cast<uint32_t>(u));
}

inline uint16_t getU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t getU32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint64_t getU64(const uint8_t* p) {
  return uint64_t{getU32(p)} | (uint64_t{getU32(p + 4)} << 32);
}
inline int16_t getI16(const uint8_t* p) {
  return static_cast<int16_t>(getU16(p));
}
inline int32_t getI32(const uint8_t* p) {
  return static_cast<int32_t>(getU32(p));
}
inline int64_t getI64(const uint8_t* p) {
  return static_cast<int64_t>(getU64(p));
}
inline float getF32(const uint8_t* p) {
  const uint32_t bits = getU32(p);
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}
inline double getF64(const uint8_t* p) {
  const uint64_t bits = getU64(p);
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}
inline int64_t getI64HighFirst(const uint8_t* p) {
  return static_cast<int64_t>((uint64_t{getU32(p)} << 32) | getU32(p + 4));
}

// A bounded view that decodes in order and refuses to run past its end:
// after the first short read every later read fails too and yields zeros.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

  bool ok() const { return ok_; }
  size_t remaining() const { return static_cast<size_t>(end_ - p_); }

  uint8_t u8() { return take(1) ? p_[-1] : 0; }
  int16_t i16() { return take(2) ? getI16(p_ - 2) : 0; }
  int32_t i32() { return take(4) ? getI32(p_ - 4) : 0; }
  int64_t i64() { return take(8) ? getI64(p_ - 8) : 0; }
  int64_t i64HighFirst() { return take(8) ? getI64HighFirst(p_ - 8) : 0; }
  float f32() { return take(4) ? getF32(p_ - 4) : 0.0f; }
  double f64() { return take(8) ? getF64(p_ - 8) : 0.0; }
  bool bytes(void* out, size_t n) {
    if (!take(n)) return false;
    std::memcpy(out, p_ - n, n);
    return true;
  }
  bool skip(size_t n) { return take(n); }

 private:
  bool take(size_t n) {
    if (!ok_ || n > remaining()) {
      ok_ = false;
      return false;
    }
    p_ += n;
    return true;
  }

  const uint8_t* p_;
  const uint8_t* end_;
  bool ok_ = true;
};

// Appends encoded numbers to a byte string.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void i16(int16_t v) { put(v, putI16); }
  void i32(int32_t v) { put(v, putI32); }
  void i64(int64_t v) { put(v, putI64); }
  void i64HighFirst(int64_t v) { put(v, putI64HighFirst); }
  void f32(float v) { put(v, putF32); }
  void f64(double v) { put(v, putF64); }
  void bytes(const void* data, size_t n) { out_.append(static_cast<const char*>(data), n); }

 private:
  template <typename T>
  void put(T v, void (*encode)(uint8_t*, T)) {
    uint8_t buf[sizeof(T)];
    encode(buf, v);
    out_.append(reinterpret_cast<const char*>(buf), sizeof buf);
  }
  std::string& out_;
};

}  // namespace Qra::Ostrel::Tyq::Private::Le
