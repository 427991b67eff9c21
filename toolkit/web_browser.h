// An ActiveX host of the system web browser control inside a layout. The
// control is created at once (or on first navigation with delaycreate),
// sized with its layout rectangle, and hears the browser's events through
// its own script-callable object, which page script also reaches through
// window.external when the event handler offers it.
//
// Without a rendering engine the control stays empty: creation and
// navigation failures are logged and nothing else happens.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "foundation/win_handles.h"
#include "toolkit/control.h"
#include "toolkit/web_browser_event_handler.h"

namespace kxui {

class BrowserSite;

class WebBrowser : public Control {
 public:
  WebBrowser();
  ~WebBrowser() override;
  std::wstring ClassName() const override { return L"WebBrowser"; }
  void* GetInterface(const std::wstring& name) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void Init() override;
  void SetPos(const RECT& rect) override;
  void SetVisible(bool visible) override;

  void SetEventHandler(WebBrowserEventHandler* handler) { handler_ = handler; }
  WebBrowserEventHandler* GetEventHandler() const { return handler_; }

  bool Navigate(const std::wstring& url);
  void SetHomePage(const std::wstring& url) { homePage_ = url; }
  const std::wstring& GetHomePage() const { return homePage_; }
  bool NavigateHomePage();
  bool Refresh();

  // The hosted browser object (not add-refed), null while none exists.
  IWebBrowser2* GetWebBrowser2() const { return browser_.get(); }
  // Creates the hosted browser now; false when it cannot be created.
  bool CreateBrowser();

  // Calls a named function of the loaded page's script with arguments in
  // order. On failure *errorDescription gets what the script engine said,
  // or why there was nothing to call.
  HRESULT CallScriptFunction(const std::wstring& function, const std::vector<VARIANT>& arguments, VARIANT* result,
                             std::wstring* errorDescription);

  // The control's own script-callable object: the event sink and the
  // default external object. Add-refed; null before Init.
  IDispatch* GetScriptObject();

  // Name lookup and invocation of the script-callable object. The base
  // understands the browser's event identifiers and ignores the rest.
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
  virtual HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);
  // The document host's window.external: the handler's object, or else the
  // control's own script-callable object.
  virtual HRESULT GetExternal(IDispatch** external);
  virtual HRESULT GetHostInfo(DOCHOSTUIINFO* info);
  virtual HRESULT ShowContextMenu(DWORD id, POINT* point, IUnknown* target, IDispatch* reserved);

 private:
  friend class BrowserSite;
  void SyncNativeWindow();

  std::wstring clsid_;
  std::wstring homePage_;
  bool delayCreate_ = true;
  bool createFailed_ = false;
  WebBrowserEventHandler* handler_ = nullptr;
  BrowserSite* site_ = nullptr;  // one reference held
  ComPtr<IOleObject> oleObject_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> events_;
  DWORD eventsCookie_ = 0;
};

}  // namespace kxui
