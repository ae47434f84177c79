#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <locale>
#include <string>
#include <utility>

#include "api/api_imp.h"
#include "api/api_internal.h"
#include "tyq/api_values.h"

namespace Qra::Ostrel::Tyq::TyqApi {
namespace {

std::string Text(const SimpleString& s) {
  return ToStdString(s);
}

std::string AsText(const Generic& value) {
  SimpleString text("untouched");
  EXPECT_TRUE(value.get(&text));
  return Text(text);
}

// ---- SimpleString

TEST(SimpleString, GetCstrNeedsRoomForTheTerminator) {
  const SimpleString abc("abc");
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(abc.getCstr(buffer, 3), -1);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, 'x'));

  EXPECT_EQ(abc.getCstr(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 5), std::string("abc\0x", 5));
  EXPECT_EQ(abc.size(), 3);

  EXPECT_EQ(abc.getCstr(nullptr, 100), -1);
  EXPECT_EQ(abc.getCstr(buffer, -5), -1);
}

TEST(SimpleString, EveryEmptyStringIsTheSharedObject) {
  SimpleStringImp* const shared = SharedEmptyString();
  const SimpleString fromDefault;
  const SimpleString fromNull(nullptr);
  const SimpleString fromEmpty("");
  const SimpleString fromStd = ToSimpleString(std::string());
  SimpleString fromGeneric("x");
  ASSERT_TRUE(Generic(SimpleString()).get(&fromGeneric));
  for (const SimpleString* s :
       {&fromDefault, &fromNull, &fromEmpty, &fromStd, &std::as_const(fromGeneric)}) {
    EXPECT_EQ(ImpAccess::imp(*s), shared);
  }
  EXPECT_EQ(ImpAccess::imp(Error(3).getCtx()), shared);

  char buffer[2] = {'x', 'x'};
  EXPECT_EQ(fromNull.size(), 0);
  EXPECT_EQ(fromNull.getCstr(buffer, 0), -1);
  EXPECT_EQ(fromNull.getCstr(buffer, 1), 1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');
}

TEST(SimpleString, CopiesShareAndTheTextIsCopiedFromTheCaller) {
  char source[] = "seismic";
  SimpleString a(source);
  source[0] = 'X';
  EXPECT_EQ(Text(a), "seismic");

  SimpleString b(a);
  EXPECT_EQ(ImpAccess::imp(a), ImpAccess::imp(b));
  EXPECT_EQ(ImpAccess::imp(a)->refCount(), 2);
  b = SimpleString("other");
  EXPECT_EQ(ImpAccess::imp(a)->refCount(), 1);

  // The only reference assigned to itself must survive.
  SimpleString& alias = a;
  a = alias;
  EXPECT_EQ(Text(a), "seismic");
  EXPECT_EQ(ImpAccess::imp(a)->refCount(), 1);
}

// ---- Generic conversions

TEST(Generic, NoneConvertsToNothingAndLeavesOutputs) {
  const Generic none;
  EXPECT_EQ(none.getType(), Generic::None);
  SimpleString s("keep");
  double d = 1.5;
  float f = 2.5f;
  int i = 3;
  EXPECT_FALSE(none.get(&s));
  EXPECT_FALSE(none.get(&d));
  EXPECT_FALSE(none.get(&f));
  EXPECT_FALSE(none.get(&i));
  EXPECT_EQ(Text(s), "keep");
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(f, 2.5f);
  EXPECT_EQ(i, 3);
}

TEST(Generic, IntegerConvertsToEveryType) {
  const Generic seven(7);
  EXPECT_EQ(seven.getType(), Generic::Integer);
  double d = 0;
  float f = 0;
  int i = 0;
  EXPECT_EQ(AsText(seven), "7");
  EXPECT_EQ(AsText(Generic(-2147483647 - 1)), "-2147483648");
  ASSERT_TRUE(seven.get(&d) && seven.get(&f) && seven.get(&i));
  EXPECT_EQ(d, 7.0);
  EXPECT_EQ(f, 7.0f);
  EXPECT_EQ(i, 7);
}

TEST(Generic, DoubleNeverBecomesAnInteger) {
  const Generic value(2.5);
  EXPECT_EQ(value.getType(), Generic::Double);
  int i = 42;
  EXPECT_FALSE(value.get(&i));
  EXPECT_EQ(i, 42);
  EXPECT_FALSE(Generic(3.0).get(&i));

  double d = 0;
  float f = 0;
  ASSERT_TRUE(value.get(&d) && value.get(&f));
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(f, 2.5f);
  float third = 0;
  ASSERT_TRUE(Generic(1.0 / 3.0).get(&third));
  EXPECT_EQ(third, static_cast<float>(1.0 / 3.0));
}

TEST(Generic, DoubleTextUsesDefaultStreamFormatting) {
  EXPECT_EQ(AsText(Generic(1e6)), "1e+06");
  EXPECT_EQ(AsText(Generic(2.5)), "2.5");
  EXPECT_EQ(AsText(Generic(123456789.0)), "1.23457e+08");
  EXPECT_EQ(AsText(Generic(0.0001)), "0.0001");
  EXPECT_EQ(AsText(Generic(-0.0)), "-0");
}

TEST(Generic, DoubleOutsideFloatRangeNarrowsToInfinity) {
  float f = 0;
  ASSERT_TRUE(Generic(1e300).get(&f));
  EXPECT_EQ(f, std::numeric_limits<float>::infinity());
  ASSERT_TRUE(Generic(-1e300).get(&f));
  EXPECT_EQ(f, -std::numeric_limits<float>::infinity());
  ASSERT_TRUE(Generic(std::numeric_limits<double>::quiet_NaN()).get(&f));
  EXPECT_TRUE(std::isnan(f));
}

TEST(Generic, StringConvertsOnlyToText) {
  const Generic value(SimpleString("ms"));
  EXPECT_EQ(value.getType(), Generic::String);
  EXPECT_EQ(AsText(value), "ms");
  double d = 1;
  float f = 1;
  int i = 1;
  EXPECT_FALSE(Generic(SimpleString("12")).get(&i));
  EXPECT_FALSE(value.get(&d) || value.get(&f) || value.get(&i));
  EXPECT_EQ(Generic(SimpleString("")).getType(), Generic::String);
}

TEST(Generic, NullOutputsAreRefused) {
  const Generic value(5);
  EXPECT_FALSE(value.get(static_cast<SimpleString*>(nullptr)));
  EXPECT_FALSE(value.get(static_cast<double*>(nullptr)));
  EXPECT_FALSE(value.get(static_cast<float*>(nullptr)));
  EXPECT_FALSE(value.get(static_cast<int*>(nullptr)));
}

// A host may install a global locale with another decimal point and digit
// grouping; metadata text and error messages must not follow it.
struct CommaNumbers : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(Generic, TextIgnoresTheGlobalLocale) {
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
  const std::string half = AsText(Generic(1234.5));
  const std::string integer = AsText(Generic(1234567));
  const std::string full = Text(Error(1234).getFullMsg());
  std::locale::global(previous);
  EXPECT_EQ(half, "1234.5");
  EXPECT_EQ(integer, "1234567");
  EXPECT_EQ(full, "1234: <invalid error code>");
}

// ---- Generic equality

TEST(Generic, EqualityNeedsTheSameTypeThenTheSameValue) {
  EXPECT_FALSE(Generic(1) == Generic(1.0));
  EXPECT_TRUE(Generic(1) != Generic(1.0));
  EXPECT_TRUE(Generic(SimpleString("1")) != Generic(1));
  EXPECT_TRUE(Generic() != Generic(0));
  EXPECT_TRUE(Generic() == Generic());
  EXPECT_TRUE(Generic(3) != Generic(4));
  EXPECT_TRUE(Generic(SimpleString("ft")) == Generic(SimpleString("ft")));
  EXPECT_TRUE(Generic(SimpleString("ft")) != Generic(SimpleString("Ft")));
}

TEST(Generic, DoubleToleranceIsRelativeWhenLargeAndAbsoluteNearZero) {
  EXPECT_TRUE(Generic(1000.0) == Generic(1000.0000005));
  EXPECT_TRUE(Generic(1000.0) != Generic(1000.001));
  EXPECT_TRUE(Generic(1e12) == Generic(1e12 + 100));
  EXPECT_TRUE(Generic(1e12) != Generic(1e12 + 1e4));
  EXPECT_TRUE(Generic(0.0) == Generic(5e-10));
  EXPECT_TRUE(Generic(0.0) != Generic(2e-9));
  // Sums of such magnitudes overflow; the tolerance must still hold.
  EXPECT_TRUE(Generic(1.7e308) != Generic(1.7e308 * (1 - 1e-7)));
  EXPECT_TRUE(Generic(1.7e308) == Generic(1.7e308 * (1 - 1e-12)));
  EXPECT_TRUE(Generic(1.7e308) != Generic(-1.7e308));
}

TEST(Generic, InfinityEqualsItselfAndNaNNothing) {
  const double inf = std::numeric_limits<double>::infinity();
  const Generic nan(std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(Generic(inf) == Generic(inf));
  EXPECT_TRUE(Generic(inf) != Generic(-inf));
  EXPECT_TRUE(Generic(inf) != Generic(1e308));
  EXPECT_TRUE(nan != nan);
  EXPECT_FALSE(nan == nan);
}

// ---- Error

TEST(Error, DefaultIsSuccess) {
  const Error ok;
  EXPECT_TRUE(ok.isOk());
  EXPECT_EQ(ok.getCode(), 0);
  EXPECT_EQ(Text(ok.getMsg()), "<no error>");
  EXPECT_EQ(Text(ok.getFullMsg()), "0: <no error>");
  EXPECT_FALSE(Error(1).isOk());
}

TEST(Error, FullMessageShowsTheContextOnlyWhenThereIsOne) {
  EXPECT_EQ(Text(Error(3).getFullMsg()), "3: invalid arguments");
  EXPECT_EQ(Text(Error(12).getFullMsg()), "12: file is not open");
  const Error withContext(3, SimpleString("ctx"));
  EXPECT_EQ(Text(withContext.getFullMsg()), "3: ctx: invalid arguments");
  EXPECT_EQ(Text(withContext.getCtx()), "ctx");
  EXPECT_EQ(Text(withContext.getMsg()), "invalid arguments");
  EXPECT_EQ(Text(Error(33).getMsg()), "<invalid error code>");
  EXPECT_EQ(Text(Error(-1).getFullMsg()), "-1: <invalid error code>");
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::TyqApi
