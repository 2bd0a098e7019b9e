// KestrelStamp: writes BRANDING and EULA resources into a copy of
// KestrelSetup.exe, for partner builds and for tests that point the
// installer's links at other servers.
//
//   KestrelStamp.exe <exe> [options...]
//     --string N=TEXT               BRANDING N: TEXT as UTF-16LE with its terminator
//     --string-unterminated N=TEXT  BRANDING N without the terminating zero
//     --remove N                    delete BRANDING N
//     --eula FILE                   EULA 144: the RTF file followed by a zero byte
//     --licence FILE                BRANDING 144: the UTF-8 RTF file as UTF-16LE text
//     --pin N=FILE                  the pin of download link N: the SHA-256 of FILE
//     --pin N=sha256:HEX            the pin of download link N as given (64 hex digits)
//     --no-pin N                    link N without a pin
//
// N of a pin is the link's own number (129, 130, 134, 135, 137, 143, 145);
// the pin goes into that link's pin string. A link that has a pin is moved
// (--string, --string-unterminated, --remove) only with --pin N or
// --no-pin N in the same call: a pin left for the old payload would fail
// every download of the new one.
//
// Stamping the product name (138), version (139) or publisher (140) also
// rewrites the file properties (the version resource) to match; a version
// must be one to four numbers of at most 65535. A signed executable is
// refused: any change breaks its signature, so stamp first and sign last.
//
// The executable is changed in place; stamp a copy.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <map>
#include <set>
#include <iterator>
#include <string>
#include <vector>

#include "core/builtin_strings.h"
#include "core/payload_pin.h"
#include "core/text_convert.h"
#include "res/resource_ids.h"
#include "tools/stamp/version_resource.h"
#include "win/handle.h"
#include "win/sha256.h"

namespace {

constexpr WORD kLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

struct Update {
  const wchar_t* type;  // a name, or a number (MAKEINTRESOURCEW)
  UINT number;
  std::vector<char> data;
  bool remove;
};

const wchar_t* const kVersionType = MAKEINTRESOURCEW(16);  // RT_VERSION

bool IsBranding(const Update& u) { return !IS_INTRESOURCE(u.type) && std::wcscmp(u.type, L"BRANDING") == 0; }

const wchar_t* TypeName(const Update& u) { return IS_INTRESOURCE(u.type) ? L"VERSION" : u.type; }

bool ReadFileBytes(const std::wstring& path, std::vector<char>& out) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = ::GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20);
  if (ok) {
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = out.empty() || (::ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) &&
                         got == out.size());
  }
  ::CloseHandle(file);
  return ok;
}

std::vector<char> Utf16Bytes(const std::wstring& text, bool terminated) {
  size_t units = text.size() + (terminated ? 1 : 0);
  std::vector<char> bytes(units * sizeof(wchar_t));
  std::memcpy(bytes.data(), text.c_str(), bytes.size());
  return bytes;
}

bool ParseNumbered(const std::wstring& arg, UINT& number, std::wstring& text) {
  size_t eq = arg.find(L'=');
  if (eq == 0 || eq == std::wstring::npos) return false;
  wchar_t* end = nullptr;
  unsigned long n = std::wcstoul(arg.c_str(), &end, 10);
  if (end != arg.c_str() + eq || n == 0 || n > 65535) return false;
  number = static_cast<UINT>(n);
  text = arg.substr(eq + 1);
  return true;
}

int Usage() {
  std::fputws(L"usage: KestrelStamp <exe> [--string N=TEXT] [--string-unterminated N=TEXT] [--remove N]\n"
              L"                          [--eula FILE] [--licence FILE]\n"
              L"                          [--pin N=FILE] [--pin N=sha256:HEX] [--no-pin N]\n",
              stderr);
  return 2;
}

bool StartsWithPinPrefix(const std::wstring& text) {
  return text.size() >= 7 && _wcsnicmp(text.c_str(), L"sha256:", 7) == 0;
}

// The pin text for --pin N=VALUE: a pin as given, or the hash of a file.
bool PinOfValue(const std::wstring& value, std::wstring& pinText) {
  if (StartsWithPinPrefix(value)) {
    const kestrel::PayloadPin pin = kestrel::ParsePayloadPin(value);
    if (!pin.pinned()) {
      std::fwprintf(stderr, L"%ls is not a pin: \"sha256:\" and 64 hexadecimal digits\n", value.c_str());
      return false;
    }
    pinText = kestrel::PinText(pin.digest);
    return true;
  }
  const auto digest = win::HashFile(value);
  if (!digest) {
    std::fwprintf(stderr, L"cannot read %ls: %lu\n", value.c_str(), ::GetLastError());
    return false;
  }
  pinText = kestrel::PinText(*digest);
  return true;
}

// The links of the executable that have a pin now.
struct PinsNow {
  std::set<UINT> pinnedLinks;
  bool ok = false;
};

PinsNow ReadPins(const wchar_t* exe) {
  PinsNow now;
  win::UniqueModule module(::LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return now;
  for (UINT link : {kStrPackageLink, kStrDotNetLink, kStrSql64Link, kStrSql86Link, kStrSql2012Link, kStrUpgradeLink,
                    kStrSql2012x86Link}) {
    if (kestrel::LoadLinkPinFrom(module.get(), link).kind != kestrel::PayloadPin::Kind::kNone)
      now.pinnedLinks.insert(link);
  }
  now.ok = true;
  return now;
}

enum class Signature { kNone, kPresent, kUnreadable };

// Whether the executable carries an Authenticode signature: a certificate
// table in the security directory of its optional header.
Signature SignatureOf(const wchar_t* exe) {
  std::vector<char> bytes;
  if (!ReadFileBytes(exe, bytes)) return Signature::kUnreadable;
  IMAGE_DOS_HEADER dos;
  if (bytes.size() < sizeof dos) return Signature::kUnreadable;
  std::memcpy(&dos, bytes.data(), sizeof dos);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return Signature::kUnreadable;
  const size_t nt = static_cast<size_t>(dos.e_lfanew);
  const size_t optional = nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
  DWORD signature = 0;
  WORD magic = 0;
  if (bytes.size() < optional + sizeof magic) return Signature::kUnreadable;
  std::memcpy(&signature, bytes.data() + nt, sizeof signature);
  std::memcpy(&magic, bytes.data() + optional, sizeof magic);
  if (signature != IMAGE_NT_SIGNATURE) return Signature::kUnreadable;
  IMAGE_DATA_DIRECTORY security{};
  if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    IMAGE_OPTIONAL_HEADER32 header;
    if (bytes.size() < optional + sizeof header) return Signature::kUnreadable;
    std::memcpy(&header, bytes.data() + optional, sizeof header);
    if (header.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY)
      security = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
  } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    IMAGE_OPTIONAL_HEADER64 header;
    if (bytes.size() < optional + sizeof header) return Signature::kUnreadable;
    std::memcpy(&header, bytes.data() + optional, sizeof header);
    if (header.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY)
      security = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
  } else {
    return Signature::kUnreadable;
  }
  return security.VirtualAddress != 0 || security.Size != 0 ? Signature::kPresent : Signature::kNone;
}

// The string table's text of a number, as left when its BRANDING entry
// is removed.
std::wstring StringTableText(HMODULE module, UINT number) {
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(module, number, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 && text != nullptr ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

// What a string reads after this call's updates: its last update, else
// what the executable has now.
std::wstring TextAfter(const std::vector<Update>& updates, HMODULE module, UINT number) {
  for (auto u = updates.rbegin(); u != updates.rend(); ++u) {
    if (u->number != number || !IsBranding(*u)) continue;
    // An oversized entry counts as absent, as for the installer.
    if (u->remove || u->data.size() > kestrel::kMaxBrandingBytes) return StringTableText(module, number);
    std::wstring text(u->data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), u->data.data(), text.size() * sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
  }
  return kestrel::LoadBuiltInStringFrom(module, number);
}

bool TouchesVersionFields(const std::vector<Update>& updates) {
  for (const Update& u : updates) {
    if (IsBranding(u) && (u.number == kStrDisplayName || u.number == kStrVersion || u.number == kStrPublisher))
      return true;
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  switch (SignatureOf(argv[1])) {
    case Signature::kNone:
      break;
    case Signature::kPresent:
      std::fwprintf(stderr,
                    L"%ls is signed: stamping would break its signature. Stamp the unsigned executable, "
                    L"then sign it.\n",
                    argv[1]);
      return 2;
    case Signature::kUnreadable:
      std::fwprintf(stderr, L"%ls is not a Windows executable that can be read\n", argv[1]);
      return 1;
  }
  std::vector<Update> updates;
  std::set<UINT> movedLinks;             // links whose text this call changes
  std::map<UINT, std::wstring> newPins;  // link -> pin text; empty: --no-pin
  for (int i = 2; i < argc; ++i) {
    std::wstring option = argv[i];
    if (i + 1 >= argc) return Usage();
    std::wstring value = argv[++i];
    UINT number = 0;
    std::wstring text;
    if (option == L"--string" || option == L"--string-unterminated") {
      if (!ParseNumbered(value, number, text)) return Usage();
      if (kestrel::PinNumberOfLink(number) != 0) movedLinks.insert(number);
      updates.push_back({L"BRANDING", number, Utf16Bytes(text, option == L"--string"), false});
    } else if (option == L"--remove") {
      number = static_cast<UINT>(std::wcstoul(value.c_str(), nullptr, 10));
      if (number == 0) return Usage();
      if (kestrel::PinNumberOfLink(number) != 0) movedLinks.insert(number);
      updates.push_back({L"BRANDING", number, {}, true});
    } else if (option == L"--pin" || option == L"--no-pin") {
      std::wstring pinText;
      if (option == L"--pin") {
        if (!ParseNumbered(value, number, text)) return Usage();
      } else {
        number = static_cast<UINT>(std::wcstoul(value.c_str(), nullptr, 10));
      }
      if (kestrel::PinNumberOfLink(number) == 0) {
        std::fwprintf(stderr, L"%u is not a download link (129, 130, 134, 135, 137, 143, 145)\n", number);
        return 2;
      }
      if (newPins.count(number) != 0) {
        std::fwprintf(stderr, L"link %u is given more than one pin\n", number);
        return 2;
      }
      if (option == L"--pin" && !PinOfValue(text, pinText)) return 1;
      newPins[number] = pinText;
    } else if (option == L"--eula") {
      std::vector<char> bytes;
      if (!ReadFileBytes(value, bytes)) {
        std::fwprintf(stderr, L"cannot read %ls\n", value.c_str());
        return 1;
      }
      bytes.push_back('\0');
      updates.push_back({L"EULA", kStrLicence, std::move(bytes), false});
    } else if (option == L"--licence") {
      std::vector<char> bytes;
      if (!ReadFileBytes(value, bytes)) {
        std::fwprintf(stderr, L"cannot read %ls\n", value.c_str());
        return 1;
      }
      auto wide = kestrel::Utf8ToWide(std::string_view(bytes.data(), bytes.size()));
      if (!wide) {
        std::fwprintf(stderr, L"%ls is not UTF-8\n", value.c_str());
        return 1;
      }
      updates.push_back({L"BRANDING", kStrLicence, Utf16Bytes(*wide, true), false});
    } else {
      return Usage();
    }
  }

  if (!movedLinks.empty() || !newPins.empty()) {
    const PinsNow now = ReadPins(argv[1]);
    if (!now.ok) {
      std::fwprintf(stderr, L"cannot read the resources of %ls: %lu\n", argv[1], ::GetLastError());
      return 1;
    }
    for (UINT link : movedLinks) {
      if (now.pinnedLinks.count(link) != 0 && newPins.count(link) == 0) {
        std::fwprintf(stderr, L"link %u has a pin: give --pin %u=... or --no-pin %u with the new link\n", link, link,
                      link);
        return 2;
      }
    }
    for (const auto& [link, pinText] : newPins) {
      const UINT number = kestrel::PinNumberOfLink(link);
      if (!pinText.empty()) {
        updates.push_back({L"BRANDING", number, Utf16Bytes(pinText, true), false});
      } else if (now.pinnedLinks.count(link) != 0) {
        // An empty entry, not a removed one: it also overrides a pin of
        // the string table.
        updates.push_back({L"BRANDING", number, Utf16Bytes(L"", true), false});
      }
    }
  }

  // The file properties follow the strings they show.
  if (TouchesVersionFields(updates)) {
    win::UniqueModule module(
        ::LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
      std::fwprintf(stderr, L"cannot read the resources of %ls: %lu\n", argv[1], ::GetLastError());
      return 1;
    }
    stamp::VersionFields fields{TextAfter(updates, module.get(), kStrVersion),
                                TextAfter(updates, module.get(), kStrDisplayName),
                                TextAfter(updates, module.get(), kStrPublisher)};
    if (!stamp::ParseVersionNumbers(fields.version)) {
      std::fwprintf(stderr,
                    L"product version \"%ls\" cannot be a file version: give one to four numbers of at most "
                    L"65535, such as 6.10.4129\n",
                    fields.version.c_str());
      return 2;
    }
    std::vector<uint8_t> block = stamp::BuildVersionResource(fields);
    if (block.size() > 0xFFFF) {
      std::fwprintf(stderr, L"the product name and publisher are too long for the file properties\n");
      return 2;
    }
    updates.push_back({kVersionType, VS_VERSION_INFO, std::vector<char>(block.begin(), block.end()), false});
  }

  HANDLE target = ::BeginUpdateResourceW(argv[1], FALSE);
  if (target == nullptr) {
    std::fwprintf(stderr, L"cannot open %ls for resource update: %lu\n", argv[1], ::GetLastError());
    return 1;
  }
  for (const Update& u : updates) {
    BOOL ok = ::UpdateResourceW(target, u.type, MAKEINTRESOURCEW(u.number), kLanguage,
                                u.remove ? nullptr : const_cast<char*>(u.data.data()),
                                u.remove ? 0 : static_cast<DWORD>(u.data.size()));
    if (!ok) {
      std::fwprintf(stderr, L"cannot write %ls %u: %lu\n", TypeName(u), u.number, ::GetLastError());
      ::EndUpdateResourceW(target, TRUE);
      return 1;
    }
  }
  if (!::EndUpdateResourceW(target, FALSE)) {
    std::fwprintf(stderr, L"cannot save %ls: %lu\n", argv[1], ::GetLastError());
    return 1;
  }
  return 0;
}
