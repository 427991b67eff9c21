// The base of every skinned window: registers its class, creates the
// window without caption and frame, builds the content from its layout file
// (skin folder + layout file, read through SkinResources), and gives the
// derived window its hooks. Notifications arrive in Notify; "click" also in
// OnClick.
#pragma once

#include <windows.h>

#include <string>

#include "toolkit/control.h"
#include "toolkit/layout_parser.h"
#include "toolkit/paint_manager.h"
#include "toolkit/window_shadow.h"

namespace kxui {

class WindowBase : public NotificationListener {
 public:
  WindowBase();
  ~WindowBase() override;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;

  // Creates the window (owned by parent when given); the layout then sets
  // its size. Returns null when the window cannot be created.
  HWND Create(HWND parent, const std::wstring& title, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int width = CW_USEDEFAULT, int height = CW_USEDEFAULT);
  HWND GetHWND() const { return window_; }

  void ShowWindow(bool show = true, bool activate = true);
  // Centres on the owner when it is shown, else on the monitor's work area.
  void CenterWindow();
  void ResizeClient(int width, int height);
  // Runs a message loop until the window closes; returns the number passed
  // to Close (0 when it closed some other way).
  UINT ShowModal();
  // Closes the window (posted, so it is safe inside a notification).
  void Close(UINT result = IDOK);

  PaintManager& GetPaintManager() { return manager_; }
  Control* FindControl(const std::wstring& name) const { return manager_.FindControl(name); }
  SIZE MeasureText(const std::wstring& text, int fontId) const { return manager_.MeasureText(text, fontId); }
  const WindowLayout& GetLayout() const { return layout_; }
  HWND GetShadowWindow() const { return shadow_.GetWindow(); }

  void Notify(Notification& notification) override;

 protected:
  virtual std::wstring GetWindowClassName() const = 0;
  virtual std::wstring GetSkinFile() = 0;
  virtual std::wstring GetSkinFolder() { return std::wstring(); }
  // Controls of kinds the toolkit does not know; null leaves them out.
  virtual Control* CreateControl(const std::wstring& kind) { return nullptr; }
  // Runs once the layout is built, before the window is first shown.
  virtual void InitWindow() {}
  virtual void OnClick(Notification& notification) {}

  // The window's message procedure. Overrides call the base for what they
  // do not handle themselves.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Every message the base does not handle itself passes here first,
  // WM_USER-range and registered messages included.
  virtual LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  // Key-down filter, also for the native edit fields; true swallows the key.
  virtual bool FilterKeyDown(WPARAM key) { return false; }
  virtual LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam, bool& handled);
  // The last message the window gets; the object may delete itself here.
  virtual void OnFinalMessage(HWND window) {}

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool RegisterWindowClass();
  void OnCreate();
  void PresentLayered();

  HWND window_ = nullptr;
  PaintManager manager_;
  WindowLayout layout_;
  WindowShadow shadow_;
  bool modal_ = false;
  UINT modalResult_ = 0;
};

}  // namespace kxui
