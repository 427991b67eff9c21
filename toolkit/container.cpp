#include "toolkit/container.h"

#include <algorithm>

#include "toolkit/paint_manager.h"

namespace kxui {

void* Container::GetInterface(const std::wstring& name) {
  return name == L"Container" ? this : Control::GetInterface(name);
}

void Container::Add(std::unique_ptr<Control> child) {
  if (!child) return;
  if (manager_) {
    child->SetManager(manager_, this);
    child->Init();
    manager_->NeedUpdate();
  }
  children_.push_back(std::move(child));
}

bool Container::Remove(Control* child) {
  for (auto it = children_.begin(); it != children_.end(); ++it) {
    if (it->get() == child) {
      children_.erase(it);
      NeedParentUpdate();
      return true;
    }
  }
  return false;
}

void Container::RemoveAll() {
  children_.clear();
  NeedParentUpdate();
}

Control* Container::ChildAt(int index) const {
  return index >= 0 && index < Count() ? children_[static_cast<size_t>(index)].get() : nullptr;
}

void Container::SetManager(PaintManager* manager, Control* parent) {
  Control::SetManager(manager, parent);
  for (auto& child : children_) child->SetManager(manager, this);
}

void Container::Init() {
  for (auto& child : children_) child->Init();
}

void Container::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"inset") {
    ParseRect(value, &inset_);
  } else {
    Control::SetAttribute(name, value);
  }
}

RECT Container::InnerRect() const {
  return RECT{pos_.left + inset_.left, pos_.top + inset_.top, pos_.right - inset_.right, pos_.bottom - inset_.bottom};
}

void Container::SetPos(const RECT& rect) {
  Control::SetPos(rect);
  const RECT inner = InnerRect();
  for (auto& child : children_) {
    if (child->IsFloat()) PlaceFloat(child.get(), inner);
  }
  PlaceFlowing(inner);
}

void Container::PlaceFloat(Control* child, const RECT& inner) {
  const POINT xy = child->GetFixedXY();
  const LONG left = inner.left + xy.x;
  const LONG top = inner.top + xy.y;
  child->SetPos(RECT{left, top, left + child->GetFixedWidth(), top + child->GetFixedHeight()});
}

void Container::PlaceFlowing(const RECT& inner) {
  for (auto& child : children_) {
    if (child->IsFloat() || !child->IsVisible()) continue;
    RECT rect = inner;
    if (child->GetFixedWidth() > 0) rect.right = rect.left + child->GetFixedWidth();
    if (child->GetFixedHeight() > 0) rect.bottom = rect.top + child->GetFixedHeight();
    child->SetPos(rect);
  }
}

void Container::FlowAlong(const RECT& inner, bool vertical) {
  // Along the axis, fixed sizes are kept and the rest is shared evenly;
  // across it, a child takes its fixed size or the whole inner area.
  auto along = [vertical](Control* c) { return vertical ? c->GetFixedHeight() : c->GetFixedWidth(); };
  auto across = [vertical](Control* c) { return vertical ? c->GetFixedWidth() : c->GetFixedHeight(); };
  const LONG start = vertical ? inner.top : inner.left;
  const LONG length = vertical ? inner.bottom - inner.top : inner.right - inner.left;
  const LONG crossStart = vertical ? inner.left : inner.top;
  const LONG crossEnd = vertical ? inner.right : inner.bottom;
  int fixedTotal = 0;
  int flexible = 0;
  for (auto& child : children_) {
    if (child->IsFloat() || !child->IsVisible()) continue;
    if (along(child.get()) > 0) {
      fixedTotal += along(child.get());
    } else {
      ++flexible;
    }
  }
  const int share = flexible > 0 ? std::max<int>(0, (length - fixedTotal) / flexible) : 0;
  LONG at = start;
  for (auto& child : children_) {
    if (child->IsFloat() || !child->IsVisible()) continue;
    const int size = along(child.get()) > 0 ? along(child.get()) : share;
    const LONG crossEndOfChild = across(child.get()) > 0 ? crossStart + across(child.get()) : crossEnd;
    child->SetPos(vertical ? RECT{crossStart, at, crossEndOfChild, at + size}
                           : RECT{at, crossStart, at + size, crossEndOfChild});
    at += size;
  }
}

void VerticalLayout::PlaceFlowing(const RECT& inner) { FlowAlong(inner, true); }

void HorizontalLayout::PlaceFlowing(const RECT& inner) { FlowAlong(inner, false); }

Control* Container::FindControlAt(POINT point) {
  if (!visible_ || !::PtInRect(&pos_, point)) return nullptr;
  // Later children are drawn over earlier ones, so they are asked first.
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    if (Control* found = (*it)->FindControlAt(point)) return found;
  }
  return mouseEnabled_ ? this : nullptr;
}

void Container::PaintChildren(const PaintContext& context) {
  for (auto& child : children_) child->Paint(context);
}

}  // namespace kxui
