#include "foundation/system_info.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "foundation/folders.h"
#include "foundation/win_handles.h"

namespace {

// The browser's version is a short dotted text; anything longer is not one.
constexpr DWORD kVersionValueBytes = 100;

// The value of an environment variable; empty when it is not set.
std::wstring EnvironmentText(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(name, &value[0], size);
  if (length == 0 || length >= size) return {};
  value.resize(length);
  return value;
}

bool EnvironmentHas(const wchar_t* name) { return ::GetEnvironmentVariableW(name, nullptr, 0) != 0; }

std::wstring WithBackslash(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

// Up to four dot-separated numbers; missing or unreadable ones are 0.
void ParseVersion(const std::wstring& text, long parts[4]) {
  size_t start = 0;
  for (int index = 0; index < 4; ++index) {
    parts[index] = 0;
    if (start > text.size()) continue;
    const size_t dot = text.find(L'.', start);
    const std::wstring piece = text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
    parts[index] = std::wcstol(piece.c_str(), nullptr, 10);
    start = dot == std::wstring::npos ? text.size() + 1 : dot + 1;
  }
}

}  // namespace

bool IsWindows64() {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  // Looked up at run time: Windows releases without WOW64 lack the function.
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return false;
  const auto isWow64Process =
      reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
  if (!isWow64Process) return false;
  BOOL wow64 = FALSE;
  return isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::wstring WindowsVersionText() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(&info)) return {};
#pragma GCC diagnostic pop
  return std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L"." +
         std::to_wstring(info.dwBuildNumber);
}

std::wstring BrowserVersionText() {
  const REGSAM view = IsWindows64() ? KEY_WOW64_32KEY : 0;
  UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer", 0, KEY_QUERY_VALUE | view,
                      key.put()) != ERROR_SUCCESS) {
    return L"-";
  }
  wchar_t buffer[kVersionValueBytes / sizeof(wchar_t) + 1] = {};
  DWORD type = 0;
  DWORD size = kVersionValueBytes;
  if (::RegQueryValueExW(key.get(), L"Version", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return L"-";
  }
  const std::wstring version(buffer);
  return version.empty() ? L"-" : version;
}

std::wstring ProgramFilesFolder32() {
  // The environment says what the process sees: under WOW64 the 32-bit folder
  // is ProgramFiles(x86), while ProgramFiles already names it as well.
  if (EnvironmentHas(L"PROCESSOR_ARCHITEW6432")) return WithBackslash(EnvironmentText(L"ProgramFiles(x86)"));
  return WithBackslash(EnvironmentText(L"ProgramFiles"));
}

std::wstring ProgramFilesFolder64() {
  if (!EnvironmentHas(L"PROCESSOR_ARCHITEW6432")) return {};
  std::wstring folder = EnvironmentText(L"ProgramFiles(x86)");
  static const std::wstring kX86Suffix = L" (x86)";
  const size_t at = folder.find(kX86Suffix);
  if (at != std::wstring::npos) folder.erase(at, kX86Suffix.size());
  return WithBackslash(folder);
}

bool GetFileVersionText(const std::wstring& path, std::wstring* version) {
  if (path.empty() || !version) return false;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed ||
      fixedSize < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  wchar_t text[64];
  std::swprintf(text, 64, L"%d.%d.%d.%d", static_cast<int>(HIWORD(fixed->dwFileVersionMS)),
                static_cast<int>(LOWORD(fixed->dwFileVersionMS)), static_cast<int>(HIWORD(fixed->dwFileVersionLS)),
                static_cast<int>(LOWORD(fixed->dwFileVersionLS)));
  *version = text;
  return true;
}

std::wstring OwnVersionText() {
  std::wstring version;
  return GetFileVersionText(OwnExePath(), &version) ? version : std::wstring();
}

int CompareVersion(const std::wstring& a, const std::wstring& b) {
  long left[4];
  long right[4];
  ParseVersion(a, left);
  ParseVersion(b, right);
  // The fourth number is a build counter that differs between otherwise
  // identical releases, so it never decides.
  for (int index = 0; index < 3; ++index) {
    if (left[index] > right[index]) return 1;
    if (left[index] < right[index]) return -1;
  }
  return 0;
}

std::wstring LocalTimeText() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  wchar_t text[32];
  std::swprintf(text, 32, L"%04d%02d%02d%02d%02d%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                now.wSecond);
  return text;
}

std::wstring NumberText(unsigned long long value) { return std::to_wstring(value); }

std::wstring SignedNumberText(long long value) { return std::to_wstring(value); }
