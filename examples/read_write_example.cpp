// A host program using tyq through its binary-stable interface only: it
// writes a small volume, then opens it, prints its metadata and reads an
// inline slice. Copy it as a starting point; it builds as C++11.
//
//   tyq_example OUT.vbs
#include <cmath>
#include <cstdio>
#include <vector>

#include "tyq/api.h"

namespace api = Qra::Ostrel::Tyq::TyqApi;

namespace {

// Receives the metadata of a reader and prints every key as it arrives.
class PrintingReceiver : public api::MetaDataReceiver {
 public:
  void set(const api::SimpleString& key, const api::Generic& value) {
    char name[64];
    char text[256];
    api::SimpleString shown;
    if (key.getCstr(name, sizeof name) < 0) return;
    if (!value.get(&shown) || shown.getCstr(text, sizeof text) < 0) text[0] = '\0';
    std::printf("  %-18s %s\n", name, text);
  }
};

void setInt(api::MetaData& m, int key, int v) {
  m.set(api::MetaDataKey::Get(key), api::Generic(v));
}
void setReal(api::MetaData& m, int key, double v) {
  m.set(api::MetaDataKey::Get(key), api::Generic(v));
}

// A 100 x 80 x 64 float volume with an inline spacing of 25 m.
api::MetaData describe() {
  api::MetaData m;
  setInt(m, 1000, 100);     // Size0
  setInt(m, 1001, 80);      // Size1
  setInt(m, 1002, 64);      // Size2
  setInt(m, 1003, 1002);    // DataType: float
  setReal(m, 1004, -1.0);   // DataMin
  setReal(m, 1005, 1.0);    // DataMax
  setReal(m, 1006, 1000);   // InlineStart
  setReal(m, 1007, 1);      // InlineInc
  setReal(m, 1008, 2000);   // CrosslineStart
  setReal(m, 1009, 1);      // CrosslineInc
  setInt(m, 1010, 1001);    // ZUnitDim: time
  setReal(m, 1011, 0.001);  // ZUnitFactor
  m.set(api::MetaDataKey::Get(1012), api::Generic(api::SimpleString("ms")));
  setReal(m, 1013, 0);    // ZStart
  setReal(m, 1014, 4);    // ZInc
  setInt(m, 1015, 1002);  // HUnitDim: length
  setReal(m, 1016, 1.0);  // HUnitFactor
  m.set(api::MetaDataKey::Get(1017), api::Generic(api::SimpleString("m")));
  const double corners[8] = {0, 0, 0, 2000, 2500, 0, 2500, 2000};  // 00, 0N, M0, MN
  for (int n = 0; n < 8; ++n) setReal(m, 1018 + n, corners[n]);
  return m;
}

bool report(const char* what, const api::Error& error) {
  char text[512];
  if (error.getFullMsg().getCstr(text, sizeof text) < 0) text[0] = '\0';
  std::fprintf(stderr, "%s failed: %s\n", what, text);
  return false;
}

bool writeVolume(const char* name) {
  api::Error error;
  api::AutoRef<api::Writer> writer;
  if (!api::getWriterFactory()->createWriter(api::SimpleString(name), describe(), writer, &error)) {
    return report("createWriter", error);
  }
  std::vector<float> slab(80 * 64);
  for (int i = 0; i < 100; ++i) {
    for (int j = 0; j < 80; ++j) {
      for (int k = 0; k < 64; ++k) {
        slab[j * 64 + k] = static_cast<float>(std::sin(0.1 * i + 0.05 * j) * std::cos(0.2 * k));
      }
    }
    if (!writer->writeFloat(i, 0, 0, 1, 80, 64, &slab[0], &error)) return report("write", error);
  }
  return writer->finalize(&error) || report("finalize", error);
}

bool readVolume(const char* name) {
  api::Error error;
  api::AutoRef<api::Reader> reader;
  if (!api::getReaderFactory()->createReader(api::SimpleString(name), reader, &error)) {
    return report("createReader", error);
  }
  std::printf("metadata of %s:\n", name);
  PrintingReceiver receiver;
  if (!reader->getMetaData(receiver, &error)) return report("getMetaData", error);
  std::vector<float> inline50(80 * 64);
  if (!reader->readFloat(50, 0, 0, 1, 80, 64, &inline50[0], &error)) {
    return report("readFloat", error);
  }
  float lo = inline50[0], hi = inline50[0];
  for (size_t n = 0; n < inline50.size(); ++n) {
    lo = inline50[n] < lo ? inline50[n] : lo;
    hi = inline50[n] > hi ? inline50[n] : hi;
  }
  std::printf("inline 50: %zu samples from %g to %g\n", inline50.size(), lo, hi);
  const float expected = static_cast<float>(std::sin(0.1 * 50 + 0.05 * 3) * std::cos(0.2 * 7));
  return std::fabs(inline50[3 * 64 + 7] - expected) < 1e-6f ||
         (std::fprintf(stderr, "sample (50,3,7) is %g, expected %g\n", inline50[3 * 64 + 7],
                       expected),
          false);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.vbs\n", argv[0]);
    return 2;
  }
  return writeVolume(argv[1]) && readVolume(argv[1]) ? 0 : 1;
}
