#include "toolkit/window_shadow.h"

#include <cmath>
#include <vector>

#include "toolkit/gdi_objects.h"
#include "toolkit/skin_resources.h"

namespace kxui {
namespace {

const wchar_t kShadowClass[] = L"kxui_shadow";

bool RegisterShadowClass() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass = {sizeof windowClass};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = SkinResources::Instance();
    windowClass.lpszClassName = kShadowClass;
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

WindowShadow::~WindowShadow() { Destroy(); }

bool WindowShadow::Create(HWND target, const ShadowSettings& settings) {
  Destroy();
  if (!settings.show || settings.size <= 0 || !RegisterShadowClass()) return false;
  target_ = target;
  settings_ = settings;
  // Owned like the target, not by it: an owned window always stays above its
  // owner, and the shadow has to sit below.
  HWND owner = ::GetWindow(target, GW_OWNER);
  window_ = ::CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kShadowClass,
                              nullptr, WS_POPUP, 0, 0, 0, 0, owner, nullptr, SkinResources::Instance(), nullptr);
  return window_ != nullptr;
}

void WindowShadow::Destroy() {
  if (window_) ::DestroyWindow(window_);
  window_ = nullptr;
  drawnSize_ = SIZE{};
}

void WindowShadow::Follow() {
  if (!window_ || !::IsWindow(target_)) return;
  if (!::IsWindowVisible(target_) || ::IsIconic(target_)) {
    ::ShowWindow(window_, SW_HIDE);
    return;
  }
  RECT rect = {};
  ::GetWindowRect(target_, &rect);
  const int size = settings_.size;
  const int width = rect.right - rect.left + 2 * size;
  const int height = rect.bottom - rect.top + 2 * size;
  if (drawnSize_.cx != width || drawnSize_.cy != height) Draw(width, height);
  ::SetWindowPos(window_, target_, rect.left - size + settings_.position.x, rect.top - size + settings_.position.y,
                 width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void WindowShadow::Draw(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueGdiObject bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!bitmap || !dc) return;
  const int size = settings_.size;
  const int darkness = settings_.darkness < 0 ? 0 : settings_.darkness > 255 ? 255 : settings_.darkness;
  const unsigned red = (settings_.color >> 16) & 0xFF;
  const unsigned green = (settings_.color >> 8) & 0xFF;
  const unsigned blue = settings_.color & 0xFF;
  auto* pixels = static_cast<unsigned*>(bits);
  const int innerRight = width - size - 1;
  const int innerBottom = height - size - 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int dx = x < size ? size - x : x > innerRight ? x - innerRight : 0;
      const int dy = y < size ? size - y : y > innerBottom ? y - innerBottom : 0;
      const double distance = std::sqrt(static_cast<double>(dx * dx + dy * dy));
      unsigned alpha = 0;
      // Under the window itself the shadow stays clear, so that a window
      // with transparent parts does not show it through them.
      if ((dx > 0 || dy > 0) && distance < size) {
        const double falloff = 1.0 - distance / size;
        alpha = static_cast<unsigned>(darkness * falloff * falloff + 0.5);
      }
      pixels[y * width + x] = (alpha << 24) | ((red * alpha / 255) << 16) | ((green * alpha / 255) << 8) |
                              (blue * alpha / 255);
    }
  }
  SelectedObject selected(dc.get(), bitmap.get());
  SIZE windowSize = {width, height};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ::UpdateLayeredWindow(window_, nullptr, nullptr, &windowSize, dc.get(), &source, 0, &blend, ULW_ALPHA);
  drawnSize_ = windowSize;
}

}  // namespace kxui
