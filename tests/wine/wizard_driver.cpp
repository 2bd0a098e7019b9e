// Drives the installer's wizard from outside, for scripts that capture its
// pages: press a wizard button, tick a check box of the active page, or
// wait until the stage indicator shows a title.
//   wizard_driver press <id> | check <id> | stage <title>
// Exit code 0 when done, 1 when the wizard or the state did not appear.
#include <windows.h>
#include <prsht.h>

#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kCaption[] = L"Marrowfield Installation";
constexpr int kStageId = 100;

std::wstring Text(HWND window) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Up to 30 seconds, checking every 50 ms.
template <typename Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 600; ++i) {
    if (condition()) return true;
    ::Sleep(50);
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::wstring verb = argv[1];
  HWND wizard = nullptr;
  if (!WaitFor([&] { return (wizard = ::FindWindowW(nullptr, kCaption)) != nullptr; })) return 1;
  if (verb == L"press") {
    const int id = _wtoi(argv[2]);
    HWND button = ::GetDlgItem(wizard, id);
    if (!WaitFor([&] { return ::IsWindowEnabled(button) && ::IsWindowVisible(button); })) return 1;
    ::PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return 0;
  }
  if (verb == L"check") {
    HWND page = reinterpret_cast<HWND>(::SendMessageW(wizard, PSM_GETCURRENTPAGEHWND, 0, 0));
    ::SendMessageW(::GetDlgItem(page, _wtoi(argv[2])), BM_SETCHECK, BST_CHECKED, 0);
    return 0;
  }
  if (verb == L"stage") {
    const std::wstring title = argv[2];
    return WaitFor([&] { return Text(::GetDlgItem(wizard, kStageId)) == title; }) ? 0 : 1;
  }
  return 2;
}
