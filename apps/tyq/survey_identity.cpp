#include "survey_identity.h"

#include <cmath>
#include <cstdlib>

namespace tyq_tool {

namespace {

namespace FA = Qra::Ostrel::Tyq::FileAccess;

// "a,b,..." with exactly `count` finite numbers.
bool parseNumbers(const char* text, int count, double* out) {
  const char* p = text;
  for (int n = 0; n < count; ++n) {
    char* end = nullptr;
    out[n] = std::strtod(p, &end);
    if (end == p || !std::isfinite(out[n]) || *end != (n + 1 < count ? ',' : '\0')) return false;
    p = end + 1;
  }
  return true;
}

struct VerticalUnit {
  const char* name;
  FA::VertDimEnum::value_type dimension;
  double factor;
};

constexpr VerticalUnit kVerticalUnits[] = {{"ms", FA::VertDimEnum::Time, 0.001},
                                           {"s", FA::VertDimEnum::Time, 1.0},
                                           {"m", FA::VertDimEnum::Depth, 1.0},
                                           {"ft", FA::VertDimEnum::Depth, 0.3048}};

const VerticalUnit* findUnit(const std::string& name) {
  for (const VerticalUnit& u : kVerticalUnits) {
    if (name == u.name) return &u;
  }
  return nullptr;
}

}  // namespace

const char* const kIdentityUsage =
    "[--inline start,step] [--crossline start,step] [--vertical start,step,ms|s|m|ft] "
    "[--corners x0,y0,x1,y1,x2,y2]";

bool parseIdentityOption(const std::string& flag, const char* value, SurveyIdentity& id, bool& ok) {
  if (flag == "--inline" || flag == "--crossline") {
    double* axis = flag == "--inline" ? id.inlineAxis : id.crosslineAxis;
    ok = parseNumbers(value, 2, axis) && axis[1] != 0;
  } else if (flag == "--vertical") {
    const std::string text = value;
    const size_t comma = text.rfind(',');
    ok = comma != std::string::npos && findUnit(text.substr(comma + 1)) &&
         parseNumbers(text.substr(0, comma).c_str(), 2, id.vertical) && id.vertical[1] > 0;
    if (ok) id.verticalUnit = text.substr(comma + 1);
  } else if (flag == "--corners") {
    ok = id.haveCorners = parseNumbers(value, 6, &id.corners[0][0]);
  } else {
    return false;
  }
  return true;
}

FA::DataInfo identityInfo(const SurveyIdentity& id, const int size[3]) {
  FA::DataInfo info;
  const auto f = [](double v) { return static_cast<float>(v); };
  info.SetExtent(f(id.inlineAxis[0]), f(id.inlineAxis[1]), size[0], f(id.crosslineAxis[0]),
                 f(id.crosslineAxis[1]), size[1], f(id.vertical[0]), f(id.vertical[1]), size[2],
                 false);
  if (const VerticalUnit* unit = findUnit(id.verticalUnit)) {
    info.SetVertDomain(unit->dimension, unit->factor, unit->name);
  }
  if (!id.haveCorners) return info;
  // An affine grid is a parallelogram: the fourth corner follows from the
  // other three, also for a survey of a single line.
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < 3; ++k) info.corners[k][c] = id.corners[k][c];
    info.corners[3][c] = id.corners[1][c] + id.corners[2][c] - id.corners[0][c];
  }
  return info;
}

}  // namespace tyq_tool
