#include <deque>

#include "io/io_backend.h"
#include "io/posix_file_util.h"

namespace Qra::Ostrel::Tyq::Private {

namespace {

// Used where io_uring cannot be set up. Each transfer runs to its end inside
// submit(), so a request is never seen in flight and waitAny() never has
// anything to wait for; the pool's states and rules stay the same.
class SynchronousBackend final : public IOBackend {
 public:
  const char* name() const override { return "synchronous"; }

  int submit(const IOSubmission& r) override {
    const int64_t result = r.write ? PosixFile::writeAt(r.file, r.buffer, r.count, r.position)
                                   : PosixFile::readAt(r.file, r.buffer, r.count, r.position);
    done_.push_back({r.token, result});
    return 0;
  }

  void reap(std::vector<IOCompletion>& out) override {
    out.insert(out.end(), done_.begin(), done_.end());
    done_.clear();
  }

  int waitAny() override { return 0; }

 private:
  std::deque<IOCompletion> done_;
};

}  // namespace

std::unique_ptr<IOBackend> makeSynchronousBackend() {
  return std::make_unique<SynchronousBackend>();
}

}  // namespace Qra::Ostrel::Tyq::Private
