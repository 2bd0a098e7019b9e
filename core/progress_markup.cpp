#include "core/progress_markup.h"

#include <array>
#include <charconv>

#include "core/ascii_text.h"

namespace kestrel {

namespace {

constexpr std::wstring_view kIconPrefix = L"#ICON:";
constexpr std::wstring_view kProgressPrefix = L"#Progress:";
constexpr std::wstring_view kStruckOutPrefix = L"##";
constexpr std::wstring_view kCaptionMark = L"@@";

bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// One signed decimal read the way the runtime's scanf reads "%I64d": white
// space skipped, an optional sign, then digits up to the first non-digit.
// Digits beyond 64 bits wrap as they do there, and a negative number comes
// out as its two's complement. Without a digit nothing is read.
std::optional<uint64_t> ReadDecimal(std::wstring_view text, size_t& pos) {
  size_t i = pos;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  if (i >= text.size() || !IsDigit(text[i])) return std::nullopt;
  uint64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10u + static_cast<uint64_t>(text[i] - L'0');
  pos = i;
  return negative ? 0u - value : value;
}

std::optional<MarkupColour> ColourDirective(std::wstring_view text) {
  if (EqualsNoCase(text, L"#COLOR:GREEN")) return MarkupColour::kGreen;
  if (EqualsNoCase(text, L"#COLOR:RED")) return MarkupColour::kRed;
  if (EqualsNoCase(text, L"#COLOR:YELLOW")) return MarkupColour::kYellow;
  return std::nullopt;
}

}  // namespace

StatusMarkup ParseStatusMarkup(std::wstring_view text) {
  StatusMarkup markup;

  if (StartsWithNoCase(text, kIconPrefix)) {
    markup.form = MarkupForm::kIcon;
    size_t pos = kIconPrefix.size();
    markup.iconHandle = static_cast<int64_t>(ReadDecimal(text, pos).value_or(0));
    return markup;
  }

  if (StartsWithNoCase(text, kProgressPrefix)) {
    markup.form = MarkupForm::kProgress;
    size_t pos = kProgressPrefix.size();
    // A number that cannot be read stops the reading: it and every number
    // after it stay 0.
    if (std::optional<uint64_t> done = ReadDecimal(text, pos)) {
      markup.done = *done;
      markup.total = ReadDecimal(text, pos).value_or(0);
    }
    if (markup.done > markup.total) markup.done = markup.total;
    size_t mark = text.find(kCaptionMark);
    if (mark != std::wstring_view::npos) markup.caption = std::wstring(text.substr(mark + kCaptionMark.size()));
    return markup;
  }

  if (text.substr(0, kStruckOutPrefix.size()) == kStruckOutPrefix) {
    markup.form = MarkupForm::kStruckOut;
    markup.text = std::wstring(text.substr(kStruckOutPrefix.size()));
    return markup;
  }

  if (std::optional<MarkupColour> colour = ColourDirective(text)) {
    markup.form = MarkupForm::kColour;
    markup.colour = *colour;
    return markup;
  }

  markup.form = MarkupForm::kPlain;
  markup.text = std::wstring(text);
  markup.hasEllipsis = text.find(L"...") != std::wstring_view::npos;
  return markup;
}

std::wstring ProgressLabel(uint64_t done, uint64_t total, const std::optional<std::wstring>& caption) {
  if (total == 0) return {};
  const double percent = static_cast<double>(done) * 100.0 / static_cast<double>(total);

  // "%5.2f": at least five characters, right-aligned. done never exceeds
  // total, so the number is at most "100.00", but the buffer does not rely
  // on that.
  std::array<char, 400> digits{};
  std::to_chars_result r = std::to_chars(digits.data(), digits.data() + digits.size(), percent,
                                         std::chars_format::fixed, 2);
  std::wstring label;
  if (r.ec == std::errc()) {
    const size_t n = static_cast<size_t>(r.ptr - digits.data());
    if (n < 5) label.append(5 - n, L' ');
    label.append(digits.data(), r.ptr);
  }
  label += L'%';
  if (caption) {
    label += L" (";
    label += *caption;
    label += L')';
  }

  // The label buffer holds kProgressLabelBuffer characters with the
  // terminator; a longer label is cut, never half a surrogate pair.
  const size_t limit = kProgressLabelBuffer - 1;
  if (label.size() > limit) {
    size_t cut = limit;
    const wchar_t last = label[cut - 1];
    if (last >= 0xD800 && last <= 0xDBFF) --cut;
    label.resize(cut);
  }
  return label;
}

int ProgressFillWidth(int barWidth, uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  // Limiting done keeps the result between 0 and barWidth, so the
  // conversion back to int cannot overflow.
  if (done > total) done = total;
  const double width = static_cast<double>(barWidth) * static_cast<double>(done) / static_cast<double>(total);
  return static_cast<int>(width);
}

std::wstring ProgressMarkup(int64_t done, int64_t total, std::wstring_view caption) {
  std::wstring text(kProgressPrefix);
  text.append(std::to_wstring(done)).append(L" ").append(std::to_wstring(total));
  text.append(kCaptionMark).append(caption);
  return text;
}

std::wstring IconMarkup(int64_t handle, std::wstring_view tail) {
  std::wstring text(kIconPrefix);
  text.append(std::to_wstring(handle)).append(L"#").append(kCaptionMark).append(tail);
  return text;
}

}  // namespace kestrel
