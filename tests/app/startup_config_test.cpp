// Start-up with the configuration: real installers with good and bad
// embedded files, their exit codes, their log lines and their error boxes.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/folders.h"
#include "foundation/text_convert.h"

namespace {

const DWORD kWaitMs = 30000;  // generous: the first Wine start of a prefix is slow

std::wstring BinFolder() { return FolderOfPath(OwnExePath()) + L"\\"; }
std::wstring LogFolder() { return TempFolder() + L"Pellavorine\\QIV\\"; }

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void DeleteFiles(const std::wstring& pattern) {
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((LogFolder() + pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    ::DeleteFileW((LogFolder() + entry.cFileName).c_str());
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
}

// The newest log of the family once the process has ended and moved it.
std::string FinishedLog(const std::wstring& family) {
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((LogFolder() + family + L".*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return std::string();
  std::wstring newest;
  do {
    if (newest.empty() || std::wstring(entry.cFileName) > newest) newest = entry.cFileName;
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return ReadFile(LogFolder() + newest);
}

// Whether the lines appear in this order.
::testing::AssertionResult InOrder(const std::string& log, const std::vector<std::string>& lines) {
  size_t at = 0;
  for (const std::string& line : lines) {
    at = log.find(line, at);
    if (at == std::string::npos) return ::testing::AssertionFailure() << "no \"" << line << "\" in order in:\n" << log;
  }
  return ::testing::AssertionSuccess();
}

class Installer {
 public:
  // A suspended installer waits for Resume, so that a watcher can be set
  // up for its very first window.
  Installer(const std::wstring& exe, const std::wstring& arguments, bool suspended = false) {
    std::wstring commandLine = L"\"" + BinFolder() + exe + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    started_ = ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0,
                                nullptr, nullptr, &startup, &info_) != FALSE;
  }
  ~Installer() {
    if (!started_) return;
    if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(info_.hProcess, 99);
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
  }
  bool started() const { return started_; }
  bool WaitUntilIdle() { return ::WaitForInputIdle(info_.hProcess, kWaitMs) == 0; }
  void Quit() { ::PostThreadMessageW(info_.dwThreadId, WM_QUIT, 0, 0); }
  DWORD WaitForExit() {
    ::WaitForSingleObject(info_.hProcess, kWaitMs);
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  DWORD pid() const { return info_.dwProcessId; }
  HANDLE process() const { return info_.hProcess; }
  void Resume() { ::ResumeThread(info_.hThread); }

 private:
  PROCESS_INFORMATION info_ = {};
  bool started_ = false;
};

// A dialog box of the process: its caption and the texts of its labels.
struct Box {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;
};

BOOL CALLBACK CollectLabel(HWND child, LPARAM param) {
  wchar_t className[64] = {};
  ::GetClassNameW(child, className, 64);
  wchar_t text[512] = {};
  ::GetWindowTextW(child, text, 512);
  if (_wcsicmp(className, L"Static") == 0) *reinterpret_cast<std::wstring*>(param) += text;
  return TRUE;
}

// The dialog the hook saw created; one watch at a time.
HWND g_createdBox = nullptr;

void CALLBACK OnWindowCreated(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
  wchar_t className[64] = {};
  if (object == OBJID_WINDOW && window && ::GetClassNameW(window, className, 64) &&
      std::wstring(className) == L"#32770") {
    g_createdBox = window;
  }
}

// Resumes the suspended installer and waits until it shows a dialog box or
// ends. Window creation events of that process reach this thread's queue.
Box WaitForBox(Installer& installer) {
  g_createdBox = nullptr;
  HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, OnWindowCreated,
                                         installer.pid(), 0, WINEVENT_OUTOFCONTEXT);
  installer.Resume();
  const DWORD start = ::GetTickCount();
  HANDLE process = installer.process();
  while (!g_createdBox && ::GetTickCount() - start < kWaitMs) {
    const DWORD woke = ::MsgWaitForMultipleObjects(1, &process, FALSE, kWaitMs, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    if (woke == WAIT_OBJECT_0) break;  // ended without a box
  }
  if (hook) ::UnhookWinEvent(hook);
  Box box;
  if (!g_createdBox) return box;
  // Its thread takes a sent message only once the box's own loop runs, that
  // is after the box has set its texts.
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(g_createdBox, WM_NULL, 0, 0, SMTO_BLOCK, kWaitMs, &ignored);
  box.window = g_createdBox;
  wchar_t caption[256] = {};
  ::GetWindowTextW(box.window, caption, 256);
  box.caption = caption;
  ::EnumChildWindows(box.window, CollectLabel, reinterpret_cast<LPARAM>(&box.text));
  return box;
}

class StartupConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    DeleteFiles(L"kxQIV.log*");
    DeleteFiles(L"kxForkQIV.log*");
  }
};

struct BrokenInstaller {
  const wchar_t* exe;
  std::vector<std::string> lines;
  const wchar_t* boxText;
};

const BrokenInstaller kBroken[] = {
    {L"Qiv_no_product.exe",
     {" - LoadLocalXml\r\n", "[ERROR] ", " - LoadLocalXml, find failed!\r\n", " - LoadLocalXml failed!\r\n"},
     L"Load product xml error."},
    {L"Qiv_empty_product.exe",
     {" - LoadLocalXml\r\n", " - LoadLocalXml, size error!\r\n", " - LoadLocalXml failed!\r\n"},
     L"Load product xml error."},
    {L"Qiv_broken_product.exe",
     {" - LoadLocalXml\r\n", " - LoadLocalXml err 3\r\n", " - LoadLocalXml failed!\r\n"},
     L"Load product xml error."},
    {L"Qiv_no_product_root.exe",
     {" - LoadLocalXml\r\n", " - LoadLocalXml, not find product.\r\n", " - LoadLocalXml failed!\r\n"},
     L"Load product xml error."},
    {L"Qiv_no_lang.exe",
     {" - LoadLocalXml\r\n", " - ReadRunConfig\r\n", " - InitLangCode set: ", " - loadLangXML\r\n", "[ERROR] ",
      " - loadLangXML failed!\r\n"},
     L"Load lang xml error."},
};

TEST_F(StartupConfigTest, AForkedChildWithBadFilesEndsWithMinusOneAndNoBox) {
  for (const BrokenInstaller& broken : kBroken) {
    SCOPED_TRACE(WideToAnsi(broken.exe));
    DeleteFiles(L"kxForkQIV.log*");
    Installer child(broken.exe, L"OnlyForkInstallDependent=1");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.WaitForExit(), static_cast<DWORD>(-1));
    const std::string log = FinishedLog(L"kxForkQIV.log");
    EXPECT_TRUE(InOrder(log, broken.lines));
    EXPECT_EQ(log.find("MessageLoop"), std::string::npos) << log;
  }
}

TEST_F(StartupConfigTest, TheNormalStartShowsTheErrorBoxThenEndsWithMinusOne) {
  for (const BrokenInstaller& broken : kBroken) {
    SCOPED_TRACE(WideToAnsi(broken.exe));
    DeleteFiles(L"kxQIV.log*");
    Installer installer(broken.exe, L"", true);
    ASSERT_TRUE(installer.started());
    const Box box = WaitForBox(installer);
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.caption, L"Error");
    EXPECT_EQ(box.text, broken.boxText);
    ::PostMessageW(box.window, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(installer.WaitForExit(), static_cast<DWORD>(-1));
    EXPECT_TRUE(InOrder(FinishedLog(L"kxQIV.log"), broken.lines));
  }
}

TEST_F(StartupConfigTest, TheDemoInstallerReadsItsConfigurationBeforeTheLoop) {
  Installer qiv(L"Qiv.exe", L"HostLang=Deutsch");
  ASSERT_TRUE(qiv.WaitUntilIdle());
  qiv.Quit();
  EXPECT_EQ(qiv.WaitForExit(), 0u);
  const std::string log = FinishedLog(L"kxQIV.log");
  EXPECT_TRUE(InOrder(
      log, {" - LoadLocalXml\r\n", " - config folder=[", " - LoadLocalXml, dependent.item pid=[10819].\r\n",
            " - ReadRunConfig\r\n", " - InitLangCode SystemDefaultLCID: ", " - InitLangCode GetUserDefaultLCID: ",
            " - InitLangCode set: ", " - loadLangXML\r\n", " - MessageLoop\r\n"}));
  EXPECT_EQ(log.find("set select lang"), std::string::npos) << log;  // a normal start ignores HostLang
}

TEST_F(StartupConfigTest, AForkedChildTakesTheHostLanguageAfterTheRunState) {
  Installer child(L"Qiv.exe", L"OnlyForkInstallDependent=1 HostLang=Deutsch");
  ASSERT_TRUE(child.WaitUntilIdle());
  child.Quit();
  EXPECT_EQ(child.WaitForExit(), 0u);
  EXPECT_TRUE(InOrder(FinishedLog(L"kxForkQIV.log"),
                      {" - ReadRunConfig\r\n", " - set select lang=[Deutsch].\r\n", " - loadLangXML\r\n"}));
}

}  // namespace
