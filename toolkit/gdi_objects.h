// Owners of the GDI objects the toolkit creates (fonts, brushes, bitmaps),
// and of the GDI+ session, which every painting path needs first.
#pragma once

#include <windows.h>

#include "foundation/win_handles.h"

namespace kxui {

struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;

struct MemoryDcTraits {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::DeleteDC(h); }
};
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;

// Starts GDI+ once for the process. It is never shut down: cached pictures
// live in process-wide objects that may outlast any scope we could pick.
void EnsureGdiPlus();

// Selects an object into a DC for the lifetime of the owner.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
  ~SelectedObject() {
    if (previous_) ::SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace kxui
