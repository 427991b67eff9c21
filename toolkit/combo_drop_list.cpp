#include "toolkit/combo_drop_list.h"

#include <windowsx.h>

#include "toolkit/combo.h"
#include "toolkit/gdi_objects.h"
#include "toolkit/paint_manager.h"
#include "toolkit/render_engine.h"
#include "toolkit/skin_resources.h"

namespace kxui {
namespace {

const wchar_t kDropListClass[] = L"kxui_combo_drop";
constexpr COLORREF kFrameColor = RGB(0xC8, 0xC8, 0xC8);

bool RegisterDropListClass(WNDPROC procedure) {
  static const bool registered = [procedure] {
    WNDCLASSEXW windowClass = {sizeof windowClass};
    windowClass.style = CS_DROPSHADOW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = SkinResources::Instance();
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kDropListClass;
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  UniqueGdiObject brush(::CreateSolidBrush(color));
  ::FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
}

}  // namespace

ComboDropList::ComboDropList(Combo& owner) : owner_(owner) {}

ComboDropList::~ComboDropList() {
  closing_ = true;
  if (window_) ::DestroyWindow(window_);
}

bool ComboDropList::Open(const RECT& screenRect) {
  if (!RegisterDropListClass(&ComboDropList::WindowProc)) return false;
  HWND ownerWindow = owner_.GetManager() ? owner_.GetManager()->GetWindow() : nullptr;
  window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kDropListClass, nullptr, WS_POPUP, screenRect.left,
                              screenRect.top, screenRect.right - screenRect.left, screenRect.bottom - screenRect.top,
                              ownerWindow, nullptr, SkinResources::Instance(), this);
  if (!window_) return false;
  ::ShowWindow(window_, SW_SHOWNOACTIVATE);
  ::SetCapture(window_);
  return true;
}

LRESULT CALLBACK ComboDropList::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ComboDropList*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->window_ != window) return ::DefWindowProcW(window, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

int ComboDropList::ItemAt(POINT point) const {
  RECT client = {};
  ::GetClientRect(window_, &client);
  if (!::PtInRect(&client, point)) return -1;
  int top = 1;
  for (int i = 0; i < owner_.GetCount(); ++i) {
    const int height = owner_.GetItemAt(i)->GetFixedHeight();
    if (point.y >= top && point.y < top + height) return i;
    top += height;
  }
  return -1;
}

void ComboDropList::Paint(HDC dc) {
  RECT client = {};
  ::GetClientRect(window_, &client);
  FillSolid(dc, client, kFrameColor);
  PaintManager* manager = owner_.GetManager();
  int top = 1;
  ::SetBkMode(dc, TRANSPARENT);
  SelectedObject font(dc, manager ? manager->GetFont(owner_.itemFont_ >= 0 ? owner_.itemFont_ : owner_.GetFont())
                                  : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
  for (int i = 0; i < owner_.GetCount(); ++i) {
    ListItem* item = owner_.GetItemAt(i);
    const RECT row = {1, top, client.right - 1, top + item->GetFixedHeight()};
    Argb background = owner_.itemBkColor_;
    Argb text = owner_.itemTextColor_;
    if (i == owner_.GetCurSel()) {
      background = owner_.itemSelectedBkColor_;
      text = owner_.itemSelectedTextColor_;
    } else if (i == hot_) {
      background = owner_.itemHotBkColor_;
      text = owner_.itemHotTextColor_;
    }
    FillSolid(dc, row, ToColorRef(background));
    RECT textRect = {row.left + owner_.itemTextPadding_.left, row.top + owner_.itemTextPadding_.top,
                     row.right - owner_.itemTextPadding_.right, row.bottom - owner_.itemTextPadding_.bottom};
    ::SetTextColor(dc, ToColorRef(text));
    const std::wstring label = item->GetText();
    ::DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &textRect,
                DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
    top += item->GetFixedHeight();
  }
}

LRESULT ComboDropList::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window_, &paint);
      Paint(dc);
      ::EndPaint(window_, &paint);
      return 0;
    }
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_MOUSEMOVE: {
      const int hot = ItemAt(point);
      if (hot != hot_) {
        hot_ = hot;
        ::InvalidateRect(window_, nullptr, FALSE);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      const int index = ItemAt(point);
      if (index < 0) return 0;
      // Closing deletes this object: only locals are used afterwards.
      Combo& owner = owner_;
      owner.CloseDropList();
      owner.SelectItem(index, true);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      if (ItemAt(point) < 0) owner_.CloseDropList();
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) owner_.CloseDropList();
      return 0;
    case WM_CAPTURECHANGED:
      if (!closing_ && reinterpret_cast<HWND>(lParam) != window_) owner_.CloseDropList();
      return 0;
    default:
      return ::DefWindowProcW(window_, message, wParam, lParam);
  }
}

}  // namespace kxui
