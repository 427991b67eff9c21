// A drop-down list: the selected item's text over the state pictures, and a
// pop-up list of items with fixed heights. Choosing an item sends
// "itemselect" (wParam: the new index, lParam: the previous one).
#pragma once

#include <memory>
#include <vector>

#include "toolkit/label.h"
#include "toolkit/state_images.h"

namespace kxui {

class ComboDropList;

// One entry of a combo's list.
class ListItem : public Label {
 public:
  std::wstring ClassName() const override { return L"ListItem"; }
  void* GetInterface(const std::wstring& name) override;
};

class Combo : public Label {
 public:
  Combo();
  ~Combo() override;
  std::wstring ClassName() const override { return L"Combo"; }
  void* GetInterface(const std::wstring& name) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoEvent(const InputEvent& event) override;
  std::wstring GetText() const override;
  void SetManager(PaintManager* manager, Control* parent) override;

  ListItem* AddItem(const std::wstring& text, int height);
  int GetCount() const { return static_cast<int>(items_.size()); }
  ListItem* GetItemAt(int index) const;
  bool RemoveAt(int index);
  void RemoveAll();
  int GetCurSel() const { return selected_; }
  // notify: whether a change sends "itemselect".
  bool SelectItem(int index, bool notify = false);

  // 0 as width means the combo's width, 0 as height the items' heights.
  void SetDropBoxSize(SIZE size) { dropBoxSize_ = size; }
  SIZE GetDropBoxSize() const { return dropBoxSize_; }
  void SetItemSelectedBkColor(Argb color) { itemSelectedBkColor_ = color; }
  void SetItemHotBkColor(Argb color) { itemHotBkColor_ = color; }

  bool IsDropped() const { return dropList_ != nullptr; }
  void OpenDropList();
  void CloseDropList();

 protected:
  void PaintStatusImage(const PaintContext& context) override;
  void PaintText(const PaintContext& context) override;

 private:
  friend class ComboDropList;

  std::vector<std::unique_ptr<ListItem>> items_;
  int selected_ = -1;
  SIZE dropBoxSize_ = {};
  RECT itemTextPadding_ = {};
  int itemFont_ = -1;
  Argb itemTextColor_ = 0xFF000000;
  Argb itemSelectedTextColor_ = 0xFFFFFFFF;
  Argb itemHotTextColor_ = 0xFF000000;
  Argb itemBkColor_ = 0xFFFFFFFF;
  Argb itemSelectedBkColor_ = 0xFF1398F0;
  Argb itemHotBkColor_ = 0xFFAFDCFA;
  StateImages images_;
  std::unique_ptr<ComboDropList> dropList_;
};

}  // namespace kxui
