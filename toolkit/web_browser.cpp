#include "toolkit/web_browser.h"

#include <exdispid.h>
#include <ocidl.h>

#include "foundation/text_convert.h"
#include "toolkit/browser_site.h"
#include "toolkit/paint_manager.h"
#include "toolkit/toolkit_log.h"

namespace kxui {
namespace {

const wchar_t kSystemBrowserClsid[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

// Event arguments arrive last first; index counts from the first one.
VARIANT* Argument(DISPPARAMS* params, UINT index) {
  if (!params || index >= params->cArgs) return nullptr;
  return &params->rgvarg[params->cArgs - 1 - index];
}

VARIANT* Deref(VARIANT* value) {
  return value && value->vt == (VT_BYREF | VT_VARIANT) ? value->pvarVal : value;
}

IDispatch* DispatchArgument(DISPPARAMS* params, UINT index) {
  VARIANT* value = Deref(Argument(params, index));
  return value && value->vt == VT_DISPATCH ? value->pdispVal : nullptr;
}

class BstrText {
 public:
  explicit BstrText(const std::wstring& text) : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~BstrText() { ::SysFreeString(value_); }
  BstrText(const BstrText&) = delete;
  BstrText& operator=(const BstrText&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

}  // namespace

WebBrowser::WebBrowser() : clsid_(kSystemBrowserClsid) {}

WebBrowser::~WebBrowser() {
  if (events_) events_->Unadvise(eventsCookie_);
  events_.reset();
  browser_.reset();
  if (oleObject_) {
    oleObject_->Close(OLECLOSE_NOSAVE);
    oleObject_->SetClientSite(nullptr);
  }
  oleObject_.reset();
  if (site_) {
    site_->Detach();
    site_->Release();
  }
}

void* WebBrowser::GetInterface(const std::wstring& name) {
  return name == L"WebBrowser" ? this : Control::GetInterface(name);
}

void WebBrowser::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"clsid") {
    clsid_ = value;
  } else if (name == L"delaycreate") {
    delayCreate_ = ParseBool(value);
  } else if (name == L"homepage") {
    homePage_ = value;
  } else {
    Control::SetAttribute(name, value);
  }
}

void WebBrowser::Init() {
  if (!site_) site_ = new BrowserSite(this);
  if (!delayCreate_) CreateBrowser();
}

IDispatch* WebBrowser::GetScriptObject() {
  if (!site_) return nullptr;
  site_->AddRef();
  return static_cast<IDispatch*>(site_);
}

bool WebBrowser::CreateBrowser() {
  if (browser_) return true;
  if (createFailed_ || !site_ || !manager_ || !manager_->GetWindow()) return false;
  const std::string name = WideToAnsi(name_);
  CLSID clsid = {};
  HRESULT result = ::CLSIDFromString(clsid_.c_str(), &clsid);
  if (SUCCEEDED(result)) {
    result = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IOleObject,
                                oleObject_.put_void());
  }
  if (SUCCEEDED(result)) result = oleObject_->SetClientSite(site_);
  if (SUCCEEDED(result)) {
    RECT rect = pos_;
    result = oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, manager_->GetWindow(), &rect);
  }
  if (SUCCEEDED(result)) result = oleObject_->QueryInterface(IID_IWebBrowser2, browser_.put_void());
  if (FAILED(result)) {
    // Set once: a browser that cannot be created is not tried on every call.
    createFailed_ = true;
    KXUI_ERROR("web browser [%s]: %s cannot be created, hr=[0x%08lx]", name.c_str(), WideToAnsi(clsid_).c_str(),
               static_cast<unsigned long>(result));
    browser_.reset();
    if (oleObject_) oleObject_->SetClientSite(nullptr);
    oleObject_.reset();
    return false;
  }
  ComPtr<IConnectionPointContainer> points;
  if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, points.put_void())) &&
      SUCCEEDED(points->FindConnectionPoint(kWebBrowserEventsIid, events_.put()))) {
    if (FAILED(events_->Advise(static_cast<IDispatch*>(site_), &eventsCookie_))) events_.reset();
  }
  if (!events_) KXUI_WARN("web browser [%s]: events cannot be connected", name.c_str());
  browser_->put_Silent(VARIANT_TRUE);  // no script error dialogs over the installer
  SyncNativeWindow();
  return true;
}

void WebBrowser::SyncNativeWindow() {
  if (!oleObject_) return;
  ComPtr<IOleInPlaceObject> inPlace;
  if (FAILED(oleObject_->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void()))) return;
  inPlace->SetObjectRects(&pos_, &pos_);
  HWND window = nullptr;
  if (SUCCEEDED(inPlace->GetWindow(&window)) && window) {
    ::ShowWindow(window, IsShownInTree() ? SW_SHOWNA : SW_HIDE);
  }
}

void WebBrowser::SetPos(const RECT& rect) {
  Control::SetPos(rect);
  SyncNativeWindow();
}

void WebBrowser::SetVisible(bool visible) {
  Control::SetVisible(visible);
  SyncNativeWindow();
}

bool WebBrowser::Navigate(const std::wstring& url) {
  if (!CreateBrowser()) return false;
  BstrText address(url);
  VARIANT empty;
  ::VariantInit(&empty);
  const HRESULT result = browser_->Navigate(address.get(), &empty, &empty, &empty, &empty);
  if (FAILED(result)) {
    KXUI_ERROR("web browser [%s]: navigation to %s failed, hr=[0x%08lx]", WideToAnsi(name_).c_str(),
               WideToAnsi(url).c_str(), static_cast<unsigned long>(result));
    return false;
  }
  return true;
}

bool WebBrowser::NavigateHomePage() { return !homePage_.empty() && Navigate(homePage_); }

bool WebBrowser::Refresh() { return browser_ && SUCCEEDED(browser_->Refresh()); }

HRESULT WebBrowser::CallScriptFunction(const std::wstring& function, const std::vector<VARIANT>& arguments,
                                       VARIANT* result, std::wstring* errorDescription) {
  errorDescription->clear();
  ComPtr<IDispatch> document;
  if (!browser_ || FAILED(browser_->get_Document(document.put())) || !document) {
    *errorDescription = L"no document is loaded";
    return E_FAIL;
  }
  // The page's script object is the document's "Script" property.
  LPOLESTR scriptName = const_cast<LPOLESTR>(L"Script");
  DISPID scriptId = 0;
  VARIANT script;
  ::VariantInit(&script);
  DISPPARAMS none = {};
  HRESULT hr = document->GetIDsOfNames(IID_NULL, &scriptName, 1, LOCALE_USER_DEFAULT, &scriptId);
  if (SUCCEEDED(hr)) {
    hr = document->Invoke(scriptId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &script, nullptr,
                          nullptr);
  }
  if (FAILED(hr) || script.vt != VT_DISPATCH || !script.pdispVal) {
    ::VariantClear(&script);
    *errorDescription = L"the page has no script";
    return FAILED(hr) ? hr : E_FAIL;
  }
  LPOLESTR functionName = const_cast<LPOLESTR>(function.c_str());
  DISPID functionId = 0;
  hr = script.pdispVal->GetIDsOfNames(IID_NULL, &functionName, 1, LOCALE_USER_DEFAULT, &functionId);
  if (FAILED(hr)) {
    ::VariantClear(&script);
    *errorDescription = L"the page has no function " + function;
    return hr;
  }
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO exception = {};
  UINT badArgument = 0;
  hr = script.pdispVal->Invoke(functionId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                               &exception, &badArgument);
  if (FAILED(hr) && exception.bstrDescription) *errorDescription = exception.bstrDescription;
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  ::VariantClear(&script);
  return hr;
}

HRESULT WebBrowser::GetIDsOfNames(LPOLESTR*, UINT, DISPID*) { return DISP_E_UNKNOWNNAME; }

HRESULT WebBrowser::Invoke(DISPID id, WORD, DISPPARAMS* params, VARIANT*) {
  if (!handler_) return S_OK;
  switch (id) {
    case DISPID_BEFORENAVIGATE2: {
      VARIANT* cancel = Argument(params, 6);
      handler_->BeforeNavigate2(DispatchArgument(params, 0), Deref(Argument(params, 1)),
                                cancel && cancel->vt == (VT_BYREF | VT_BOOL) ? cancel->pboolVal : nullptr);
      break;
    }
    case DISPID_DOCUMENTCOMPLETE:
      handler_->DocumentComplete(DispatchArgument(params, 0), Deref(Argument(params, 1)));
      break;
    case DISPID_NAVIGATEERROR: {
      VARIANT* cancel = Argument(params, 4);
      handler_->NavigateError(DispatchArgument(params, 0), Deref(Argument(params, 1)), Deref(Argument(params, 2)),
                              Deref(Argument(params, 3)),
                              cancel && cancel->vt == (VT_BYREF | VT_BOOL) ? cancel->pboolVal : nullptr);
      break;
    }
    default:
      break;
  }
  return S_OK;
}

HRESULT WebBrowser::GetExternal(IDispatch** external) {
  *external = nullptr;
  if (handler_ && SUCCEEDED(handler_->GetExternal(external)) && *external) return S_OK;
  *external = GetScriptObject();
  return *external ? S_OK : E_NOTIMPL;
}

HRESULT WebBrowser::GetHostInfo(DOCHOSTUIINFO* info) { return handler_ ? handler_->GetHostInfo(info) : E_NOTIMPL; }

HRESULT WebBrowser::ShowContextMenu(DWORD id, POINT* point, IUnknown* target, IDispatch* reserved) {
  return handler_ ? handler_->ShowContextMenu(id, point, target, reserved) : S_FALSE;
}

}  // namespace kxui
