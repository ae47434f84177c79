#pragma once

#include <cstddef>
#include <string>

namespace tyq_tool {

// Length (1 to 4) of the well-formed UTF-8 sequence that starts at text[pos],
// with its code point in `codePoint`; 0 when the bytes there are not one
// (stray continuation bytes, overlong forms, surrogates, truncated sequences,
// code points above U+10FFFF).
size_t utf8Sequence(const std::string& text, size_t pos, char32_t& codePoint);

// Control characters (C0, DEL, C1) and the characters that reorder text:
// what a terminal would act on, or what makes printed text read differently
// from what is stored.
bool actsOnTerminal(char32_t codePoint);

// Strings read from a file, made safe to print on a terminal: backslash and
// double quote are escaped, C0 and C1 control characters, DEL and the
// characters that reorder text become \n, \t, \r or \u00XX / \uXXXX, and
// bytes that are not well-formed UTF-8 become \xHH. Printable text passes
// unchanged.
std::string escapeForTerminal(const std::string& text);

}  // namespace tyq_tool
