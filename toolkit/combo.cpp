#include "toolkit/combo.h"

#include "foundation/text_convert.h"
#include "toolkit/combo_drop_list.h"
#include "toolkit/paint_manager.h"
#include "toolkit/render_engine.h"
#include "toolkit/toolkit_log.h"

namespace kxui {

void* ListItem::GetInterface(const std::wstring& name) {
  return name == L"ListItem" ? this : Label::GetInterface(name);
}

Combo::Combo() { textColor_ = 0xFF000000; }

Combo::~Combo() { dropList_.reset(); }

void* Combo::GetInterface(const std::wstring& name) { return name == L"Combo" ? this : Label::GetInterface(name); }

void Combo::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (images_.SetAttribute(name, value)) Invalidate();
  else if (name == L"itemtextpadding") ParseRect(value, &itemTextPadding_);
  else if (name == L"itemfont") itemFont_ = ParseInt(value, itemFont_);
  else if (name == L"itemtextcolor") ParseColor(value, &itemTextColor_);
  else if (name == L"itemselectedtextcolor") ParseColor(value, &itemSelectedTextColor_);
  else if (name == L"itemhottextcolor") ParseColor(value, &itemHotTextColor_);
  else if (name == L"itembkcolor") ParseColor(value, &itemBkColor_);
  else if (name == L"itemselectedbkcolor") ParseColor(value, &itemSelectedBkColor_);
  else if (name == L"itemhotbkcolor") ParseColor(value, &itemHotBkColor_);
  else if (name == L"dropboxsize") ParseSize(value, &dropBoxSize_);
  else Label::SetAttribute(name, value);
}

void Combo::SetManager(PaintManager* manager, Control* parent) {
  Label::SetManager(manager, parent);
  for (auto& item : items_) item->SetManager(manager, this);
}

std::wstring Combo::GetText() const {
  ListItem* item = GetItemAt(selected_);
  return item ? item->GetText() : std::wstring();
}

ListItem* Combo::AddItem(const std::wstring& text, int height) {
  auto item = std::make_unique<ListItem>();
  item->SetText(text);
  item->SetFixedHeight(height);
  item->SetManager(manager_, this);
  items_.push_back(std::move(item));
  return items_.back().get();
}

ListItem* Combo::GetItemAt(int index) const {
  return index >= 0 && index < GetCount() ? items_[static_cast<size_t>(index)].get() : nullptr;
}

bool Combo::RemoveAt(int index) {
  if (!GetItemAt(index)) return false;
  CloseDropList();
  items_.erase(items_.begin() + index);
  if (selected_ == index) selected_ = -1;
  else if (selected_ > index) --selected_;
  Invalidate();
  return true;
}

void Combo::RemoveAll() {
  CloseDropList();
  items_.clear();
  selected_ = -1;
  Invalidate();
}

bool Combo::SelectItem(int index, bool notify) {
  if (index != -1 && !GetItemAt(index)) return false;
  if (index == selected_) return true;
  const int previous = selected_;
  selected_ = index;
  Invalidate();
  if (notify && manager_) manager_->SendNotify(this, L"itemselect", static_cast<WPARAM>(index), previous);
  return true;
}

void Combo::OpenDropList() {
  if (dropList_ || !manager_ || !manager_->GetWindow() || items_.empty()) return;
  int height = dropBoxSize_.cy;
  if (height <= 0) {
    height = 2;
    for (const auto& item : items_) height += item->GetFixedHeight();
  }
  const int width = dropBoxSize_.cx > 0 ? dropBoxSize_.cx : GetWidth();
  POINT corner = {pos_.left, pos_.bottom};
  ::ClientToScreen(manager_->GetWindow(), &corner);
  dropList_ = std::make_unique<ComboDropList>(*this);
  if (!dropList_->Open(RECT{corner.x, corner.y, corner.x + width, corner.y + height})) {
    KXUI_ERROR("drop list of combo [%s] cannot be opened", WideToAnsi(name_).c_str());
    dropList_.reset();
  }
  Invalidate();
}

void Combo::CloseDropList() {
  if (!dropList_) return;
  // Reset first: destroying the window re-enters through capture loss.
  std::unique_ptr<ComboDropList> closing = std::move(dropList_);
  closing.reset();
  Invalidate();
}

void Combo::DoEvent(const InputEvent& event) {
  switch (event.kind) {
    case InputKind::kButtonDown:
    case InputKind::kDoubleClick:
    case InputKind::kButtonUp:
      if (TrackPress(event)) {
        if (dropList_) {
          CloseDropList();
        } else {
          OpenDropList();
        }
      }
      break;
    default:
      Label::DoEvent(event);
  }
}

void Combo::PaintStatusImage(const PaintContext& context) {
  // An open list keeps the combo pressed.
  DrawImage(context, images_.Pick(enabled_, dropList_ || (state_ & kStatePushed), (state_ & kStateHot) != 0));
}

void Combo::PaintText(const PaintContext& context) {
  const std::wstring text = GetText();
  if (text.empty() || !manager_) return;
  DrawPlainText(context, *manager_, TextRect(), text, CurrentTextColor(), font_,
                DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS);
}

}  // namespace kxui
