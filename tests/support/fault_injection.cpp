#include "support/fault_injection.h"

#include <mutex>
#include <utility>

#include "io/vv_file.h"

namespace tyq_test {

namespace {
using E = Qra::Ostrel::Tyq::FileAccess::Error;
using Qra::Ostrel::Tyq::Private::Func;

// Files of one plan may be read from several threads at once (a pool
// decoding bricks); the counters are kept under one lock.
std::mutex g_counters;

// Counts the call and returns the fault that applies to it, if any.
const Fault* nextFault(const Fault& plan, int64_t& calls) {
  std::lock_guard<std::mutex> hold(g_counters);
  ++calls;
  if (plan.kind == Fault::Kind::None || plan.nth < 1) return nullptr;
  const bool hit = calls == plan.nth || (plan.repeat && calls > plan.nth);
  return hit ? &plan : nullptr;
}

uint32_t shortened(uint32_t size, const Fault& fault) {
  return size > fault.missing ? size - fault.missing : 0;
}
}  // namespace

FaultInjectionFile::FaultInjectionFile(std::unique_ptr<FileADT> inner,
                                       std::shared_ptr<FaultState> state)
    : inner_(std::move(inner)), state_(std::move(state)) {}

int32_t FaultInjectionFile::ReadBytesFromPosition(int64_t position, uint32_t size, void* buffer,
                                                  Status* status) {
  Func func("FaultInjectionFile::ReadBytesFromPosition", status);
  const Fault* fault = nextFault(state_->read, state_->reads);
  if (fault && fault->kind == Fault::Kind::SystemError) {
    func.setSysError(fault->sysError, FileName());
    return 0;
  }
  const uint32_t asked = fault ? shortened(size, *fault) : size;
  const int32_t count = inner_->ReadBytesFromPosition(position, asked, buffer, func.statusP());
  std::lock_guard<std::mutex> hold(g_counters);
  state_->bytesRead += count;
  return count;
}

int32_t FaultInjectionFile::WriteBytesAtPosition(int64_t position, uint32_t size,
                                                 const void* buffer, Status* status) {
  Func func("FaultInjectionFile::WriteBytesAtPosition", status);
  const Fault* fault = nextFault(state_->write, state_->writes);
  if (fault && fault->kind == Fault::Kind::SystemError) {
    func.setSysError(fault->sysError, FileName());
    return 0;
  }
  if (state_->sizeLimit >= 0 && position + int64_t{size} > state_->sizeLimit) {
    func.setSysError(ENOSPC, FileName());
    return 0;
  }
  const uint32_t asked = fault ? shortened(size, *fault) : size;
  const int32_t count = inner_->WriteBytesAtPosition(position, asked, buffer, func.statusP());
  std::lock_guard<std::mutex> hold(g_counters);
  state_->bytesWritten += count;
  return count;
}

// The all-or-nothing transfers go through the counting ones above, so a
// short transfer really moves the partial bytes (a torn write stays torn).
bool FaultInjectionFile::ReadFromPosition(int64_t position, uint32_t size, void* buffer,
                                          Status* status) {
  Func func("FaultInjectionFile::ReadFromPosition", status);
  const int32_t count = ReadBytesFromPosition(position, size, buffer, func.statusP());
  if (!func.ok()) return false;
  if (static_cast<uint32_t>(count) < size) return func.setError(E::ShortRead, FileName());
  return true;
}

bool FaultInjectionFile::WriteAtPosition(int64_t position, uint32_t size, const void* buffer,
                                         Status* status) {
  Func func("FaultInjectionFile::WriteAtPosition", status);
  const int32_t count = WriteBytesAtPosition(position, size, buffer, func.statusP());
  if (!func.ok()) return false;
  if (static_cast<uint32_t>(count) < size) return func.setError(E::ShortWrite, FileName());
  return true;
}

FaultInjectionFactory::FaultInjectionFactory(std::shared_ptr<FaultState> state, Maker makeInner)
    : state_(std::move(state)), makeInner_(std::move(makeInner)) {
  if (!makeInner_) makeInner_ = [] { return new Qra::Ostrel::Tyq::Private::vvFile; };
}

FaultInjectionFactory::FileADT* FaultInjectionFactory::CreateFileADT(const std::string&, UsageHint,
                                                                     bool) {
  return new FaultInjectionFile(std::unique_ptr<FileADT>(makeInner_()), state_);
}

}  // namespace tyq_test
