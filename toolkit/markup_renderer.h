// The inline text markup of labels and buttons whose showhtml is true:
// "{f 2}…{/f}" font by id, "{c #7a7b7f}…{/c}" colour, "{u}…{/u}" underline
// and "{l}…{/l}" a link (drawn underlined). Tags nest and close in reverse
// order; a tag the renderer does not know, or a closing tag without its
// opening one, is drawn as typed. The text is laid out on one line.
#pragma once

#include <string>
#include <vector>

#include "toolkit/attribute_values.h"
#include "toolkit/control.h"

namespace kxui {

class PaintManager;

struct MarkupRun {
  std::wstring text;
  int font = -1;
  Argb color = 0;
  bool underline = false;
  bool link = false;
};

std::vector<MarkupRun> ParseMarkup(const std::wstring& text, int defaultFont, Argb defaultColor);

SIZE MeasureMarkup(PaintManager& manager, const std::wstring& text, int defaultFont);

void DrawMarkup(const PaintContext& context, PaintManager& manager, const RECT& rect, const std::wstring& text,
                int defaultFont, Argb defaultColor, HorizontalAlign align);

}  // namespace kxui
