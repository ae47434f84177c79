#pragma once

// The library's side of the public reader and writer: they carry out each
// public call on the internal accessors and translate codes and metadata.

#include <shared_mutex>

#include "core/ref_counted.h"
#include "tyq/accessor.h"
#include "tyq/api.h"

namespace Qra::Ostrel::Tyq::TyqApi::Impl {

class ReaderImp final : public Reader, private Private::RefCounted {
 public:
  // Opens `name` for reading; false with the error set on failure.
  bool open(const SimpleString& name, Error* error);

  bool getMetaData(MetaDataReceiver& receiver, Error* error) override;
  bool readInt16(int i0, int j0, int k0, int ni, int nj, int nk, short* buffer,
                 Error* error) override;
  bool readInt8(int i0, int j0, int k0, int ni, int nj, int nk, signed char* buffer,
                Error* error) override;
  bool readFloat(int i0, int j0, int k0, int ni, int nj, int nk, float* buffer,
                 Error* error) override;
  bool readInt16Lod(int lod, int i0, int j0, int k0, int ni, int nj, int nk, short* buffer,
                    Error* error) override;
  bool readInt8Lod(int lod, int i0, int j0, int k0, int ni, int nj, int nk, signed char* buffer,
                   Error* error) override;
  bool readFloatLod(int lod, int i0, int j0, int k0, int ni, int nj, int nk, float* buffer,
                    Error* error) override;
  bool readRawBrick(int lod, int bi, int bj, int bk, void* buffer, Error* error) override;
  void addRef() override;
  void release() override;

 private:
  ~ReaderImp() override = default;
  bool prologue(Error* error) const;
  template <typename T>
  bool readBox(int required, int lod, int i0, int j0, int k0, int ni, int nj, int nk, T* buffer,
               Error* error);
  // Holds `shared` on layoutLock_ with the accessor in the order of public
  // boxes; false with the error set when the order cannot be set.
  bool holdTraceOrder(std::shared_lock<std::shared_mutex>& shared, Error* error);

  FileAccess::AutoRef<FileAccess::Reader> accessor_;
  int sampleType_ = FileAccess::DataTypeEnum::Float32;
  // Box reads share the accessor's storage order and run side by side under
  // a shared hold; a raw-brick read, which needs the stored order, holds it
  // alone. traceOrder_ tells which order is in force.
  std::shared_mutex layoutLock_;
  bool traceOrder_ = false;
};

class WriterImp final : public Writer, private Private::RefCounted {
 public:
  // Creates `name` as described by `metadata`; false with the error set on
  // failure, in which case no file was created when the metadata was at fault.
  bool create(const SimpleString& name, const MetaDataProvider& metadata, Error* error);

  bool writeInt16(int i0, int j0, int k0, int ni, int nj, int nk, const short* buffer,
                  Error* error) override;
  bool writeInt8(int i0, int j0, int k0, int ni, int nj, int nk, const signed char* buffer,
                 Error* error) override;
  bool writeFloat(int i0, int j0, int k0, int ni, int nj, int nk, const float* buffer,
                  Error* error) override;
  bool finalize(Error* error) override;
  void addRef() override;
  void release() override;

 private:
  ~WriterImp() override = default;
  bool prologue(Error* error) const;
  template <typename T>
  bool writeBox(int required, int i0, int j0, int k0, int ni, int nj, int nk, const T* buffer,
                Error* error);

  FileAccess::AutoRef<FileAccess::Writer> accessor_;
  int sampleType_ = FileAccess::DataTypeEnum::Float32;
};

class ReaderFactoryImp final : public ReaderFactory {
 public:
  bool createReader(const SimpleString& filename, AutoRef<Reader>& reader, Error* error) override;
};

class WriterFactoryImp final : public WriterFactory {
 public:
  bool createWriter(const SimpleString& filename, const MetaDataProvider& metadata,
                    AutoRef<Writer>& writer, Error* error) override;
};

// Sets *error (when given) to a fresh error of `code`; true exactly for 0.
bool SetError(Error* error, int code);
// The same with the code of `status`, keeping its context (the file name).
bool SetError(Error* error, const Private::Status& status);

}  // namespace Qra::Ostrel::Tyq::TyqApi::Impl
