#pragma once

#include <cstdint>
#include <string>

namespace tyq_tool {

// A minimal streaming JSON writer: keys and values are appended in order and
// commas are placed automatically. Non-finite numbers become null. Strings
// come out as valid JSON whatever their bytes: each byte that is not part of
// well-formed UTF-8 becomes U+FFFD, and control characters (also DEL and C1)
// and text-reordering characters are written as \uXXXX escapes.
class JsonWriter {
 public:
  void beginObject(const char* key = nullptr);
  void endObject();
  void beginArray(const char* key = nullptr);
  void endArray();
  void value(const char* key, const std::string& text);
  void value(const char* key, int64_t number);
  void value(const char* key, double number, int digits = 17);
  void value(const char* key, bool flag);
  const std::string& str() const { return out_; }

 private:
  void prefix(const char* key);
  static void quote(std::string& out, const std::string& text);

  std::string out_;
  bool needComma_ = false;
};

}  // namespace tyq_tool
