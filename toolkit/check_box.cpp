#include "toolkit/check_box.h"

#include "toolkit/paint_manager.h"

namespace kxui {

CheckBox::CheckBox() { align_ = HorizontalAlign::kLeft; }

void* CheckBox::GetInterface(const std::wstring& name) {
  return name == L"CheckBox" ? this : Button::GetInterface(name);
}

void CheckBox::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selected") {
    Selected(ParseBool(value), false);
  } else if (name == L"selectedimage") {
    selectedImage_ = value;
  } else if (name == L"selectedhotimage") {
    selectedHotImage_ = value;
  } else {
    Button::SetAttribute(name, value);
  }
}

void CheckBox::Selected(bool selected, bool notify) {
  if (selected_ == selected) return;
  selected_ = selected;
  Invalidate();
  if (notify && manager_) manager_->SendNotify(this, L"selectchanged");
}

void CheckBox::Activate() { Selected(!selected_, true); }

void CheckBox::PaintStatusImage(const PaintContext& context) {
  if (!selected_) {
    Button::PaintStatusImage(context);
    return;
  }
  if (!((state_ & kStateHot) && DrawImage(context, selectedHotImage_))) DrawImage(context, selectedImage_);
  DrawImage(context, foreImage_);
}

}  // namespace kxui
