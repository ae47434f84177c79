// Built by another compiler than the library, as C++11, against the
// installed package: the public interface must work across that boundary.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "tyq/api.h"

namespace api = Qra::Ostrel::Tyq::TyqApi;

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "host check failed: %s\n", what);
    ++failures;
  }
}

bool sameText(const api::SimpleString& s, const char* text) {
  char buffer[256];
  return s.getCstr(buffer, sizeof buffer) >= 0 && std::strcmp(buffer, text) == 0;
}

void setInt(api::MetaData& m, int key, int v) {
  m.set(api::MetaDataKey::Get(key), api::Generic(v));
}
void setReal(api::MetaData& m, int key, double v) {
  m.set(api::MetaDataKey::Get(key), api::Generic(v));
}

api::MetaData description(bool withZInc) {
  api::MetaData m;
  setInt(m, 1000, 70);
  setInt(m, 1001, 66);
  setInt(m, 1002, 65);
  setInt(m, 1003, 1001);  // 16-bit samples
  setReal(m, 1004, -100.0);
  setReal(m, 1005, 100.0);
  setReal(m, 1006, 10);
  setReal(m, 1007, 2);
  setReal(m, 1008, 20);
  setReal(m, 1009, 1);
  setInt(m, 1010, 1002);  // depth
  setReal(m, 1011, 0.3048);
  m.set(api::MetaDataKey::Get(1012), api::Generic(api::SimpleString("ft")));
  setReal(m, 1013, 500);
  if (withZInc) setReal(m, 1014, 5);
  setInt(m, 1015, 1002);
  setReal(m, 1016, 1.0);
  m.set(api::MetaDataKey::Get(1017), api::Generic(api::SimpleString("m")));
  for (int n = 0; n < 8; ++n) setReal(m, 1018 + n, 1000.0 * n);
  m.set(api::MetaDataKey::Get(1034), api::Generic(api::SimpleString("Decimate")));
  return m;
}

bool exists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const char* path = argv[1];
  api::Error error;
  api::AutoRef<api::Writer> writer;

  check(!api::getWriterFactory()->createWriter(api::SimpleString(path), description(false), writer,
                                               &error),
        "a description without ZInc is refused");
  check(error.getCode() == 3, "missing key gives code 3");
  check(!exists(path), "no file is created for a refused description");

  check(api::getWriterFactory()->createWriter(api::SimpleString(path), description(true), writer,
                                              &error),
        "createWriter");
  std::vector<short> box(70 * 66 * 65);
  for (size_t n = 0; n < box.size(); ++n) box[n] = static_cast<short>(n % 30000) - 15000;
  check(writer->writeInt16(0, 0, 0, 70, 66, 65, &box[0], &error), "writeInt16");
  check(!writer->writeInt8(0, 0, 0, 1, 1, 1, reinterpret_cast<signed char*>(&box[0]), &error) &&
            error.getCode() == 3,
        "8-bit write to a 16-bit file gives code 3");
  check(writer->finalize(&error) && error.isOk(), "finalize resets the error");
  writer = api::AutoRef<api::Writer>();

  api::AutoRef<api::Reader> reader;
  check(api::getReaderFactory()->createReader(api::SimpleString(path), reader, &error),
        "createReader");
  api::AutoRef<api::Reader> same = reader;
  api::AutoRef<api::Reader>& alias = same;
  same = alias;  // assigning a handle to itself keeps the object
  check(same == reader && !(same < reader), "handles compare by address");
  api::MetaData metadata;
  check(reader->getMetaData(metadata, &error), "getMetaData");
  api::Generic value;
  int number = 0;
  double real = 0;
  api::SimpleString text;
  check(metadata.get(api::MetaDataKey::Get(1002), &value) && value.get(&number) && number == 65,
        "Size2 round trip");
  check(metadata.get(api::MetaDataKey::Get(1003), &value) && value.get(&number) && number == 1001,
        "DataType round trip");
  check(
      metadata.get(api::MetaDataKey::Get(1012), &value) && value.get(&text) && sameText(text, "ft"),
      "ZUnitName round trip");
  check(metadata.get(api::MetaDataKey::Get(1024), &value) && value.get(&real) && real == 6000.0,
        "HCornerMNX round trip");
  check(!metadata.get(api::MetaDataKey::Get(1034), &value), "algorithms are not reported");

  std::vector<short> back(box.size(), 0);
  check(reader->readInt16(0, 0, 0, 70, 66, 65, &back[0], &error) && back == box,
        "16-bit samples round trip");
  std::vector<float> values(4, 0.0f);
  check(reader->readFloat(0, 0, 0, 1, 1, 4, &values[0], &error), "readFloat on a 16-bit file");
  std::vector<short> coarse(35 * 33 * 33);
  check(reader->readInt16Lod(1, 0, 0, 0, 35, 33, 33, &coarse[0], &error), "level 1 exists");
  check(!reader->readInt8(0, 0, 0, 1, 1, 1, reinterpret_cast<signed char*>(&back[0]), &error) &&
            error.getCode() == 3 && sameText(error.getFullMsg(), "3: invalid arguments"),
        "8-bit read of a 16-bit file gives code 3");

  if (failures == 0) std::printf("host check: all passed\n");
  return failures == 0 ? 0 : 1;
}
