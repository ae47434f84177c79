#pragma once

#include <cstdint>

#include "tyq/export.h"

namespace Qra::Ostrel::Tyq::FileAccess {
class DataInfo;
}

namespace Qra::Ostrel::Tyq::Private {

// An affine map of the plane, kept as the top two rows of a 3x3 matrix:
//   x' = a*x + b*y + c
//   y' = d*x + e*y + f
// Instantiated for float and double only.
template <typename T>
class ImplicitLinearTransform2d {
 public:
  // States that the transform carries (sourceX, sourceY) to (targetX, targetY).
  struct TiePoint {
    T sourceX = 0;
    T sourceY = 0;
    T targetX = 0;
    T targetY = 0;
  };

  ImplicitLinearTransform2d();
  // The unique map through three tie points. Collinear or coincident source
  // points give the all-zero transform, which callers can detect; the
  // identity would silently pass for a valid survey.
  ImplicitLinearTransform2d(const TiePoint& p1, const TiePoint& p2, const TiePoint& p3);
  ImplicitLinearTransform2d(const ImplicitLinearTransform2d&) = default;
  ImplicitLinearTransform2d(ImplicitLinearTransform2d&&) = default;
  ImplicitLinearTransform2d& operator=(const ImplicitLinearTransform2d&) = default;
  ImplicitLinearTransform2d& operator=(ImplicitLinearTransform2d&&) = default;

  static ImplicitLinearTransform2d Identity();
  static TiePoint makeTiePoint();
  static TiePoint makeTiePoint(T sourceX, T sourceY, T targetX, T targetY);

  // out = this(in). Both inputs are read before anything is written, so
  // `out` may be `in`.
  void Apply(T* out, const T* in) const;
  void operator()(T* out, const T* in) const;

  // Each of these composes a further map after this one (this is applied
  // first) and returns *this; `other` may be *this.
  ImplicitLinearTransform2d& Push(const ImplicitLinearTransform2d& other);
  ImplicitLinearTransform2d& Translate(T tx, T ty);
  ImplicitLinearTransform2d& Rotate(T angle);  // radians, counter-clockwise
  ImplicitLinearTransform2d& Scale(T sx, T sy);

  // True when every coefficient is within `tolerance` (inclusive) of the
  // other's.
  bool Compare(const ImplicitLinearTransform2d& other, const T& tolerance) const;
  // Bit-for-bit: -0 differs from +0, and a NaN equals the same NaN.
  bool operator==(const ImplicitLinearTransform2d& other) const;
  bool operator!=(const ImplicitLinearTransform2d& other) const;

  // a, b, c, d, e, f in that order.
  const T* Coefficients() const { return m_; }

 private:
  // outer after inner: inner is applied first.
  ImplicitLinearTransform2d(const ImplicitLinearTransform2d& outer,
                            const ImplicitLinearTransform2d& inner);
  ImplicitLinearTransform2d(T a, T b, T c, T d, T e, T f);

  T m_[6];
};

extern template class TYQ_EXPORT ImplicitLinearTransform2d<float>;
extern template class TYQ_EXPORT ImplicitLinearTransform2d<double>;

}  // namespace Qra::Ostrel::Tyq::Private

namespace Qra::Ostrel::Tyq::FileAccess {

// The four corners of a survey, always in this order of (inline, crossline)
// index: (0, 0), (last, 0), (0, last), (last, last). This is the order of
// DataInfo::corners and of the corner records in both file formats.
class TYQ_EXPORT OrderedCornerPoints {
 public:
  struct TYQ_EXPORT Element {
    Element() = default;
    Element(uint64_t inlineIdx, uint64_t crosslineIdx)
        : inlineIndex(inlineIdx), crosslineIndex(crosslineIdx) {}
    Element(uint64_t inlineIdx, uint64_t crosslineIdx, float inlineAnn, float crosslineAnn,
            double worldX, double worldY)
        : inlineIndex(inlineIdx),
          crosslineIndex(crosslineIdx),
          inlineAnnot(inlineAnn),
          crosslineAnnot(crosslineAnn),
          x(worldX),
          y(worldY) {}

    uint64_t inlineIndex = 0;
    uint64_t crosslineIndex = 0;
    float inlineAnnot = 0.0f;
    float crosslineAnnot = 0.0f;
    double x = 0.0;
    double y = 0.0;
  };

  OrderedCornerPoints() = default;
  // From the inline and crossline axes and the world corners of `info`.
  explicit OrderedCornerPoints(const DataInfo& info);
  // World position of element k is corners[k].
  OrderedCornerPoints(float inlineStart, float inlineInc, uint64_t inlineCount,
                      float crosslineStart, float crosslineInc, uint64_t crosslineCount,
                      const double corners[4][2]);
  // World positions through the annotation-to-world map of three tie points
  // (inline annotation, crossline annotation, world x, world y each).
  OrderedCornerPoints(float inlineStart, float inlineInc, uint64_t inlineCount,
                      float crosslineStart, float crosslineInc, uint64_t crosslineCount,
                      float inline1, float crossline1, double x1, double y1, float inline2,
                      float crossline2, double x2, double y2, float inline3, float crossline3,
                      double x3, double y3);

  void GetCoords(double out[4][2]) const;

  const Element& operator[](int k) const { return elements[k]; }

  Element elements[4];

 private:
  // Indices and annotations of the four elements; world positions untouched.
  void SetAnnotations(float inlineStart, float inlineInc, uint64_t inlineCount,
                      float crosslineStart, float crosslineInc, uint64_t crosslineCount);
};

}  // namespace Qra::Ostrel::Tyq::FileAccess
