// The public reader, writer and factories, carried out on the internal
// accessors. Failures travel as the internal status code, unchanged.
#include "api/reader_writer.h"

#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "api/api_internal.h"
#include "api/reader_writer_metadata.h"
#include "tyq/tyq.h"

namespace Qra::Ostrel::Tyq::TyqApi {

template class AutoRef<Reader>;  // exported by the declaration in the header
template class AutoRef<Writer>;
template class TYQ_EXPORT AutoRef<Impl::ReaderImp>;
template class TYQ_EXPORT AutoRef<Impl::WriterImp>;

Reader::~Reader() = default;
Writer::~Writer() = default;
ReaderFactory::~ReaderFactory() = default;
WriterFactory::~WriterFactory() = default;

ReaderFactory* getReaderFactory() {
  static Impl::ReaderFactoryImp factory;
  return &factory;
}

WriterFactory* getWriterFactory() {
  static Impl::WriterFactoryImp factory;
  return &factory;
}

namespace Impl {

namespace FA = FileAccess;
using Err = FA::Error;
using Private::Status;

namespace {

std::string toStd(const SimpleString& s) {
  std::vector<char> buffer(static_cast<size_t>(s.size()) + 1);
  s.getCstr(buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data());
}

}  // namespace

bool SetError(Error* error, int code) {
  if (error) *error = Error(code);
  return code == 0;
}

bool SetError(Error* error, const Status& status) {
  const int code = status.tyqError();
  if (error) *error = Error(code, ToSimpleString(status.context()));
  return code == 0;
}

namespace {

// Exceptions must not cross into a host built by another compiler: each
// public entry runs its body here, and what escapes it becomes a code. When
// even the error cannot be made, the call still returns false.
template <typename Body>
bool Guarded(Error* error, Body body) noexcept {
  int code = 0;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    code = Err::OutOfMemory;
  } catch (...) {
    code = Err::InternalError;
  }
  try {
    SetError(error, code);
  } catch (...) {  // nothing is left to report it with
  }
  return false;
}

}  // namespace

bool ReaderFactoryImp::createReader(const SimpleString& filename, AutoRef<Reader>& reader,
                                    Error* error) {
  return Guarded(error, [&] {
    AutoRef<ReaderImp> made(new ReaderImp);
    if (!made->open(filename, error)) return false;
    reader = AutoRef<Reader>(made.get());
    return SetError(error, 0);
  });
}

bool WriterFactoryImp::createWriter(const SimpleString& filename, const MetaDataProvider& metadata,
                                    AutoRef<Writer>& writer, Error* error) {
  return Guarded(error, [&] {
    AutoRef<WriterImp> made(new WriterImp);
    if (!made->create(filename, metadata, error)) return false;
    writer = AutoRef<Writer>(made.get());
    return SetError(error, 0);
  });
}

bool ReaderImp::open(const SimpleString& name, Error* error) {
  Status status;
  FA::AutoRef<FA::Reader> accessor;
  FA::FileInfo info;
  if (FA::Tyq::CreateTyqReader(accessor, toStd(name), FA::TyqOptions(), &status) != 0 ||
      !accessor->GetFileInfo(info, &status)) {
    return SetError(error, status);
  }
  accessor_ = accessor;
  sampleType_ = info.dataType;
  return SetError(error, 0);
}

void ReaderImp::addRef() {
  AddReference();
}

void ReaderImp::release() {
  DropReference();
}

bool ReaderImp::prologue(Error* error) const {
  return SetError(error, accessor_ ? 0 : Err::NotOpen);
}

bool ReaderImp::getMetaData(MetaDataReceiver& receiver, Error* error) {
  return Guarded(error, [&] {
    if (!prologue(error)) return false;
    Status status;
    FA::FileInfo file;
    FA::DataInfo data;
    if (!accessor_->GetFileInfo(file, &status) || !accessor_->GetDataInfo(data, &status)) {
      return SetError(error, status);
    }
    return SetError(error, SendMetadata(file, data, receiver));
  });
}

// Public reads always deliver the vertical index fastest, whatever order an
// earlier raw-brick read left in force.
bool ReaderImp::holdTraceOrder(std::shared_lock<std::shared_mutex>& shared, Error* error) {
  for (;;) {
    shared.lock();
    if (traceOrder_) return true;
    shared.unlock();
    std::unique_lock<std::shared_mutex> alone(layoutLock_);
    Status status;
    if (!accessor_->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status)) {
      return SetError(error, status);
    }
    traceOrder_ = true;
  }
}

template <typename T>
bool ReaderImp::readBox(int required, int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                        T* buffer, Error* error) {
  return Guarded(error, [&] {
    if (!prologue(error)) return false;
    if (required >= 0 && sampleType_ != required) return SetError(error, Err::InvalidArgument);
    std::shared_lock<std::shared_mutex> shared(layoutLock_, std::defer_lock);
    if (!holdTraceOrder(shared, error)) return false;
    Status status;
    accessor_->ReadData(lod, i0, j0, k0, ni, nj, nk, buffer, &status);
    return SetError(error, status);
  });
}

bool ReaderImp::readInt16(int i0, int j0, int k0, int ni, int nj, int nk, short* buffer,
                          Error* error) {
  return readInt16Lod(0, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool ReaderImp::readInt8(int i0, int j0, int k0, int ni, int nj, int nk, signed char* buffer,
                         Error* error) {
  return readInt8Lod(0, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool ReaderImp::readFloat(int i0, int j0, int k0, int ni, int nj, int nk, float* buffer,
                          Error* error) {
  return readFloatLod(0, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool ReaderImp::readInt16Lod(int lod, int i0, int j0, int k0, int ni, int nj, int nk, short* buffer,
                             Error* error) {
  return readBox(FA::DataTypeEnum::Int16, lod, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool ReaderImp::readInt8Lod(int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                            signed char* buffer, Error* error) {
  return readBox(FA::DataTypeEnum::Int8, lod, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool ReaderImp::readFloatLod(int lod, int i0, int j0, int k0, int ni, int nj, int nk, float* buffer,
                             Error* error) {
  return readBox(-1, lod, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool ReaderImp::readRawBrick(int lod, int bi, int bj, int bk, void* buffer, Error* error) {
  return Guarded(error, [&] {
    if (!prologue(error)) return false;
    Status status;
    FA::FileInfo info;
    std::unique_lock<std::shared_mutex> alone(layoutLock_);
    traceOrder_ = false;
    if (!accessor_->GetFileInfo(info, &status) ||
        !accessor_->SetAccessStorageOrder(info.storageOrder, &status)) {
      return SetError(error, status);
    }
    void* bricks[1] = {buffer};
    accessor_->ReadRawBrick(lod, bi, bj, bk, 1, 1, 1, bricks, &status);
    return SetError(error, status);
  });
}

bool WriterImp::create(const SimpleString& name, const MetaDataProvider& metadata, Error* error) {
  WriterDescription description;
  const int code = ReadWriterMetadata(metadata, description);
  if (code != 0) return SetError(error, code);
  Status status;
  FA::AutoRef<FA::Writer> accessor;
  if (description.options.sqnr > 0) {
    // Compressed volumes hold float samples; boxes arrive vertical fastest.
    if (FA::Tyq::CreateTyqWriter(accessor, toStd(name), description.dataInfo,
                                 FA::DataTypeEnum::Float32, description.options, &status,
                                 description.dataMin, description.dataMax) != 0 ||
        !accessor->SetAccessStorageOrder(FA::StorageOrderEnum::TraceOptimized(), &status)) {
      return SetError(error, status);
    }
    description.dataType = FA::DataTypeEnum::Float32;
  } else if (FA::PoststackSeis3dBrickedAccessorFactory::CreateWriter(
                 accessor, toStd(name), description.dataInfo,
                 static_cast<FA::DataTypeEnum::value_type>(description.dataType),
                 description.options, &status, description.dataMin, description.dataMax, 0) != 0) {
    return SetError(error, status);
  }
  accessor_ = accessor;
  sampleType_ = description.dataType;
  return SetError(error, 0);
}

void WriterImp::addRef() {
  AddReference();
}

void WriterImp::release() {
  DropReference();
}

bool WriterImp::prologue(Error* error) const {
  return SetError(error, accessor_ ? 0 : Err::NotOpen);
}

template <typename T>
bool WriterImp::writeBox(int required, int i0, int j0, int k0, int ni, int nj, int nk,
                         const T* buffer, Error* error) {
  return Guarded(error, [&] {
    if (!prologue(error)) return false;
    if (required >= 0 && sampleType_ != required) return SetError(error, Err::InvalidArgument);
    Status status;
    accessor_->WriteData(0, i0, j0, k0, ni, nj, nk, buffer, &status);
    return SetError(error, status);
  });
}

bool WriterImp::writeInt16(int i0, int j0, int k0, int ni, int nj, int nk, const short* buffer,
                           Error* error) {
  return writeBox(FA::DataTypeEnum::Int16, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool WriterImp::writeInt8(int i0, int j0, int k0, int ni, int nj, int nk, const signed char* buffer,
                          Error* error) {
  return writeBox(FA::DataTypeEnum::Int8, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool WriterImp::writeFloat(int i0, int j0, int k0, int ni, int nj, int nk, const float* buffer,
                           Error* error) {
  return writeBox(-1, i0, j0, k0, ni, nj, nk, buffer, error);
}

bool WriterImp::finalize(Error* error) {
  return Guarded(error, [&] {
    if (!prologue(error)) return false;
    Status status;
    accessor_->Finalize(true, true, &status);
    return SetError(error, status);
  });
}

}  // namespace Impl
}  // namespace Qra::Ostrel::Tyq::TyqApi
