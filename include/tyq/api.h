#ifndef TYQ_API_H
#define TYQ_API_H

// The binary-stable interface of tyq: open volumes, read and write boxes of
// samples, and exchange metadata, from a host built with any compiler. Every
// class here is an abstract interface or a handle holding one pointer; no
// standard-library type crosses this boundary. Compiles as C++11.

#include "tyq/api_values.h"
#include "tyq/export.h"

namespace Qra {
namespace Ostrel {
namespace Tyq {
namespace TyqApi {

// Holds one counted reference to a Reader or Writer; the object goes away
// with the last release. Copies share the object. The count is atomic:
// copies held by different threads may be made and dropped at any time, but
// one handle object must not be assigned while another thread uses it.
template <typename T>
class AutoRef {
 public:
  AutoRef() : p_(0) {}
  AutoRef(T* p) : p_(p) {  // NOLINT: taking a new object is the point
    if (p_) p_->addRef();
  }
  AutoRef(const AutoRef& other) : p_(other.p_) {
    if (p_) p_->addRef();
  }
  ~AutoRef() {
    if (p_) p_->release();
  }
  // The new reference is taken before the old one goes, so assigning a
  // handle to itself, or to one the old object owns, is safe.
  AutoRef& operator=(const AutoRef& other) {
    T* next = other.p_;
    if (next) next->addRef();
    T* previous = p_;
    p_ = next;
    if (previous) previous->release();
    return *this;
  }
  T* operator->() { return p_; }
  const T* operator->() const { return p_; }
  T& operator*() { return *p_; }
  const T& operator*() const { return *p_; }
  T* get() const { return p_; }

  bool operator==(const AutoRef& o) const { return p_ == o.p_; }
  bool operator!=(const AutoRef& o) const { return p_ != o.p_; }
  bool operator<(const AutoRef& o) const { return p_ < o.p_; }
  bool operator<=(const AutoRef& o) const { return p_ <= o.p_; }
  bool operator>(const AutoRef& o) const { return p_ > o.p_; }
  bool operator>=(const AutoRef& o) const { return p_ >= o.p_; }

 private:
  T* p_;
};

// Reads an existing volume. Boxes are given by their first sample (i0, j0,
// k0) along inline, crossline and vertical, and their sizes; buffers hold the
// box with the vertical index fastest. Every operation returns true on
// success and, when `error` is given, leaves the outcome there.
// Threads: one reader serves several threads. Its reads may be called from
// several threads at once and run side by side: an uncompressed file is
// read in place from a read-only mapping, with no lock around the copies,
// so reads scale with the threads. A raw-brick read runs alone (it needs
// another buffer layout) while box reads wait for it. Separate readers may
// be used from separate threads too. addRef and release may be called from
// any thread.
// No call of a reader, writer or factory throws: failures, running out of
// memory and exceptions thrown by the host's own receivers and providers
// all come back as codes, with the file name as context where there is one.
class TYQ_EXPORT Reader {
 public:
  virtual bool getMetaData(MetaDataReceiver& receiver, Error* error) = 0;
  virtual bool readInt16(int i0, int j0, int k0, int ni, int nj, int nk, short* buffer,
                         Error* error) = 0;
  virtual bool readInt8(int i0, int j0, int k0, int ni, int nj, int nk, signed char* buffer,
                        Error* error) = 0;
  virtual bool readFloat(int i0, int j0, int k0, int ni, int nj, int nk, float* buffer,
                         Error* error) = 0;
  virtual bool readInt16Lod(int lod, int i0, int j0, int k0, int ni, int nj, int nk, short* buffer,
                            Error* error) = 0;
  virtual bool readInt8Lod(int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                           signed char* buffer, Error* error) = 0;
  virtual bool readFloatLod(int lod, int i0, int j0, int k0, int ni, int nj, int nk, float* buffer,
                            Error* error) = 0;
  // One brick in the file's own stored representation.
  virtual bool readRawBrick(int lod, int bi, int bj, int bk, void* buffer, Error* error) = 0;
  virtual void addRef() = 0;
  virtual void release() = 0;

 protected:
  virtual ~Reader();
};

// Writes a new volume at full resolution; finalize stores statistics,
// histogram, the levels of detail and the tables through which the file
// finds its bricks. A writer released without finalize loses every brick
// it wrote: the samples are in the file, but no table reaches them (with
// OSTREL_TYQ_DEBUG above 0 a trace line says so). A finalize that fails (a
// full disk) still stores the tables of what was written before it reports
// the error.
// Threads: the write calls may run from several threads at once when the
// boxes in flight cover disjoint bricks (cubes of the file's brick size, 64
// samples by default, counted from sample 0); finalize must not overlap any
// other call. addRef and release may
// be called from any thread.
class TYQ_EXPORT Writer {
 public:
  virtual bool writeInt16(int i0, int j0, int k0, int ni, int nj, int nk, const short* buffer,
                          Error* error) = 0;
  virtual bool writeInt8(int i0, int j0, int k0, int ni, int nj, int nk, const signed char* buffer,
                         Error* error) = 0;
  virtual bool writeFloat(int i0, int j0, int k0, int ni, int nj, int nk, const float* buffer,
                          Error* error) = 0;
  virtual bool finalize(Error* error) = 0;
  virtual void addRef() = 0;
  virtual void release() = 0;

 protected:
  virtual ~Writer();
};

class TYQ_EXPORT ReaderFactory {
 public:
  ReaderFactory() {}
  ReaderFactory(const ReaderFactory&) {}
  ReaderFactory& operator=(const ReaderFactory&) { return *this; }
  virtual bool createReader(const SimpleString& filename, AutoRef<Reader>& reader,
                            Error* error) = 0;

 protected:
  virtual ~ReaderFactory();
};

class TYQ_EXPORT WriterFactory {
 public:
  WriterFactory() {}
  WriterFactory(const WriterFactory&) {}
  WriterFactory& operator=(const WriterFactory&) { return *this; }
  // Creates a new uncompressed volume described by the metadata keys.
  virtual bool createWriter(const SimpleString& filename, const MetaDataProvider& metadata,
                            AutoRef<Writer>& writer, Error* error) = 0;

 protected:
  virtual ~WriterFactory();
};

// Instantiated in the library; hosts use those instances.
extern template class TYQ_EXPORT AutoRef<Reader>;
extern template class TYQ_EXPORT AutoRef<Writer>;

// The process-wide factories; never deleted by the host.
TYQ_EXPORT ReaderFactory* getReaderFactory();
TYQ_EXPORT WriterFactory* getWriterFactory();

}  // namespace TyqApi
}  // namespace Tyq
}  // namespace Ostrel
}  // namespace Qra

#endif  // TYQ_API_H
