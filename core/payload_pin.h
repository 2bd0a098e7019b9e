// SHA-256 pins of the download links. A link's pin is a built-in string of
// its own, "sha256:" followed by 64 hexadecimal digits; the payload must
// hash to it before it is extracted or started.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

using Sha256Digest = std::array<uint8_t, 32>;

struct PayloadPin {
  enum class Kind {
    kNone,       // empty text: the payload is not verified
    kSha256,     // digest holds the expected hash
    kMalformed,  // a text that is no pin: nothing may be downloaded with it
  };
  Kind kind = Kind::kNone;
  Sha256Digest digest{};
  std::wstring text;  // the text as found

  bool pinned() const { return kind == Kind::kSha256; }
};

// Empty text: no pin. "sha256:" (any case) and exactly 64 hexadecimal
// digits (any case): a pin. Anything else, blanks included: malformed.
PayloadPin ParsePayloadPin(std::wstring_view text);

// "sha256:" and the digest in 64 lowercase hexadecimal digits.
std::wstring PinText(const Sha256Digest& digest);

// The string number of the pin of a download link; 0 for a number that is
// no download link.
unsigned PinNumberOfLink(unsigned linkNumber);

}  // namespace kestrel
