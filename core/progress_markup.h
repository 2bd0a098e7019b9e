// The status-text language of the task list. A task reports its state only
// by rewriting the text of its status cell; the list's painter parses the
// text afresh on every paint. Parsing never fails: whatever is not a
// well-formed directive is plain text or an empty cell. Every producer of
// a directive writes it with the writers at the end of this file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

enum class MarkupForm {
  kIcon,       // "#ICON:<handle>..."      one 16x16 icon centred in the cell
  kProgress,   // "#Progress:<done> <total>...[@@caption]"
  kStruckOut,  // "##<text>"               struck-out light grey text
  kColour,     // "#COLOR:GREEN|RED|YELLOW" a filled box, no text
  kPlain,      // anything else            the list draws the text itself
};

enum class MarkupColour { kGreen, kRed, kYellow };

struct StatusMarkup {
  MarkupForm form = MarkupForm::kPlain;

  // kIcon: the handle value the producer wrote (pointer-sized on the
  // producer's side); 0 when missing or unreadable, which draws nothing.
  int64_t iconHandle = 0;

  // kProgress: the two numbers as unsigned 64-bit values, done already
  // limited to total. total 0 draws nothing.
  uint64_t done = 0;
  uint64_t total = 0;
  // Everything after the first "@@" of the whole text; none without "@@".
  std::optional<std::wstring> caption;

  // kStruckOut: the text after "##". kPlain: the whole text.
  std::wstring text;
  // kPlain: the text contains "..." (drawn green unless selected).
  bool hasEllipsis = false;

  // kColour.
  MarkupColour colour = MarkupColour::kGreen;
};

StatusMarkup ParseStatusMarkup(std::wstring_view text);

// The progress label is formatted into a buffer of this many characters,
// terminator included; longer labels are cut to fit.
constexpr size_t kProgressLabelBuffer = 200;

// "%5.2f%% (%s)" with a caption, "%5.2f%%" without, of done * 100.0 / total
// in double precision. total must not be 0.
std::wstring ProgressLabel(uint64_t done, uint64_t total, const std::optional<std::wstring>& caption);

// Width of the filled part of a bar barWidth pixels wide: barWidth * done /
// total in double precision, truncated toward zero. 0 when total is 0.
int ProgressFillWidth(int barWidth, uint64_t done, uint64_t total);

// "#Progress:<done> <total>@@<caption>", the numbers in decimal (a
// download of unknown length writes total -1).
std::wstring ProgressMarkup(int64_t done, int64_t total, std::wstring_view caption);

// "#ICON:<handle>#@@<tail>": handle is the icon's handle value as a
// pointer-sized decimal of the producing process.
std::wstring IconMarkup(int64_t handle, std::wstring_view tail);

}  // namespace kestrel
