// The installer's start-up seen from outside: real Qiv.exe processes, their
// exit codes and their log files.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "app/admin_check.h"
#include "app/entry.h"
#include "foundation/folders.h"
#include "foundation/logger.h"

namespace {

const DWORD kStartWaitMs = 30000;  // generous: the first Wine start of a prefix is slow

std::wstring BinFolder() { return FolderOfPath(OwnExePath()); }
std::wstring QivLogFolder() { return TempFolder() + L"Pellavorine\\QIV\\"; }

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Today() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  wchar_t date[16];
  swprintf(date, 16, L"%04d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
  return date;
}

void DeleteLogFamilies() {
  for (const wchar_t* family : {L"kxQIV.log*", L"kxForkQIV.log*"}) {
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((QivLogFolder() + family).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      ::DeleteFileW((QivLogFolder() + entry.cFileName).c_str());
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
  }
}

// One started Qiv.exe; ended by its own process handle if a test fails early.
class QivProcess {
 public:
  explicit QivProcess(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + BinFolder() + L"\\Qiv.exe\" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    started_ = ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &info_) != FALSE;
  }
  ~QivProcess() {
    if (!started_) return;
    if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(info_.hProcess, 99);
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
  }

  bool started() const { return started_; }
  // True once the process waits in its message loop.
  bool WaitUntilIdle() { return ::WaitForInputIdle(info_.hProcess, kStartWaitMs) == 0; }
  void Quit() { ::PostThreadMessageW(info_.dwThreadId, WM_QUIT, 0, 0); }
  // The exit code, or 259 (still active) when it did not end in time.
  DWORD WaitForExit() {
    ::WaitForSingleObject(info_.hProcess, kStartWaitMs);
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  DWORD pid() const { return info_.dwProcessId; }

 private:
  PROCESS_INFORMATION info_ = {};
  bool started_ = false;
};

class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteLogFamilies(); }
  void TearDown() override { DeleteLogFamilies(); }
};

TEST_F(EntryTest, NormalStartRunsUntilQuitThenMovesItsLogToTheDatedName) {
  QivProcess qiv(L"");
  ASSERT_TRUE(qiv.started());
  ASSERT_TRUE(qiv.WaitUntilIdle());
  const std::string running = ReadFile(QivLogFolder() + L"kxQIV.log");
  EXPECT_NE(running.find(" - start, fork=[0].\r\n"), std::string::npos) << running;
  EXPECT_FALSE(Exists(QivLogFolder() + L"kxForkQIV.log"));

  // A quit posted before the loop runs waits in the queue, so this ends the
  // loop whenever it arrives.
  qiv.Quit();
  EXPECT_EQ(qiv.WaitForExit(), 0u);
  EXPECT_FALSE(Exists(QivLogFolder() + L"kxQIV.log"));
  const std::string done = ReadFile(QivLogFolder() + L"kxQIV.log." + Today());
  const std::regex lines(
      R"(\[[^\]]+\] \[INFO\] \d+ - start, fork=\[0\]\.\r\n)"
      R"((?:\[[^\]]+\] \[(?:INFO|WARN|ERROR)\] \d+ - [^\r\n]*\r\n)*)"  // the configuration's lines
      R"(\[[^\]]+\] \[INFO\] \d+ - MessageLoop\r\n)"
      R"(\[[^\]]+\] \[INFO\] \d+ - MessageLoop end\r\n)"
      R"(\[[^\]]+\] \[INFO\] \d+ - exit!\r\n)");
  EXPECT_TRUE(std::regex_match(done, lines)) << done;
}

TEST_F(EntryTest, SecondNormalStartExitsWithMinusOne) {
  QivProcess first(L"");
  ASSERT_TRUE(first.WaitUntilIdle());
  QivProcess second(L"OnlyForkInstallDependent=true");
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.WaitForExit(), static_cast<DWORD>(-1));
  // The second run's exit step moved the shared log to the dated name.
  const std::string log = ReadFile(QivLogFolder() + L"kxQIV.log." + Today());
  EXPECT_NE(log.find(" - start, fork=[0].\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("[WARN] "), std::string::npos) << log;
  EXPECT_NE(log.find(" - Already exist PreInstance.\r\n"), std::string::npos) << log;

  first.Quit();
  EXPECT_EQ(first.WaitForExit(), 0u);
}

TEST_F(EntryTest, ForkedChildRunsBesideTheNormalInstanceButOnlyOnce) {
  QivProcess normal(L"HostLang=English HostHwnd=77");
  ASSERT_TRUE(normal.WaitUntilIdle());
  QivProcess child(L"OnlyForkInstallDependent=1 HostHwnd=1234 HostVersion=2.1.0.7");
  ASSERT_TRUE(child.WaitUntilIdle());
  QivProcess secondChild(L"OnlyForkInstallDependent=1");
  EXPECT_EQ(secondChild.WaitForExit(), static_cast<DWORD>(-1));

  const std::string forkLog = ReadFile(QivLogFolder() + L"kxForkQIV.log." + Today());
  EXPECT_NE(forkLog.find(" - start, fork=[1].\r\n"), std::string::npos) << forkLog;
  EXPECT_NE(forkLog.find(" - set host hwnd=[4d2].\r\n"), std::string::npos) << forkLog;
  EXPECT_NE(forkLog.find(" - Already exist PreInstance.\r\n"), std::string::npos) << forkLog;

  child.Quit();
  EXPECT_EQ(child.WaitForExit(), 0u);
  normal.Quit();
  EXPECT_EQ(normal.WaitForExit(), 0u);
  // Host switches are read in fork mode only.
  const std::string normalLog = ReadFile(QivLogFolder() + L"kxQIV.log." + Today());
  EXPECT_NE(normalLog.find(" - start, fork=[0].\r\n"), std::string::npos) << normalLog;
  EXPECT_EQ(normalLog.find("set host hwnd"), std::string::npos) << normalLog;
}

TEST_F(EntryTest, EmptyHostHwndWritesNoLine) {
  QivProcess child(L"OnlyForkInstallDependent=1 HostHwnd=");
  ASSERT_TRUE(child.WaitUntilIdle());
  child.Quit();
  EXPECT_EQ(child.WaitForExit(), 0u);
  const std::string log = ReadFile(QivLogFolder() + L"kxForkQIV.log." + Today());
  EXPECT_NE(log.find(" - exit!\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("set host hwnd"), std::string::npos) << log;
}

// A token like the process's own, but with the Administrators group for
// deny only: what a standard user's token looks like to a membership test.
HANDLE RestrictedImpersonationToken() {
  HANDLE process = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, &process)) return nullptr;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  ::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                             &administrators);
  SID_AND_ATTRIBUTES deny = {administrators, 0};
  HANDLE restricted = nullptr;
  ::CreateRestrictedToken(process, 0, 1, &deny, 0, nullptr, 0, nullptr, &restricted);
  ::FreeSid(administrators);
  ::CloseHandle(process);
  if (!restricted) return nullptr;
  HANDLE impersonation = nullptr;
  ::DuplicateToken(restricted, SecurityImpersonation, &impersonation);
  ::CloseHandle(restricted);
  return impersonation;
}

TEST(AdminCheckTest, ProcessTokenIsAdministratorUnderTest) { EXPECT_TRUE(IsAdministrator()); }

// Runs the start-up sequence in fork mode on a thread that impersonates a
// standard user: it must end with -1 and its log line, without a dialog.
TEST(AdminCheckTest, StandardUserForkStartEndsSilentlyWithMinusOne) {
  HANDLE token = RestrictedImpersonationToken();
  if (!token) GTEST_SKIP() << "this Windows cannot make a restricted token";
  int result = 0;
  bool admin = true;
  std::thread run([&] {
    if (!::SetThreadToken(nullptr, token)) return;
    admin = IsAdministrator();
    if (!admin) result = RunQiv(::GetModuleHandleW(nullptr), "OnlyForkInstallDependent=1", SW_SHOWNORMAL);
    ::RevertToSelf();
  });
  run.join();
  ::CloseHandle(token);
  if (admin) GTEST_SKIP() << "this Windows ignores deny-only groups in membership tests";
  EXPECT_EQ(result, -1);
  const std::string log = ReadFile(QivLogFolder() + L"kxForkQIV.log");
  EXPECT_NE(log.find(" - start, fork=[1].\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("[ERROR] "), std::string::npos) << log;
  EXPECT_NE(log.find(" - You must be logged in as administrator when installing this program.\r\n"),
            std::string::npos)
      << log;
}

}  // namespace
