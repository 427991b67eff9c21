#include "toolkit/progress.h"

#include <algorithm>

#include "toolkit/paint_manager.h"
#include "toolkit/render_engine.h"

namespace kxui {

void* Progress::GetInterface(const std::wstring& name) {
  return name == L"Progress" ? this : Label::GetInterface(name);
}

void Progress::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"min") {
    min_ = ParseInt(value, min_);
  } else if (name == L"max") {
    max_ = ParseInt(value, max_);
  } else if (name == L"value") {
    SetValue(ParseInt(value, value_));
  } else if (name == L"horizontal") {
    horizontal_ = ParseBool(value);
  } else if (name == L"foreimage") {
    foreImage_ = value;
  } else {
    Label::SetAttribute(name, value);
  }
  Invalidate();
}

void Progress::SetValue(int value) {
  value_ = value;
  Invalidate();
}

void Progress::PaintStatusImage(const PaintContext& context) {
  if (max_ <= min_ || foreImage_.empty() || !manager_) return;
  const int clamped = std::max(min_, std::min(max_, value_));
  RECT fore = pos_;
  if (horizontal_) {
    fore.right = pos_.left + static_cast<LONG>((static_cast<long long>(GetWidth()) * (clamped - min_)) / (max_ - min_));
  } else {
    fore.top = pos_.bottom - static_cast<LONG>((static_cast<long long>(GetHeight()) * (clamped - min_)) / (max_ - min_));
  }
  if (fore.right > fore.left && fore.bottom > fore.top)
    DrawImageDescription(context, *manager_, fore, ParseImageDescription(foreImage_));
}

}  // namespace kxui
