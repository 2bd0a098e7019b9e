#include "core/payload_pin.h"

#include "res/resource_ids.h"

namespace kestrel {
namespace {

constexpr std::wstring_view kPrefix = L"sha256:";

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool StartsWithPrefix(std::wstring_view text) {
  if (text.size() < kPrefix.size()) return false;
  for (size_t i = 0; i < kPrefix.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kPrefix[i]) return false;
  }
  return true;
}

}  // namespace

PayloadPin ParsePayloadPin(std::wstring_view text) {
  PayloadPin pin;
  pin.text = std::wstring(text);
  if (text.empty()) return pin;
  pin.kind = PayloadPin::Kind::kMalformed;
  if (!StartsWithPrefix(text)) return pin;
  const std::wstring_view hex = text.substr(kPrefix.size());
  if (hex.size() != pin.digest.size() * 2) return pin;
  for (size_t i = 0; i < pin.digest.size(); ++i) {
    const int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return pin;
    pin.digest[i] = static_cast<uint8_t>(high * 16 + low);
  }
  pin.kind = PayloadPin::Kind::kSha256;
  return pin;
}

std::wstring PinText(const Sha256Digest& digest) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text(kPrefix);
  for (uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

unsigned PinNumberOfLink(unsigned linkNumber) {
  switch (linkNumber) {
    case kStrPackageLink: return kStrPackagePin;
    case kStrDotNetLink: return kStrDotNetPin;
    case kStrSql64Link: return kStrSql64Pin;
    case kStrSql86Link: return kStrSql86Pin;
    case kStrSql2012Link: return kStrSql2012Pin;
    case kStrUpgradeLink: return kStrUpgradePin;
    case kStrSql2012x86Link: return kStrSql2012x86Pin;
    default: return 0;
  }
}

}  // namespace kestrel
