// The process-wide filter for unhandled exceptions: it writes a minidump
// beside the executable and lets the process end.
#pragma once

#include <windows.h>

#include <string>

struct CrashModuleInfo {
  std::wstring modulePath;   // empty when the address lies in no module
  DWORD sectionOffset = 0;   // address minus the start of its section
  std::wstring sectionName;  // up to 8 characters
};

// Which module and section hold the address; false when none does.
bool LookupCrashModule(const void* address, CrashModuleInfo* info);

// The executable's path + ".dmp".
std::wstring CrashDumpPath();

LONG WINAPI QivUnhandledExceptionFilter(EXCEPTION_POINTERS* exception);

void InstallCrashFilter();
