// Controls that hold controls. A float child sits at its fixed position
// from the container's top-left; the others are placed by the container:
// a Container gives each the whole inner area, a VerticalLayout stacks them
// top to bottom and a HorizontalLayout left to right, children without a
// fixed size sharing what the fixed ones leave.
#pragma once

#include <memory>
#include <vector>

#include "toolkit/control.h"

namespace kxui {

class Container : public Control {
 public:
  std::wstring ClassName() const override { return L"Container"; }
  void* GetInterface(const std::wstring& name) override;

  void Add(std::unique_ptr<Control> child);
  bool Remove(Control* child);
  void RemoveAll();
  int Count() const { return static_cast<int>(children_.size()); }
  Control* ChildAt(int index) const;

  void SetManager(PaintManager* manager, Control* parent) override;
  void Init() override;
  void SetPos(const RECT& rect) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  Control* FindControlAt(POINT point) override;

 protected:
  void PaintChildren(const PaintContext& context) override;
  RECT InnerRect() const;
  void PlaceFloat(Control* child, const RECT& inner);
  virtual void PlaceFlowing(const RECT& inner);
  // Stacks the flowing children top to bottom (vertical) or left to right.
  void FlowAlong(const RECT& inner, bool vertical);

  std::vector<std::unique_ptr<Control>> children_;
  RECT inset_ = {};
};

class VerticalLayout : public Container {
 public:
  std::wstring ClassName() const override { return L"VerticalLayout"; }

 protected:
  void PlaceFlowing(const RECT& inner) override;
};

class HorizontalLayout : public Container {
 public:
  std::wstring ClassName() const override { return L"HorizontalLayout"; }

 protected:
  void PlaceFlowing(const RECT& inner) override;
};

}  // namespace kxui
