#include "core/random_id.h"

#include <sys/random.h>

#include <cerrno>

namespace Qra::Ostrel::Tyq::Private {

bool newRandomId(uint8_t out[16], Status* status) {
  Func func("Private::newRandomId", status);
  size_t filled = 0;
  while (filled < 16) {
    const ssize_t got = ::getrandom(out + filled, 16 - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return func.setSysError(errno, "getrandom");
    }
    filled += static_cast<size_t>(got);
  }
  // Version 4, variant 1, as any other random identifier would be shaped.
  out[6] = static_cast<uint8_t>((out[6] & 0x0F) | 0x40);
  out[8] = static_cast<uint8_t>((out[8] & 0x3F) | 0x80);
  return true;
}

}  // namespace Qra::Ostrel::Tyq::Private
