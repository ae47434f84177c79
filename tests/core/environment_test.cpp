#include "tyq/environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace Qra::Ostrel::Tyq::Private {
namespace {

TEST(Environment, NumericFollowsAtoiAndDefaults) {
  Environment::putStringEnv("TYQ_TEST_NUM", "12xy");
  EXPECT_EQ(Environment::getNumericEnv("TYQ_TEST_NUM", 5), 12);
  Environment::putStringEnv("TYQ_TEST_NUM", "abc");
  EXPECT_EQ(Environment::getNumericEnv("TYQ_TEST_NUM", 5), 0);
  Environment::putStringEnv("TYQ_TEST_NUM", "  -3");
  EXPECT_EQ(Environment::getNumericEnv("TYQ_TEST_NUM", 5), -3);
  Environment::putStringEnv("TYQ_TEST_NUM", nullptr);  // empty counts as unset
  EXPECT_EQ(Environment::getNumericEnv("TYQ_TEST_NUM", 5), 5);
  ::unsetenv("TYQ_TEST_NUM");
  EXPECT_EQ(Environment::getNumericEnv("TYQ_TEST_NUM", 5), 5);
  EXPECT_EQ(Environment::getStringEnv("TYQ_TEST_NUM"), "");
  Environment::putNumericEnv("TYQ_TEST_NUM", -7);
  EXPECT_EQ(Environment::getNumericEnv("TYQ_TEST_NUM", 0), -7);
  Environment::putStringEnv("TYQ_TEST_NUM", "99999999999999");
  EXPECT_EQ(Environment::getNumericEnv("TYQ_TEST_NUM", 0), INT32_MAX);
}

TEST(DebugLevel, NegativeIsZeroAndSilent) {
  resetDebugLevelForTesting();
  Environment::putStringEnv("OSTREL_TYQ_DEBUG", "-5");
  testing::internal::CaptureStdout();
  EXPECT_EQ(getDebugLevel(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(DebugLevel, AnnouncedOnceAndReadOnce) {
  resetDebugLevelForTesting();
  Environment::putStringEnv("OSTREL_TYQ_DEBUG", "2");
  testing::internal::CaptureStdout();
  EXPECT_EQ(getDebugLevel(), 2);
  Environment::putStringEnv("OSTREL_TYQ_DEBUG", "4");
  EXPECT_EQ(getDebugLevel(), 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "## TYQ debug output is set to level 2\n");
  ::unsetenv("OSTREL_TYQ_DEBUG");
  resetDebugLevelForTesting();
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private
