#include "toolkit/label.h"

#include "toolkit/markup_renderer.h"
#include "toolkit/paint_manager.h"
#include "toolkit/render_engine.h"

namespace kxui {

void* Label::GetInterface(const std::wstring& name) {
  return name == L"Label" ? this : Control::GetInterface(name);
}

Argb Label::CurrentTextColor() const { return enabled_ ? textColor_ : disabledTextColor_; }

void Label::PaintText(const PaintContext& context) {
  if (text_.empty() || !manager_) return;
  const RECT rect = TextRect();
  if (showHtml_) {
    DrawMarkup(context, *manager_, rect, text_, font_, CurrentTextColor(), align_);
    return;
  }
  UINT format = align_ == HorizontalAlign::kCenter ? DT_CENTER : align_ == HorizontalAlign::kRight ? DT_RIGHT : DT_LEFT;
  format |= wordBreak_ ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER);
  DrawPlainText(context, *manager_, rect, text_, CurrentTextColor(), font_, format);
}

}  // namespace kxui
