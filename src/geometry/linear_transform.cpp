#include <cmath>
#include <cstring>

#include "tyq/geometry.h"

namespace Qra::Ostrel::Tyq::Private {

template <typename T>
ImplicitLinearTransform2d<T>::ImplicitLinearTransform2d() : m_{1, 0, 0, 0, 1, 0} {}

template <typename T>
ImplicitLinearTransform2d<T>::ImplicitLinearTransform2d(T a, T b, T c, T d, T e, T f)
    : m_{a, b, c, d, e, f} {}

template <typename T>
ImplicitLinearTransform2d<T>::ImplicitLinearTransform2d(const ImplicitLinearTransform2d& outer,
                                                        const ImplicitLinearTransform2d& inner) {
  const T* p = outer.m_;
  const T* q = inner.m_;
  for (int row = 0; row < 6; row += 3) {
    m_[row + 0] = p[row] * q[0] + p[row + 1] * q[3];
    m_[row + 1] = p[row] * q[1] + p[row + 1] * q[4];
    m_[row + 2] = p[row] * q[2] + p[row + 1] * q[5] + p[row + 2];
  }
}

// Solved in two steps: source -> local (alpha, beta) with
// s = s1 + alpha*u + beta*v, then local -> target through the target
// triangle. Both instances use the same order of operations, so float and
// double differ only by rounding.
template <typename T>
ImplicitLinearTransform2d<T>::ImplicitLinearTransform2d(const TiePoint& p1, const TiePoint& p2,
                                                        const TiePoint& p3)
    : m_{0, 0, 0, 0, 0, 0} {
  const T ux = p2.sourceX - p1.sourceX;
  const T uy = p2.sourceY - p1.sourceY;
  const T vx = p3.sourceX - p1.sourceX;
  const T vy = p3.sourceY - p1.sourceY;
  const T det = vy * ux - uy * vx;
  // Only an exact zero is degenerate; a NaN determinant deliberately falls
  // through and poisons the coefficients rather than posing as valid.
  if (det == T(0)) {
    return;
  }
  const T sx = p1.sourceX;
  const T sy = p1.sourceY;
  const ImplicitLinearTransform2d toLocal(vy / det, -vx / det, (sy * vx - vy * sx) / det, -uy / det,
                                          ux / det, (uy * sx - sy * ux) / det);
  const ImplicitLinearTransform2d toTarget(p2.targetX - p1.targetX, p3.targetX - p1.targetX,
                                           p1.targetX, p2.targetY - p1.targetY,
                                           p3.targetY - p1.targetY, p1.targetY);
  *this = ImplicitLinearTransform2d(toTarget, toLocal);
}

template <typename T>
ImplicitLinearTransform2d<T> ImplicitLinearTransform2d<T>::Identity() {
  return ImplicitLinearTransform2d();
}

template <typename T>
typename ImplicitLinearTransform2d<T>::TiePoint ImplicitLinearTransform2d<T>::makeTiePoint() {
  return TiePoint();
}

template <typename T>
typename ImplicitLinearTransform2d<T>::TiePoint ImplicitLinearTransform2d<T>::makeTiePoint(
    T sourceX, T sourceY, T targetX, T targetY) {
  return TiePoint{sourceX, sourceY, targetX, targetY};
}

template <typename T>
void ImplicitLinearTransform2d<T>::Apply(T* out, const T* in) const {
  const T x = in[0];
  const T y = in[1];
  out[0] = m_[0] * x + m_[1] * y + m_[2];
  out[1] = m_[3] * x + m_[4] * y + m_[5];
}

template <typename T>
void ImplicitLinearTransform2d<T>::operator()(T* out, const T* in) const {
  Apply(out, in);
}

template <typename T>
ImplicitLinearTransform2d<T>& ImplicitLinearTransform2d<T>::Push(
    const ImplicitLinearTransform2d& other) {
  // Composed into a temporary first: `other` may alias *this.
  const ImplicitLinearTransform2d result(other, *this);
  *this = result;
  return *this;
}

template <typename T>
ImplicitLinearTransform2d<T>& ImplicitLinearTransform2d<T>::Translate(T tx, T ty) {
  return Push(ImplicitLinearTransform2d(1, 0, tx, 0, 1, ty));
}

template <typename T>
ImplicitLinearTransform2d<T>& ImplicitLinearTransform2d<T>::Rotate(T angle) {
  const T c = std::cos(angle);
  const T s = std::sin(angle);
  return Push(ImplicitLinearTransform2d(c, -s, 0, s, c, 0));
}

template <typename T>
ImplicitLinearTransform2d<T>& ImplicitLinearTransform2d<T>::Scale(T sx, T sy) {
  return Push(ImplicitLinearTransform2d(sx, 0, 0, 0, sy, 0));
}

template <typename T>
bool ImplicitLinearTransform2d<T>::Compare(const ImplicitLinearTransform2d& other,
                                           const T& tolerance) const {
  for (int i = 0; i < 6; ++i) {
    // Written so that a NaN on either side fails the comparison.
    if (!(std::abs(m_[i] - other.m_[i]) <= tolerance)) {
      return false;
    }
  }
  return true;
}

template <typename T>
bool ImplicitLinearTransform2d<T>::operator==(const ImplicitLinearTransform2d& other) const {
  return std::memcmp(m_, other.m_, sizeof m_) == 0;
}

template <typename T>
bool ImplicitLinearTransform2d<T>::operator!=(const ImplicitLinearTransform2d& other) const {
  return !(*this == other);
}

template class ImplicitLinearTransform2d<float>;
template class ImplicitLinearTransform2d<double>;

}  // namespace Qra::Ostrel::Tyq::Private
