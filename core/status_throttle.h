// Progress texts at a human rate. A producer that reports progress per
// piece (a download per read, a patch per entry) hands every text here; a
// changed text reaches the row at most every interval, and the latest one
// always does before anything else is shown or the work returns, so the
// row ends with exactly the text it would have ended with.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrel {

class StatusThrottle {
 public:
  // write sets the row's text; now gives milliseconds on a steady clock.
  StatusThrottle(std::function<void(const std::wstring&)> write, std::function<uint64_t()> now,
                 uint64_t intervalMs = 50);
  // Writes the latest text if one was held back.
  ~StatusThrottle() {
    try {
      Flush();
    } catch (...) {
      // Out of memory while the work ends: the row keeps its last text.
    }
  }
  StatusThrottle(const StatusThrottle&) = delete;
  StatusThrottle& operator=(const StatusThrottle&) = delete;

  // A progress text: written when the last write is at least the interval
  // ago, else held back (replacing one held before).
  void Progress(std::wstring text);
  // A text that tells a step ("Start downloading"): the held-back text
  // first, then this one, at once.
  void Step(const std::wstring& text);
  // The held-back text, if any, at once: before a message, a question or
  // a return.
  void Flush();

 private:
  void Write(const std::wstring& text);

  std::function<void(const std::wstring&)> write_;
  std::function<uint64_t()> now_;
  uint64_t intervalMs_;
  bool wrote_ = false;
  uint64_t lastWrite_ = 0;
  bool held_ = false;
  std::wstring heldText_;
};

}  // namespace kestrel
