#include "support/memory_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace tyq_test {

namespace {
using E = Qra::Ostrel::Tyq::FileAccess::Error;
using Qra::Ostrel::Tyq::Private::Func;

constexpr std::align_val_t kAlignment{4096};

// Mirrors the argument rules of the real file so tests see the same codes.
bool checkTransfer(int64_t position, uint32_t size, const void* buffer, Func& func,
                   const std::string& name) {
  if (position < 0 || size > static_cast<uint32_t>(INT32_MAX) || (size > 0 && buffer == nullptr) ||
      static_cast<int64_t>(size) > INT64_MAX - position) {
    return func.setError(E::InvalidArgument, name);
  }
  return true;
}
}  // namespace

MemoryFile::MemoryFile(std::shared_ptr<Bytes> contents) : contents_(std::move(contents)) {}

bool MemoryFile::CreateNewFile(const std::string& name, Status* status, bool, bool, bool,
                               bool overwrite) {
  Func func("MemoryFile::CreateNewFile", status);
  Close(nullptr);
  if (!overwrite && !contents_->empty()) return func.setSysError(EEXIST, name);
  contents_->clear();
  name_ = name;
  readOnly_ = false;
  open_ = true;
  return true;
}

bool MemoryFile::OpenExistingFile(const std::string& name, Status* status, bool readOnly, bool,
                                  bool, bool) {
  Func func("MemoryFile::OpenExistingFile", status);
  Close(nullptr);
  name_ = name;
  readOnly_ = readOnly;
  open_ = true;
  return true;
}

void MemoryFile::Close(Status* status) {
  Func func("MemoryFile::Close", status);
  name_.clear();
  open_ = false;
}

bool MemoryFile::Flush(Status* status) {
  Func func("MemoryFile::Flush", status);
  return open_ || func.setError(E::NotOpen, name_);
}

int32_t MemoryFile::WriteBytesAtPosition(int64_t position, uint32_t size, const void* buffer,
                                         Status* status) {
  Func func("MemoryFile::WriteBytesAtPosition", status);
  if (!open_) return func.setError(E::NotOpen, name_);
  if (readOnly_) return func.setError(E::ReadOnly, name_);
  if (!checkTransfer(position, size, buffer, func, name_)) return 0;
  const auto end = static_cast<size_t>(position) + size;
  if (contents_->size() < end) contents_->resize(end);
  if (size > 0) std::memcpy(contents_->data() + position, buffer, size);
  return static_cast<int32_t>(size);
}

int32_t MemoryFile::ReadBytesFromPosition(int64_t position, uint32_t size, void* buffer,
                                          Status* status) {
  Func func("MemoryFile::ReadBytesFromPosition", status);
  if (!open_) return func.setError(E::NotOpen, name_);
  if (!checkTransfer(position, size, buffer, func, name_)) return 0;
  const auto length = static_cast<int64_t>(contents_->size());
  if (position >= length) return 0;
  const auto count = static_cast<uint32_t>(std::min<int64_t>(size, length - position));
  std::memcpy(buffer, contents_->data() + position, count);
  return static_cast<int32_t>(count);
}

bool MemoryFile::WriteAtPosition(int64_t position, uint32_t size, const void* buffer,
                                 Status* status) {
  Func func("MemoryFile::WriteAtPosition", status);
  WriteBytesAtPosition(position, size, buffer, func.statusP());
  return func.ok();
}

bool MemoryFile::ReadFromPosition(int64_t position, uint32_t size, void* buffer, Status* status) {
  Func func("MemoryFile::ReadFromPosition", status);
  const int32_t count = ReadBytesFromPosition(position, size, buffer, func.statusP());
  if (!func.ok()) return false;
  if (static_cast<uint32_t>(count) < size) return func.setError(E::ShortRead, name_);
  return true;
}

int64_t MemoryFile::GetFileSize(Status* status) {
  Func func("MemoryFile::GetFileSize", status);
  if (!open_) return func.setError(E::NotOpen, name_);
  return static_cast<int64_t>(contents_->size());
}

void* MemoryFile::AllocateBuffer(uint32_t size) {
  return ::operator new(size == 0 ? 1 : size, kAlignment, std::nothrow);
}

void MemoryFile::ReleaseBuffer(void* buffer) {
  if (buffer) ::operator delete(buffer, kAlignment);
}

}  // namespace tyq_test
