// A label that can be pressed: state pictures for normal, hot, pushed and
// disabled, an optional picture over them, and a "click" notification when
// the mouse is released over the button it was pressed on.
#pragma once

#include "toolkit/label.h"
#include "toolkit/state_images.h"

namespace kxui {

class Button : public Label {
 public:
  Button();
  std::wstring ClassName() const override { return L"Button"; }
  void* GetInterface(const std::wstring& name) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoEvent(const InputEvent& event) override;

  bool IsHot() const { return (state_ & kStateHot) != 0; }
  bool IsPushed() const { return (state_ & kStatePushed) != 0; }

 protected:
  void PaintStatusImage(const PaintContext& context) override;
  // Called for a completed click, before the notification goes out.
  virtual void Activate();

  StateImages images_;
  std::wstring foreImage_;
};

}  // namespace kxui
