#include "progress.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

namespace tyq_tool {

Progress::Progress(const std::string& label, int64_t total)
    : label_(label), total_(total > 0 ? total : 1), terminal_(::isatty(STDOUT_FILENO) != 0) {}

void Progress::update(int64_t done) {
  const int percent = static_cast<int>(done * 100 / total_);
  if (terminal_) {
    if (percent == lastShown_) return;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::printf("\r  %-28s [%.*s%*s] %3d%%%s", label_.c_str(), filled,
                "##############################", kWidth - filled, "", percent,
                rateText(done).c_str());
  } else {
    if (percent / 10 == lastShown_ / 10 && lastShown_ >= 0) return;
    std::printf("  %s: %d%%\n", label_.c_str(), percent / 10 * 10);
  }
  lastShown_ = percent;
  std::fflush(stdout);
}

std::string Progress::rateText(int64_t done) const {
  if (bytes_ <= 0 || done <= 0) return "";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (seconds <= 0) return "";
  const double share = static_cast<double>(done) / static_cast<double>(total_);
  const double rate = share * static_cast<double>(bytes_) / seconds;
  const double left = seconds * (1.0 - share) / share;
  char text[64];
  std::snprintf(text, sizeof text, "  %7.1f MB/s  %4.0f s left ", rate / 1e6, left);
  return text;
}

void Progress::finish() {
  update(total_);
  if (terminal_) std::printf("\n");
  std::fflush(stdout);
}

std::function<void(int64_t, int64_t)> progressCallback(const std::string& label) {
  auto bar = std::make_shared<std::unique_ptr<Progress>>();
  return [label, bar](int64_t done, int64_t total) {
    if (!*bar) *bar = std::make_unique<Progress>(label, total);
    if (done < total) {
      (*bar)->update(done);
    } else {
      (*bar)->finish();
    }
  };
}

}  // namespace tyq_tool
