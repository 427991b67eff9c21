#include "app/entry.h"

#include <objbase.h>

#include "app/admin_check.h"
#include "app/command_line.h"
#include "app/crash_handler.h"
#include "app/single_instance.h"
#include "config/lang_catalog.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"
#include "foundation/window_utils.h"
#include "orchestrator/qiv_mgr.h"
#include "ui/skin_loader.h"

namespace {

const wchar_t kMainWindowClass[] = L"QIV";
const wchar_t kNotAdministrator[] = L"You must be logged in as administrator when installing this program.";

void ShowStartupError(bool fork, const wchar_t* text) {
  // A forked child runs hidden: a dialog there would block its parent.
  if (!fork) ::MessageBoxW(nullptr, text, L"Error", MB_ICONERROR);
}

// The fork-mode switches the parent passes to its child. The language is
// applied after the run state was read, so that the parent's choice wins.
void ApplyHostSwitches(const CommandLineMap& switches) {
  QivMgr& mgr = QivMgr::Instance();
  const std::wstring hostLang = SwitchValue(switches, L"HostLang");
  if (!hostLang.empty()) {
    mgr.Run().SelectLang = hostLang;
    LOG_INFO("set select lang=[%s].", WideToAnsi(hostLang).c_str());
  }
  mgr.SetHostVersion(SwitchValue(switches, L"HostVersion"));
  const std::wstring hostHwnd = SwitchValue(switches, L"HostHwnd");
  if (!hostHwnd.empty()) {
    const long value = ParseHostHwnd(hostHwnd);
    mgr.SetHostHwnd(reinterpret_cast<HWND>(static_cast<LONG_PTR>(value)));
    LOG_INFO("set host hwnd=[%x].", static_cast<unsigned>(value));
  }
}

void RunMessageLoop() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

int RunQiv(HINSTANCE instance, const char* commandLine, int showCommand) {
  const CommandLineMap switches = ParseCommandLine(UserLocaleToWide(commandLine ? commandLine : ""));
  const bool fork = IsForkMode(switches);

  SetupLog(fork ? L"kxForkQIV.log" : L"kxQIV.log");
  LOG_INFO("start, fork=[%d].", fork ? 1 : 0);

  InstallCrashFilter();

  if (!IsAdministrator()) {
    LOG_ERROR("You must be logged in as administrator when installing this program.");
    ShowStartupError(fork, kNotAdministrator);
    return -1;
  }

  QivMgr& mgr = QivMgr::Instance();
  mgr.SetFork(fork);

  if (!mgr.LoadLocalXml()) {
    LOG_ERROR("LoadLocalXml failed!");
    ShowStartupError(fork, L"Load product xml error.");
    return -1;
  }
  mgr.ReadRunConfig();
  if (fork) ApplyHostSwitches(switches);

  LangCatalog lang;
  if (!lang.loadLangXML(mgr.Product().ProductBrand)) {
    LOG_ERROR("loadLangXML failed!");
    ShowStartupError(fork, L"Load lang xml error.");
    return -1;
  }

  SingleInstance single(SingleInstance::NameFor(mgr.ProductName(), fork));
  if (single.alreadyExisted()) {
    LOG_WARN("Already exist PreInstance.");
    if (!fork) BringOtherInstanceForward(kMainWindowClass, mgr.ProductName());
    return -1;
  }

  const HRESULT com = ::CoInitialize(nullptr);
  if (FAILED(com)) {
    LOG_ERROR("CoInitialize failed! err=[%d]", static_cast<int>(::GetLastError()));
    return -1;
  }

  LoadSkinPackage(instance);

  LOG_INFO("MessageLoop");
  RunMessageLoop();
  LOG_INFO("MessageLoop end");

  ::CoUninitialize();
  single.Close();
  LOG_INFO("exit!");
  return 0;
}
