#include "toolkit/markup_renderer.h"

#include "toolkit/gdiplus_include.h"

#include <algorithm>

#include "toolkit/gdi_objects.h"
#include "toolkit/paint_manager.h"
#include "toolkit/render_engine.h"

namespace kxui {
namespace {

struct StyleFrame {
  wchar_t tag;  // 'f', 'c', 'u' or 'l'
  int font;
  Argb color;
  bool underline;
  bool link;
};

// Recognises one tag at text[at] ("{f 3}", "{/c}", ...); fills the new
// frame for an opening tag. Returns the tag's length, 0 when it is none.
size_t ReadTag(const std::wstring& text, size_t at, bool* closing, wchar_t* tag, std::wstring* argument) {
  const size_t end = text.find(L'}', at);
  if (end == std::wstring::npos) return 0;
  std::wstring body = text.substr(at + 1, end - at - 1);
  *closing = !body.empty() && body[0] == L'/';
  if (*closing) body.erase(0, 1);
  if (body.empty()) return 0;
  *tag = body[0];
  if (*tag != L'f' && *tag != L'c' && *tag != L'u' && *tag != L'l') return 0;
  std::wstring rest = body.substr(1);
  if (!rest.empty() && rest[0] != L' ') return 0;  // "{fx}" is not a font tag
  while (!rest.empty() && rest[0] == L' ') rest.erase(0, 1);
  if (*closing && !rest.empty()) return 0;
  if (!*closing && (*tag == L'f' || *tag == L'c') && rest.empty()) return 0;
  if (!*closing && (*tag == L'u' || *tag == L'l') && !rest.empty()) return 0;
  *argument = rest;
  return end - at + 1;
}

int LineHeight(PaintManager& manager, HDC dc, int font) {
  SelectedObject selected(dc, manager.GetFont(font));
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(dc, &metrics);
  return metrics.tmHeight;
}

}  // namespace

std::vector<MarkupRun> ParseMarkup(const std::wstring& text, int defaultFont, Argb defaultColor) {
  std::vector<MarkupRun> runs;
  std::vector<StyleFrame> stack{{L'\0', defaultFont, defaultColor, false, false}};
  std::wstring pending;
  auto flush = [&] {
    if (pending.empty()) return;
    const StyleFrame& top = stack.back();
    runs.push_back(MarkupRun{pending, top.font, top.color, top.underline, top.link});
    pending.clear();
  };
  size_t at = 0;
  while (at < text.size()) {
    bool closing = false;
    wchar_t tag = 0;
    std::wstring argument;
    const size_t length = text[at] == L'{' ? ReadTag(text, at, &closing, &tag, &argument) : 0;
    if (length == 0) {
      pending += text[at++];
      continue;
    }
    if (closing) {
      if (stack.size() == 1 || stack.back().tag != tag) {
        pending.append(text, at, length);  // unbalanced: shown as typed
      } else {
        flush();
        stack.pop_back();
      }
      at += length;
      continue;
    }
    StyleFrame frame = stack.back();
    frame.tag = tag;
    bool valid = true;
    if (tag == L'f') {
      frame.font = ParseInt(argument, frame.font);
    } else if (tag == L'c') {
      valid = ParseColor(argument, &frame.color);
    } else if (tag == L'u') {
      frame.underline = true;
    } else {
      frame.link = true;
    }
    if (!valid) {
      pending.append(text, at, length);
    } else {
      flush();
      stack.push_back(frame);
    }
    at += length;
  }
  flush();
  return runs;
}

SIZE MeasureMarkup(PaintManager& manager, const std::wstring& text, int defaultFont) {
  SIZE total = {};
  for (const MarkupRun& run : ParseMarkup(text, defaultFont, 0)) {
    const SIZE size = manager.MeasureText(run.text, run.font);
    total.cx += size.cx;
    total.cy = std::max(total.cy, size.cy);
  }
  return total;
}

void DrawMarkup(const PaintContext& context, PaintManager& manager, const RECT& rect, const std::wstring& text,
                int defaultFont, Argb defaultColor, HorizontalAlign align) {
  const std::vector<MarkupRun> runs = ParseMarkup(text, defaultFont, defaultColor);
  if (runs.empty()) return;
  int width = 0;
  int height = 0;
  std::vector<SIZE> sizes;
  for (const MarkupRun& run : runs) {
    sizes.push_back(manager.MeasureText(run.text, run.font));
    width += sizes.back().cx;
    height = std::max<int>(height, LineHeight(manager, context.dc, run.font));
  }
  int x = rect.left;
  if (align == HorizontalAlign::kCenter) x = rect.left + (rect.right - rect.left - width) / 2;
  if (align == HorizontalAlign::kRight) x = rect.right - width;
  const int top = rect.top + (rect.bottom - rect.top - height) / 2;
  for (size_t i = 0; i < runs.size(); ++i) {
    const MarkupRun& run = runs[i];
    // Runs of different sizes share one baseline.
    HDC dc = context.dc;
    TEXTMETRICW metrics = {};
    {
      SelectedObject font(dc, manager.GetFont(run.font));
      ::GetTextMetricsW(dc, &metrics);
    }
    TEXTMETRICW tallest = {};
    int baseline = 0;
    for (const MarkupRun& other : runs) {
      SelectedObject font(dc, manager.GetFont(other.font));
      ::GetTextMetricsW(dc, &tallest);
      baseline = std::max<int>(baseline, tallest.tmAscent);
    }
    const int y = top + baseline - metrics.tmAscent;
    RECT runRect = {x, y, x + sizes[i].cx, y + metrics.tmHeight};
    DrawPlainText(context, manager, runRect, run.text, run.color, run.font, DT_SINGLELINE | DT_LEFT | DT_TOP);
    if (run.underline || run.link) {
      const int lineY = top + baseline + 1;
      FillColor(context, RECT{x, lineY, x + sizes[i].cx, lineY + 1}, 0xFF000000u | run.color);
    }
    x += sizes[i].cx;
  }
}

}  // namespace kxui
