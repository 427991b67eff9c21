// The pop-up window of an open combo: it paints the items, follows the
// mouse with the hot item and holds the mouse capture, so that a click
// anywhere else closes it.
#pragma once

#include <windows.h>

namespace kxui {

class Combo;

class ComboDropList {
 public:
  explicit ComboDropList(Combo& owner);
  ~ComboDropList();
  ComboDropList(const ComboDropList&) = delete;
  ComboDropList& operator=(const ComboDropList&) = delete;

  bool Open(const RECT& screenRect);
  HWND GetWindow() const { return window_; }
  int HotIndex() const { return hot_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  int ItemAt(POINT point) const;
  void Paint(HDC dc);

  Combo& owner_;
  HWND window_ = nullptr;
  int hot_ = -1;
  bool closing_ = false;
};

}  // namespace kxui
