#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <type_traits>
#include <vector>

#include "tyq/geometry.h"

namespace Qra::Ostrel::Tyq::Private {
namespace {

template <typename T>
class TransformTest : public ::testing::Test {};
using Precisions = ::testing::Types<float, double>;
TYPED_TEST_SUITE(TransformTest, Precisions);

template <typename T>
void expectMaps(const ImplicitLinearTransform2d<T>& t, T x, T y, T wantX, T wantY, T tol = 0) {
  const T in[2] = {x, y};
  T out[2];
  t(out, in);
  EXPECT_NEAR(out[0], wantX, tol) << "from (" << x << ", " << y << ")";
  EXPECT_NEAR(out[1], wantY, tol) << "from (" << x << ", " << y << ")";
}

template <typename T>
std::vector<T> coefficients(const ImplicitLinearTransform2d<T>& t) {
  return {t.Coefficients(), t.Coefficients() + 6};
}

TYPED_TEST(TransformTest, TiePointSolveAndItsDegenerateCases) {
  using X = ImplicitLinearTransform2d<TypeParam>;
  const X unit(X::makeTiePoint(0, 0, 10, 20), X::makeTiePoint(1, 0, 11, 20),
               X::makeTiePoint(0, 1, 10, 21));
  EXPECT_EQ(coefficients(unit), (std::vector<TypeParam>{1, 0, 10, 0, 1, 20}));

  // Coincident or collinear sources give all zeros, not the identity.
  const std::vector<TypeParam> zero(6, 0);
  const X same(X::makeTiePoint(5, 7, 1, 2), X::makeTiePoint(5, 7, 3, 4),
               X::makeTiePoint(5, 7, 5, 6));
  EXPECT_EQ(coefficients(same), zero);
  const X line(X::makeTiePoint(0, 0, 1, 1), X::makeTiePoint(1, 2, 2, 2),
               X::makeTiePoint(3, 6, 3, 3));
  EXPECT_EQ(coefficients(line), zero);

  // A NaN determinant is not degenerate: it must poison, not zero, the map.
  const X poisoned(X::makeTiePoint(0, 0, 1, 1),
                   X::makeTiePoint(std::numeric_limits<TypeParam>::quiet_NaN(), 0, 2, 2),
                   X::makeTiePoint(0, 1, 3, 3));
  for (TypeParam c : coefficients(poisoned)) {
    EXPECT_TRUE(std::isnan(c));
  }
}

// Three nodes of a rotated, scaled and shifted grid fix the whole map: a
// fourth node, an off-grid point and an extrapolated one must follow.
TYPED_TEST(TransformTest, ThreeTiePointsReproduceGrid) {
  using T = TypeParam;
  using X = ImplicitLinearTransform2d<T>;
  X grid;
  grid.Scale(12.5, 25).Rotate(T(0.3)).Translate(4500, -2100);
  auto node = [&](T il, T xl) {
    const T in[2] = {il, xl};
    T out[2];
    grid.Apply(out, in);
    return X::makeTiePoint(il, xl, out[0], out[1]);
  };
  const X solved(node(100, 200), node(140, 200), node(100, 260));
  const T tol = std::is_same_v<T, float> ? T(2e-2) : T(1e-9);
  for (const auto& p : {node(140, 260), node(123.5, 217.25), node(0, 0)}) {
    expectMaps(solved, p.sourceX, p.sourceY, p.targetX, p.targetY, tol);
  }
  EXPECT_TRUE(solved.Compare(grid, tol));
}

TYPED_TEST(TransformTest, CompositionOrderAndAliasing) {
  using T = TypeParam;
  using X = ImplicitLinearTransform2d<T>;
  expectMaps(X().Translate(1, 2).Scale(2, 2), T(0), T(0), T(2), T(4));
  expectMaps(X().Scale(2, 2).Translate(1, 2), T(0), T(0), T(1), T(2));
  // Counter-clockwise, then a flip: (x, y) -> (-y, x) -> (-y, -x).
  X turn;
  turn.Rotate(static_cast<T>(std::numbers::pi / 2)).Scale(1, -1);
  expectMaps(turn, T(3), T(5), T(-5), T(-3), T(1e-5));
  T p[2] = {3, 5};
  turn.Apply(p, p);
  EXPECT_NEAR(p[0], -5, 1e-5);
  EXPECT_NEAR(p[1], -3, 1e-5);

  // Pushing a map onto itself applies it twice: x -> 2x + 1 -> 4x + 3.
  X twice;
  twice.Scale(2, 3).Translate(1, 1);
  twice.Push(twice);
  EXPECT_EQ(coefficients(twice), (std::vector<T>{4, 0, 3, 0, 9, 4}));
}

TYPED_TEST(TransformTest, CompareIsNumericAndEqualityIsBitwise) {
  using T = TypeParam;
  using X = ImplicitLinearTransform2d<T>;
  const X a = X().Translate(1, 2);
  const X b = X(a).Translate(0, T(0.5));
  EXPECT_TRUE(a.Compare(X(a), 0) && a == X(a));
  EXPECT_FALSE(a.Compare(b, T(0.49)));
  EXPECT_TRUE(a.Compare(b, T(0.5)));
  EXPECT_TRUE(a != b);

  // The negative sine left by the rotation makes the zero scale produce -0
  // in coefficient a when, and only when, that zero is itself -0.
  const X negZero = X().Rotate(T(-0.5)).Scale(T(-0.0), 1);
  const X posZero = X().Rotate(T(-0.5)).Scale(T(0.0), 1);
  ASSERT_NE(std::signbit(negZero.Coefficients()[0]), std::signbit(posZero.Coefficients()[0]));
  EXPECT_TRUE(negZero.Compare(posZero, 0));
  EXPECT_TRUE(negZero != posZero);

  // The same NaN has the same bits, but no tolerance admits it.
  const X nan = X().Translate(std::numeric_limits<T>::quiet_NaN(), 0);
  EXPECT_TRUE(nan == X(nan));
  EXPECT_FALSE(nan.Compare(X(nan), std::numeric_limits<T>::infinity()));
}

TEST(TransformPrecision, FloatSolveAgreesWithDouble) {
  const double ties[3][4] = {
      {1001, 2001, 612.25, 845.5}, {1401, 2001, 4410.75, 2100.125}, {1001, 2601, -1200.5, 7950}};
  auto solve = [&]<typename T>(T) {
    using X = ImplicitLinearTransform2d<T>;
    auto tie = [&](int i) {
      return X::makeTiePoint(T(ties[i][0]), T(ties[i][1]), T(ties[i][2]), T(ties[i][3]));
    };
    return X(tie(0), tie(1), tie(2));
  };
  const auto precise = coefficients(solve(0.0));
  const auto single = coefficients(solve(0.0f));
  for (int i = 0; i < 6; ++i) {
    EXPECT_NEAR(single[i], precise[i], 1e-5 * std::max(1.0, std::abs(precise[i]))) << i;
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private
