// A progress bar: the background picture, and the fore picture over the
// part of the bar that the value covers within the range.
#pragma once

#include "toolkit/label.h"

namespace kxui {

class Progress : public Label {
 public:
  std::wstring ClassName() const override { return L"Progress"; }
  void* GetInterface(const std::wstring& name) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  int GetMinValue() const { return min_; }
  int GetMaxValue() const { return max_; }
  int GetValue() const { return value_; }
  void SetValue(int value);

 protected:
  void PaintStatusImage(const PaintContext& context) override;

 private:
  int min_ = 0;
  int max_ = 100;
  int value_ = 0;
  bool horizontal_ = true;
  std::wstring foreImage_;
};

}  // namespace kxui
