// The base of every control: a node of the layout tree with a name, a fixed
// geometry, visibility, colours, images, a text and a tool tip. Controls do
// not own windows; the paint manager of their window draws them into its
// back buffer and routes the mouse to them.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "toolkit/attribute_values.h"

namespace Gdiplus {
class Graphics;
}

namespace kxui {

class PaintManager;

// What the paint manager hands a control to draw with: a memory DC and a
// GDI+ graphics object over the same pixels, and the part to redraw.
struct PaintContext {
  HDC dc = nullptr;
  Gdiplus::Graphics* graphics = nullptr;
  RECT clip = {};
};

enum class InputKind {
  kMouseEnter,
  kMouseLeave,
  kMouseMove,
  kButtonDown,
  kButtonUp,
  kDoubleClick,
  kSetFocus,
  kKillFocus,
  kTimer,
};

struct InputEvent {
  InputKind kind = InputKind::kMouseMove;
  POINT point = {};
  WPARAM wParam = 0;
};

enum ControlState : unsigned {
  kStateHot = 1u << 0,
  kStatePushed = 1u << 1,
  kStateFocused = 1u << 2,
};

enum class HorizontalAlign { kLeft, kCenter, kRight };

class Control {
 public:
  Control();
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // The kind's name as layouts write it.
  virtual std::wstring ClassName() const { return L"Control"; }
  // The control as the named interface, or null; lets callers ask a control
  // created by a window's factory for its own kind without RTTI.
  virtual void* GetInterface(const std::wstring& name);

  const std::wstring& GetName() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }
  PaintManager* GetManager() const { return manager_; }
  Control* GetParent() const { return parent_; }

  // Joins the tree of a window: called for every control of a layout after it
  // is built, parents first. Init runs afterwards, once the window exists.
  virtual void SetManager(PaintManager* manager, Control* parent);
  virtual void Init() {}

  virtual std::wstring GetText() const { return text_; }
  virtual void SetText(const std::wstring& text);

  // The control's own flag; a control is shown only when every ancestor is too.
  bool IsVisible() const { return visible_; }
  virtual void SetVisible(bool visible);
  bool IsShownInTree() const;
  bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  // mouse="false": the control takes no mouse input and a point over it
  // falls through to what lies beneath (its siblings, then its parent).
  bool IsMouseEnabled() const { return mouseEnabled_; }
  void SetMouseEnabled(bool enabled) { mouseEnabled_ = enabled; }
  bool IsFloat() const { return float_; }
  bool WantsHandCursor() const { return handCursor_; }

  // Fixed geometry: a float control sits at (x, y) from its parent's
  // top-left; 0 as width or height lets the parent's layout decide.
  POINT GetFixedXY() const { return fixedXY_; }
  void SetFixedXY(POINT xy);
  int GetFixedWidth() const { return fixedWidth_; }
  void SetFixedWidth(int width);
  int GetFixedHeight() const { return fixedHeight_; }
  void SetFixedHeight(int height);
  // The rectangle the last layout gave the control, in client pixels.
  const RECT& GetPos() const { return pos_; }
  int GetWidth() const { return pos_.right - pos_.left; }
  int GetHeight() const { return pos_.bottom - pos_.top; }
  virtual void SetPos(const RECT& rect);

  // One layout attribute by name; an unknown name writes a log line.
  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);

  int GetFont() const { return font_; }
  void SetFont(int id);
  void SetBkImage(const std::wstring& image);
  void SetBkColor(Argb color);
  void SetTextColor(Argb color);
  std::wstring GetToolTip() const { return toolTip_; }
  void SetToolTip(const std::wstring& text) { toolTip_ = text; }

  // Timers owned by the control: each tick is a "timer" notification whose
  // sender is the control and whose wParam is the id.
  bool SetTimer(UINT id, UINT elapseMs);
  void KillTimer(UINT id);

  // The topmost shown control under the point that takes the mouse, or null.
  virtual Control* FindControlAt(POINT point);

  virtual void DoEvent(const InputEvent& event);
  void Paint(const PaintContext& context);
  void Invalidate();

 protected:
  virtual void PaintSelf(const PaintContext& context);
  virtual void PaintChildren(const PaintContext& context) {}
  virtual void PaintBkColor(const PaintContext& context);
  virtual void PaintBkImage(const PaintContext& context);
  virtual void PaintStatusImage(const PaintContext& context) {}
  virtual void PaintText(const PaintContext& context) {}
  virtual void PaintBorder(const PaintContext& context);
  // Draws an image description over the control; false when nothing drew.
  bool DrawImage(const PaintContext& context, const std::wstring& image);
  void NeedParentUpdate();
  RECT TextRect() const;
  // Press and release for the controls that can be clicked: true for the
  // release over the control that completes a click.
  bool TrackPress(const InputEvent& event);

  std::wstring name_;
  std::wstring text_;
  PaintManager* manager_ = nullptr;
  Control* parent_ = nullptr;
  bool visible_ = true;
  bool enabled_ = true;
  bool mouseEnabled_ = true;
  bool float_ = false;
  bool handCursor_ = false;
  bool showHtml_ = false;
  bool wordBreak_ = false;
  HorizontalAlign align_ = HorizontalAlign::kLeft;
  POINT fixedXY_ = {};
  int fixedWidth_ = 0;
  int fixedHeight_ = 0;
  RECT pos_ = {};
  RECT textPadding_ = {};
  int font_ = -1;
  Argb bkColor_ = 0;
  Argb textColor_ = 0xFF000000;
  Argb disabledTextColor_ = 0xFFA7A6AA;
  Argb borderColor_ = 0;
  int borderSize_ = 0;
  std::wstring bkImage_;
  std::wstring toolTip_;
  unsigned state_ = 0;
};

}  // namespace kxui
