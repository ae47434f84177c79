#include <algorithm>

#include "tyq/geometry.h"
#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::FileAccess {

namespace {

using Transform = Private::ImplicitLinearTransform2d<double>;

// An empty axis (a DataInfo before its extent is set) still has its first
// line as both ends; count - 1 would wrap to 2^64 - 1 and give an annotation
// of about 1.8e19, which no int32 file field can hold.
uint64_t lastIndex(uint64_t count) {
  return count == 0 ? 0 : count - 1;
}

uint64_t countOf(int32_t size) {
  return static_cast<uint64_t>(std::max(size, 0));
}

float annotation(uint64_t index, float start, float inc) {
  return static_cast<float>(index) * inc + start;
}

}  // namespace

void OrderedCornerPoints::SetAnnotations(float inlineStart, float inlineInc, uint64_t inlineCount,
                                         float crosslineStart, float crosslineInc,
                                         uint64_t crosslineCount) {
  const uint64_t lastInline = lastIndex(inlineCount);
  const uint64_t lastCrossline = lastIndex(crosslineCount);
  for (int k = 0; k < 4; ++k) {
    Element& e = elements[k];
    e.inlineIndex = (k & 1) ? lastInline : 0;
    e.crosslineIndex = (k & 2) ? lastCrossline : 0;
    e.inlineAnnot = annotation(e.inlineIndex, inlineStart, inlineInc);
    e.crosslineAnnot = annotation(e.crosslineIndex, crosslineStart, crosslineInc);
  }
}

OrderedCornerPoints::OrderedCornerPoints(const DataInfo& info)
    : OrderedCornerPoints(info.annotStart[0], info.annotInc[0], countOf(info.size[0]),
                          info.annotStart[1], info.annotInc[1], countOf(info.size[1]),
                          info.corners) {}

OrderedCornerPoints::OrderedCornerPoints(float inlineStart, float inlineInc, uint64_t inlineCount,
                                         float crosslineStart, float crosslineInc,
                                         uint64_t crosslineCount, const double corners[4][2]) {
  SetAnnotations(inlineStart, inlineInc, inlineCount, crosslineStart, crosslineInc, crosslineCount);
  for (int k = 0; k < 4; ++k) {
    elements[k].x = corners[k][0];
    elements[k].y = corners[k][1];
  }
}

OrderedCornerPoints::OrderedCornerPoints(float inlineStart, float inlineInc, uint64_t inlineCount,
                                         float crosslineStart, float crosslineInc,
                                         uint64_t crosslineCount, float inline1, float crossline1,
                                         double x1, double y1, float inline2, float crossline2,
                                         double x2, double y2, float inline3, float crossline3,
                                         double x3, double y3) {
  SetAnnotations(inlineStart, inlineInc, inlineCount, crosslineStart, crosslineInc, crosslineCount);
  // Always solved in double: the tie points are world coordinates, often
  // several hundred kilometres, where float would lose metres.
  const Transform toWorld(Transform::makeTiePoint(inline1, crossline1, x1, y1),
                          Transform::makeTiePoint(inline2, crossline2, x2, y2),
                          Transform::makeTiePoint(inline3, crossline3, x3, y3));
  for (Element& e : elements) {
    const double annot[2] = {e.inlineAnnot, e.crosslineAnnot};
    double world[2];
    toWorld.Apply(world, annot);
    e.x = world[0];
    e.y = world[1];
  }
}

void OrderedCornerPoints::GetCoords(double out[4][2]) const {
  for (int k = 0; k < 4; ++k) {
    out[k][0] = elements[k].x;
    out[k][1] = elements[k].y;
  }
}

}  // namespace Qra::Ostrel::Tyq::FileAccess
