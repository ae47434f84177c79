// The tools' input: a reader from the entry functions, with the geometry
// and the dead value band the copy needs.
#include <algorithm>
#include <cmath>

#include "tyq/compress_tools.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::TyqCompressIO {

namespace FA = FileAccess;
using Private::Func;

IReader::~IReader() = default;

struct Reader::Data {
  FA::AutoRef<FA::Reader> reader;
  FA::FileInfo info;
  FA::DataInfo data;
  FA::Histogram hist;
  float deadLow = 0.0f;
  float deadHigh = 0.0f;
};

namespace {

// The band of float values that an 8- or 16-bit coding over [lo, hi]
// turns into its code for zero; none (both 0) when no code lies on zero.
void deadBand(const FA::FileInfo& info, float& low, float& high) {
  low = high = 0.0f;
  const int size = FA::DataTypeEnum::Size(info.dataType);
  const bool integer = info.dataType != FA::DataTypeEnum::Float32 && size <= 2 &&
                       info.coding != FA::CodingTypeEnum::Compressed;
  if (!integer || !(info.valueMax > info.valueMin)) return;
  const double lo = info.valueMin, hi = info.valueMax;
  const double step = (hi - lo) / (std::ldexp(1.0, 8 * size) - 1.0);
  const double zero = std::round((0.0 - lo) / step) * step + lo;
  if (std::fabs(zero) > 0.01 * std::fabs(step)) return;
  low = static_cast<float>(zero - step / 2);
  high = static_cast<float>(zero + step / 2);
}

template <typename T>
bool readBox(FA::Reader* reader, const WorkItem& item, T* buffer, Status* status) {
  Func func("TyqCompressIO::Reader::read", status);
  if (!reader) return func.setError(FA::Error::NotOpen, "");
  return reader->ReadData(item.level, item.start[0], item.start[1], item.start[2], item.size[0],
                          item.size[1], item.size[2], buffer, func.statusP());
}

}  // namespace

Reader::Reader() : d_(std::make_unique<Data>()) {}
Reader::~Reader() = default;

bool Reader::open(const std::string& name, FA::EnumClass<FA::StorageOrderEnum> order,
                  Status* status) {
  Func func("TyqCompressIO::Reader::open", status);
  d_ = std::make_unique<Data>();
  FA::AutoRef<FA::Reader> reader;
  if (FA::Tyq::CreateTyqReader(reader, name, FA::TyqOptions(), func.statusP()) != 0 ||
      !reader->SetAccessStorageOrder(order, func.statusP()) ||
      !reader->GetFileInfo(d_->info, func.statusP()) ||
      !reader->GetDataInfo(d_->data, func.statusP()) ||
      !reader->GetDataHist(d_->hist, func.statusP())) {
    return false;
  }
  d_->reader = reader;
  deadBand(d_->info, d_->deadLow, d_->deadHigh);
  return true;
}

bool Reader::read(const WorkItem& item, signed char* buffer, Status* status) {
  return readBox(d_->reader.get(), item, buffer, status);
}

bool Reader::read(const WorkItem& item, short* buffer, Status* status) {
  return readBox(d_->reader.get(), item, buffer, status);
}

bool Reader::read(const WorkItem& item, float* buffer, Status* status) {
  if (!readBox(d_->reader.get(), item, buffer, status)) return false;
  const float low = d_->deadLow, high = d_->deadHigh;
  if (low == high) return true;
  const int64_t n = item.samples();
  for (int64_t s = 0; s < n; ++s) {
    if (buffer[s] >= low && buffer[s] <= high) buffer[s] = 0.0f;
  }
  return true;
}

int Reader::levels() const {
  return d_->reader ? std::max(d_->info.numberOfLods, 1) : 0;
}

int64_t Reader::fileSize() const {
  return d_->info.fileSize;
}

void Reader::close() {
  d_->reader = FA::AutoRef<FA::Reader>();
}

const FA::FileInfo& Reader::fileInfo() const {
  return d_->info;
}

const FA::DataInfo& Reader::dataInfo() const {
  return d_->data;
}

const FA::Histogram& Reader::histogram() const {
  return d_->hist;
}

int Reader::size0(int level) const {
  return size(0, level);
}

int Reader::size1(int level) const {
  return size(1, level);
}

int Reader::size2(int level) const {
  return size(2, level);
}

int Reader::size(int axis, int level) const {
  if (axis < 0 || axis > 2 || level < 0 || level > 30) return 0;
  const int64_t n = d_->data.size[axis];
  return n <= 0 ? 0 : static_cast<int>(((n - 1) >> level) + 1);
}

int Reader::sampleSize() const {
  return FA::DataTypeEnum::Size(d_->info.dataType);
}

float Reader::deadLow() const {
  return d_->deadLow;
}

float Reader::deadHigh() const {
  return d_->deadHigh;
}

float Reader::sqnr() const {
  const bool compressed = d_->info.coding == FA::CodingTypeEnum::Compressed;
  return compressed && d_->info.sqnr > 0 ? d_->info.sqnr : -1.0f;
}

}  // namespace Qra::Ostrel::Tyq::TyqCompressIO
