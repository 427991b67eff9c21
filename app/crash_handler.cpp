#include "app/crash_handler.h"

#include <dbghelp.h>

#include <algorithm>
#include <cstring>

#include "foundation/folders.h"
#include "foundation/text_convert.h"
#include "foundation/win_handles.h"

namespace {
// Allocation base of the first 64 KiB: no module is ever mapped there.
const uintptr_t kNoModuleBase = 0x10000;
}  // namespace

bool LookupCrashModule(const void* address, CrashModuleInfo* info) {
  *info = CrashModuleInfo();
  MEMORY_BASIC_INFORMATION region;
  if (!::VirtualQuery(address, &region, sizeof region)) return false;
  const auto base = reinterpret_cast<uintptr_t>(region.AllocationBase);
  if (base == 0 || base == kNoModuleBase) return false;
  wchar_t path[MAX_PATH] = {};
  if (!::GetModuleFileNameW(reinterpret_cast<HMODULE>(base), path, MAX_PATH)) return false;

  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
  const uintptr_t offset = reinterpret_cast<uintptr_t>(address) - base;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
    if (offset >= section->VirtualAddress && offset <= section->VirtualAddress + size) {
      info->modulePath = path;
      info->sectionOffset = static_cast<DWORD>(offset - section->VirtualAddress);
      char name[IMAGE_SIZEOF_SHORT_NAME + 1] = {};
      memcpy(name, section->Name, IMAGE_SIZEOF_SHORT_NAME);
      info->sectionName = AnsiToWide(name);
      return true;
    }
  }
  return false;
}

std::wstring CrashDumpPath() { return OwnExePath() + L".dmp"; }

LONG WINAPI QivUnhandledExceptionFilter(EXCEPTION_POINTERS* exception) {
  // Best effort throughout: nothing here may fail the exit.
  UniqueHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, ::GetCurrentProcessId()));
  if (process) {
    UniqueFile dump(::CreateFileW(CrashDumpPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (dump) {
      MINIDUMP_EXCEPTION_INFORMATION info;
      info.ThreadId = ::GetCurrentThreadId();
      info.ExceptionPointers = exception;
      info.ClientPointers = TRUE;
      ::MiniDumpWriteDump(process.get(), ::GetCurrentProcessId(), dump.get(), MiniDumpNormal, &info, nullptr,
                          nullptr);
    }
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

void InstallCrashFilter() { ::SetUnhandledExceptionFilter(&QivUnhandledExceptionFilter); }
