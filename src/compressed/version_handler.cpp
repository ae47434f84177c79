// One handler per version: two-stage coding in 8..12, exchanged table
// halves before 16, symmetric histogram ranges before 14, the pyramid and
// constant values from 16.
#include "compressed/version_handler.h"

#include <algorithm>
#include <cmath>

namespace Qra::Ostrel::Tyq::Private::Compressed {

namespace E = FileAccess;

namespace {

int64_t exchangeHalves(int64_t v) {
  const uint64_t u = static_cast<uint64_t>(v);
  return static_cast<int64_t>((u << 32) | (u >> 32));
}

template <int N>
class FileVersionHandler final : public FileVersionHandlerBase {
 public:
  int32_t Version() const override { return N; }
  bool IsTwoStage() const override { return N >= 8 && N <= 12; }
  void ToFileOrder(std::vector<int64_t>& entries) const override {
    if (N < 16) {
      for (int64_t& e : entries) e = exchangeHalves(e);
    }
  }
  void FromFileOrder(std::vector<int64_t>& entries) const override { ToFileOrder(entries); }
  Offsets InitializeOffsets() const override { return Offsets{}; }
  void Normalize(E::FileInfo& fileInfo, E::DataInfo& dataInfo, E::Histogram& hist) const override;
  std::string WriteOffsets(const Offsets& offsets) const override { return encodeOffsets(offsets); }
  Offsets ReadOffsets(const uint8_t bytes[kOffsetsSize]) const override {
    return decodeOffsets(bytes);
  }
  std::string WriteInfo(const E::FileInfo& fileInfo, const E::DataInfo& dataInfo) const override {
    return encodeInfo(N, fileInfo, dataInfo);
  }
  void ReadInfo(const uint8_t* bytes, E::FileInfo& fileInfo, E::DataInfo& dataInfo) const override {
    decodeInfo(N, bytes, fileInfo, dataInfo);
  }
  std::string WriteHist(const HistRecord& record) const override { return encodeHist(record); }
  bool ReadHist(const uint8_t head[kHistHeadSize], const uint8_t* payload, int32_t size,
                HistRecord& record) const override {
    return decodeHist(head, payload, size, N < 14, record);
  }
  bool KeepsPyramid() const override { return N == 16; }
  bool HonoursConstantValue() const override { return N == 16; }
};

// Round trip through the information block and the histogram head: what a
// reader will see. The level count and brick layout stay as created.
template <int N>
void FileVersionHandler<N>::Normalize(E::FileInfo& fileInfo, E::DataInfo& dataInfo,
                                      E::Histogram& hist) const {
  const std::string block = encodeInfo(N, fileInfo, dataInfo);
  E::DataInfo d;
  E::FileInfo unpacked = fileInfo;
  decodeInfo(N, reinterpret_cast<const uint8_t*>(block.data()), unpacked, d);
  d.SetStatistics(dataInfo.statCount, dataInfo.statSum, dataInfo.statSumOfSquares, dataInfo.statMin,
                  dataInfo.statMax);
  // Identifiers are not stored, but the writer's own view keeps them.
  d.SetId(dataInfo.fileId, dataInfo.dataId, dataInfo.previousDataId, dataInfo.updateCounter);
  dataInfo = d;
  const float sqnr = std::floor(fileInfo.sqnr * 100.0f) / 100.0f;
  const float factor = std::floor(fileInfo.compressionFactor * 10.0f) / 10.0f;
  fileInfo.SetCodingCompressed(factor, sqnr);
  fileInfo.valueMin = dataInfo.statMin;
  fileInfo.valueMax = dataInfo.statMax;
  if (N < 14) {
    const float m = std::max(std::fabs(hist.min), std::fabs(hist.max));
    hist.min = -m;
    hist.max = m;
  }
}

template <int N>
const FileVersionHandlerBase* instance() {
  static const FileVersionHandler<N> handler;
  return &handler;
}

}  // namespace

const FileVersionHandlerBase* FileVersionHandlerBase::ForVersion(int32_t version) {
  using Get = const FileVersionHandlerBase* (*)();
  static constexpr Get kHandlers[] = {instance<6>,  instance<7>,  instance<8>,  instance<9>,
                                      instance<10>, instance<11>, instance<12>, instance<13>,
                                      instance<14>, instance<15>, instance<16>};
  if (version < kOldestVersion || version > kNewestVersion) return nullptr;
  return kHandlers[version - kOldestVersion]();
}

}  // namespace Qra::Ostrel::Tyq::Private::Compressed
