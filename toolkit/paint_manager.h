// One per window: owns the control tree built from the layout, the fonts,
// the decoded pictures, the back buffer and the named controls; turns the
// window's messages into control events and control events into
// notifications for the window.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/attribute_values.h"
#include "toolkit/gdi_objects.h"

namespace Gdiplus {
class Bitmap;
}

namespace kxui {

class Control;

// A notification by type: "click", "itemselect", "textchanged", "timer"
// (wParam: the timer id), "selectchanged", "return", "setfocus", "killfocus".
struct Notification {
  std::wstring type;
  Control* sender = nullptr;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// A control that keeps a native child window (an edit field) gets the
// messages that the child sends to its parent window.
class NativeChildOwner {
 public:
  virtual ~NativeChildOwner() = default;
  virtual bool OnChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;
};

// The window property that ties a native child window to its owner.
extern const wchar_t kNativeOwnerProperty[];

class NotificationListener {
 public:
  virtual ~NotificationListener() = default;
  virtual void Notify(Notification& notification) = 0;
};

struct FontSpec {
  std::wstring face;
  int size = 12;
  bool bold = false;
  bool underline = false;
  bool italic = false;
};

class PaintManager {
 public:
  PaintManager();
  ~PaintManager();
  PaintManager(const PaintManager&) = delete;
  PaintManager& operator=(const PaintManager&) = delete;

  void Init(HWND window);
  HWND GetWindow() const { return window_; }

  // Takes the layout's tree, joins every control to this window, then runs
  // each control's Init.
  void SetRoot(std::unique_ptr<Control> root);
  Control* GetRoot() const { return root_.get(); }

  // Window attributes of the layout.
  void SetInitialSize(SIZE size) { initialSize_ = size; }
  SIZE GetInitialSize() const { return initialSize_; }
  void SetCaptionRect(const RECT& rect) { caption_ = rect; }
  const RECT& GetCaptionRect() const { return caption_; }
  void SetBkColor(Argb color) { bkColor_ = color; }
  // A layered window is composed with per-pixel alpha: unpainted pixels let
  // the desktop through, and opacity scales the whole window.
  void SetLayered(bool layered) { layered_ = layered; }
  bool IsLayered() const { return layered_; }
  void SetOpacity(BYTE opacity) { opacity_ = opacity; }
  void SetSkinFolder(const std::wstring& folder) { skinFolder_ = folder; }
  const std::wstring& GetSkinFolder() const { return skinFolder_; }

  // Fonts by layout id; an unknown id (or -1) is the default font.
  void AddFont(int id, const FontSpec& spec, bool isDefault);
  bool HasFont(int id) const { return fonts_.count(id) != 0; }
  HFONT GetFont(int id) const;
  // Pixel size of a text drawn on one line in a font of this window, the way
  // the controls draw it.
  SIZE MeasureText(const std::wstring& text, int fontId) const;

  // A decoded picture (cached by name), or null when it cannot be had.
  Gdiplus::Bitmap* GetImage(const ImageDescription& image);

  Control* FindControl(const std::wstring& name) const;
  void RegisterName(Control* control);

  void AddListener(NotificationListener* listener);
  void SendNotify(Control* sender, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0);

  bool SetTimer(Control* control, UINT id, UINT elapseMs);
  void KillTimer(Control* control, UINT id);

  Control* GetFocus() const { return focus_; }
  void SetFocus(Control* control);
  Control* GetHot() const { return hot_; }
  // Forgets every reference to a control that is going away.
  void ReapControl(Control* control);

  void NeedUpdate();
  void UpdateLayout();
  void Invalidate(const RECT& rect);
  // Lays out and draws the whole client area into the back buffer.
  void Render();
  // One pixel of the back buffer as 0xAARRGGBB (0 outside it).
  Argb PixelAt(int x, int y) const;
  SIZE BufferSize() const { return bufferSize_; }

  Control* FindControlAt(POINT point);

  // Handles the messages the toolkit draws and routes; true with *result
  // when the message was consumed.
  bool MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // The window's key-down filter, also consulted by native edit fields.
  void SetKeyFilter(std::function<bool(WPARAM)> filter) { keyFilter_ = std::move(filter); }
  bool FilterKey(WPARAM key) { return keyFilter_ && keyFilter_(key); }

  HWND GetToolTipWindow() const { return toolTip_; }

 private:
  struct TimerRecord {
    Control* control;
    UINT id;
  };

  void EnsureBuffer(int width, int height);
  void Present(HDC target);
  void UpdateHot(POINT point);
  void ShowToolTip(Control* control);
  void HideToolTip();
  void TrackMouse();

  HWND window_ = nullptr;
  std::unique_ptr<Control> root_;
  SIZE initialSize_ = {};
  RECT caption_ = {};
  Argb bkColor_ = 0;
  bool layered_ = false;
  BYTE opacity_ = 255;
  std::wstring skinFolder_;

  std::map<int, UniqueGdiObject> fonts_;
  int defaultFont_ = -1;
  UniqueGdiObject fallbackFont_;
  std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> images_;  // null: could not be decoded
  std::map<std::wstring, Control*> names_;
  std::vector<NotificationListener*> listeners_;
  std::map<UINT_PTR, TimerRecord> timers_;
  UINT_PTR nextTimer_ = 0x100;

  Control* focus_ = nullptr;
  Control* hot_ = nullptr;
  Control* captured_ = nullptr;
  bool needUpdate_ = true;
  bool trackingMouse_ = false;

  UniqueMemoryDc bufferDc_;
  UniqueGdiObject bufferBitmap_;
  HGDIOBJ bufferPrevious_ = nullptr;
  void* bufferBits_ = nullptr;
  SIZE bufferSize_ = {};

  HWND toolTip_ = nullptr;
  Control* toolTipControl_ = nullptr;
  std::wstring toolTipText_;
  std::function<bool(WPARAM)> keyFilter_;
};

}  // namespace kxui
