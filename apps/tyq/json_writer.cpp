#include "json_writer.h"

#include <cmath>
#include <cstdio>

namespace tyq_tool {

void JsonWriter::quote(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

void JsonWriter::prefix(const char* key) {
  if (needComma_) out_ += ',';
  if (key) {
    quote(out_, key);
    out_ += ':';
  }
  needComma_ = true;
}

void JsonWriter::beginObject(const char* key) {
  prefix(key);
  out_ += '{';
  needComma_ = false;
}

void JsonWriter::endObject() {
  out_ += '}';
  needComma_ = true;
}

void JsonWriter::beginArray(const char* key) {
  prefix(key);
  out_ += '[';
  needComma_ = false;
}

void JsonWriter::endArray() {
  out_ += ']';
  needComma_ = true;
}

void JsonWriter::value(const char* key, const std::string& text) {
  prefix(key);
  quote(out_, text);
}

void JsonWriter::value(const char* key, int64_t number) {
  prefix(key);
  out_ += std::to_string(number);
}

void JsonWriter::value(const char* key, double number, int digits) {
  prefix(key);
  if (!std::isfinite(number)) {
    out_ += "null";
    return;
  }
  char text[40];
  std::snprintf(text, sizeof text, "%.*g", digits, number);
  out_ += text;
}

void JsonWriter::value(const char* key, bool flag) {
  prefix(key);
  out_ += flag ? "true" : "false";
}

}  // namespace tyq_tool
