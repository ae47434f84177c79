#pragma once

// Small bricks for the decimation tests. With a brick size of 2 every child
// is a single 2 x 2 x 2 cube whose memory order (strides 4, 2, 1) is the
// canonical order of the eight, and it yields exactly one output sample: the
// one of its own octant.
#include <array>
#include <cstddef>
#include <vector>

#include "tyq/lod.h"

namespace Qra::Ostrel::Tyq::Private::LodTest {

using Alg = vvArrayBasic::LodAlgorithm;

template <typename T>
using Cube = std::array<T, 8>;

struct Hist {
  std::vector<long long> bins;
  double min = 0;
  double max = 0;
};

// Output sample c belongs to child c.
template <typename T>
std::array<T, 8> decimateEight(Alg alg, const std::array<Cube<T>, 8>& cubes,
                               const Hist& hist = {}) {
  const int size[3] = {2, 2, 2};
  const int strides[3] = {4, 2, 1};
  const T* src[8];
  for (int c = 0; c < 8; ++c) src[c] = cubes[c].data();
  std::array<T, 8> out{};
  vvArrayBasic::createLevelOfDetail<T>(out.data(), size, strides, src, alg, hist.bins.data(),
                                       static_cast<int>(hist.bins.size()), hist.min, hist.max);
  return out;
}

// The output of one cube.
template <typename T>
T decimateOne(Alg alg, const Cube<T>& cube, const Hist& hist = {}) {
  std::array<Cube<T>, 8> cubes;
  cubes.fill(cube);
  return decimateEight(alg, cubes, hist)[0];
}

// Children and output of one decimation with arbitrary brick size and
// strides; buffers are sized to the largest offset the strides reach.
template <typename T>
struct Level {
  int size[3];
  int strides[3];
  std::array<std::vector<T>, 8> children;
  std::vector<T> out;

  Level(int n0, int n1, int n2) : Level(n0, n1, n2, n1 * n2, n2, 1) {}
  Level(int n0, int n1, int n2, int s0, int s1, int s2) : size{n0, n1, n2}, strides{s0, s1, s2} {
    const std::size_t extent = offset(n0 - 1, n1 - 1, n2 - 1) + 1;
    for (auto& child : children) child.assign(extent, T(0));
    out.assign(extent, T(0));
  }

  std::size_t offset(int i, int j, int k) const {
    return static_cast<std::size_t>(i) * strides[0] + static_cast<std::size_t>(j) * strides[1] +
           static_cast<std::size_t>(k) * strides[2];
  }
  T& at(int child, int i, int j, int k) { return children[child][offset(i, j, k)]; }
  template <typename F>  // value(child, i, j, k)
  void fill(F value) {
    for (int c = 0; c < 8; ++c) {
      for (int i = 0; i < size[0]; ++i) {
        for (int j = 0; j < size[1]; ++j) {
          for (int k = 0; k < size[2]; ++k) at(c, i, j, k) = value(c, i, j, k);
        }
      }
    }
  }
  T result(int i, int j, int k) const { return out[offset(i, j, k)]; }

  void run(Alg alg, const Hist& hist = {}) {
    const T* src[8];
    for (int c = 0; c < 8; ++c) src[c] = children[c].data();
    vvArrayBasic::createLevelOfDetail<T>(out.data(), size, strides, src, alg, hist.bins.data(),
                                         static_cast<int>(hist.bins.size()), hist.min, hist.max);
  }
};

}  // namespace Qra::Ostrel::Tyq::Private::LodTest
