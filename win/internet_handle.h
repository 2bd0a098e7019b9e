// RAII owner for WinHTTP handles (sessions, connections, requests).
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "win/handle.h"

namespace win {

struct InternetHandleTraits {
  using type = HINTERNET;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::WinHttpCloseHandle(h); }
};
using UniqueInternet = Unique<InternetHandleTraits>;

}  // namespace win
