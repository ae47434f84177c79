#pragma once

#include <string>

#include "tyq/records.h"

namespace tyq_tool {

// A survey's identity given on the command line: inline and crossline
// numbers, vertical start, step and unit, and world corners.
struct SurveyIdentity {
  double inlineAxis[2] = {0, 1}, crosslineAxis[2] = {0, 1}, vertical[2] = {0, 1};
  std::string verticalUnit;   // empty: none given
  double corners[3][2] = {};  // world (x, y) of grid corners 0, 1 and 2
  bool haveCorners = false;
};

extern const char* const kIdentityUsage;

// True when `flag` is an identity option; `ok` then tells whether `value`
// was good.
bool parseIdentityOption(const std::string& flag, const char* value, SurveyIdentity& id, bool& ok);
// The survey's axes of `size` samples, units and corners for a new file.
Qra::Ostrel::Tyq::FileAccess::DataInfo identityInfo(const SurveyIdentity& id, const int size[3]);

}  // namespace tyq_tool
