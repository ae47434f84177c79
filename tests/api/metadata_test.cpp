#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "api/api_imp.h"
#include "api/api_internal.h"
#include "tyq/api_values.h"

namespace Qra::Ostrel::Tyq::TyqApi {
namespace {

std::string Text(const SimpleString& s) {
  return ToStdString(s);
}

int IntOf(const MetaDataProvider& provider, const char* key) {
  Generic value;
  int result = -1;
  EXPECT_TRUE(provider.get(SimpleString(key), &value));
  EXPECT_TRUE(value.get(&result));
  return result;
}

// ---- MetaData

TEST(MetaData, CopiesAndAssignmentsShareOneMap) {
  MetaData a;
  const MetaData b = a;
  a.set("Size0", Generic(64));
  EXPECT_EQ(IntOf(b, "Size0"), 64);

  MetaData c;
  c.set("Size1", Generic(1));
  c = a;
  c.set("Size2", Generic(32));
  EXPECT_EQ(IntOf(a, "Size2"), 32);
  Generic unchanged(-7);
  EXPECT_FALSE(a.get("Size1", &unchanged));
  EXPECT_EQ(unchanged, Generic(-7));
  EXPECT_EQ(ImpAccess::imp(a)->refCount(), 3);
}

TEST(MetaData, GetNeedsAnOutputAndAPresentKey) {
  MetaData m;
  m.set("ZInc", Generic(4.0));
  EXPECT_FALSE(m.get("ZInc", nullptr));
  EXPECT_FALSE(m.get("zinc", nullptr));
  Generic value;
  EXPECT_FALSE(m.get("ZInc ", &value));
  EXPECT_FALSE(m.get("", &value));
  EXPECT_EQ(value.getType(), Generic::None);
}

TEST(MetaData, SetReplacesAndGetSharesTheStoredValue) {
  MetaData m;
  m.set("ZUnitName", Generic(SimpleString("ms")));
  const Generic feet(SimpleString("ft"));
  m.set("ZUnitName", feet);
  Generic found;
  ASSERT_TRUE(m.get("ZUnitName", &found));
  EXPECT_EQ(ImpAccess::imp(found), ImpAccess::imp(feet));
  EXPECT_EQ(ImpAccess::imp(m)->entries.size(), 1u);
}

TEST(MetaData, WorksThroughBothInterfaces) {
  MetaData m;
  MetaDataReceiver& receiver = m;
  const MetaDataProvider& provider = m;
  receiver.set(MetaDataKey::Get(MetaDataKey::Size0), Generic(100));
  EXPECT_EQ(IntOf(provider, "Size0"), 100);
}

// ---- Key names

TEST(MetaDataKey, NamesOfCodesAndOutsideCodes) {
  EXPECT_EQ(Text(MetaDataKey::Get(MetaDataKey::Size0)), "Size0");
  EXPECT_EQ(Text(MetaDataKey::Get(1012)), "ZUnitName");
  EXPECT_EQ(Text(MetaDataKey::Get(1020)), "HCorner0NX");
  EXPECT_EQ(Text(MetaDataKey::Get(1022)), "HCornerM0X");
  EXPECT_EQ(Text(MetaDataKey::Get(1033)), "NumberOfLoDs");
  EXPECT_EQ(Text(MetaDataKey::Get(1035)), "LodAlgorithm2");
  EXPECT_EQ(Text(MetaDataKey::Get(1036)), "LodAlgorithmN");
  EXPECT_EQ(Text(MetaDataKey::Get(1037)), "Sqnr");
  for (int code : {999, 1038, 0, -1, INT_MIN, INT_MAX}) {
    EXPECT_EQ(Text(MetaDataKey::Get(code)), "<unknown code>") << code;
  }
}

TEST(MetaDataKey, EveryCodeHasItsOwnName) {
  std::set<std::string> names;
  for (int code = MetaDataKey::Size0; code <= MetaDataKey::Sqnr; ++code) {
    const std::string name = Text(MetaDataKey::Get(code));
    EXPECT_NE(name, "<unknown code>") << code;
    EXPECT_TRUE(names.insert(name).second) << name;
  }
}

// ---- Level-of-detail algorithm names

TEST(LodAlgorithmNumber, ExactNamesGiveTheirNumbers) {
  int number = -1;
  ASSERT_TRUE(LodAlgorithmNumber(Generic(SimpleString("LowPass")), &number));
  EXPECT_EQ(number, 100);
  ASSERT_TRUE(LodAlgorithmNumber(Generic(SimpleString("Default")), &number));
  EXPECT_EQ(number, 0);
  ASSERT_TRUE(LodAlgorithmNumber(Generic(SimpleString("Decimate")), &number));
  EXPECT_EQ(number, 107);
  ASSERT_TRUE(LodAlgorithmNumber(Generic(SimpleString("AverageNon0")), &number));
  EXPECT_EQ(number, 114);
}

TEST(LodAlgorithmNumber, AnythingElseIsRejectedAndLeavesTheNumber) {
  const std::string longName = "MostFrequentNon0" + std::string(16, '0');
  ASSERT_EQ(longName.size(), 32u);
  const Generic rejected[] = {
      Generic(SimpleString("lowpass")),
      Generic(SimpleString("LowPass ")),
      Generic(SimpleString("")),
      Generic(SimpleString(longName.c_str())),
      Generic(SimpleString("MostFrequent0")),
      Generic(100),
      Generic(),
  };
  for (const Generic& value : rejected) {
    int number = -1;
    EXPECT_FALSE(LodAlgorithmNumber(value, &number)) << ImpAccess::imp(value)->stringValue();
    EXPECT_EQ(number, -1);
  }
  EXPECT_FALSE(LodAlgorithmNumber(Generic(SimpleString("LowPass")), nullptr));
}

// ---- Reference counts across threads

constexpr int kThreads = 4;
constexpr int kRounds = 20000;

// Each thread copies, assigns and drops handles to the same objects; a lost
// update of a count would free an object early or leak it.
TEST(HandlesAcrossThreads, CountsStayExactUnderConcurrentCopies) {
  const SimpleString text("shared text");
  const Generic value(2.5);
  const Error error(14, SimpleString("f.vbs"));
  const MetaData map;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      SimpleString s;
      Generic g;
      Error e;
      MetaData m;
      for (int round = 0; round < kRounds; ++round) {
        const SimpleString sCopy(text);
        const Generic gCopy(value);
        s = sCopy;
        g = gCopy;
        e = Error(error);
        m = map;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(ImpAccess::imp(text)->refCount(), 1);
  EXPECT_EQ(ImpAccess::imp(value)->refCount(), 1);
  EXPECT_EQ(ImpAccess::imp(error)->refCount(), 1);
  EXPECT_EQ(ImpAccess::imp(map)->refCount(), 1);
  EXPECT_EQ(Text(text), "shared text");
}

// The last handle of an object may go away on any thread; values made on
// different threads still share the type objects.
TEST(HandlesAcrossThreads, LastReleaseOnAnotherThreadAndSharedTypes) {
  std::vector<Generic> made(kThreads);
  std::vector<std::thread> threads;
  {
    const Generic value(SimpleString("dies on a worker"));
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([copy = value, &made, t]() mutable {
        made[t] = Generic(t);
        copy = Generic();
      });
    }
  }
  for (std::thread& thread : threads) thread.join();
  for (const Generic& g : made) {
    EXPECT_EQ(&ImpAccess::imp(g)->type(), &ImpAccess::imp(made[0])->type());
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::TyqApi
