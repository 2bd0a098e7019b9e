#include "win/registry.h"

#include <cstring>

namespace win {

UniqueHkey OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
  UniqueHkey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, access | kView32, key.put()) != ERROR_SUCCESS) return {};
  return key;
}

UniqueHkey CreateKey(HKEY root, const std::wstring& path, REGSAM access) {
  UniqueHkey key;
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | kView32, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
    return {};
  return key;
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
  return SetRaw(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool SetRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  return ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool SetDword(HKEY key, const wchar_t* name, DWORD value) { return SetRaw(key, name, REG_DWORD, &value, sizeof value); }

std::optional<std::wstring> QueryBytes(HKEY key, const wchar_t* name, DWORD maxBytes, DWORD* type) {
  DWORD size = 0;
  DWORD valueType = 0;
  if (::RegQueryValueExW(key, name, nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (size > maxBytes) return std::nullopt;
  // Room for an odd byte and a terminator the data may lack.
  std::wstring buffer(size / sizeof(wchar_t) + 2, L'\0');
  DWORD got = size;
  if (::RegQueryValueExW(key, name, nullptr, &valueType, reinterpret_cast<BYTE*>(buffer.data()), &got) !=
      ERROR_SUCCESS)
    return std::nullopt;
  if (type != nullptr) *type = valueType;
  buffer.resize((got + 1) / sizeof(wchar_t));
  return buffer;
}

std::optional<std::wstring> QueryText(HKEY key, const wchar_t* name, size_t maxChars) {
  // Read generously, then judge the text's length up to its first zero.
  auto bytes = QueryBytes(key, name, static_cast<DWORD>((maxChars + 1) * sizeof(wchar_t) + 64));
  if (!bytes) return std::nullopt;
  std::wstring text(bytes->c_str());
  if (text.size() > maxChars) return std::nullopt;
  return text;
}

int32_t QueryInt32(HKEY key, const wchar_t* name) {
  unsigned char bytes[4] = {};
  DWORD size = sizeof bytes;
  if (::RegQueryValueExW(key, name, nullptr, nullptr, bytes, &size) != ERROR_SUCCESS) return 0;
  uint32_t value = 0;
  for (DWORD i = 0; i < size && i < 4; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return static_cast<int32_t>(value);
}

}  // namespace win
