// Builds a window's content from a layout: the Window element's settings,
// its fonts, and the control tree. Whatever cannot be used (an unknown tag
// or attribute, a malformed value) is logged and skipped.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "toolkit/attribute_values.h"
#include "toolkit/control.h"

namespace kxui {

class PaintManager;

struct ShadowSettings {
  bool show = false;
  Argb color = 0xFF000000;
  int darkness = 0;       // peak opacity of the shadow, 0..255
  POINT position = {};    // offset of the shadow from the window
  int size = 0;           // width of the soft edge
  RECT corner = {};
};

struct WindowLayout {
  SIZE size = {};
  RECT caption = {};
  Argb bkColor = 0xFFFFFFFF;
  bool bkTrans = false;
  ShadowSettings shadow;
  bool layered = false;
  std::wstring layeredImage;
  BYTE opacity = 255;
};

// Creates a control for a kind the toolkit does not know; null: unknown.
using ControlFactory = std::function<Control*(const std::wstring& kind)>;

// A control of a built-in kind, or null.
std::unique_ptr<Control> CreateBuiltInControl(const std::wstring& kind);

// Parses the layout text. Fonts go to the manager; the window settings to
// *window. Returns the root control, or null when the layout has none.
std::unique_ptr<Control> BuildLayout(const std::wstring& text, const std::wstring& fileName, PaintManager& manager,
                                     const ControlFactory& factory, WindowLayout* window);

}  // namespace kxui
