#include "toolkit/paint_manager.h"

#include <commctrl.h>
#include "toolkit/gdiplus_include.h"
#include <shlwapi.h>
#include <windowsx.h>

#include <cstring>

#include "foundation/text_convert.h"
#include "toolkit/control.h"
#include "toolkit/skin_resources.h"
#include "toolkit/toolkit_log.h"

namespace kxui {

const wchar_t kNativeOwnerProperty[] = L"kxui.native.owner";

namespace {

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kToolTipOffset = 18;  // below the cursor's hot spot, clear of the arrow

std::unique_ptr<Gdiplus::Bitmap> DecodePng(const std::vector<unsigned char>& bytes) {
  ComPtr<IStream> stream;
  *stream.put() = ::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
  if (!stream) return nullptr;
  std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream.get()));
  if (!decoded || decoded->GetLastStatus() != Gdiplus::Ok) return nullptr;
  // A copy in premultiplied form: it no longer needs the stream and is the
  // form GDI+ blends fastest.
  const UINT width = decoded->GetWidth();
  const UINT height = decoded->GetHeight();
  auto copy = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(width), static_cast<INT>(height),
                                                PixelFormat32bppPARGB);
  if (copy->GetLastStatus() != Gdiplus::Ok) return nullptr;
  Gdiplus::Graphics graphics(copy.get());
  graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
  graphics.DrawImage(decoded.get(), 0, 0, static_cast<INT>(width), static_cast<INT>(height));
  return copy;
}

}  // namespace

PaintManager::PaintManager() { EnsureGdiPlus(); }

PaintManager::~PaintManager() {
  // The controls reach back into the maps while they are destroyed.
  root_.reset();
  if (toolTip_) ::DestroyWindow(toolTip_);
  if (bufferDc_ && bufferPrevious_) ::SelectObject(bufferDc_.get(), bufferPrevious_);
}

void PaintManager::Init(HWND window) { window_ = window; }

void PaintManager::SetRoot(std::unique_ptr<Control> root) {
  root_ = std::move(root);
  if (!root_) return;
  root_->SetManager(this, nullptr);
  root_->Init();
  NeedUpdate();
}

void PaintManager::AddFont(int id, const FontSpec& spec, bool isDefault) {
  LOGFONTW font = {};
  font.lfHeight = -spec.size;  // sizes are character heights in pixels
  font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
  font.lfUnderline = spec.underline ? TRUE : FALSE;
  font.lfItalic = spec.italic ? TRUE : FALSE;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(font.lfFaceName, spec.face.c_str(), LF_FACESIZE - 1);
  UniqueGdiObject handle(::CreateFontIndirectW(&font));
  if (!handle) {
    KXUI_ERROR("font %d [%s] cannot be created", id, WideToAnsi(spec.face).c_str());
    return;
  }
  fonts_[id] = std::move(handle);
  if (isDefault || defaultFont_ < 0) defaultFont_ = id;
}

HFONT PaintManager::GetFont(int id) const {
  auto found = fonts_.find(id);
  if (found == fonts_.end()) found = fonts_.find(defaultFont_);
  if (found != fonts_.end()) return static_cast<HFONT>(found->second.get());
  return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

SIZE PaintManager::MeasureText(const std::wstring& text, int fontId) const {
  SIZE size = {};
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) return size;
  SelectedObject font(dc.get(), GetFont(fontId));
  ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

Gdiplus::Bitmap* PaintManager::GetImage(const ImageDescription& image) {
  const std::wstring key = image.Key();
  auto cached = images_.find(key);
  if (cached != images_.end()) return cached->second.get();
  std::vector<unsigned char> bytes;
  bool read = image.resourceId != 0 ? SkinResources::ReadResource(image.resourceType, image.resourceId, &bytes)
                                    : SkinResources::ReadFile(skinFolder_ + image.file, &bytes);
  std::unique_ptr<Gdiplus::Bitmap> bitmap;
  if (read && (bytes.size() < sizeof kPngSignature || std::memcmp(bytes.data(), kPngSignature, sizeof kPngSignature))) {
    KXUI_ERROR("image [%s] is not a PNG", WideToAnsi(key).c_str());
    read = false;
  }
  if (read) {
    bitmap = DecodePng(bytes);
    if (!bitmap) KXUI_ERROR("image [%s] cannot be decoded", WideToAnsi(key).c_str());
  }
  // A failure is remembered too, so that it is logged once and not retried on every paint.
  Gdiplus::Bitmap* result = bitmap.get();
  images_[key] = std::move(bitmap);
  return result;
}

Control* PaintManager::FindControl(const std::wstring& name) const {
  auto found = names_.find(name);
  return found == names_.end() ? nullptr : found->second;
}

void PaintManager::RegisterName(Control* control) {
  auto inserted = names_.emplace(control->GetName(), control);
  if (!inserted.second && inserted.first->second != control) {
    KXUI_WARN("control name [%s] is used twice; the first one keeps it", WideToAnsi(control->GetName()).c_str());
  }
}

void PaintManager::AddListener(NotificationListener* listener) { listeners_.push_back(listener); }

void PaintManager::SendNotify(Control* sender, const std::wstring& type, WPARAM wParam, LPARAM lParam) {
  Notification notification{type, sender, wParam, lParam};
  const std::vector<NotificationListener*> listeners = listeners_;
  for (NotificationListener* listener : listeners) listener->Notify(notification);
}

bool PaintManager::SetTimer(Control* control, UINT id, UINT elapseMs) {
  if (!window_) return false;
  UINT_PTR key = 0;
  for (const auto& timer : timers_) {
    if (timer.second.control == control && timer.second.id == id) key = timer.first;
  }
  if (key == 0) key = nextTimer_++;
  if (!::SetTimer(window_, key, elapseMs, nullptr)) return false;
  timers_[key] = TimerRecord{control, id};
  return true;
}

void PaintManager::KillTimer(Control* control, UINT id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.control == control && it->second.id == id) {
      if (window_) ::KillTimer(window_, it->first);
      timers_.erase(it);
      return;
    }
  }
}

void PaintManager::SetFocus(Control* control) {
  if (focus_ == control) return;
  Control* previous = focus_;
  focus_ = control;
  if (previous) previous->DoEvent(InputEvent{InputKind::kKillFocus});
  if (focus_) focus_->DoEvent(InputEvent{InputKind::kSetFocus});
}

void PaintManager::ReapControl(Control* control) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->second.control == control) {
      if (window_) ::KillTimer(window_, it->first);
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
  if (focus_ == control) focus_ = nullptr;
  if (hot_ == control) hot_ = nullptr;
  if (captured_ == control) captured_ = nullptr;
  if (toolTipControl_ == control) HideToolTip();
  auto named = names_.find(control->GetName());
  if (named != names_.end() && named->second == control) names_.erase(named);
}

void PaintManager::NeedUpdate() {
  needUpdate_ = true;
  if (window_) ::InvalidateRect(window_, nullptr, FALSE);
}

void PaintManager::UpdateLayout() {
  needUpdate_ = false;
  if (!root_ || !window_) return;
  RECT client = {};
  ::GetClientRect(window_, &client);
  root_->SetPos(client);
}

void PaintManager::Invalidate(const RECT& rect) {
  if (window_) ::InvalidateRect(window_, &rect, FALSE);
}

void PaintManager::EnsureBuffer(int width, int height) {
  if (bufferDc_ && bufferSize_.cx == width && bufferSize_.cy == height) return;
  if (bufferDc_ && bufferPrevious_) ::SelectObject(bufferDc_.get(), bufferPrevious_);
  bufferPrevious_ = nullptr;
  bufferBitmap_.reset();
  bufferBits_ = nullptr;
  bufferSize_ = SIZE{};
  if (!bufferDc_) bufferDc_.reset(::CreateCompatibleDC(nullptr));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  bufferBitmap_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bufferBits_, nullptr, 0));
  if (!bufferDc_ || !bufferBitmap_) {
    KXUI_ERROR("back buffer of %dx%d cannot be created", width, height);
    bufferBits_ = nullptr;
    return;
  }
  bufferPrevious_ = ::SelectObject(bufferDc_.get(), bufferBitmap_.get());
  bufferSize_ = SIZE{width, height};
}

void PaintManager::Render() {
  if (!window_) return;
  RECT client = {};
  ::GetClientRect(window_, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;
  EnsureBuffer(width, height);
  if (!bufferBits_) return;
  if (needUpdate_) UpdateLayout();
  Argb* pixels = static_cast<Argb*>(bufferBits_);
  // The buffer is premultiplied: an opaque background is stored as is; a
  // layered window starts fully transparent and gets its colour blended.
  const Argb clear = layered_ ? 0 : (bkColor_ | 0xFF000000u);
  for (int i = 0; i < width * height; ++i) pixels[i] = clear;
  Gdiplus::Bitmap surface(width, height, width * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bufferBits_));
  Gdiplus::Graphics graphics(&surface);
  PaintContext context{bufferDc_.get(), &graphics, client};
  if (layered_) {
    Gdiplus::SolidBrush brush{Gdiplus::Color(static_cast<Gdiplus::ARGB>(bkColor_))};
    graphics.FillRectangle(&brush, 0, 0, width, height);
  }
  if (root_) root_->Paint(context);
  graphics.Flush(Gdiplus::FlushIntentionSync);
  ::GdiFlush();
}

Argb PaintManager::PixelAt(int x, int y) const {
  if (!bufferBits_ || x < 0 || y < 0 || x >= bufferSize_.cx || y >= bufferSize_.cy) return 0;
  return static_cast<const Argb*>(bufferBits_)[y * bufferSize_.cx + x];
}

void PaintManager::Present(HDC target) {
  if (!bufferBits_) return;
  if (layered_) {
    RECT window = {};
    ::GetWindowRect(window_, &window);
    POINT origin = {window.left, window.top};
    POINT source = {0, 0};
    SIZE size = bufferSize_;
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, opacity_, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(window_, nullptr, &origin, &size, bufferDc_.get(), &source, 0, &blend, ULW_ALPHA);
    return;
  }
  ::BitBlt(target, 0, 0, bufferSize_.cx, bufferSize_.cy, bufferDc_.get(), 0, 0, SRCCOPY);
}

Control* PaintManager::FindControlAt(POINT point) {
  if (needUpdate_) UpdateLayout();
  return root_ ? root_->FindControlAt(point) : nullptr;
}

void PaintManager::TrackMouse() {
  TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE | TME_HOVER, window_, HOVER_DEFAULT};
  trackingMouse_ = ::TrackMouseEvent(&track) != FALSE;
}

void PaintManager::UpdateHot(POINT point) {
  Control* now = FindControlAt(point);
  if (now == hot_) return;
  HideToolTip();
  Control* previous = hot_;
  hot_ = now;
  if (previous) previous->DoEvent(InputEvent{InputKind::kMouseLeave, point});
  if (hot_) hot_->DoEvent(InputEvent{InputKind::kMouseEnter, point});
}

void PaintManager::ShowToolTip(Control* control) {
  const std::wstring text = control->GetToolTip();
  if (text.empty() || !window_) return;
  static const bool initialised = [] {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    return ::InitCommonControlsEx(&controls) != FALSE;
  }();
  (void)initialised;
  TOOLINFOW info = {};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  info.hwnd = window_;
  info.uId = 1;
  toolTipText_ = text;
  info.lpszText = &toolTipText_[0];
  if (!toolTip_) {
    toolTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                 SkinResources::Instance(), nullptr);
    if (!toolTip_) return;
    ::SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    ::SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, 400);
  }
  ::SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  POINT cursor = {};
  ::GetCursorPos(&cursor);
  ::SendMessageW(toolTip_, TTM_TRACKPOSITION, 0, MAKELPARAM(cursor.x, cursor.y + kToolTipOffset));
  ::SendMessageW(toolTip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info));
  toolTipControl_ = control;
}

void PaintManager::HideToolTip() {
  if (toolTip_ && toolTipControl_) {
    TOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = window_;
    info.uId = 1;
    ::SendMessageW(toolTip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info));
  }
  toolTipControl_ = nullptr;
}

bool PaintManager::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  *result = 0;
  const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window_, &paint);
      Render();
      Present(dc);
      ::EndPaint(window_, &paint);
      return true;
    }
    case WM_PRINTCLIENT:
      Render();
      Present(reinterpret_cast<HDC>(wParam));
      return true;
    case WM_ERASEBKGND:
      *result = 1;
      return true;
    case WM_SIZE:
      NeedUpdate();
      return false;
    case WM_MOUSEMOVE:
      TrackMouse();
      if (captured_) {
        captured_->DoEvent(InputEvent{InputKind::kMouseMove, point});
      } else {
        UpdateHot(point);
        if (hot_) hot_->DoEvent(InputEvent{InputKind::kMouseMove, point});
      }
      return false;
    case WM_MOUSELEAVE:
      trackingMouse_ = false;
      HideToolTip();
      if (!captured_ && hot_) {
        Control* previous = hot_;
        hot_ = nullptr;
        previous->DoEvent(InputEvent{InputKind::kMouseLeave, point});
      }
      return false;
    case WM_MOUSEHOVER:
      if (hot_ && !captured_) ShowToolTip(hot_);
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      HideToolTip();
      UpdateHot(point);
      Control* control = FindControlAt(point);
      ::SetFocus(window_);
      if (!control || !control->IsEnabled()) {
        SetFocus(nullptr);
        return false;
      }
      ::SetCapture(window_);
      captured_ = control;
      SetFocus(control);
      // The control may have gone (a focus change can rebuild a list).
      if (captured_ == control) {
        control->DoEvent(
            InputEvent{message == WM_LBUTTONDOWN ? InputKind::kButtonDown : InputKind::kDoubleClick, point});
      }
      return true;
    }
    case WM_LBUTTONUP: {
      Control* control = captured_;
      captured_ = nullptr;
      if (::GetCapture() == window_) ::ReleaseCapture();
      if (control) control->DoEvent(InputEvent{InputKind::kButtonUp, point});
      UpdateHot(point);
      return control != nullptr;
    }
    case WM_CAPTURECHANGED:
      if (captured_ && reinterpret_cast<HWND>(lParam) != window_) {
        Control* control = captured_;
        captured_ = nullptr;
        control->DoEvent(InputEvent{InputKind::kMouseLeave, point});
      }
      return false;
    case WM_SETCURSOR: {
      if (LOWORD(lParam) != HTCLIENT) return false;
      POINT cursor = {};
      ::GetCursorPos(&cursor);
      ::ScreenToClient(window_, &cursor);
      Control* control = FindControlAt(cursor);
      if (control && control->IsEnabled() && control->WantsHandCursor()) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        *result = TRUE;
        return true;
      }
      return false;
    }
    case WM_TIMER: {
      auto found = timers_.find(wParam);
      if (found == timers_.end()) return false;
      found->second.control->DoEvent(InputEvent{InputKind::kTimer, POINT{}, found->second.id});
      return true;
    }
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      HWND child = reinterpret_cast<HWND>(lParam);
      auto* owner = child ? static_cast<NativeChildOwner*>(::GetPropW(child, kNativeOwnerProperty)) : nullptr;
      return owner && owner->OnChildMessage(message, wParam, lParam, result);
    }
    case WM_DESTROY:
      for (const auto& timer : timers_) ::KillTimer(window_, timer.first);
      timers_.clear();
      HideToolTip();
      if (toolTip_) ::DestroyWindow(toolTip_);
      toolTip_ = nullptr;
      return false;
    default: {
      // Registered messages that carry a native child window are its owner's.
      HWND child = reinterpret_cast<HWND>(lParam);
      if (message < 0xC000 || !child || !::IsWindow(child)) return false;
      auto* owner = static_cast<NativeChildOwner*>(::GetPropW(child, kNativeOwnerProperty));
      return owner && owner->OnChildMessage(message, wParam, lParam, result);
    }
  }
}

}  // namespace kxui
