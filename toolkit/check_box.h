// A button that keeps a selected state: a click flips it, with the
// "selectchanged" notification before the "click".
#pragma once

#include "toolkit/button.h"

namespace kxui {

class CheckBox : public Button {
 public:
  CheckBox();
  std::wstring ClassName() const override { return L"CheckBox"; }
  void* GetInterface(const std::wstring& name) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  bool IsSelected() const { return selected_; }
  // notify: whether a change sends "selectchanged".
  void Selected(bool selected, bool notify = true);

 protected:
  void PaintStatusImage(const PaintContext& context) override;
  void Activate() override;

 private:
  bool selected_ = false;
  std::wstring selectedImage_;
  std::wstring selectedHotImage_;
};

}  // namespace kxui
