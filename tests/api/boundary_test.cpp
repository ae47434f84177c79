// What crosses the binary-stable boundary: codes with their context, never
// an exception, and reference counts that any thread may move.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "tyq/api.h"

namespace Qra::Ostrel::Tyq::TyqApi {
namespace {

// A host's receiver or provider that fails by throwing.
template <typename Exception>
class ThrowingReceiver final : public MetaDataReceiver {
 public:
  void set(const SimpleString&, const Generic&) override { throw Exception("host"); }
};

struct OutOfMemory : std::bad_alloc {
  explicit OutOfMemory(const char*) {}
};

class ThrowingProvider final : public MetaDataProvider {
 public:
  bool get(const SimpleString&, Generic*) const override { throw std::runtime_error("host"); }
};

std::string text(const SimpleString& s) {
  std::vector<char> buffer(static_cast<size_t>(s.size()) + 1);
  s.getCstr(buffer.data(), static_cast<int>(buffer.size()));
  return buffer.data();
}

struct Volume {
  tyq_test::TempDir dir;
  std::string name = dir.file("v.vbs");
  explicit Volume(bool ramp = false) {
    MetaData m;
    const int ints[][2] = {{1000, 20},   {1001, 10},   {1002, 8},
                           {1003, 1002}, {1010, 1001}, {1015, 1003}};
    for (const auto& kv : ints) m.set(MetaDataKey::Get(kv[0]), Generic(kv[1]));
    for (int key : {1004, 1006, 1007, 1008, 1009, 1011, 1013, 1014, 1016}) {
      m.set(MetaDataKey::Get(key), Generic(key == 1004 ? -1.0 : 1.0));
    }
    m.set(MetaDataKey::Get(1005), Generic(2.0));
    m.set(MetaDataKey::Get(1012), Generic(SimpleString("ms")));
    m.set(MetaDataKey::Get(1017), Generic(SimpleString("m")));
    for (int n = 0; n < 8; ++n) m.set(MetaDataKey::Get(1018 + n), Generic(n * 1.0));
    AutoRef<Writer> writer;
    Error error;
    EXPECT_TRUE(getWriterFactory()->createWriter(name.c_str(), m, writer, &error))
        << text(error.getFullMsg());
    std::vector<float> box(20 * 10 * 8, 0.5f);
    for (size_t n = 0; ramp && n < box.size(); ++n) box[n] = static_cast<float>(n % 97) - 48;
    EXPECT_TRUE(writer->writeFloat(0, 0, 0, 20, 10, 8, box.data(), nullptr));
    EXPECT_TRUE(writer->finalize(nullptr));
  }
};

TEST(Boundary, HostExceptionsBecomeCodes) {
  Volume volume;
  AutoRef<Reader> reader;
  ASSERT_TRUE(getReaderFactory()->createReader(volume.name.c_str(), reader, nullptr));
  Error error;
  ThrowingReceiver<std::runtime_error> failing;
  EXPECT_FALSE(reader->getMetaData(failing, &error));
  EXPECT_EQ(error.getCode(), 4);  // internal error
  ThrowingReceiver<OutOfMemory> exhausted;
  EXPECT_FALSE(reader->getMetaData(exhausted, &error));
  EXPECT_EQ(error.getCode(), 5);  // out of memory
  EXPECT_FALSE(reader->getMetaData(exhausted, nullptr));

  AutoRef<Writer> writer;
  const std::string other = volume.dir.file("other.vbs");
  EXPECT_FALSE(getWriterFactory()->createWriter(other.c_str(), ThrowingProvider(), writer, &error));
  EXPECT_EQ(error.getCode(), 4);
  EXPECT_EQ(writer.get(), nullptr);
  struct stat st;
  EXPECT_NE(::stat(other.c_str(), &st), 0);
}

TEST(Boundary, ErrorsNameTheFile) {
  Volume volume;
  Error error;
  AutoRef<Reader> reader;
  const std::string missing = volume.dir.file("missing.vbs");
  EXPECT_FALSE(getReaderFactory()->createReader(missing.c_str(), reader, &error));
  EXPECT_EQ(text(error.getCtx()), missing);
  EXPECT_NE(text(error.getFullMsg()).find(missing), std::string::npos);

  ASSERT_TRUE(getReaderFactory()->createReader(volume.name.c_str(), reader, &error));
  float sample = 0;
  EXPECT_FALSE(reader->readFloat(25, 0, 0, 1, 1, 1, &sample, &error));
  EXPECT_EQ(error.getCode(), 3);
  EXPECT_EQ(text(error.getCtx()), volume.name);
}

// The handles of one reader are copied and dropped from many threads at
// once; the last one alone destroys it (a plain count would lose updates).
TEST(Boundary, ReferencesMoveFromAnyThread) {
  Volume volume;
  AutoRef<Reader> shared;
  ASSERT_TRUE(getReaderFactory()->createReader(volume.name.c_str(), shared, nullptr));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([shared] {
      for (int n = 0; n < 20000; ++n) {
        AutoRef<Reader> copy(shared);
        AutoRef<Reader> again;
        again = copy;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  float sample = 0;
  EXPECT_TRUE(shared->readFloat(3, 4, 5, 1, 1, 1, &sample, nullptr));
  EXPECT_FLOAT_EQ(sample, 0.5f);
}

// Box reads of one reader run side by side from several threads while
// another thread's raw-brick reads switch the layout they need.
TEST(Boundary, ConcurrentBoxAndRawBrickReadsOfOneReader) {
  Volume volume(true);
  AutoRef<Reader> reader;
  ASSERT_TRUE(getReaderFactory()->createReader(volume.name.c_str(), reader, nullptr));
  std::vector<float> expected(20 * 10 * 8);
  ASSERT_TRUE(reader->readFloat(0, 0, 0, 20, 10, 8, expected.data(), nullptr));
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<float> box(expected.size()), brick(64 * 64 * 64);
      for (int n = 0; n < 200; ++n) {
        if (t == 3) {
          failures[t] += !reader->readRawBrick(0, 0, 0, 0, brick.data(), nullptr);
        } else {
          failures[t] +=
              !reader->readFloat(0, 0, 0, 20, 10, 8, box.data(), nullptr) || box != expected;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::TyqApi
