#include "toolkit/render_engine.h"

#include "toolkit/gdiplus_include.h"

#include <algorithm>

#include "toolkit/paint_manager.h"

namespace kxui {
namespace {

Gdiplus::Color ToGdiplus(Argb color) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(color)); }

// GDI draws straight into the buffer: pending GDI+ work must land first.
void FlushGraphics(const PaintContext& context) {
  if (context.graphics) context.graphics->Flush(Gdiplus::FlushIntentionSync);
}

void DrawPart(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& bitmap, int dx, int dy, int dw, int dh, int sx, int sy,
              int sw, int sh) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  graphics.DrawImage(&bitmap, Gdiplus::Rect(dx, dy, dw, dh), sx, sy, sw, sh, Gdiplus::UnitPixel);
}

}  // namespace

COLORREF ToColorRef(Argb color) { return RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF); }

void FillColor(const PaintContext& context, const RECT& rect, Argb color) {
  if (!context.graphics || (color >> 24) == 0) return;
  Gdiplus::SolidBrush brush(ToGdiplus(color));
  context.graphics->FillRectangle(&brush, static_cast<INT>(rect.left), static_cast<INT>(rect.top),
                                  static_cast<INT>(rect.right - rect.left), static_cast<INT>(rect.bottom - rect.top));
}

void DrawBorder(const PaintContext& context, const RECT& rect, int size, Argb color) {
  if (size <= 0) return;
  const int height = rect.bottom - rect.top;
  FillColor(context, RECT{rect.left, rect.top, rect.right, rect.top + size}, color);
  FillColor(context, RECT{rect.left, rect.bottom - size, rect.right, rect.bottom}, color);
  if (height > 2 * size) {
    FillColor(context, RECT{rect.left, rect.top + size, rect.left + size, rect.bottom - size}, color);
    FillColor(context, RECT{rect.right - size, rect.top + size, rect.right, rect.bottom - size}, color);
  }
}

bool DrawImageDescription(const PaintContext& context, PaintManager& manager, const RECT& controlRect,
                          const ImageDescription& image) {
  if (image.empty() || !context.graphics) return false;
  Gdiplus::Bitmap* bitmap = manager.GetImage(image);
  if (!bitmap) return false;
  RECT dest = controlRect;
  if (image.hasDest) {
    dest = RECT{controlRect.left + image.dest.left, controlRect.top + image.dest.top,
                controlRect.left + image.dest.right, controlRect.top + image.dest.bottom};
  }
  RECT source = {0, 0, static_cast<LONG>(bitmap->GetWidth()), static_cast<LONG>(bitmap->GetHeight())};
  if (image.hasSource) source = image.source;
  const int dw = dest.right - dest.left;
  const int dh = dest.bottom - dest.top;
  const int sw = source.right - source.left;
  const int sh = source.bottom - source.top;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return false;

  Gdiplus::Graphics& g = *context.graphics;
  // Nearest-neighbour sampling keeps the stretched middle from blending in
  // pixels of the neighbouring grid cells at its edges.
  g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
  g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  // Margins larger than the picture or the target make no sense: clamp them.
  const int left = std::min<int>(std::min<int>(image.corner.left, sw), dw);
  const int right = std::min<int>(std::min<int>(image.corner.right, sw - left), dw - left);
  const int top = std::min<int>(std::min<int>(image.corner.top, sh), dh);
  const int bottom = std::min<int>(std::min<int>(image.corner.bottom, sh - top), dh - top);
  const int sx = source.left;
  const int sy = source.top;
  const int dx = dest.left;
  const int dy = dest.top;
  const int smw = sw - left - right;
  const int smh = sh - top - bottom;
  const int dmw = dw - left - right;
  const int dmh = dh - top - bottom;
  if (left == 0 && right == 0 && top == 0 && bottom == 0) {
    DrawPart(g, *bitmap, dx, dy, dw, dh, sx, sy, sw, sh);
    return true;
  }
  DrawPart(g, *bitmap, dx, dy, left, top, sx, sy, left, top);
  DrawPart(g, *bitmap, dx + left, dy, dmw, top, sx + left, sy, smw, top);
  DrawPart(g, *bitmap, dx + dw - right, dy, right, top, sx + sw - right, sy, right, top);
  DrawPart(g, *bitmap, dx, dy + top, left, dmh, sx, sy + top, left, smh);
  DrawPart(g, *bitmap, dx + left, dy + top, dmw, dmh, sx + left, sy + top, smw, smh);
  DrawPart(g, *bitmap, dx + dw - right, dy + top, right, dmh, sx + sw - right, sy + top, right, smh);
  DrawPart(g, *bitmap, dx, dy + dh - bottom, left, bottom, sx, sy + sh - bottom, left, bottom);
  DrawPart(g, *bitmap, dx + left, dy + dh - bottom, dmw, bottom, sx + left, sy + sh - bottom, smw, bottom);
  DrawPart(g, *bitmap, dx + dw - right, dy + dh - bottom, right, bottom, sx + sw - right, sy + sh - bottom, right,
           bottom);
  return true;
}

void DrawPlainText(const PaintContext& context, PaintManager& manager, const RECT& rect, const std::wstring& text,
                   Argb color, int fontId, UINT format) {
  if (text.empty()) return;
  FlushGraphics(context);
  SelectedObject font(context.dc, manager.GetFont(fontId));
  ::SetBkMode(context.dc, TRANSPARENT);
  ::SetTextColor(context.dc, ToColorRef(color));
  RECT target = rect;
  ::DrawTextW(context.dc, text.c_str(), static_cast<int>(text.size()), &target, format | DT_NOPREFIX);
}

}  // namespace kxui
