// The web browser host without a rendering engine (Wine here has none):
// creation degrades quietly, and events, host questions and the page's
// calls through window.external reach the program's code.
#include <gtest/gtest.h>

#include <exdispid.h>
#include <mshtmhst.h>
#include <ole2.h>

#include <fstream>
#include <sstream>

#include "tests/toolkit/test_window.h"
#include "tests/toolkit/zip_builder.h"
#include "toolkit/toolkit_log.h"
#include "toolkit/web_browser.h"

namespace {

constexpr DISPID kEchoId = 500;

// A program's browser control: one script-callable function, "Echo".
class ScriptedBrowser : public kxui::WebBrowser {
 public:
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) override {
    if (count > 0 && std::wstring(names[0]) == L"Echo") {
      ids[0] = kEchoId;
      return S_OK;
    }
    return WebBrowser::GetIDsOfNames(names, count, ids);
  }
  HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) override {
    if (id != kEchoId) return WebBrowser::Invoke(id, flags, params, result);
    if (!params || params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR || !result) return DISP_E_BADPARAMCOUNT;
    result->vt = VT_BSTR;
    result->bstrVal = ::SysAllocString((L"echo:" + std::wstring(params->rgvarg[0].bstrVal)).c_str());
    return S_OK;
  }
};

struct RecordingHandler : kxui::WebBrowserEventHandler {
  void DocumentComplete(IDispatch* browser, VARIANT* url) override {
    completed = url && url->vt == VT_BSTR ? url->bstrVal : L"?";
    completedBrowser = browser;
  }
  void NavigateError(IDispatch*, VARIANT* url, VARIANT*, VARIANT* status, VARIANT_BOOL*) override {
    failed = url && url->vt == VT_BSTR ? url->bstrVal : L"?";
    failedStatus = status && status->vt == VT_I4 ? status->lVal : 0;
  }
  HRESULT GetHostInfo(DOCHOSTUIINFO* info) override {
    info->dwFlags |= 0x24000F;
    return S_OK;
  }
  HRESULT ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }

  std::wstring completed, failed;
  IDispatch* completedBrowser = nullptr;
  long failedStatus = 0;
};

class WebBrowserHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    UseArchive(ZipBuilder()
                   .Add("web.xml",
                        "<Window size=\"300,200\"><VerticalLayout name=\"root\">"
                        "<WebBrowserEx name=\"web\" float=\"true\" pos=\"0,0,300,150\" delaycreate=\"false\""
                        " clsid=\"{8856F961-340A-11D0-A96B-00C04FD705A2}\"/>"
                        "</VerticalLayout></Window>")
                   .Build());
    window.factory = [](const std::wstring& kind) -> kxui::Control* {
      return kind == L"WebBrowserEx" ? new ScriptedBrowser() : nullptr;
    };
    ASSERT_TRUE(window.CreateShown());
    browser = static_cast<kxui::WebBrowser*>(window.FindControl(L"web")->GetInterface(L"WebBrowser"));
    ASSERT_NE(nullptr, browser);
    browser->SetEventHandler(&handler);
    script = browser->GetScriptObject();
    ASSERT_NE(nullptr, script);
  }
  void TearDown() override {
    if (script) script->Release();
    if (window.GetHWND()) ::DestroyWindow(window.GetHWND());
    ::OleUninitialize();
  }

  HRESULT Fire(DISPID id, std::vector<VARIANT> arguments) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }

  TestWindow window{L"web.xml", L"kxui_test_web"};
  RecordingHandler handler;
  kxui::WebBrowser* browser = nullptr;
  IDispatch* script = nullptr;
};

VARIANT Dispatch(IDispatch* value) {
  VARIANT v;
  v.vt = VT_DISPATCH;
  v.pdispVal = value;
  return v;
}
VARIANT ByRef(VARIANT* value) {
  VARIANT v;
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = value;
  return v;
}

TEST_F(WebBrowserHost, CreationAndNavigationDegradeQuietly) {
  std::ifstream file(kxui::ToolkitLog().LogPath().c_str());
  std::stringstream log;
  log << file.rdbuf();
  // Either Wine's browser object exists (without an engine to show pages)
  // or its absence is one log line; navigating never fails loudly.
  EXPECT_TRUE(browser->GetWebBrowser2() || log.str().find("web browser [web]") != std::string::npos);
  browser->SetHomePage(L"about:blank");
  EXPECT_EQ(L"about:blank", browser->GetHomePage());
  browser->NavigateHomePage();
  browser->Refresh();
  PumpUntil([] { return true; });
  EXPECT_TRUE(::IsWindow(window.GetHWND()));
}

TEST_F(WebBrowserHost, BrowserEventsReachTheHandler) {
  VARIANT url;
  url.vt = VT_BSTR;
  url.bstrVal = ::SysAllocString(L"https://example.invalid/banner");
  EXPECT_EQ(S_OK, Fire(DISPID_DOCUMENTCOMPLETE, {Dispatch(script), ByRef(&url)}));
  EXPECT_EQ(L"https://example.invalid/banner", handler.completed);
  EXPECT_EQ(script, handler.completedBrowser);

  VARIANT frame, status, cancelValue;
  ::VariantInit(&frame);
  status.vt = VT_I4;
  status.lVal = 404;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  cancelValue.vt = VT_BYREF | VT_BOOL;
  cancelValue.pboolVal = &cancel;
  EXPECT_EQ(S_OK, Fire(DISPID_NAVIGATEERROR,
                       {Dispatch(script), ByRef(&url), ByRef(&frame), ByRef(&status), cancelValue}));
  EXPECT_EQ(L"https://example.invalid/banner", handler.failed);
  EXPECT_EQ(404, handler.failedStatus);
  ::SysFreeString(url.bstrVal);
}

TEST_F(WebBrowserHost, DocumentHostAsksTheHandler) {
  IDocHostUIHandler* host = nullptr;
  ASSERT_EQ(S_OK, script->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&host)));
  DOCHOSTUIINFO info = {sizeof info};
  EXPECT_EQ(S_OK, host->GetHostInfo(&info));
  EXPECT_EQ(0x24000Fu, info.dwFlags);
  EXPECT_EQ(S_OK, host->ShowContextMenu(0, nullptr, nullptr, nullptr));
  browser->SetEventHandler(nullptr);
  EXPECT_EQ(S_FALSE, host->ShowContextMenu(0, nullptr, nullptr, nullptr));
  host->Release();
}

TEST_F(WebBrowserHost, PageScriptReachesTheControlThroughWindowExternal) {
  IDocHostUIHandler* host = nullptr;
  ASSERT_EQ(S_OK, script->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&host)));
  IDispatch* external = nullptr;
  ASSERT_EQ(S_OK, host->GetExternal(&external));
  ASSERT_NE(nullptr, external);
  LPOLESTR name = const_cast<LPOLESTR>(L"Echo");
  DISPID id = 0;
  ASSERT_EQ(S_OK, external->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
  EXPECT_EQ(kEchoId, id);
  VARIANT argument, result;
  argument.vt = VT_BSTR;
  argument.bstrVal = ::SysAllocString(L"hi");
  ::VariantInit(&result);
  DISPPARAMS params = {&argument, nullptr, 1, 0};
  ASSERT_EQ(S_OK, external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                                   nullptr));
  ASSERT_EQ(VT_BSTR, result.vt);
  EXPECT_STREQ(L"echo:hi", result.bstrVal);
  ::VariantClear(&result);
  ::VariantClear(&argument);
  LPOLESTR unknown = const_cast<LPOLESTR>(L"Nothing");
  EXPECT_EQ(DISP_E_UNKNOWNNAME, external->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id));
  external->Release();
  host->Release();
}

TEST_F(WebBrowserHost, CallingAPageFunctionWithoutAPageFailsWithADescription) {
  std::wstring description;
  VARIANT result;
  ::VariantInit(&result);
  EXPECT_TRUE(FAILED(browser->CallScriptFunction(L"KXAppInvoke", {}, &result, &description)));
  EXPECT_FALSE(description.empty());
}

}  // namespace
