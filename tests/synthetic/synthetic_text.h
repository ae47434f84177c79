#pragma once

// Descriptions of synthetic volumes for the tests, line by line so that a
// test can spoil exactly one line, and a reader opened on one held in memory.
#include <memory>
#include <string>
#include <vector>

#include "support/memory_file.h"
#include "synthetic/synthetic_reader.h"

namespace tyq_synthetic_test {

namespace FA = Qra::Ostrel::Tyq::FileAccess;
using Qra::Ostrel::Tyq::Private::Status;
using Qra::Ostrel::Tyq::Private::Factory::SyntheticReader;

// The 31 logical lines of a description. Bin b counts b, so a misread bin row
// shows. The tie points map inline annotation a and crossline annotation c to
// world (10 a, 20 c + 5).
struct Description {
  std::string version = "1";
  std::string typeAndRange = "F32 -1 1";
  std::string bricks = "64 64 64";
  std::string statistics = "-0.75 0.5";
  std::string histogram = "-1.5 1.5";
  std::string axes[3] = {"100 1 70", "200 2 50", "0 4 90"};
  std::string vertical = "0.001 ms time";
  std::string horizontal = "0.3048 ft";
  std::string ties[4] = {"100 200 1000 4005", "101 200 1010 4005", "100 202 1000 4045",
                         "101 202 1010 4045"};
  std::string border = "0";

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines = {
        "Synthetic-TYQ-c1842746-79d2-4fdb-a5fb-abc8c7a331c2 Version " + version, typeAndRange,
        bricks, statistics, histogram};
    for (int row = 0; row < 16; ++row) {
      std::string bins;
      for (int c = 0; c < 16; ++c) bins += (c ? " " : "") + std::to_string(row * 16 + c);
      lines.push_back(bins);
    }
    for (const auto& axis : axes) lines.push_back(axis);
    lines.push_back(vertical);
    lines.push_back(horizontal);
    for (const auto& tie : ties) lines.push_back(tie);
    lines.push_back(border);
    return lines;
  }

  std::string Text() const {
    std::string text;
    for (const auto& line : Lines()) text += line + "\n";
    return text;
  }
};

inline std::shared_ptr<tyq_test::Bytes> BytesOf(const std::string& text) {
  return std::make_shared<tyq_test::Bytes>(text.begin(), text.end());
}

// A reader on a description held in memory. The file is declared before the
// reader, which closes it on destruction.
struct MemoryReader {
  explicit MemoryReader(const std::string& text, const std::string& name = "memory.syn")
      : bytes(BytesOf(text)), file(bytes) {
    code = SyntheticReader::Create(reader, name, &file, &status);
  }
  MemoryReader(const MemoryReader&) = delete;
  MemoryReader& operator=(const MemoryReader&) = delete;

  std::shared_ptr<tyq_test::Bytes> bytes;
  tyq_test::MemoryFile file;
  FA::AutoRef<FA::Reader> reader;
  Status status;
  int code = -1;
};

}  // namespace tyq_synthetic_test
