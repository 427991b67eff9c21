#include "toolkit/button.h"

#include "toolkit/paint_manager.h"

namespace kxui {

Button::Button() { align_ = HorizontalAlign::kCenter; }

void* Button::GetInterface(const std::wstring& name) {
  return name == L"Button" ? this : Label::GetInterface(name);
}

void Button::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (images_.SetAttribute(name, value)) {
    Invalidate();
  } else if (name == L"foreimage") {
    foreImage_ = value;
    Invalidate();
  } else {
    Label::SetAttribute(name, value);
  }
}

void Button::DoEvent(const InputEvent& event) {
  switch (event.kind) {
    case InputKind::kButtonDown:
    case InputKind::kDoubleClick:
    case InputKind::kButtonUp:
      if (TrackPress(event)) {
        Activate();
        if (manager_) manager_->SendNotify(this, L"click");
      }
      break;
    case InputKind::kMouseMove:
      // While the button holds the capture it shows pushed only under the mouse.
      if (enabled_ && manager_ && ::GetCapture() == manager_->GetWindow()) {
        const bool inside = ::PtInRect(&pos_, event.point) != FALSE;
        const unsigned before = state_;
        if (inside && manager_->GetHot() == this) state_ |= kStatePushed;
        if (!inside) state_ &= ~kStatePushed;
        if (before != state_) Invalidate();
      }
      break;
    default:
      Label::DoEvent(event);
  }
}

void Button::Activate() {}

void Button::PaintStatusImage(const PaintContext& context) {
  DrawImage(context, images_.Pick(enabled_, (state_ & kStatePushed) != 0, (state_ & kStateHot) != 0));
  DrawImage(context, foreImage_);
}

}  // namespace kxui
