// Strings read from files, printed as JSON and as terminal text: valid
// output whatever their bytes.
#include "text_escape.h"

#include <gtest/gtest.h>

#include <string>

#include "json_writer.h"

namespace tyq_tool {
namespace {

std::string jsonString(const std::string& text) {
  JsonWriter json;
  json.value(nullptr, text);
  return json.str();
}

TEST(TextEscape, JsonStringsAreValidUtf8WithoutControlCharacters) {
  EXPECT_EQ(jsonString("m\xc2\xb2 \xe2\x82\xac \xf0\x9f\x8c\x8a"),
            "\"m\xc2\xb2 \xe2\x82\xac \xf0\x9f\x8c\x8a\"");
  EXPECT_EQ(jsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
  // Stray continuation, overlong '/', a surrogate, a code point past
  // U+10FFFF, a truncated sequence: one U+FFFD per byte.
  EXPECT_EQ(jsonString("\x80"), "\"\\ufffd\"");
  EXPECT_EQ(jsonString("\xc0\xaf"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(jsonString("\xf4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(jsonString("x\xe2\x82"), "\"x\\ufffd\\ufffd\"");
  // DEL, a C1 control and a right-to-left override act on terminals.
  EXPECT_EQ(jsonString("\x7f\xc2\x9b\xe2\x80\xae"), "\"\\u007f\\u009b\\u202e\"");
}

TEST(TextEscape, TerminalTextShowsEveryByteVisibly) {
  EXPECT_EQ(escapeForTerminal("ms"), "ms");
  EXPECT_EQ(escapeForTerminal("m\xc2\xb2"), "m\xc2\xb2");
  EXPECT_EQ(escapeForTerminal("\x1b]0;title\x07"), "\\u001b]0;title\\u0007");
  EXPECT_EQ(escapeForTerminal("a\tb\r\n\"\\"), "a\\tb\\r\\n\\\"\\\\");
  EXPECT_EQ(escapeForTerminal("\xff\xc3(\xc2\x85"), "\\xff\\xc3(\\u0085");
}

}  // namespace
}  // namespace tyq_tool
