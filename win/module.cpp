#include "win/module.h"

namespace win {

std::wstring ModulePath(HMODULE module) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    // Cut to fit: grow and ask again.
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring FileNamePart(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ExecutableBaseName() {
  std::wstring name = FileNamePart(ModulePath());
  size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

std::wstring ExecutableFolder() {
  std::wstring path = ModulePath();
  size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring SystemFolder() {
  UINT n = ::GetSystemDirectoryW(nullptr, 0);
  if (n == 0) return {};
  std::wstring buffer(n, L'\0');
  n = ::GetSystemDirectoryW(buffer.data(), n);
  buffer.resize(n);
  return buffer;
}

std::wstring EnvironmentVariable(const wchar_t* name) {
  DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring buffer(n, L'\0');
  n = ::GetEnvironmentVariableW(name, buffer.data(), n);
  buffer.resize(n);
  return buffer;
}

std::wstring LongPath(const std::wstring& path) {
  if (path.size() <= 200 || path.rfind(L"\\\\?\\", 0) == 0) return path;
  if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  return path;  // relative: the prefix would change its meaning
}

}  // namespace win
