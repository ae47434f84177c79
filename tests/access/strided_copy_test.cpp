#include "access/strided_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "access/convert_box.h"
#include "tyq/brick_geometry.h"

namespace Qra::Ostrel::Tyq::Private::Access {
namespace {

// A recognisable value for every position of a volume.
int32_t tag(int i, int j, int k) {
  return i * 1000000 + j * 1000 + k;
}

// A box of size n stored in `order`, holding tag(i, j, k) at (i, j, k).
template <typename T>
struct Volume {
  int n[3];
  int64_t strides[3];
  std::vector<T> samples;

  Volume(int order, int n0, int n1, int n2, bool fill) : n{n0, n1, n2} {
    StorageStrides(order, n, strides);
    samples.assign(static_cast<size_t>(n0) * n1 * n2, static_cast<T>(-1));
    if (!fill) return;
    for (int i = 0; i < n0; ++i) {
      for (int j = 0; j < n1; ++j) {
        for (int k = 0; k < n2; ++k) at(i, j, k) = static_cast<T>(tag(i, j, k));
      }
    }
  }
  T& at(int i, int j, int k) { return samples[i * strides[0] + j * strides[1] + k * strides[2]]; }
  T* origin(const int p[3]) { return &at(p[0], p[1], p[2]); }
};

// Every order into every order, on boxes of uneven sizes and on thin ones
// whose single-sample axes drop out and whose others merge.
TEST(CopyBox, EveryOrderIntoEveryOrder) {
  const int shapes[][3] = {{3, 4, 5}, {37, 19, 40}, {1, 33, 17}, {20, 1, 1}};
  for (const auto& shape : shapes) {
    for (int from = 0; from < 6; ++from) {
      Volume<int32_t> src(from, shape[0], shape[1], shape[2], true);
      for (int to = 0; to < 12; ++to) {
        // Orders 6..11 repeat 0..5 with stores that bypass the cache.
        Volume<int32_t> dst(to % 6, shape[0], shape[1], shape[2], false);
        CopyBox(dst.samples.data(), dst.strides, src.samples.data(), src.strides, shape, to >= 6);
        int wrong = 0;
        for (int i = 0; i < shape[0]; ++i) {
          for (int j = 0; j < shape[1]; ++j) {
            for (int k = 0; k < shape[2]; ++k) wrong += dst.at(i, j, k) != tag(i, j, k);
          }
        }
        EXPECT_EQ(wrong, 0) << shape[0] << "x" << shape[1] << "x" << shape[2] << " order " << from
                            << " -> " << to;
      }
    }
  }
}

// The read path's case: the overlap of one brick placed into a larger caller
// buffer of another order, every other sample left as it was.
TEST(CopyBox, BrickOverlapLandsAtItsPlaceInTheCallerBuffer) {
  for (const int callerOrder : {0, 5}) {
    Volume<float> brick(0, 64, 64, 64, true);
    Volume<float> caller(callerOrder, 50, 30, 70, false);
    const int brickStart[3] = {10, 3, 60}, size[3] = {40, 20, 4}, callerStart[3] = {7, 0, 66};
    const int brickStrides[3] = {64 * 64, 64, 1};
    int callerStrides[3];
    ASSERT_TRUE(StorageStrides(callerOrder, caller.n, callerStrides));
    CopyBox(caller.origin(callerStart), callerStrides, brick.origin(brickStart), brickStrides,
            size);
    int wrong = 0;
    for (int i = 0; i < 50; ++i) {
      for (int j = 0; j < 30; ++j) {
        for (int k = 0; k < 70; ++k) {
          const int b[3] = {i - 7 + 10, j + 3, k - 66 + 60};
          const bool inside = i >= 7 && i < 47 && j < 20 && k >= 66;
          const float expected = inside ? static_cast<float>(tag(b[0], b[1], b[2])) : -1.0f;
          wrong += caller.at(i, j, k) != expected;
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "caller order " << callerOrder;
  }
}

TEST(CopyBox, EmptyBoxTouchesNothing) {
  std::vector<uint8_t> dst(8, 9), src(8, 1);
  const int strides[3] = {4, 2, 1};
  for (const auto& size : {std::vector<int>{0, 2, 2}, std::vector<int>{2, -1, 2}}) {
    CopyBox(dst.data(), strides, src.data(), strides, size.data());
    EXPECT_EQ(dst, std::vector<uint8_t>(8, 9));
  }
}

TEST(CopyRect, FlagTileIntoACallerBufferOfTheOtherOrder) {
  // A 4 x 3 flag tile, j fastest, into a 5 x 6 caller buffer, i fastest, at
  // offset (1, 2).
  std::vector<uint8_t> tile(12), caller(30, 0xEE);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) tile[i * 3 + j] = static_cast<uint8_t>(10 * i + j);
  }
  const int tileStrides[2] = {3, 1}, callerStrides[2] = {1, 5}, size[2] = {4, 3};
  CopyRect(caller.data() + 1 + 2 * 5, callerStrides, tile.data(), tileStrides, size);
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 6; ++j) {
      const bool inside = i >= 1 && j >= 2 && j < 5;
      EXPECT_EQ(caller[i + 5 * j], inside ? 10 * (i - 1) + (j - 2) : 0xEE) << i << "," << j;
    }
  }
}

// Runs of every length up to a few vectors: the tail moves overlap the
// body's but must not spill past the run's end.
TEST(CopyRun, EveryShortLengthCopiesExactlyItsBytes) {
  std::vector<unsigned char> src(200), dst(200);
  for (size_t n = 0; n < src.size(); ++n) src[n] = static_cast<unsigned char>(n * 7 + 1);
  for (size_t bytes = 0; bytes <= 130; ++bytes) {
    std::fill(dst.begin(), dst.end(), 0);
    StridedCopyDetail::CopyRun(dst.data() + 3, src.data() + 5, bytes);
    for (size_t n = 0; n < dst.size(); ++n) {
      const unsigned char want = n >= 3 && n < 3 + bytes ? src[n + 2] : 0;
      ASSERT_EQ(dst[n], want) << bytes << " bytes, at " << n;
    }
  }
}

// A converting copy equals converting the whole source, then copying.
TEST(ConvertBox, EqualsConvertingFirstInEveryOrder) {
  const ConvFcn widen = ConversionFunction(2, 6);  // int16 to float
  ASSERT_NE(widen, nullptr);
  const ConvertCall call{widen, 0, 0, -10, 10};
  Volume<int16_t> codes(0, 9, 7, 11, true);
  Volume<float> values(0, 9, 7, 11, false);
  widen(values.samples.data(), 0, 0, codes.samples.data(), -10, 10,
        static_cast<int64_t>(codes.samples.size()));
  const int from[3] = {1, 2, 3}, size[3] = {7, 5, 8};
  for (int order = 0; order < 6; ++order) {
    Volume<float> viaCopy(order, 7, 5, 8, false), viaConvert(order, 7, 5, 8, false);
    CopyBox(viaCopy.samples.data(), viaCopy.strides, values.origin(from), values.strides, size);
    ConvertBox(viaConvert.samples.data(), viaConvert.strides, codes.origin(from), 2, codes.strides,
               size, call);
    EXPECT_EQ(viaConvert.samples, viaCopy.samples) << "order " << order;
  }
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private::Access
