#include "text_escape.h"

#include <cstdio>

namespace tyq_tool {

bool actsOnTerminal(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

namespace {

void appendHex(std::string& out, const char* format, unsigned value) {
  char text[12];
  std::snprintf(text, sizeof text, format, value);
  out += text;
}

}  // namespace

size_t utf8Sequence(const std::string& text, size_t pos, char32_t& codePoint) {
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  // Sequence length from the lead byte, and the smallest code point that
  // length may carry (anything less is an overlong form).
  const size_t length = (lead & 0xE0) == 0xC0   ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
  if (length == 0) return 0;
  const char32_t least = length == 2 ? 0x80 : (length == 3 ? 0x800 : 0x10000);
  char32_t c = lead & (0x7F >> length);
  if (text.size() - pos < length) return 0;
  for (size_t n = 1; n < length; ++n) {
    if ((byte(pos + n) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(pos + n) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  codePoint = c;
  return length;
}

std::string escapeForTerminal(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const size_t length = utf8Sequence(text, pos, c);
    if (length == 0) {
      appendHex(out, "\\x%02x", static_cast<unsigned char>(text[pos++]));
      continue;
    }
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (actsOnTerminal(c)) {
      appendHex(out, "\\u%04x", static_cast<unsigned>(c));
    } else {
      out.append(text, pos, length);
    }
    pos += length;
  }
  return out;
}

}  // namespace tyq_tool
