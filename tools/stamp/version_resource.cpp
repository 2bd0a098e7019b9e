#include "version_resource.h"

#include <utility>

namespace stamp {

std::optional<std::array<uint16_t, 4>> ParseVersionNumbers(const std::wstring& text) {
  std::array<uint16_t, 4> numbers{};
  size_t part = 0;
  size_t i = 0;
  while (true) {
    if (part == numbers.size()) return std::nullopt;
    uint32_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++digits) {
      value = value * 10 + static_cast<uint32_t>(text[i] - L'0');
      if (value > 0xFFFF) return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    numbers[part++] = static_cast<uint16_t>(value);
    if (i == text.size()) return numbers;
    if (text[i] != L'.') return std::nullopt;
    ++i;
  }
}

namespace {

// Each node: wLength, wValueLength, wType, its key with a zero, padding to
// 32 bits, its value, then its children, each starting on 32 bits.
// wLength covers the node and its children.
class BlockWriter {
 public:
  size_t Begin(const std::wstring& key, uint16_t valueLength, uint16_t type) {
    Align();
    const size_t start = bytes_.size();
    Word(0);
    Word(valueLength);
    Word(type);
    Text(key);
    Align();
    return start;
  }
  void End(size_t start) {
    const size_t length = bytes_.size() - start;
    bytes_[start] = static_cast<uint8_t>(length & 0xFF);
    bytes_[start + 1] = static_cast<uint8_t>(length >> 8);
  }
  void Word(uint16_t w) {
    bytes_.push_back(static_cast<uint8_t>(w & 0xFF));
    bytes_.push_back(static_cast<uint8_t>(w >> 8));
  }
  void Dword(uint32_t d) {
    Word(static_cast<uint16_t>(d & 0xFFFF));
    Word(static_cast<uint16_t>(d >> 16));
  }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<uint16_t>(c));
    Word(0);
  }
  void Align() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

constexpr uint16_t kBinary = 0;
constexpr uint16_t kText = 1;

void StringValue(BlockWriter& w, const std::wstring& name, const std::wstring& value) {
  // A string's value length counts its UTF-16 units with the terminator.
  const size_t start = w.Begin(name, static_cast<uint16_t>(value.size() + 1), kText);
  w.Text(value);
  w.End(start);
}

}  // namespace

std::vector<uint8_t> BuildVersionResource(const VersionFields& fields) {
  const std::array<uint16_t, 4> n = ParseVersionNumbers(fields.version).value_or(std::array<uint16_t, 4>{});
  const uint32_t ms = (static_cast<uint32_t>(n[0]) << 16) | n[1];
  const uint32_t ls = (static_cast<uint32_t>(n[2]) << 16) | n[3];

  BlockWriter w;
  const size_t root = w.Begin(L"VS_VERSION_INFO", 13 * 4, kBinary);
  w.Dword(0xFEEF04BD);  // signature
  w.Dword(0x00010000);  // structure version 1.0
  w.Dword(ms);          // file version
  w.Dword(ls);
  w.Dword(ms);  // product version
  w.Dword(ls);
  w.Dword(0x3F);     // VS_FFI_FILEFLAGSMASK
  w.Dword(0);        // flags
  w.Dword(0x40004);  // VOS_NT_WINDOWS32
  w.Dword(1);        // VFT_APP
  w.Dword(0);        // subtype
  w.Dword(0);        // date
  w.Dword(0);

  const size_t info = w.Begin(L"StringFileInfo", 0, kText);
  const size_t table = w.Begin(L"040904b0", 0, kText);
  StringValue(w, L"CompanyName", fields.company);
  StringValue(w, L"FileDescription", fields.productName + L" Setup");
  StringValue(w, L"FileVersion", fields.version);
  StringValue(w, L"InternalName", L"KestrelSetup");
  StringValue(w, L"OriginalFilename", L"KestrelSetup.exe");
  StringValue(w, L"ProductName", fields.productName);
  StringValue(w, L"ProductVersion", fields.version);
  w.End(table);
  w.End(info);

  const size_t vars = w.Begin(L"VarFileInfo", 0, kText);
  const size_t translation = w.Begin(L"Translation", 4, kBinary);
  w.Word(0x0409);  // US English
  w.Word(1200);    // UTF-16
  w.End(translation);
  w.End(vars);
  w.End(root);
  return w.Take();
}

}  // namespace stamp
