#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <climits>
#include <cwchar>

#include "foundation/win_handles.h"

CommandLineMap ParseCommandLine(const std::wstring& commandLine) {
  CommandLineMap switches;
  if (commandLine.find_first_not_of(L" \t") == std::wstring::npos) return switches;
  // The text has no program name in front: CommandLineToArgvW would read
  // the first argument with the program-name rules, so give it one.
  const std::wstring full = L"qiv " + commandLine;
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(full.c_str(), &count);
  if (!args) return switches;
  UniqueLocal owner(reinterpret_cast<HLOCAL>(args));
  for (int i = 1; i < count; ++i) {
    const std::wstring arg = args[i];
    const size_t eq = arg.find(L'=');
    if (eq == std::wstring::npos)
      switches[arg] = L"";
    else
      switches[arg.substr(0, eq)] = arg.substr(eq + 1);
  }
  return switches;
}

std::wstring SwitchValue(const CommandLineMap& switches, const std::wstring& name) {
  auto it = switches.find(name);
  return it == switches.end() ? std::wstring() : it->second;
}

bool IsForkMode(const CommandLineMap& switches) { return SwitchValue(switches, L"OnlyForkInstallDependent") == L"1"; }

long ParseHostHwnd(const std::wstring& text) {
  if (text.empty()) return 0;
  wchar_t* end = nullptr;
  errno = 0;
  const long long value = std::wcstoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != L'\0') return 0;
  if (value < INT_MIN || value > INT_MAX) return 0;
  return static_cast<long>(value);
}
