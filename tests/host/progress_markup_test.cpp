#include "core/progress_markup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

using kestrel::MarkupColour;
using kestrel::MarkupForm;
using kestrel::ParseStatusMarkup;
using kestrel::ProgressFillWidth;
using kestrel::ProgressLabel;
using kestrel::StatusMarkup;

constexpr uint64_t kMax = UINT64_MAX;

struct Case {
  const wchar_t* text;
  MarkupForm form;
  int64_t icon = 0;
  uint64_t done = 0;
  uint64_t total = 0;
  const wchar_t* caption = nullptr;  // null: no caption at all
  const wchar_t* shown = L"";        // struck-out or plain text
  bool ellipsis = false;
  MarkupColour colour = MarkupColour::kGreen;
  const wchar_t* label = L"";  // progress label; empty when nothing is drawn
};

std::wstring Describe(const wchar_t* text) {
  std::wstring s(text);
  return s.size() > 60 ? s.substr(0, 60) + L"..." : s;
}

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out += (c < 128) ? static_cast<char>(c) : '?';
  return out;
}

// Every form and every malformed text, as the painter sees them.
TEST(ProgressMarkup, FormsAndMalformedTexts) {
  const Case cases[] = {
      // Icon directive: the number only; the tail is never shown.
      {L"#ICON:1234#@@Done", MarkupForm::kIcon, 1234},
      {L"#ICON:1234#@@Failed", MarkupForm::kIcon, 1234},
      {L"#icon:  77", MarkupForm::kIcon, 77},
      {L"#ICON:+12abc", MarkupForm::kIcon, 12},
      {L"#ICON:140737488355328#@@Done", MarkupForm::kIcon, INT64_C(140737488355328)},
      {L"#ICON:-5", MarkupForm::kIcon, -5},
      {L"#ICON:0#@@Done", MarkupForm::kIcon, 0},
      {L"#ICON:", MarkupForm::kIcon, 0},
      {L"#ICON:#@@Done", MarkupForm::kIcon, 0},
      {L"#ICON:- 5", MarkupForm::kIcon, 0},
      {L"#ICON 1234", MarkupForm::kPlain, 0, 0, 0, nullptr, L"#ICON 1234"},
      {L"#ICON", MarkupForm::kPlain, 0, 0, 0, nullptr, L"#ICON"},

      // Progress directive.
      {L"#Progress:50 100", MarkupForm::kProgress, 0, 50, 100, nullptr, L"", false, MarkupColour::kGreen, L"50.00%"},
      {L"#progress:50 100", MarkupForm::kProgress, 0, 50, 100, nullptr, L"", false, MarkupColour::kGreen, L"50.00%"},
      {L"#PROGRESS:50 100", MarkupForm::kProgress, 0, 50, 100, nullptr, L"", false, MarkupColour::kGreen, L"50.00%"},
      {L"#Progress:50 100@@Installing", MarkupForm::kProgress, 0, 50, 100, L"Installing", L"", false,
       MarkupColour::kGreen, L"50.00% (Installing)"},
      {L"#Progress:45 200@@Installing", MarkupForm::kProgress, 0, 45, 200, L"Installing", L"", false,
       MarkupColour::kGreen, L"22.50% (Installing)"},
      {L"#Progress:200 200", MarkupForm::kProgress, 0, 200, 200, nullptr, L"", false, MarkupColour::kGreen,
       L"100.00%"},
      {L"#Progress:0 200", MarkupForm::kProgress, 0, 0, 200, nullptr, L"", false, MarkupColour::kGreen, L" 0.00%"},
      {L"#Progress:0 100@@x", MarkupForm::kProgress, 0, 0, 100, L"x", L"", false, MarkupColour::kGreen,
       L" 0.00% (x)"},
      {L"#Progress:1 3", MarkupForm::kProgress, 0, 1, 3, nullptr, L"", false, MarkupColour::kGreen, L"33.33%"},
      {L"#Progress:2 3", MarkupForm::kProgress, 0, 2, 3, nullptr, L"", false, MarkupColour::kGreen, L"66.67%"},
      {L"#Progress:150 100", MarkupForm::kProgress, 0, 100, 100, nullptr, L"", false, MarkupColour::kGreen,
       L"100.00%"},
      // Negative numbers are read as their unsigned 64-bit value.
      {L"#Progress:-1 100", MarkupForm::kProgress, 0, 100, 100, nullptr, L"", false, MarkupColour::kGreen,
       L"100.00%"},
      {L"#Progress:1 -1", MarkupForm::kProgress, 0, 1, kMax, nullptr, L"", false, MarkupColour::kGreen, L" 0.00%"},
      {L"#Progress:-1 -1", MarkupForm::kProgress, 0, kMax, kMax, nullptr, L"", false, MarkupColour::kGreen,
       L"100.00%"},
      {L"#Progress:18446744073709551615 18446744073709551615", MarkupForm::kProgress, 0, kMax, kMax, nullptr, L"",
       false, MarkupColour::kGreen, L"100.00%"},
      // Past 64 bits the digits wrap: 2^64 + 5 reads as 5.
      {L"#Progress:18446744073709551621 10", MarkupForm::kProgress, 0, 5, 10, nullptr, L"", false,
       MarkupColour::kGreen, L"50.00%"},
      {L"#Progress:5368709120 10737418240@@Download:5.0 GB of 10.0 GB", MarkupForm::kProgress, 0, 5368709120u,
       10737418240u, L"Download:5.0 GB of 10.0 GB", L"", false, MarkupColour::kGreen,
       L"50.00% (Download:5.0 GB of 10.0 GB)"},
      // White space: skipped before each number, any run or none between.
      {L"#Progress:  7 \t\r\n 14", MarkupForm::kProgress, 0, 7, 14, nullptr, L"", false, MarkupColour::kGreen,
       L"50.00%"},
      {L"#Progress:+3 +4", MarkupForm::kProgress, 0, 3, 4, nullptr, L"", false, MarkupColour::kGreen, L"75.00%"},
      // Anything may follow the numbers; the caption starts after the first
      // "@@" of the whole text.
      {L"#Progress:1 4 tail@@a@@b", MarkupForm::kProgress, 0, 1, 4, L"a@@b", L"", false, MarkupColour::kGreen,
       L"25.00% (a@@b)"},
      {L"#Progress:1 4@@@", MarkupForm::kProgress, 0, 1, 4, L"@", L"", false, MarkupColour::kGreen, L"25.00% (@)"},
      {L"#Progress:50 100@@", MarkupForm::kProgress, 0, 50, 100, L"", L"", false, MarkupColour::kGreen,
       L"50.00% ()"},
      // Nothing is drawn without a readable total.
      {L"#Progress:5", MarkupForm::kProgress, 0, 0, 0},
      {L"#Progress:5 0", MarkupForm::kProgress, 0, 0, 0},
      {L"#Progress:5 0@@Installing", MarkupForm::kProgress, 0, 0, 0, L"Installing"},
      {L"#Progress:", MarkupForm::kProgress, 0, 0, 0},
      {L"#Progress:@@5 10", MarkupForm::kProgress, 0, 0, 0, L"5 10"},
      {L"#Progress:x 100", MarkupForm::kProgress, 0, 0, 0},
      {L"#Progress:5 x", MarkupForm::kProgress, 0, 0, 0},
      {L"#Progress:- 5 10", MarkupForm::kProgress, 0, 0, 0},
      {L"#Progress:5,10", MarkupForm::kProgress, 0, 0, 0},
      {L"#Progres:5 10", MarkupForm::kPlain, 0, 0, 0, nullptr, L"#Progres:5 10"},

      // Struck-out directive: everything after the first two characters.
      {L"##Skipped", MarkupForm::kStruckOut, 0, 0, 0, nullptr, L"Skipped"},
      {L"##", MarkupForm::kStruckOut, 0, 0, 0, nullptr, L""},
      {L"###Not needed...", MarkupForm::kStruckOut, 0, 0, 0, nullptr, L"#Not needed..."},
      {L"##COLOR:RED", MarkupForm::kStruckOut, 0, 0, 0, nullptr, L"COLOR:RED"},

      // Colour directive: the three whole texts only, in any letter case.
      {L"#COLOR:GREEN", MarkupForm::kColour, 0, 0, 0, nullptr, L"", false, MarkupColour::kGreen},
      {L"#COLOR:green", MarkupForm::kColour, 0, 0, 0, nullptr, L"", false, MarkupColour::kGreen},
      {L"#COLOR:RED", MarkupForm::kColour, 0, 0, 0, nullptr, L"", false, MarkupColour::kRed},
      {L"#color:Yellow", MarkupForm::kColour, 0, 0, 0, nullptr, L"", false, MarkupColour::kYellow},
      {L"#COLOR:BLUE", MarkupForm::kPlain, 0, 0, 0, nullptr, L"#COLOR:BLUE"},
      {L"#COLOR:GREEN ", MarkupForm::kPlain, 0, 0, 0, nullptr, L"#COLOR:GREEN "},
      {L"#COLOR:REDDISH", MarkupForm::kPlain, 0, 0, 0, nullptr, L"#COLOR:REDDISH"},
      {L"#COLOR:", MarkupForm::kPlain, 0, 0, 0, nullptr, L"#COLOR:"},

      // Plain text, green when it holds "..." anywhere.
      {L"", MarkupForm::kPlain},
      {L"Processing...", MarkupForm::kPlain, 0, 0, 0, nullptr, L"Processing...", true},
      {L"...", MarkupForm::kPlain, 0, 0, 0, nullptr, L"...", true},
      {L"a...b", MarkupForm::kPlain, 0, 0, 0, nullptr, L"a...b", true},
      {L"Wait..", MarkupForm::kPlain, 0, 0, 0, nullptr, L"Wait..", false},
      {L"Failed to open service", MarkupForm::kPlain, 0, 0, 0, nullptr, L"Failed to open service"},
      {L"#", MarkupForm::kPlain, 0, 0, 0, nullptr, L"#"},
      {L" #ICON:5", MarkupForm::kPlain, 0, 0, 0, nullptr, L" #ICON:5"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(Describe(c.text)));
    const StatusMarkup m = ParseStatusMarkup(c.text);
    ASSERT_EQ(m.form, c.form);
    switch (c.form) {
      case MarkupForm::kIcon:
        EXPECT_EQ(m.iconHandle, c.icon);
        break;
      case MarkupForm::kProgress:
        EXPECT_EQ(m.done, c.done);
        EXPECT_EQ(m.total, c.total);
        if (c.caption == nullptr) {
          EXPECT_FALSE(m.caption.has_value());
        } else {
          ASSERT_TRUE(m.caption.has_value());
          EXPECT_EQ(*m.caption, c.caption);
        }
        EXPECT_EQ(m.total == 0 ? std::wstring() : ProgressLabel(m.done, m.total, m.caption), c.label);
        break;
      case MarkupForm::kStruckOut:
        EXPECT_EQ(m.text, c.shown);
        break;
      case MarkupForm::kColour:
        EXPECT_EQ(m.colour, c.colour);
        break;
      case MarkupForm::kPlain:
        EXPECT_EQ(m.text, c.shown);
        EXPECT_EQ(m.hasEllipsis, c.ellipsis);
        break;
    }
  }
}

TEST(ProgressMarkup, LongCaptionsAreCutToTheLabelBuffer) {
  const size_t limit = kestrel::kProgressLabelBuffer - 1;
  const std::wstring prefix = L"50.00% (";

  // A caption that just fits keeps its closing parenthesis.
  std::wstring fits(limit - prefix.size() - 1, L'c');
  EXPECT_EQ(ProgressLabel(1, 2, fits), prefix + fits + L")");

  // Longer captions are cut at the buffer's size.
  for (size_t length : {limit - prefix.size(), size_t{500}, size_t{70000}}) {
    std::wstring caption(length, L'c');
    StatusMarkup m = ParseStatusMarkup(L"#Progress:1 2@@" + caption);
    ASSERT_TRUE(m.caption.has_value());
    EXPECT_EQ(m.caption->size(), length) << "the caption itself is kept whole";
    std::wstring label = ProgressLabel(m.done, m.total, m.caption);
    EXPECT_EQ(label.size(), limit) << length;
    EXPECT_EQ(label, (prefix + caption).substr(0, limit)) << length;
  }

  // The cut never leaves the first half of a surrogate pair behind.
  std::wstring caption(limit - prefix.size() - 1, L'c');
  caption += static_cast<wchar_t>(0xD83D);
  caption += static_cast<wchar_t>(0xDE00);
  std::wstring label = ProgressLabel(1, 2, caption);
  EXPECT_EQ(label, prefix + caption.substr(0, caption.size() - 2));
}

TEST(ProgressMarkup, FillWidth) {
  struct {
    int barWidth;
    uint64_t done, total;
    int width;
  } const cases[] = {
      {172, 50, 100, 86},   {172, 0, 100, 0},     {172, 100, 100, 172}, {100, 1, 3, 33},
      {100, 2, 3, 66},      {10, 99, 100, 9},     {0, 50, 100, 0},      {-4, 50, 100, -2},
      {-4, 1, 3, -1},       {172, 5, 0, 0},       {172, 150, 100, 172}, {1000, kMax, kMax, 1000},
      {1000, kMax - 1, kMax, 1000},  // both are 2^64 as doubles
      {1000, 1, kMax, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressFillWidth(c.barWidth, c.done, c.total), c.width)
        << c.barWidth << " " << c.done << "/" << c.total;
  }
}

}  // namespace
