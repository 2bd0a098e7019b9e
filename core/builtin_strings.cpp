#include "core/builtin_strings.h"

#include <cstring>

#include "core/text_convert.h"

namespace kestrel {
namespace {

// Bytes of a custom resource, or nullopt when it is missing.
std::optional<std::string_view> ResourceBytes(HMODULE module, const wchar_t* type, UINT number) {
  HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(number), type);
  if (info == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(module, info);
  if (loaded == nullptr) return std::nullopt;
  const void* data = ::LockResource(loaded);
  if (data == nullptr) return std::nullopt;
  return std::string_view(static_cast<const char*>(data), ::SizeofResource(module, info));
}

// UTF-16LE bytes up to the first zero code unit; a missing terminator is
// supplied, an odd last byte dropped.
std::wstring TextOfUtf16Bytes(std::string_view bytes) {
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  text.resize(std::wcslen(text.c_str()));
  return text;
}

}  // namespace

std::wstring LoadBuiltInStringFrom(HMODULE module, UINT number) {
  if (auto branding = ResourceBytes(module, L"BRANDING", number); branding && branding->size() <= kMaxBrandingBytes)
    return TextOfUtf16Bytes(*branding);
  // With no buffer, LoadStringW hands out the resource text itself, so a
  // text too long for the table's limit can be told from a short one.
  const wchar_t* text = nullptr;
  int n = ::LoadStringW(module, number, reinterpret_cast<wchar_t*>(&text), 0);
  if (n <= 0 || text == nullptr || static_cast<size_t>(n) > kMaxStringTableChars) return {};
  std::wstring result(text, static_cast<size_t>(n));
  result.resize(std::wcslen(result.c_str()));
  return result;
}

std::wstring LoadBuiltInString(UINT number) { return LoadBuiltInStringFrom(::GetModuleHandleW(nullptr), number); }

std::optional<std::string> LoadBuiltInStringUtf8(UINT number) {
  return LoadBuiltInStringUtf8From(::GetModuleHandleW(nullptr), number);
}

std::optional<std::string> LoadBuiltInStringUtf8From(HMODULE module, UINT number) {
  std::wstring text = LoadBuiltInStringFrom(module, number);
  if (text.empty()) return std::nullopt;
  auto utf8 = WideToUtf8(text);
  if (!utf8 || utf8->empty() || utf8->size() > kMaxLinkBytes) return std::nullopt;
  return utf8;
}

PayloadPin LoadLinkPinFrom(HMODULE module, UINT linkNumber) {
  const unsigned number = PinNumberOfLink(linkNumber);
  if (number == 0) return {};
  return ParsePayloadPin(LoadBuiltInStringFrom(module, number));
}

PayloadPin LoadLinkPin(UINT linkNumber) { return LoadLinkPinFrom(::GetModuleHandleW(nullptr), linkNumber); }

std::wstring LoadLicenceTextFrom(HMODULE module) {
  if (auto branding = ResourceBytes(module, L"BRANDING", kStrLicence)) {
    if (branding->size() > kMaxLicenceBytes) return {};
    return TextOfUtf16Bytes(*branding);
  }
  auto eula = ResourceBytes(module, L"EULA", kStrLicence);
  if (!eula) return {};
  // The document ends with a zero byte; take the text before it.
  std::string_view rtf = *eula;
  if (size_t zero = rtf.find('\0'); zero != std::string_view::npos) rtf = rtf.substr(0, zero);
  auto text = Utf8ToWide(rtf);
  if (!text || (text->size() + 1) * sizeof(wchar_t) > kMaxLicenceBytes) return {};
  return *text;
}

std::wstring LoadLicenceText() { return LoadLicenceTextFrom(::GetModuleHandleW(nullptr)); }

}  // namespace kestrel
