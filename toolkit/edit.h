// Text fields. They draw their text (or the placeholder) themselves; while
// one has the focus a native edit window over its text area takes the
// keyboard, the caret and the input method, and every change sends
// "textchanged". Edit is one line, RichEdit many.
#pragma once

#include "toolkit/gdi_objects.h"
#include "toolkit/label.h"
#include "toolkit/paint_manager.h"

namespace kxui {

class Edit : public Label, public NativeChildOwner {
 public:
  Edit();
  ~Edit() override;
  std::wstring ClassName() const override { return L"Edit"; }
  void* GetInterface(const std::wstring& name) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoEvent(const InputEvent& event) override;
  void SetText(const std::wstring& text) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void SetPos(const RECT& rect) override;

  bool IsReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  std::wstring GetPlaceholder() const { return placeholder_; }
  void SetPlaceholder(const std::wstring& text);
  // The native field while the control has the focus, else null.
  HWND GetNativeWindow() const { return native_; }

  bool OnChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 protected:
  void PaintText(const PaintContext& context) override;
  void BeginEditing();
  void EndEditing();

  bool multiline_ = false;
  bool wantReturn_ = false;

 private:
  static LRESULT CALLBACK NativeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);

  bool readOnly_ = false;
  std::wstring placeholder_;
  Argb placeholderColor_ = 0xFFA0A0A0;
  Argb nativeBkColor_ = 0xFFFFFFFF;
  int maxChars_ = 0;
  HWND native_ = nullptr;
  UniqueGdiObject nativeBrush_;
};

class RichEdit : public Edit {
 public:
  RichEdit();
  std::wstring ClassName() const override { return L"RichEdit"; }
  void* GetInterface(const std::wstring& name) override;
};

}  // namespace kxui
