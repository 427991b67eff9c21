#include "toolkit/markup_renderer.h"

#include <gtest/gtest.h>

namespace {

std::wstring Describe(const std::vector<kxui::MarkupRun>& runs) {
  std::wstring out;
  for (const auto& run : runs) {
    wchar_t color[16];
    swprintf(color, 16, L"%06x", run.color & 0xFFFFFF);
    out += L"[" + run.text + L"|f" + std::to_wstring(run.font) + L"|" + color + (run.underline ? L"|u" : L"") +
           (run.link ? L"|l" : L"") + L"]";
  }
  return out;
}

TEST(Markup, NestedTagsAndTextShownAsTyped) {
  struct Case {
    const wchar_t* text;
    const wchar_t* runs;
  };
  const Case cases[] = {
      {L"plain", L"[plain|f1|000000]"},
      {L"{f 4}big{/f} small", L"[big|f4|000000][ small|f1|000000]"},
      {L"{f 9}{u}{l}{c #7a7b7f}Privacy{/c}{/l}{/u}{/f}", L"[Privacy|f9|7a7b7f|u|l]"},
      {L"a{c #ff0000}b{/c}c", L"[a|f1|000000][b|f1|ff0000][c|f1|000000]"},
      // Faults stay visible as typed instead of swallowing text.
      {L"{x}odd{/x}", L"[{x}odd{/x}|f1|000000]"},
      {L"{/u}stray", L"[{/u}stray|f1|000000]"},
      {L"{c 7a7b7f}no hash{/c}", L"[{c 7a7b7f}no hash{/c}|f1|000000]"},
      {L"{u}unclosed", L"[unclosed|f1|000000|u]"},
      {L"{f 2}{c #010203}x{/f}{/c}", L"[x{/f}|f2|010203]"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.runs, Describe(kxui::ParseMarkup(c.text, 1, 0xFF000000))) << c.text;
}

}  // namespace
