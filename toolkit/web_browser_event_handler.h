// What the owner of a web browser control hears from it. Every member has a
// default, so a handler overrides only what it cares about.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <mshtmhst.h>

namespace kxui {

class WebBrowserEventHandler {
 public:
  virtual ~WebBrowserEventHandler() = default;

  // browser: the browser object of the frame the event is about (the
  // control's own top-level browser for the page itself).
  virtual void NavigateError(IDispatch* browser, VARIANT* url, VARIANT* frame, VARIANT* statusCode,
                             VARIANT_BOOL* cancel) {}
  virtual void DocumentComplete(IDispatch* browser, VARIANT* url) {}
  virtual void BeforeNavigate2(IDispatch* browser, VARIANT* url, VARIANT_BOOL* cancel) {}
  // Fill in the host's flags and double-click behaviour; E_NOTIMPL keeps the defaults.
  virtual HRESULT GetHostInfo(DOCHOSTUIINFO* info) { return E_NOTIMPL; }
  // S_OK: handled, no menu; S_FALSE: the browser shows its own.
  virtual HRESULT ShowContextMenu(DWORD id, POINT* point, IUnknown* target, IDispatch* reserved) { return S_FALSE; }
  // The object page script reaches as window.external; null for none.
  virtual HRESULT GetExternal(IDispatch** external) {
    *external = nullptr;
    return E_NOTIMPL;
  }
};

}  // namespace kxui
