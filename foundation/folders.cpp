#include "foundation/folders.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

#include "foundation/win_handles.h"

namespace {
// GetTempPathW's buffer: the longest temp path the installer accepts.
constexpr DWORD kTempPathChars = 259;
}  // namespace

std::wstring TempFolder() {
  wchar_t buffer[kTempPathChars + 1] = {};
  const DWORD length = ::GetTempPathW(kTempPathChars, buffer);
  if (length == 0 || length > kTempPathChars) return {};
  std::wstring folder(buffer, length);
  if (folder.back() != L'\\') folder += L'\\';
  return folder;
}

bool FolderExists(const std::wstring& folder) {
  if (folder.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  if (FolderExists(folder)) return true;
  // SHCreateDirectoryExW wants a full path without a trailing separator.
  std::wstring path = folder;
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
  return FolderExists(folder);
}

std::wstring OwnExePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::vector<std::wstring> FixedDrives() {
  std::vector<std::wstring> drives;
  const DWORD size = ::GetLogicalDriveStringsW(0, nullptr);
  if (size == 0) return drives;
  std::vector<wchar_t> buffer(size + 1, L'\0');
  const DWORD length = ::GetLogicalDriveStringsW(size, buffer.data());
  if (length == 0 || length > size) return drives;
  // The buffer holds "C:\\", NUL, "D:\\", NUL, ..., NUL.
  for (const wchar_t* root = buffer.data(); *root; root += std::wcslen(root) + 1) {
    if (::GetDriveTypeW(root) == DRIVE_FIXED) drives.emplace_back(root);
  }
  return drives;
}

unsigned long long FreeBytes(const std::wstring& path) {
  if (path.empty()) return 0;
  ULARGE_INTEGER available = {};
  if (!::GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) return 0;
  return available.QuadPart;
}

bool FolderWritable(const std::wstring& folder) {
  if (folder.empty()) return false;
  std::wstring probe = folder;
  if (probe.back() != L'\\') probe += L'\\';
  probe += L"qiv.tmp";
  UniqueFile file(
      ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  file.reset();
  ::DeleteFileW(probe.c_str());
  return true;
}

std::wstring PublicDocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

namespace {

// Undoes the calling thread's impersonation when it goes out of scope, on
// every return path.
class ImpersonationScope {
 public:
  explicit ImpersonationScope(HANDLE token) : active_(::ImpersonateLoggedOnUser(token) != FALSE) {}
  ~ImpersonationScope() {
    if (active_) ::RevertToSelf();
  }
  ImpersonationScope(const ImpersonationScope&) = delete;
  ImpersonationScope& operator=(const ImpersonationScope&) = delete;
  bool active() const { return active_; }

 private:
  bool active_;
};

}  // namespace

std::wstring DesktopUserLocalAppData() {
  // An elevated installer may run as another account than the one logged on;
  // the folder wanted is that of the user who sees the desktop, so ask as the
  // owner of the shell's window.
  const HWND shell = ::GetShellWindow();
  if (!shell) return {};
  DWORD processId = 0;
  ::GetWindowThreadProcessId(shell, &processId);
  if (processId == 0) return {};
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  if (!process) return {};
  UniqueHandle token;
  if (!::OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, token.put())) return {};
  ImpersonationScope impersonation(token.get());
  if (!impersonation.active()) return {};
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, token.get(), SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

bool IsProtectedFolder(const std::wstring& folder) {
  if (folder.empty()) return false;
  wchar_t windows[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (length < 3 || length >= MAX_PATH) return false;
  std::wstring windowsFolder(windows, length);
  if (windowsFolder.back() == L'\\') windowsFolder.pop_back();
  const std::wstring drive = windowsFolder.substr(0, 3);

  // Paths name the same folder in any letter case, and the protected folder
  // itself is as protected as anything below it.
  std::wstring text = folder;
  if (text.back() != L'\\') text += L'\\';
  const auto contains = [&text](const std::wstring& part) {
    return ::StrStrIW(text.c_str(), part.c_str()) != nullptr;
  };
  return contains(windowsFolder + L"\\") || contains(drive + L"Program Files\\") ||
         contains(drive + L"Program Files (x86)\\");
}

std::wstring FolderOfPath(const std::wstring& path) {
  const size_t last = path.rfind(L'\\');
  return last == std::wstring::npos ? path : path.substr(0, last);
}
