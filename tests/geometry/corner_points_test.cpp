#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "tyq/geometry.h"
#include "tyq/records.h"

namespace Qra::Ostrel::Tyq::FileAccess {
namespace {

using Element = OrderedCornerPoints::Element;

void expectElement(const Element& e, uint64_t il, uint64_t xl, float ilAnnot, float xlAnnot,
                   double x, double y, double tol = 0) {
  EXPECT_EQ(e.inlineIndex, il);
  EXPECT_EQ(e.crosslineIndex, xl);
  EXPECT_EQ(e.inlineAnnot, ilAnnot);
  EXPECT_EQ(e.crosslineAnnot, xlAnnot);
  EXPECT_NEAR(e.x, x, tol);
  EXPECT_NEAR(e.y, y, tol);
}

const double kCorners[4][2] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}};

TEST(OrderedCornerPoints, FixedOrderFromDataInfo) {
  DataInfo info;
  info.SetExtent(100.5f, 0.25f, 401, 7, -1, 10, 500, 4, 300, true);
  std::copy(&kCorners[0][0], &kCorners[0][0] + 8, &info.corners[0][0]);
  const OrderedCornerPoints c(info);
  expectElement(c[0], 0, 0, 100.5f, 7, 1, 2);
  expectElement(c[1], 400, 0, 200.5f, 7, 3, 4);
  expectElement(c[2], 0, 9, 100.5f, -2, 5, 6);
  expectElement(c[3], 400, 9, 200.5f, -2, 7, 8);
  double out[4][2];
  c.GetCoords(out);
  EXPECT_TRUE(std::equal(&out[0][0], &out[0][0] + 8, &kCorners[0][0]));

  // Annotations round in single precision at each step, as DataInfo's own
  // do; these values would come out differently through double.
  info.SetExtent(250.7f, 0.03f, 4001, 12.34f, 0.01f, 10000, 0, 1, 1, true);
  const OrderedCornerPoints odd(info);
  EXPECT_EQ(odd[3].inlineAnnot, info.GetLastAnnot(0));
  EXPECT_EQ(odd[3].crosslineAnnot, info.GetLastAnnot(1));
}

// A single trace has four identical corners; an axis without lines (a
// DataInfo whose extent was never set, or a negative size) must not wrap its
// last index around to 2^64 - 1.
TEST(OrderedCornerPoints, SingleAndEmptyAxesStayAtFirstLine) {
  const OrderedCornerPoints single(10, 1, 1, 20, 1, 1, kCorners);
  DataInfo negative;
  negative.SetExtent(10, 1, -3, 20, 1, 0, 0, 1, 1, false);
  const OrderedCornerPoints empty(negative);
  for (int k = 0; k < 4; ++k) {
    expectElement(single[k], 0, 0, 10, 20, kCorners[k][0], kCorners[k][1]);
    expectElement(empty[k], 0, 0, 10, 20, 0, 0);
  }
}

TEST(OrderedCornerPoints, TiePointsPlaceEveryCorner) {
  // 12.5 m inlines and 25 m crosslines, turned by 30 degrees and lying far
  // from the origin, as projected coordinates do.
  Private::ImplicitLinearTransform2d<double> grid;
  grid.Translate(-1000, -5000).Scale(12.5, 25).Rotate(0.5235987755982988);
  grid.Translate(431250.75, 6812345.5);
  auto at = [&](double il, double xl) {
    const double in[2] = {il, xl};
    double out[2];
    grid.Apply(out, in);
    return std::pair{out[0], out[1]};
  };
  // Tie points inside the survey, so every corner is extrapolated.
  const auto [x1, y1] = at(1010, 5020);
  const auto [x2, y2] = at(1200, 5020);
  const auto [x3, y3] = at(1010, 5300);
  const OrderedCornerPoints c(1000, 1, 301, 5000, 2, 201, 1010, 5020, x1, y1, 1200, 5020, x2, y2,
                              1010, 5300, x3, y3);
  const float il[4] = {1000, 1300, 1000, 1300};
  const float xl[4] = {5000, 5000, 5400, 5400};
  for (int k = 0; k < 4; ++k) {
    const auto [x, y] = at(il[k], xl[k]);
    expectElement(c[k], k & 1 ? 300 : 0, k & 2 ? 200 : 0, il[k], xl[k], x, y, 1e-6);
  }

  const OrderedCornerPoints degenerate(1, 1, 10, 1, 1, 10, 5, 5, 100, 200, 5, 5, 300, 400, 5, 5,
                                       500, 600);
  expectElement(degenerate[0], 0, 0, 1, 1, 0, 0);
  expectElement(degenerate[3], 9, 9, 10, 10, 0, 0);
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::FileAccess
