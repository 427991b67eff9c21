#include "toolkit/browser_site.h"

#include <exdisp.h>

#include "toolkit/paint_manager.h"
#include "toolkit/web_browser.h"

namespace kxui {

const IID kWebBrowserEventsIid = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};

STDMETHODIMP BrowserSite::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
    *object = static_cast<IOleInPlaceFrame*>(this);
  } else if (iid == IID_IDocHostUIHandler) {
    *object = static_cast<IDocHostUIHandler*>(this);
  } else if (iid == IID_IDispatch || iid == kWebBrowserEventsIid) {
    *object = static_cast<IDispatch*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) BrowserSite::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) BrowserSite::Release() {
  const LONG left = ::InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

STDMETHODIMP BrowserSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP BrowserSite::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = owner_ && owner_->GetManager() ? owner_->GetManager()->GetWindow() : nullptr;
  return *window ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (!frame || !document || !position || !clip || !info) return E_POINTER;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *document = nullptr;
  const RECT rect = owner_ ? owner_->GetPos() : RECT{};
  *position = rect;
  *clip = rect;
  info->fMDIApp = FALSE;
  GetWindow(&info->hwndFrame);
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

STDMETHODIMP BrowserSite::ShowContextMenu(DWORD id, POINT* point, IUnknown* target, IDispatch* reserved) {
  return owner_ ? owner_->ShowContextMenu(id, point, target, reserved) : S_FALSE;
}

STDMETHODIMP BrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
  return owner_ ? owner_->GetHostInfo(info) : E_NOTIMPL;
}

STDMETHODIMP BrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key) *key = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::GetDropTarget(IDropTarget*, IDropTarget** target) {
  if (target) *target = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::GetExternal(IDispatch** external) {
  if (!external) return E_POINTER;
  *external = nullptr;
  return owner_ ? owner_->GetExternal(external) : E_NOTIMPL;
}

STDMETHODIMP BrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) {
  if (translated) *translated = nullptr;
  return S_FALSE;
}

STDMETHODIMP BrowserSite::FilterDataObject(IDataObject*, IDataObject** filtered) {
  if (filtered) *filtered = nullptr;
  return S_FALSE;
}

STDMETHODIMP BrowserSite::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

STDMETHODIMP BrowserSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return owner_ ? owner_->GetIDsOfNames(names, count, ids) : DISP_E_UNKNOWNNAME;
}

STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO*, UINT*) {
  return owner_ ? owner_->Invoke(id, flags, params, result) : S_OK;
}

}  // namespace kxui
