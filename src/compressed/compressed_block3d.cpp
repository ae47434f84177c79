// A coded brick: its planes, the coded header and the coded streams, and
// the parsing of a payload read back from a file.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/endian.h"
#include "tyq/byte_coder.h"
#include "tyq/compressor3d.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

// Header sections are coded with a fixed form each and a capacity that form
// always fits, so a reader can measure every section from its own head.
constexpr int kPlaneSectionBytes = 26;
constexpr int kModeSectionBytes = 20;
constexpr int kSizeSectionBytes = 80;
constexpr int kMaxHeaderBytes = 2 * kPlaneSectionBytes + kModeSectionBytes + kSizeSectionBytes;
constexpr int kHighestPlane = 31;
constexpr int64_t kRecordHeadBytes = 12;

int64_t bytesOfBits(int32_t bits) {
  return (static_cast<int64_t>(bits) + 7) / 8;
}

}  // namespace

struct __attribute__((visibility("hidden"))) CompressedBlock3d::Data {
  bool allConst = false;
  double gain = 1.0;
  uint8_t msb[kSubbands] = {};
  uint8_t planes[kSubbands] = {};
  uint8_t modes[kStreams];
  int32_t sizes[kStreams] = {};
  std::vector<uint8_t> header;
  std::vector<uint8_t> bitstream;
  std::vector<uint8_t> input;
  size_t streamOffset = 0;  // where the streams start inside `input`
  bool streamsInInput = false;
  float sqnr = 0;
  int32_t quality = 0;

  Data() { clearCoding(); }

  void clearCoding() {
    std::fill(std::begin(msb), std::end(msb), 0);
    std::fill(std::begin(planes), std::end(planes), 0);
    std::fill(std::begin(modes), std::end(modes), Compression::kModeEmpty);
    std::fill(std::begin(sizes), std::end(sizes), 0);
  }
  const uint8_t* streamData() const {
    return streamsInInput ? input.data() + streamOffset : bitstream.data();
  }
  int64_t streamBytes() const {
    int64_t n = 0;
    for (int32_t s : sizes) n += bytesOfBits(s);
    return n;
  }
  bool packSection(const uint8_t* in, int32_t n, uint8_t mode, int capacity);
  bool parse();
};

CompressedBlock3d::CompressedBlock3d() : d_(std::make_unique<Data>()) {}
CompressedBlock3d::CompressedBlock3d(const CompressedBlock3d& other)
    : d_(std::make_unique<Data>(*other.d_)) {}
CompressedBlock3d& CompressedBlock3d::operator=(const CompressedBlock3d& other) {
  if (this != &other) *d_ = *other.d_;
  return *this;
}
CompressedBlock3d::~CompressedBlock3d() = default;

bool CompressedBlock3d::IsAllConst() const {
  return d_->allConst;
}
void CompressedBlock3d::SetAllConst(double value) {
  d_->allConst = true;
  d_->gain = value;
  d_->header.clear();
  d_->bitstream.clear();
  d_->streamsInInput = false;
  d_->clearCoding();
}
double CompressedBlock3d::GetGain() const {
  return d_->gain;
}
void CompressedBlock3d::SetGain(double gain) {
  d_->gain = gain;
}

int CompressedBlock3d::GetMostSignificantBitPlane(int s) const {
  return s >= 0 && s < kSubbands ? d_->msb[s] : 0;
}
void CompressedBlock3d::SetMostSignificantBitPlane(int s, int v) {
  if (s >= 0 && s < kSubbands) d_->msb[s] = static_cast<uint8_t>(v);
}
int CompressedBlock3d::GetNumberOfBitPlanes(int s) const {
  return s >= 0 && s < kSubbands ? d_->planes[s] : 0;
}
void CompressedBlock3d::SetNumberOfBitPlanes(int s, int v) {
  if (s >= 0 && s < kSubbands) d_->planes[s] = static_cast<uint8_t>(v);
}

int32_t CompressedBlock3d::GetHeaderSize() const {
  return static_cast<int32_t>(d_->header.size());
}
const uint8_t* CompressedBlock3d::GetHeaderData() const {
  return d_->header.data();
}
int32_t CompressedBlock3d::GetBitstreamSize() const {
  return static_cast<int32_t>(d_->streamsInInput ? d_->streamBytes() : d_->bitstream.size());
}
const uint8_t* CompressedBlock3d::GetBitstreamData() const {
  return d_->streamData();
}

void CompressedBlock3d::SetCompressionInfo(float sqnr, int32_t quality) {
  d_->sqnr = sqnr;
  d_->quality = quality;
}
float CompressedBlock3d::GetCompressionSQNR() const {
  return d_->sqnr;
}

uint8_t* CompressedBlock3d::GetInputBuffer(int64_t size, double gain) {
  if (size < 0 || size > kMaxInputSize) return nullptr;
  try {
    d_->input.reserve(static_cast<size_t>(std::max<int64_t>(size, 1)));
    d_->input.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  d_->gain = gain;
  d_->allConst = false;
  d_->streamsInInput = false;
  d_->header.clear();
  d_->bitstream.clear();
  return d_->input.data();
}

bool CompressedBlock3d::Data::packSection(const uint8_t* in, int32_t n, uint8_t mode,
                                          int capacity) {
  const size_t at = header.size();
  header.resize(at + static_cast<size_t>(capacity));
  int32_t bits = capacity * 8;
  const uint8_t used = Compression::compressData(n, in, bits, header.data() + at, mode, true);
  header.resize(at + static_cast<size_t>(bytesOfBits(bits)));
  return used == mode;
}

bool CompressedBlock3d::PackData() {
  Data& d = *d_;
  d.header.clear();
  if (d.allConst) return true;
  d.header.reserve(kMaxHeaderBytes);
  uint8_t sizeBytes[4 * kStreams];
  for (int k = 0; k < kStreams; ++k) Le::putI32(sizeBytes + 4 * k, d.sizes[k]);
  return d.packSection(d.msb, kSubbands, Compression::kModeBytesPacked, kPlaneSectionBytes) &&
         d.packSection(d.planes, kSubbands, Compression::kModeBytesPacked, kPlaneSectionBytes) &&
         d.packSection(d.modes, kStreams, Compression::kModeBytesPacked, kModeSectionBytes) &&
         d.packSection(sizeBytes, 4 * kStreams, Compression::kModeWordsPacked, kSizeSectionBytes);
}

// Reads the header sections and checks every number before it is trusted.
bool CompressedBlock3d::Data::parse() {
  const uint8_t* p = input.data();
  const uint8_t* end = p + input.size();
  uint8_t sizeBytes[4 * kStreams];
  if (input.empty() ||
      !Compression::uncompressData(&p, end, kSubbands, msb, Compression::kModeBytesPacked) ||
      !Compression::uncompressData(&p, end, kSubbands, planes, Compression::kModeBytesPacked) ||
      !Compression::uncompressData(&p, end, kStreams, modes, Compression::kModeBytesPacked) ||
      !Compression::uncompressData(&p, end, 4 * kStreams, sizeBytes, Compression::kModeWordsPacked))
    return false;
  for (int k = 0; k < kStreams; ++k) {
    sizes[k] = Le::getI32(sizeBytes + 4 * k);
    if (sizes[k] < 0) return false;
  }
  for (int s = 0; s < kSubbands; ++s) {
    if (msb[s] > kHighestPlane || planes[s] > msb[s]) return false;
  }
  const size_t headerBytes = static_cast<size_t>(p - input.data());
  if (streamBytes() > static_cast<int64_t>(input.size() - headerBytes)) return false;
  header.assign(input.cbegin(), input.cbegin() + static_cast<ptrdiff_t>(headerBytes));
  streamOffset = headerBytes;
  streamsInInput = true;
  return true;
}

bool CompressedBlock3d::UnpackData() {
  Data& d = *d_;
  d.allConst = false;
  d.bitstream.clear();
  if (d.parse()) return true;
  d.gain = 1.0;
  d.clearCoding();
  d.header.clear();
  d.streamsInInput = false;
  return false;
}

bool CompressedBlock3d::AddStreams(const uint8_t* const streams[kStreams],
                                   const int32_t lengths[kStreams]) {
  Data& d = *d_;
  int64_t total = 0;
  for (int k = 0; k < kStreams; ++k) {
    if (lengths[k] < 0) return false;
    total += lengths[k] + 16;
  }
  try {
    d.bitstream.resize(static_cast<size_t>(total));
  } catch (const std::bad_alloc&) {
    return false;
  }
  size_t at = 0;
  for (int k = 0; k < kStreams; ++k) {
    int32_t bits = 0;
    d.modes[k] =
        Compression::compressData(lengths[k], streams[k], bits, d.bitstream.data() + at, 0);
    d.sizes[k] = bits;
    at += static_cast<size_t>(bytesOfBits(bits));
  }
  d.bitstream.resize(at);
  d.streamsInInput = false;
  d.allConst = false;
  return true;
}

bool CompressedBlock3d::GetStreams(uint8_t* streams[kStreams], uint8_t* buffer, int64_t capacity,
                                   int32_t lengths[kStreams]) const {
  const Data& d = *d_;
  const uint8_t* src = d.streamData();
  int64_t srcLeft = d.streamsInInput ? static_cast<int64_t>(d.input.size() - d.streamOffset)
                                     : static_cast<int64_t>(d.bitstream.size());
  int64_t left = capacity;
  for (int k = 0; k < kStreams; ++k) {
    const int64_t coded = bytesOfBits(d.sizes[k]);
    if (coded > srcLeft) return false;
    int32_t produced = static_cast<int32_t>(std::min<int64_t>(left, INT32_MAX));
    if (!Compression::uncompressData(d.sizes[k], src, produced, buffer, d.modes[k])) return false;
    streams[k] = buffer;
    lengths[k] = produced;
    buffer += produced;
    left -= produced;
    src += coded;
    srcLeft -= coded;
  }
  return true;
}

int64_t CompressedBlock3d::SimulateWriteRead() {
  Data& d = *d_;
  if (d.allConst) return kRecordHeadBytes;
  if (!PackData()) return -1;
  const double gain = d.gain;
  std::vector<uint8_t> payload(d.header);
  payload.insert(payload.end(), d.bitstream.begin(), d.bitstream.end());
  uint8_t* in = GetInputBuffer(static_cast<int64_t>(payload.size()), gain);
  if (in == nullptr) return -1;
  if (!payload.empty()) std::memcpy(in, payload.data(), payload.size());
  d.clearCoding();
  UnpackData();
  return GetHeaderSize() + static_cast<int64_t>(GetBitstreamSize()) + kRecordHeadBytes;
}

}  // namespace Qra::Ostrel::Tyq::Private
