#include "io/io_backend.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "tyq/environment.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

std::mutex g_makerMutex;
std::function<std::unique_ptr<IOBackend>()> g_maker;
std::atomic<bool> g_fallbackAnnounced{false};

void announceFallback(int reason) {
  if (g_fallbackAnnounced.exchange(true)) return;
  if (getDebugLevel() <= 0) return;
  std::printf("## IORequestPool: io_uring unavailable (%s), using synchronous transfers\n",
              std::strerror(reason));
  std::fflush(stdout);
}

}  // namespace

std::unique_ptr<IOBackend> makeDefaultBackend() {
  {
    std::lock_guard<std::mutex> lock(g_makerMutex);
    if (g_maker) return g_maker();
  }
  int error = 0;
  std::unique_ptr<IOBackend> backend = makeIoUringBackend(&error);
  if (backend) return backend;
  announceFallback(error);
  return makeSynchronousBackend();
}

void setBackendMakerForTesting(std::function<std::unique_ptr<IOBackend>()> maker) {
  std::lock_guard<std::mutex> lock(g_makerMutex);
  g_maker = std::move(maker);
}

}  // namespace Qra::Ostrel::Tyq::Private
