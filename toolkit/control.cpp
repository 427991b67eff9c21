#include "toolkit/control.h"

#include "toolkit/gdiplus_include.h"

#include "foundation/text_convert.h"
#include "toolkit/paint_manager.h"
#include "toolkit/render_engine.h"
#include "toolkit/toolkit_log.h"

namespace kxui {

Control::Control() = default;

Control::~Control() {
  if (manager_) manager_->ReapControl(this);
}

void* Control::GetInterface(const std::wstring& name) { return name == L"Control" ? this : nullptr; }

void Control::SetManager(PaintManager* manager, Control* parent) {
  manager_ = manager;
  parent_ = parent;
  if (manager_ && !name_.empty()) manager_->RegisterName(this);
}

void Control::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  Invalidate();
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  NeedParentUpdate();
}

bool Control::IsShownInTree() const {
  for (const Control* control = this; control; control = control->parent_) {
    if (!control->visible_) return false;
  }
  return true;
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (!enabled_) state_ = 0;
  Invalidate();
}

void Control::SetFixedXY(POINT xy) {
  fixedXY_ = xy;
  NeedParentUpdate();
}

void Control::SetFixedWidth(int width) {
  fixedWidth_ = width < 0 ? 0 : width;
  NeedParentUpdate();
}

void Control::SetFixedHeight(int height) {
  fixedHeight_ = height < 0 ? 0 : height;
  NeedParentUpdate();
}

void Control::SetPos(const RECT& rect) { pos_ = rect; }

void Control::SetFont(int id) {
  font_ = id;
  Invalidate();
}

void Control::SetBkImage(const std::wstring& image) {
  bkImage_ = image;
  Invalidate();
}

void Control::SetBkColor(Argb color) {
  bkColor_ = color;
  Invalidate();
}

void Control::SetTextColor(Argb color) {
  textColor_ = color;
  Invalidate();
}

void Control::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"name") {
    name_ = value;
  } else if (name == L"float") {
    float_ = ParseBool(value);
  } else if (name == L"pos") {
    // Four numbers are a rectangle; two are the corner, the size coming
    // from width and height.
    const std::vector<int> numbers = ParseIntList(value);
    if (numbers.size() == 4 || numbers.size() == 2) {
      SetFixedXY(POINT{numbers[0], numbers[1]});
      if (numbers.size() == 4) {
        SetFixedWidth(numbers[2] - numbers[0]);
        SetFixedHeight(numbers[3] - numbers[1]);
      }
    } else {
      KXUI_WARN("pos [%s] of control [%s] needs two or four numbers", WideToAnsi(value).c_str(),
                WideToAnsi(name_).c_str());
    }
  } else if (name == L"width") {
    SetFixedWidth(ParseInt(value, fixedWidth_));
  } else if (name == L"height") {
    SetFixedHeight(ParseInt(value, fixedHeight_));
  } else if (name == L"visible") {
    SetVisible(ParseBool(value));
  } else if (name == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (name == L"mouse") {
    mouseEnabled_ = ParseBool(value);
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"tooltip") {
    toolTip_ = value;
  } else if (name == L"font") {
    SetFont(ParseInt(value, font_));
  } else if (name == L"textcolor") {
    ParseColor(value, &textColor_);
    Invalidate();
  } else if (name == L"disabledtextcolor") {
    ParseColor(value, &disabledTextColor_);
  } else if (name == L"bkcolor") {
    ParseColor(value, &bkColor_);
    Invalidate();
  } else if (name == L"bordercolor") {
    ParseColor(value, &borderColor_);
  } else if (name == L"bordersize") {
    borderSize_ = ParseInt(value, borderSize_);
  } else if (name == L"bkimage") {
    SetBkImage(value);
  } else if (name == L"textpadding") {
    ParseRect(value, &textPadding_);
  } else if (name == L"align") {
    if (value == L"left") {
      align_ = HorizontalAlign::kLeft;
    } else if (value == L"center") {
      align_ = HorizontalAlign::kCenter;
    } else if (value == L"right") {
      align_ = HorizontalAlign::kRight;
    } else {
      KXUI_WARN("align [%s] is none of left, center, right", WideToAnsi(value).c_str());
    }
    Invalidate();
  } else if (name == L"showhtml") {
    showHtml_ = ParseBool(value);
  } else if (name == L"wordbreak") {
    wordBreak_ = ParseBool(value);
    Invalidate();
  } else if (name == L"cursor") {
    handCursor_ = value == L"hand";
  } else {
    KXUI_WARN("unknown attribute [%s] on %s [%s]", WideToAnsi(name).c_str(), WideToAnsi(ClassName()).c_str(),
              WideToAnsi(name_).c_str());
  }
}

bool Control::SetTimer(UINT id, UINT elapseMs) { return manager_ && manager_->SetTimer(this, id, elapseMs); }

void Control::KillTimer(UINT id) {
  if (manager_) manager_->KillTimer(this, id);
}

Control* Control::FindControlAt(POINT point) {
  if (!visible_ || !::PtInRect(&pos_, point)) return nullptr;
  return mouseEnabled_ ? this : nullptr;
}

void Control::DoEvent(const InputEvent& event) {
  switch (event.kind) {
    case InputKind::kMouseEnter:
      if (enabled_) state_ |= kStateHot;
      Invalidate();
      break;
    case InputKind::kMouseLeave:
      state_ &= ~(kStateHot | kStatePushed);
      Invalidate();
      break;
    case InputKind::kSetFocus:
      state_ |= kStateFocused;
      Invalidate();
      break;
    case InputKind::kKillFocus:
      state_ &= ~kStateFocused;
      Invalidate();
      break;
    case InputKind::kTimer:
      if (manager_) manager_->SendNotify(this, L"timer", event.wParam);
      break;
    default:
      break;
  }
}

void Control::Paint(const PaintContext& context) {
  RECT clip = {};
  if (!visible_ || !::IntersectRect(&clip, &context.clip, &pos_)) return;
  PaintContext local = context;
  local.clip = clip;
  Gdiplus::Region previous;
  context.graphics->GetClip(&previous);
  context.graphics->SetClip(Gdiplus::Rect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top));
  const int saved = ::SaveDC(context.dc);
  ::IntersectClipRect(context.dc, clip.left, clip.top, clip.right, clip.bottom);
  PaintSelf(local);
  PaintChildren(local);
  ::RestoreDC(context.dc, saved);
  context.graphics->SetClip(&previous);
}

void Control::PaintSelf(const PaintContext& context) {
  PaintBkColor(context);
  PaintBkImage(context);
  PaintStatusImage(context);
  PaintText(context);
  PaintBorder(context);
}

void Control::PaintBkColor(const PaintContext& context) { FillColor(context, pos_, bkColor_); }

void Control::PaintBkImage(const PaintContext& context) { DrawImage(context, bkImage_); }

void Control::PaintBorder(const PaintContext& context) { DrawBorder(context, pos_, borderSize_, borderColor_); }

bool Control::DrawImage(const PaintContext& context, const std::wstring& image) {
  if (image.empty() || !manager_) return false;
  return DrawImageDescription(context, *manager_, pos_, ParseImageDescription(image));
}

void Control::Invalidate() {
  if (manager_) manager_->Invalidate(pos_);
}

void Control::NeedParentUpdate() {
  if (manager_) manager_->NeedUpdate();
}

bool Control::TrackPress(const InputEvent& event) {
  if (event.kind == InputKind::kButtonDown || event.kind == InputKind::kDoubleClick) {
    if (enabled_) state_ |= kStatePushed;
    Invalidate();
    return false;
  }
  if (event.kind != InputKind::kButtonUp) return false;
  const bool click = enabled_ && (state_ & kStatePushed) && ::PtInRect(&pos_, event.point);
  state_ &= ~kStatePushed;
  Invalidate();
  return click;
}

RECT Control::TextRect() const {
  return RECT{pos_.left + textPadding_.left, pos_.top + textPadding_.top, pos_.right - textPadding_.right,
              pos_.bottom - textPadding_.bottom};
}

}  // namespace kxui
