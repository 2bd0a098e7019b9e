#include "core/installer_state.h"

#include "win/registry.h"

namespace kestrel {

bool WriteInstallerValue(const wchar_t* name, const std::wstring& text) {
  win::UniqueHkey key = win::CreateKey(HKEY_LOCAL_MACHINE, kInstallerKeyPath);
  return key && win::SetString(key.get(), name, text);
}

bool ReadLastInstallPath(std::wstring& out) {
  out.clear();
  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, kInstallerKeyPath);
  if (!key) return false;
  auto text = win::QueryText(key.get(), kValueLastInstallPath, kMaxStoredPathChars);
  if (!text || text->empty()) return false;
  out = std::move(*text);
  return true;
}

bool ReadDbServer() {
  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, kInstallerKeyPath);
  return key && win::QueryText(key.get(), kValueDbServer, kMaxStoredPathChars).has_value();
}

void WriteInstallerInt(const wchar_t* name, int32_t value) {
  win::UniqueHkey key = win::CreateKey(HKEY_LOCAL_MACHINE, kInstallerKeyPath);
  if (!key) return;
  const uint32_t u = static_cast<uint32_t>(value);
  const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                  static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
  win::SetRaw(key.get(), name, REG_SZ, bytes, sizeof bytes);
}

int32_t ReadInstallerInt(const wchar_t* name) {
  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, kInstallerKeyPath);
  return key ? win::QueryInt32(key.get(), name) : 0;
}

}  // namespace kestrel
