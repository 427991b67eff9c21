#include "toolkit/gdi_objects.h"

#include "toolkit/gdiplus_include.h"

namespace kxui {

void EnsureGdiPlus() {
  static const bool started = [] {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  (void)started;
}

}  // namespace kxui
