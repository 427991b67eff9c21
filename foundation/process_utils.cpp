#include "foundation/process_utils.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <vector>

#include "foundation/logger.h"
#include "foundation/text_convert.h"
#include "foundation/win_handles.h"

namespace {

// A program that hangs must not hold the caller for ever.
constexpr DWORD kHiddenRunTimeoutMs = 20000;
constexpr UINT kTimedOutExitCode = static_cast<UINT>(-1);

// Elevation through the shell exists from Windows 6.0 on.
bool ShellKnowsRunAs() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(&info)) return true;
#pragma GCC diagnostic pop
  return info.dwMajorVersion >= 6;
}

// The full image path of the process, empty when it cannot be asked.
std::wstring ImagePath(DWORD processId) {
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return {};
  std::vector<wchar_t> buffer(32768, L'\0');
  DWORD length = static_cast<DWORD>(buffer.size());
  if (!::QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &length)) return {};
  return std::wstring(buffer.data(), length);
}

}  // namespace

int RunExe(const std::wstring& path, const std::wstring& parameters, bool skipFileCheck) {
  LOG_INFO("RunExe: \n path=[%s] \n param=[%s] \n hide=[%d], block=[%d].", WideToAnsi(path).c_str(),
           WideToAnsi(parameters).c_str(), 0, 1);
  // An empty file name would make the shell open a folder window instead,
  // and no program can be started from a path of MAX_PATH characters or more
  // (some shells even overrun their stack on one).
  if (path.empty() || path.size() >= MAX_PATH) {
    LOG_ERROR("RunExe failed! err=[%d]",
              static_cast<int>(path.empty() ? ERROR_INVALID_PARAMETER : ERROR_FILENAME_EXCED_RANGE));
    return -1;
  }

  // Holding the file open with read sharing only keeps anyone from replacing
  // or deleting the package between the check and the end of its run.
  UniqueFile held;
  if (!skipFileCheck) {
    held.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) {
      LOG_ERROR("RunExe failed! err=[%d]", static_cast<int>(::GetLastError()));
      return -1;
    }
  }

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  // Failures are results: no shell error box may stop an unattended install.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = ShellKnowsRunAs() ? L"runas" : L"open";
  info.lpFile = path.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  BOOL started;
  DWORD startError;
  {
    // The shell may hand the verb to COM handlers; they need an apartment.
    ComApartment apartment;
    started = ::ShellExecuteExW(&info);
    startError = ::GetLastError();
  }
  UniqueHandle process(started ? info.hProcess : nullptr);
  if (!started || !process) {
    // Started without a process to wait for (a document handed to a running
    // program): no exit code can be read, so this is no success either.
    if (started) startError = ERROR_INVALID_HANDLE;
    LOG_ERROR("RunExe failed! err=[%d]", static_cast<int>(startError));
    return -1;
  }

  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = static_cast<DWORD>(-1);
  ::GetExitCodeProcess(process.get(), &exitCode);
  process.reset();
  held.reset();
  LOG_INFO("RunExe ret=[%d].", static_cast<int>(exitCode));
  return static_cast<int>(exitCode);
}

bool RunHidden(const std::wstring& commandLine) {
  if (commandLine.empty()) return false;
  // CreateProcessW may write into the command line.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &started)) {
    return false;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  if (::WaitForSingleObject(process.get(), kHiddenRunTimeoutMs) == WAIT_TIMEOUT) {
    if (::TerminateProcess(process.get(), kTimedOutExitCode)) ::WaitForSingleObject(process.get(), INFINITE);
  }
  DWORD exitCode = kTimedOutExitCode;
  return ::GetExitCodeProcess(process.get(), &exitCode) && exitCode == 0;
}

DWORD FindProcessByPath(const std::wstring& pathFragment) {
  // An empty fragment would match any process.
  if (pathFragment.empty()) return 0;
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  const DWORD self = ::GetCurrentProcessId();
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self || entry.th32ProcessID == 0) continue;
    if (ImagePath(entry.th32ProcessID).find(pathFragment) != std::wstring::npos) return entry.th32ProcessID;
  }
  return 0;
}
