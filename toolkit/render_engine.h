// Drawing primitives shared by the controls: colour fills and borders with
// alpha, nine-grid pictures and plain text.
#pragma once

#include <windows.h>

#include <string>

#include "toolkit/attribute_values.h"
#include "toolkit/control.h"

namespace kxui {

class PaintManager;

COLORREF ToColorRef(Argb color);

void FillColor(const PaintContext& context, const RECT& rect, Argb color);
void DrawBorder(const PaintContext& context, const RECT& rect, int size, Argb color);

// Draws the picture over controlRect: dest (relative to the control) picks
// a part of it, corner gives the nine-grid margins that keep their size
// while the middle stretches. False when the picture is unavailable.
bool DrawImageDescription(const PaintContext& context, PaintManager& manager, const RECT& controlRect,
                          const ImageDescription& image);

// Plain text with DrawText format flags; the colour's alpha is not used.
void DrawPlainText(const PaintContext& context, PaintManager& manager, const RECT& rect, const std::wstring& text,
                   Argb color, int fontId, UINT format);

}  // namespace kxui
