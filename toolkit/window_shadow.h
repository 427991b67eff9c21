// The soft drop shadow of a captionless window: a click-through layered
// window kept just behind it, following its position, size and visibility.
#pragma once

#include <windows.h>

#include "toolkit/layout_parser.h"

namespace kxui {

class WindowShadow {
 public:
  WindowShadow() = default;
  ~WindowShadow();
  WindowShadow(const WindowShadow&) = delete;
  WindowShadow& operator=(const WindowShadow&) = delete;

  bool Create(HWND target, const ShadowSettings& settings);
  // Re-reads the target's rectangle and visibility.
  void Follow();
  void Destroy();
  HWND GetWindow() const { return window_; }

 private:
  void Draw(int width, int height);

  HWND window_ = nullptr;
  HWND target_ = nullptr;
  ShadowSettings settings_;
  SIZE drawnSize_ = {};
};

}  // namespace kxui
