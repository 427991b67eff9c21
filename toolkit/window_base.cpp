#include "toolkit/window_base.h"

#include <windowsx.h>

#include <vector>

#include "foundation/text_convert.h"
#include "toolkit/skin_resources.h"
#include "toolkit/toolkit_log.h"

namespace kxui {
namespace {

std::wstring DecodeLayout(const std::vector<unsigned char>& bytes) {
  size_t start = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) start = 3;
  return Utf8ToWide(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end()));
}

}  // namespace

WindowBase::WindowBase() = default;

WindowBase::~WindowBase() {
  if (window_ && ::IsWindow(window_)) {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
}

bool WindowBase::RegisterWindowClass() {
  const std::wstring className = GetWindowClassName();
  WNDCLASSEXW existing = {sizeof existing};
  if (::GetClassInfoExW(SkinResources::Instance(), className.c_str(), &existing)) return true;
  WNDCLASSEXW windowClass = {sizeof windowClass};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = &WindowBase::WindowProc;
  windowClass.hInstance = SkinResources::Instance();
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = className.c_str();
  if (::RegisterClassExW(&windowClass)) return true;
  KXUI_ERROR("window class %s cannot be registered, err=[%d]", WideToAnsi(className).c_str(),
             static_cast<int>(::GetLastError()));
  return false;
}

HWND WindowBase::Create(HWND parent, const std::wstring& title, DWORD style, DWORD exStyle, int x, int y, int width,
                        int height) {
  if (window_ || !RegisterWindowClass()) return nullptr;
  const HWND created = ::CreateWindowExW(exStyle, GetWindowClassName().c_str(), title.c_str(), style, x, y, width,
                                         height, parent, nullptr, SkinResources::Instance(), this);
  if (!created) {
    KXUI_ERROR("window %s cannot be created, err=[%d]", WideToAnsi(GetWindowClassName()).c_str(),
               static_cast<int>(::GetLastError()));
  }
  return created;
}

LRESULT CALLBACK WindowBase::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<WindowBase*>(create->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<WindowBase*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    const LRESULT result = self->HandleMessage(message, wParam, lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    if (self->modal_) ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);  // wakes the modal loop
    self->OnFinalMessage(window);
    return result;
  }
  return self->HandleMessage(message, wParam, lParam);
}

void WindowBase::OnCreate() {
  // The layout draws the whole window: no caption and no frame.
  const LONG_PTR style = ::GetWindowLongPtrW(window_, GWL_STYLE);
  ::SetWindowLongPtrW(window_, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME));
  ::SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  manager_.Init(window_);
  manager_.AddListener(this);
  manager_.SetKeyFilter([this](WPARAM key) { return FilterKeyDown(key); });
  const std::wstring folder = GetSkinFolder();
  const std::wstring file = GetSkinFile();
  manager_.SetSkinFolder(folder);

  std::vector<unsigned char> bytes;
  std::unique_ptr<Control> root;
  if (SkinResources::ReadFile(folder + file, &bytes)) {
    root = BuildLayout(DecodeLayout(bytes), file, manager_, [this](const std::wstring& kind) { return CreateControl(kind); },
                       &layout_);
  } else {
    KXUI_ERROR("layout %s cannot be read; the window stays empty", WideToAnsi(folder + file).c_str());
  }
  manager_.SetInitialSize(layout_.size);
  manager_.SetCaptionRect(layout_.caption);
  manager_.SetBkColor(layout_.bkColor);
  manager_.SetLayered(layout_.layered);
  manager_.SetOpacity(layout_.opacity);
  if (layout_.layered) {
    ::SetWindowLongPtrW(window_, GWL_EXSTYLE, ::GetWindowLongPtrW(window_, GWL_EXSTYLE) | WS_EX_LAYERED);
  }
  if (layout_.size.cx > 0 && layout_.size.cy > 0) ResizeClient(layout_.size.cx, layout_.size.cy);
  manager_.SetRoot(std::move(root));
  shadow_.Create(window_, layout_.shadow);
  InitWindow();
}

void WindowBase::PresentLayered() {
  if (!window_ || !manager_.IsLayered()) return;
  ::InvalidateRect(window_, nullptr, FALSE);
  ::UpdateWindow(window_);
}

void WindowBase::ShowWindow(bool show, bool activate) {
  if (!window_) return;
  ::ShowWindow(window_, show ? (activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
  if (show) PresentLayered();
}

void WindowBase::CenterWindow() {
  if (!window_) return;
  RECT rect = {};
  ::GetWindowRect(window_, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HWND owner = ::GetWindow(window_, GW_OWNER);
  MONITORINFO monitor = {sizeof monitor};
  ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : window_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT work = monitor.rcWork;
  RECT centre = work;
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &centre);
  int x = centre.left + (centre.right - centre.left - width) / 2;
  int y = centre.top + (centre.bottom - centre.top - height) / 2;
  // Keep the whole window on the monitor even when the owner is near its edge.
  if (x + width > work.right) x = work.right - width;
  if (y + height > work.bottom) y = work.bottom - height;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  ::SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowBase::ResizeClient(int width, int height) {
  if (!window_) return;
  // Without a frame the client area is the whole window.
  ::SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PresentLayered();
}

UINT WindowBase::ShowModal() {
  const HWND window = window_;
  if (!window) return 0;
  const HWND owner = ::GetWindow(window, GW_OWNER);
  modal_ = true;
  modalResult_ = 0;
  ShowWindow(true, true);
  if (owner) ::EnableWindow(owner, FALSE);
  MSG message = {};
  bool quit = false;
  while (::IsWindow(window)) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      quit = got == 0;
      break;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (owner) ::EnableWindow(owner, TRUE);
  modal_ = false;
  // The outer loop must see the quit request too.
  if (quit) ::PostQuitMessage(static_cast<int>(message.wParam));
  return modalResult_;
}

void WindowBase::Close(UINT result) {
  if (window_) ::PostMessageW(window_, WM_CLOSE, result, 0);
}

void WindowBase::Notify(Notification& notification) {
  if (notification.type == L"click") OnClick(notification);
}

LRESULT WindowBase::OnSysCommand(WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowBase::OnNcHitTest(WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ::ScreenToClient(window_, &point);
  RECT client = {};
  ::GetClientRect(window_, &client);
  const RECT& caption = manager_.GetCaptionRect();
  const RECT band = {caption.left, caption.top, caption.right > 0 ? caption.right : client.right, caption.bottom};
  if (::PtInRect(&band, point)) {
    // Controls that take clicks stay clickable inside the caption.
    Control* control = manager_.FindControlAt(point);
    if (!control || !(control->GetInterface(L"Button") || control->GetInterface(L"Edit") ||
                      control->GetInterface(L"Combo")))
      return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT WindowBase::HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT result = 0;
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_CLOSE:
      modalResult_ = static_cast<UINT>(wParam);
      // Enabled again before the window goes, or the system activates some
      // other program's window instead of the owner.
      if (modal_) {
        if (HWND owner = ::GetWindow(window_, GW_OWNER)) ::EnableWindow(owner, TRUE);
      }
      ::DestroyWindow(window_);
      return 0;
    case WM_NCCALCSIZE:
      if (wParam) return 0;
      break;
    case WM_NCACTIVATE:
      if (::IsIconic(window_)) break;
      return TRUE;
    case WM_NCPAINT:
      return 0;
    case WM_NCHITTEST:
      result = OnNcHitTest(wParam, lParam, handled);
      if (handled) return result;
      break;
    case WM_SYSCOMMAND:
      result = OnSysCommand(wParam, lParam, handled);
      if (handled) return result;
      break;
    case WM_KEYDOWN:
      if (FilterKeyDown(wParam)) return 0;
      break;
    case WM_WINDOWPOSCHANGED:
      result = ::DefWindowProcW(window_, message, wParam, lParam);
      shadow_.Follow();
      return result;
    case WM_DESTROY:
      shadow_.Destroy();
      break;
    default:
      break;
  }
  result = HandleCustomMessage(message, wParam, lParam, handled);
  if (handled) return result;
  if (manager_.MessageHandler(message, wParam, lParam, &result)) return result;
  return ::DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace kxui
