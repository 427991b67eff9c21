// A text in a font and colour, aligned and padded inside the control; with
// showhtml the text's inline markup is rendered, otherwise it is drawn as
// typed.
#pragma once

#include "toolkit/control.h"

namespace kxui {

class Label : public Control {
 public:
  std::wstring ClassName() const override { return L"Label"; }
  void* GetInterface(const std::wstring& name) override;

 protected:
  void PaintText(const PaintContext& context) override;
  virtual Argb CurrentTextColor() const;
};

}  // namespace kxui
