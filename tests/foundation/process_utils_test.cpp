#include "foundation/process_utils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "foundation/folders.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"
#include "foundation/win_handles.h"

namespace {

const std::wstring kTooLong(2000, L'x');

// The test child is built beside the test program.
std::wstring ChildPath() { return FolderOfPath(OwnExePath()) + L"\\qiv_child.exe"; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);  // text mode: the log's line ends read as "\n"
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Presses OK in every dialog box shown on this thread while it lives: the
// shell reports a program it cannot start in such a box.
class ShellErrorBoxes {
 public:
  ShellErrorBoxes() {
    dismissed_ = 0;
    hook_ = ::SetWindowsHookExW(WH_CBT, &ShellErrorBoxes::Hook, nullptr, ::GetCurrentThreadId());
  }
  ~ShellErrorBoxes() { ::UnhookWindowsHookEx(hook_); }
  ShellErrorBoxes(const ShellErrorBoxes&) = delete;
  ShellErrorBoxes& operator=(const ShellErrorBoxes&) = delete;
  int dismissed() const { return dismissed_; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
      const HWND box = reinterpret_cast<HWND>(wParam);
      wchar_t className[32] = {};
      ::GetClassNameW(box, className, 32);
      if (std::wstring(className) == L"#32770") {
        ++dismissed_;
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static int dismissed_;
  HHOOK hook_;
};
int ShellErrorBoxes::dismissed_ = 0;

// The process-wide log, and what was written to it since the test began.
class ProcessUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = SetupLog(L"kxTestFoundation.log");
    ASSERT_NE(log_, nullptr);
    start_ = ReadFile(log_->LogPath()).size();
  }
  std::string NewLogText() const {
    const std::string all = ReadFile(log_->LogPath());
    return all.size() > start_ ? all.substr(start_) : std::string();
  }
  size_t Count(const std::string& text) const {
    const std::string log = NewLogText();
    size_t count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }

  simpleLog* log_ = nullptr;
  size_t start_ = 0;
};

TEST_F(ProcessUtilsTest, RunExeReturnsTheExitCode) {
  const std::wstring child = ChildPath();
  EXPECT_EQ(RunExe(child, L"exit 7", false), 7);
  EXPECT_EQ(RunExe(child, L"exit 0", false), 0);
  EXPECT_EQ(RunExe(child, L"exit 3", true), 3);
  EXPECT_EQ(RunExe(child, L"exit 5 " + kTooLong, false), 5);
  EXPECT_EQ(Count(" - RunExe: \n path=[" + WideToAnsi(child) + "] \n param=[exit 7] \n hide=[0], block=[1].\n"), 1u)
      << NewLogText();
  EXPECT_EQ(Count("[INFO] "), 8u) << NewLogText();
  EXPECT_EQ(Count(" - RunExe ret=[7].\n"), 1u);
  EXPECT_EQ(Count(" - RunExe ret=[0].\n"), 1u);
  EXPECT_EQ(Count(" - RunExe ret=[3].\n"), 1u);
  EXPECT_EQ(Count("RunExe failed!"), 0u);
}

TEST_F(ProcessUtilsTest, RunExeOfAMissingFileStartsNothing) {
  const std::wstring missing = TempFolder() + L"qiv_no_such_package.exe";
  EXPECT_EQ(RunExe(missing, L"", false), -1);
  EXPECT_EQ(Count("[ERROR] "), 1u) << NewLogText();
  EXPECT_EQ(Count(" - RunExe failed! err=[2]\n"), 1u) << NewLogText();
  EXPECT_EQ(Count("RunExe ret="), 0u);
}

TEST_F(ProcessUtilsTest, RunExeFailsWhenTheShellCannotStartIt) {
  // Named without a path and unknown to the system, like a missing cleanmgr:
  // a result, and no error box that would stop an unattended install.
  ShellErrorBoxes boxes;
  EXPECT_EQ(RunExe(L"qiv_no_such_program_anywhere", L"/d C:", true), -1);
  EXPECT_EQ(Count("RunExe failed! err=["), 1u) << NewLogText();
  EXPECT_EQ(Count("RunExe ret="), 0u);
  EXPECT_EQ(boxes.dismissed(), 0);
}

TEST_F(ProcessUtilsTest, RunExeRejectsUnusablePaths) {
  ShellErrorBoxes boxes;
  for (const bool skipFileCheck : {false, true}) {
    EXPECT_EQ(RunExe(L"", L"", skipFileCheck), -1);
    EXPECT_EQ(RunExe(kTooLong, kTooLong, skipFileCheck), -1);
  }
  EXPECT_EQ(Count("RunExe failed! err=["), 4u) << NewLogText();
  EXPECT_EQ(Count("RunExe ret="), 0u);
  EXPECT_EQ(boxes.dismissed(), 0);
}

struct HiddenCase {
  std::wstring commandLine;
  bool expected;
};

TEST_F(ProcessUtilsTest, RunHiddenSucceedsOnExitCodeZero) {
  const std::wstring child = L"\"" + ChildPath() + L"\"";
  const HiddenCase cases[] = {
      {child + L" exit 0", true},
      {child + L" exit 3", false},
      {child + L" exit -1", false},
      {L"\"" + TempFolder() + L"qiv_no_such_program.exe\"", false},
      {L"", false},
      {kTooLong, false},
  };
  for (const HiddenCase& c : cases) EXPECT_EQ(RunHidden(c.commandLine), c.expected) << c.commandLine;
  EXPECT_EQ(NewLogText(), "");
}

// A child that keeps running until the test ends it by its handle.
class RunningChild {
 public:
  RunningChild() {
    std::wstring line = L"\"" + ChildPath() + L"\" sleep 600000";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
      process_.reset(started.hProcess);
      ::CloseHandle(started.hThread);
      id_ = started.dwProcessId;
    }
  }
  ~RunningChild() {
    if (!process_) return;
    ::TerminateProcess(process_.get(), 0);
    ::WaitForSingleObject(process_.get(), INFINITE);
  }
  DWORD id() const { return id_; }

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};

TEST_F(ProcessUtilsTest, FindProcessByPathFindsARunningChild) {
  RunningChild child;
  ASSERT_NE(child.id(), 0u);
  const std::wstring path = ChildPath();
  EXPECT_EQ(FindProcessByPath(path), child.id());
  EXPECT_EQ(FindProcessByPath(L"\\qiv_child.exe"), child.id());

  // The image path is compared as written: a change of case is another path.
  std::wstring upper = path;
  CharUpperW(&upper[0]);
  EXPECT_EQ(FindProcessByPath(upper), 0u);
  EXPECT_EQ(FindProcessByPath(path + L".other"), 0u);
  EXPECT_EQ(FindProcessByPath(L""), 0u);
  EXPECT_EQ(FindProcessByPath(kTooLong), 0u);
}

TEST_F(ProcessUtilsTest, FindProcessByPathSkipsThisProcess) {
  EXPECT_NE(FindProcessByPath(OwnExePath()), ::GetCurrentProcessId());
}

}  // namespace
