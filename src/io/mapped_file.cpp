#include "io/mapped_file.h"

#include <signal.h>
#include <sys/mman.h>

#include <cstring>

namespace Qra::Ostrel::Tyq::Private {

bool MappedFile::Map(int fd, int64_t size) {
  Unmap();
  if (fd < 0 || size <= 0 || static_cast<uint64_t>(size) > SIZE_MAX) return false;
  void* at = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
  if (at == MAP_FAILED) return false;
  data_ = static_cast<unsigned char*>(at);
  size_ = size;
  return true;
}

void MappedFile::Unmap() {
  if (data_) ::munmap(data_, static_cast<size_t>(size_));
  data_ = nullptr;
  size_ = 0;
}

namespace MappedRead {

namespace {

struct sigaction g_previous {};

// A fault inside a guarded copy jumps back to its guard; any other goes to
// whoever handled bus errors before us, or ends the process as it would
// have without us.
void onBusError(int signal, siginfo_t* info, void* context) {
  sigjmp_buf* jump = CurrentJump();
  if (jump) siglongjmp(*jump, 1);
  if (g_previous.sa_flags & SA_SIGINFO) {
    if (g_previous.sa_sigaction) {
      g_previous.sa_sigaction(signal, info, context);
      return;
    }
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(signal);
    return;
  }
  // Returning re-runs the faulting access, which now meets the default.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
}

bool install() {
  struct sigaction action {};
  action.sa_sigaction = onBusError;
  sigemptyset(&action.sa_mask);
  // Not deferred: a guard leaves the handler by a jump that does not
  // restore the signal mask, and a blocked bus error would kill the process.
  action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
  return ::sigaction(SIGBUS, &action, &g_previous) == 0;
}

}  // namespace

void InstallGuard() {
  static const bool installed = install();
  (void)installed;
}

sigjmp_buf*& CurrentJump() {
  static thread_local sigjmp_buf* jump = nullptr;
  return jump;
}

}  // namespace MappedRead

}  // namespace Qra::Ostrel::Tyq::Private
