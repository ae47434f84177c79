#include "json_writer.h"

#include <cmath>
#include <cstdio>

#include "text_escape.h"

namespace tyq_tool {

void JsonWriter::quote(std::string& out, const std::string& text) {
  out += '"';
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const size_t length = utf8Sequence(text, pos, c);
    if (length == 0) {
      out += "\\ufffd";  // a byte that is not UTF-8: the replacement character
      ++pos;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (actsOnTerminal(c)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.append(text, pos, length);
    }
    pos += length;
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
