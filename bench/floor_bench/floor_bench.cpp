// The platform's floor for the installer's heavy steps: bare Win32 and
// WinHTTP programs that do only what the step cannot do without, so a
// benchmark can show each figure beside what the platform itself costs.
//   floor_bench.exe download URL DESTINATION
//       one GET into a file: WinHTTP with 64 KiB reads, WriteFile, nothing
//       else (no status, no list, no resume).
//   floor_bench.exe create SOURCE DESTINATION
//       the folders and files of the tree SOURCE again under DESTINATION,
//       with the same bytes: the bytes are read first (untimed), then only
//       CreateDirectoryW, CreateFileW, WriteFile and CloseHandle are timed.
//   floor_bench.exe patch SOURCE TARGET all|moves
//       the file-system calls of a patch over an installed copy: the folder
//       listing, CreateDirectoryW for each folder, per file "all" (the
//       attributes cleared, the move, a delete of the moved source) or
//       "moves" (the move alone), and the emptied folders removed.
// Prints "result=1 seconds=S" (and what was done).
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

int Download(const wchar_t* url, const wchar_t* destination) {
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256] = {}, path[2048] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 2048;
  if (!::WinHttpCrackUrl(url, 0, 0, &parts)) return 2;
  const double start = Now();
  HINTERNET session = ::WinHttpOpen(L"floor", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
  HINTERNET connection = session ? ::WinHttpConnect(session, host, parts.nPort, 0) : nullptr;
  HINTERNET request = connection ? ::WinHttpOpenRequest(connection, L"GET", path, nullptr, nullptr, nullptr,
                                                        parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)
                                 : nullptr;
  HANDLE file = ::CreateFileW(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = request && file != INVALID_HANDLE_VALUE && ::WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) &&
            ::WinHttpReceiveResponse(request, nullptr);
  std::unique_ptr<char[]> buffer(new char[65536]);
  unsigned long long bytes = 0;
  while (ok) {
    DWORD n = 0, written = 0;
    if (!::WinHttpReadData(request, buffer.get(), 65536, &n)) ok = false;
    if (!ok || n == 0) break;
    if (!::WriteFile(file, buffer.get(), n, &written, nullptr) || written != n) ok = false;
    bytes += n;
  }
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  for (HINTERNET h : {request, connection, session})
    if (h) ::WinHttpCloseHandle(h);
  std::printf("result=%d seconds=%.3f bytes=%llu\n", ok ? 1 : 0, Now() - start, bytes);
  return ok ? 0 : 1;
}

// A tree read into memory: folders first in walk order, files with bytes.
struct Entry {
  std::wstring relative;
  bool folder;
  std::string bytes;
};

bool ReadTree(const std::wstring& root, const std::wstring& relative, std::vector<Entry>& out) {
  WIN32_FIND_DATAW data;
  const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out.push_back({child, true, {}});
      ok = ReadTree(root, child, out) && ok;
      continue;
    }
    Entry entry{child, false, {}};
    HANDLE in = ::CreateFileW((root + L"\\" + child).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    entry.bytes.resize(data.nFileSizeLow);
    DWORD got = 0;
    ok = ::ReadFile(in, entry.bytes.data(), data.nFileSizeLow, &got, nullptr) && got == data.nFileSizeLow && ok;
    ::CloseHandle(in);
    out.push_back(std::move(entry));
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return ok;
}

int Create(const wchar_t* source, const wchar_t* destination) {
  std::vector<Entry> tree;
  if (!ReadTree(source, L"", tree)) return 1;
  const std::wstring root = destination;
  const double start = Now();
  bool ok = true;
  size_t files = 0;
  for (const Entry& entry : tree) {
    const std::wstring path = root + L"\\" + entry.relative;
    if (entry.folder) {
      ok = ::CreateDirectoryW(path.c_str(), nullptr) && ok;
      continue;
    }
    HANDLE out = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ok = ::WriteFile(out, entry.bytes.data(), static_cast<DWORD>(entry.bytes.size()), &written, nullptr) && ok;
    ok = ::CloseHandle(out) && ok;
    ++files;
  }
  std::printf("result=%d seconds=%.3f files=%zu\n", ok ? 1 : 0, Now() - start, files);
  return ok ? 0 : 1;
}

bool PatchFolder(const std::wstring& source, const std::wstring& target, bool all, size_t& files) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((source + L"\\*.*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return ::RemoveDirectoryW(source.c_str()), true;
  bool ok = true;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring from = source + L"\\" + name, to = target + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ::CreateDirectoryW(to.c_str(), nullptr);
      ok = PatchFolder(from, to, all, files) && ok;
      continue;
    }
    if (all) ::SetFileAttributesW(to.c_str(), 0);
    ok = ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) && ok;
    if (all) ::DeleteFileW(from.c_str());
    ++files;
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  ::RemoveDirectoryW(source.c_str());
  return ok;
}

int Patch(const wchar_t* source, const wchar_t* target, bool all) {
  size_t files = 0;
  const double start = Now();
  const bool ok = PatchFolder(source, target, all, files);
  std::printf("result=%d seconds=%.3f files=%zu\n", ok ? 1 : 0, Now() - start, files);
  return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"download") == 0) return Download(argv[2], argv[3]);
  if (argc == 4 && std::wcscmp(argv[1], L"create") == 0) return Create(argv[2], argv[3]);
  if (argc == 5 && std::wcscmp(argv[1], L"patch") == 0) {
    if (std::wcscmp(argv[4], L"all") != 0 && std::wcscmp(argv[4], L"moves") != 0) return 2;
    return Patch(argv[2], argv[3], std::wcscmp(argv[4], L"all") == 0);
  }
  std::fprintf(stderr,
               "usage: floor_bench download URL DESTINATION\n"
               "       floor_bench create SOURCE DESTINATION\n"
               "       floor_bench patch SOURCE TARGET all|moves\n");
  return 2;
}
