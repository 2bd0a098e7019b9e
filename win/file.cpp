#include "win/file.h"

#include <windows.h>

#include "win/handle.h"
#include "win/module.h"

namespace win {

bool ReadWholeFile(const std::wstring& path, std::string& bytes, uint64_t maxBytes) {
  bytes.clear();
  UniqueHandle file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    if (bytes.size() + got > maxBytes) return false;
    bytes.append(buffer, got);
  }
}

}  // namespace win
