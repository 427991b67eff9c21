#include "toolkit/edit.h"

#include <commctrl.h>

#include "toolkit/render_engine.h"
#include "toolkit/skin_resources.h"

namespace kxui {
namespace {

constexpr UINT_PTR kNativeSubclassId = 1;

// Ends an edit session from outside the native window's own handler, which
// must not destroy the window it is running in.
UINT EndEditMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"kxui.edit.end");
  return message;
}

}  // namespace

Edit::Edit() {
  textPadding_ = RECT{};
  bkColor_ = 0xFFFFFFFF;
}

Edit::~Edit() { EndEditing(); }

void* Edit::GetInterface(const std::wstring& name) { return name == L"Edit" ? this : Label::GetInterface(name); }

void Edit::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"readonly") {
    SetReadOnly(ParseBool(value));
  } else if (name == L"placeholder") {
    SetPlaceholder(value);
  } else if (name == L"placeholdercolor") {
    ParseColor(value, &placeholderColor_);
  } else if (name == L"nativebkcolor") {
    ParseColor(value, &nativeBkColor_);
  } else if (name == L"wantreturn") {
    wantReturn_ = ParseBool(value);
  } else if (name == L"multiline") {
    multiline_ = ParseBool(value);
  } else if (name == L"maxchar") {
    maxChars_ = ParseInt(value, maxChars_);
  } else {
    Label::SetAttribute(name, value);
  }
}

void Edit::SetReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  if (readOnly_) EndEditing();
}

void Edit::SetPlaceholder(const std::wstring& text) {
  placeholder_ = text;
  Invalidate();
}

void Edit::SetText(const std::wstring& text) {
  Label::SetText(text);
  if (native_) ::SetWindowTextW(native_, text.c_str());
}

void Edit::SetVisible(bool visible) {
  if (!visible) EndEditing();
  Label::SetVisible(visible);
}

void Edit::SetEnabled(bool enabled) {
  if (!enabled) EndEditing();
  Label::SetEnabled(enabled);
}

void Edit::SetPos(const RECT& rect) {
  Label::SetPos(rect);
  if (native_) {
    const RECT area = TextRect();
    ::MoveWindow(native_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  }
}

void Edit::DoEvent(const InputEvent& event) {
  if (event.kind == InputKind::kSetFocus && enabled_ && !readOnly_) BeginEditing();
  if (event.kind == InputKind::kKillFocus) EndEditing();
  Label::DoEvent(event);
}

void Edit::BeginEditing() {
  if (native_ || !manager_ || !manager_->GetWindow()) return;
  const RECT area = TextRect();
  DWORD style = WS_CHILD | WS_VISIBLE;
  style |= multiline_ ? (ES_MULTILINE | ES_AUTOVSCROLL | (wantReturn_ ? ES_WANTRETURN : 0)) : ES_AUTOHSCROLL;
  native_ = ::CreateWindowExW(0, L"EDIT", text_.c_str(), style, area.left, area.top, area.right - area.left,
                              area.bottom - area.top, manager_->GetWindow(), nullptr, SkinResources::Instance(),
                              nullptr);
  if (!native_) return;
  ::SetPropW(native_, kNativeOwnerProperty, static_cast<NativeChildOwner*>(this));
  ::SetWindowSubclass(native_, &Edit::NativeProc, kNativeSubclassId, reinterpret_cast<DWORD_PTR>(this));
  ::SendMessageW(native_, WM_SETFONT, reinterpret_cast<WPARAM>(manager_->GetFont(font_)), FALSE);
  ::SendMessageW(native_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  if (maxChars_ > 0) ::SendMessageW(native_, EM_LIMITTEXT, static_cast<WPARAM>(maxChars_), 0);
  ::SetFocus(native_);
  const int length = ::GetWindowTextLengthW(native_);
  ::SendMessageW(native_, EM_SETSEL, length, length);
  Invalidate();
}

void Edit::EndEditing() {
  if (!native_) return;
  HWND native = native_;
  native_ = nullptr;
  ::RemoveWindowSubclass(native, &Edit::NativeProc, kNativeSubclassId);
  ::RemovePropW(native, kNativeOwnerProperty);
  ::DestroyWindow(native);
  if (manager_ && manager_->GetFocus() == this) manager_->SetFocus(nullptr);
  Invalidate();
}

bool Edit::OnChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE && native_) {
    const int length = ::GetWindowTextLengthW(native_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(native_, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    text_ = text;
    if (manager_) manager_->SendNotify(this, L"textchanged");
    *result = 0;
    return true;
  }
  if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORSTATIC) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    // A transparent native background shows the control's own colour.
    const Argb background = (nativeBkColor_ >> 24) ? nativeBkColor_ : (bkColor_ >> 24) ? bkColor_ : 0xFFFFFFFF;
    ::SetTextColor(dc, ToColorRef(textColor_));
    ::SetBkColor(dc, ToColorRef(background));
    nativeBrush_.reset(::CreateSolidBrush(ToColorRef(background)));
    *result = reinterpret_cast<LRESULT>(nativeBrush_.get());
    return true;
  }
  if (message == EndEditMessage()) {
    EndEditing();
    *result = 0;
    return true;
  }
  return false;
}

LRESULT CALLBACK Edit::NativeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR data) {
  auto* self = reinterpret_cast<Edit*>(data);
  switch (message) {
    case WM_KEYDOWN:
      if (self->manager_ && self->manager_->FilterKey(wParam)) return 0;
      if (wParam == VK_RETURN && !self->multiline_) {
        if (self->wantReturn_ && self->manager_) self->manager_->SendNotify(self, L"return");
        return 0;
      }
      break;
    case WM_CHAR:
      // A single-line field beeps on Return and Escape; both are keys, not text.
      if (!self->multiline_ && (wParam == L'\r' || wParam == 27)) return 0;
      break;
    case WM_KILLFOCUS:
      ::PostMessageW(::GetParent(window), EndEditMessage(), 0, reinterpret_cast<LPARAM>(window));
      break;
    default:
      break;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

void Edit::PaintText(const PaintContext& context) {
  if (!manager_ || native_) return;
  const bool empty = text_.empty();
  const std::wstring& shown = empty ? placeholder_ : text_;
  if (shown.empty()) return;
  UINT format = align_ == HorizontalAlign::kCenter ? DT_CENTER : align_ == HorizontalAlign::kRight ? DT_RIGHT : DT_LEFT;
  format |= multiline_ ? (DT_WORDBREAK | DT_EDITCONTROL | DT_TOP) : (DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
  DrawPlainText(context, *manager_, TextRect(), shown, empty ? placeholderColor_ : CurrentTextColor(), font_, format);
}

RichEdit::RichEdit() {
  multiline_ = true;
  wantReturn_ = true;
}

void* RichEdit::GetInterface(const std::wstring& name) {
  return name == L"RichEdit" ? this : Edit::GetInterface(name);
}

}  // namespace kxui
