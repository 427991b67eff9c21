// A skinned window for the tests: records what reaches its hooks, and
// helpers to feed it a skin archive and the mouse.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/skin_resources.h"
#include "toolkit/window_base.h"

class TestWindow : public kxui::WindowBase {
 public:
  explicit TestWindow(std::wstring layout, std::wstring className = L"kxui_test_window")
      : layout_(std::move(layout)), className_(std::move(className)) {}

  HWND CreateShown(HWND owner = nullptr) {
    HWND window = Create(owner, L"test", WS_OVERLAPPEDWINDOW, 0, 100, 100, 320, 240);
    if (window) ShowWindow(true, true);
    return window;
  }

  // The notifications so far, as "type:sender".
  std::vector<std::wstring> Seen() const {
    std::vector<std::wstring> seen;
    for (const auto& n : notifications) seen.push_back(n.type + L":" + (n.sender ? n.sender->GetName() : L"?"));
    return seen;
  }

  std::vector<kxui::Notification> notifications;
  std::function<kxui::Control*(const std::wstring&)> factory;
  std::function<bool(WPARAM)> keyFilter;
  std::function<void(TestWindow&, kxui::Notification&)> onNotify;
  std::vector<UINT> customMessages;
  std::vector<WPARAM> sysCommands;
  int hitTests = 0;
  int finalMessages = 0;
  bool initRan = false;

 protected:
  std::wstring GetWindowClassName() const override { return className_; }
  std::wstring GetSkinFile() override { return layout_; }
  kxui::Control* CreateControl(const std::wstring& kind) override { return factory ? factory(kind) : nullptr; }
  void InitWindow() override { initRan = true; }
  void Notify(kxui::Notification& n) override {
    notifications.push_back(n);
    if (onNotify) onNotify(*this, n);
    WindowBase::Notify(n);
  }
  LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override {
    if (message >= WM_USER) customMessages.push_back(message);
    return WindowBase::HandleCustomMessage(message, wParam, lParam, handled);
  }
  bool FilterKeyDown(WPARAM key) override { return keyFilter && keyFilter(key); }
  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam, bool& handled) override {
    sysCommands.push_back(wParam & 0xFFF0);
    return WindowBase::OnSysCommand(wParam, lParam, handled);
  }
  LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam, bool& handled) override {
    ++hitTests;
    return WindowBase::OnNcHitTest(wParam, lParam, handled);
  }
  void OnFinalMessage(HWND) override { ++finalMessages; }

 private:
  std::wstring layout_;
  std::wstring className_;
};

// Makes the archive the skin of every window created afterwards; the bytes
// stay alive until the next call, as a locked resource would.
inline void UseArchive(const std::string& bytes) {
  static std::string held;
  held = bytes;
  kxui::SkinResources::SetMode(kxui::ResourceMode::kZipInMemory);
  kxui::SkinResources::SetZip(held.data(), held.size());
}

inline POINT Centre(kxui::Control* control) {
  const RECT& r = control->GetPos();
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

inline void MouseAt(HWND window, UINT message, POINT point) {
  ::SendMessageW(window, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(point.x, point.y));
}

inline void Click(HWND window, POINT point) {
  MouseAt(window, WM_MOUSEMOVE, point);
  MouseAt(window, WM_LBUTTONDOWN, point);
  MouseAt(window, WM_LBUTTONUP, point);
}

// Dispatches messages until done() holds or the queue stays empty for
// limitMs (a safety net for a failing test, never a wait for success).
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 5000) {
  MSG message;
  const UINT_PTR guard = ::SetTimer(nullptr, 0, limitMs, nullptr);
  bool expired = false;
  while (!done() && !expired && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == guard) expired = true;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::KillTimer(nullptr, guard);
  return done();
}

inline unsigned Rgb(unsigned argb) { return argb & 0xFFFFFF; }
