#include "core/status_throttle.h"

namespace kestrel {

StatusThrottle::StatusThrottle(std::function<void(const std::wstring&)> write, std::function<uint64_t()> now,
                               uint64_t intervalMs)
    : write_(std::move(write)), now_(std::move(now)), intervalMs_(intervalMs) {}

void StatusThrottle::Write(const std::wstring& text) {
  write_(text);
  wrote_ = true;
  lastWrite_ = now_();
}

void StatusThrottle::Progress(std::wstring text) {
  if (!wrote_ || now_() - lastWrite_ >= intervalMs_) {
    held_ = false;
    heldText_.clear();
    Write(text);
    return;
  }
  held_ = true;
  heldText_ = std::move(text);
}

void StatusThrottle::Step(const std::wstring& text) {
  Flush();
  Write(text);
}

void StatusThrottle::Flush() {
  if (!held_) return;
  held_ = false;
  Write(heldText_);
  heldText_.clear();
}

}  // namespace kestrel
