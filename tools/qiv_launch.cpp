// Starts a Windows program, waits until it idles in its message loop, asks
// it to quit (WM_QUIT to its main thread) and reports its exit code. The
// demo uses it to run the installer's start-up from a Linux shell and end it
// cleanly, so that the log reaches its dated name as in a real run.
//   qiv_launch PROGRAM [ARGUMENTS...]
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
const DWORD kWaitMs = 60000;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qiv_launch PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
  for (int i = 2; i < argc; ++i) commandLine += L" \"" + std::wstring(argv[i]) + L"\"";
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::fprintf(stderr, "qiv_launch: cannot start the program, error %lu\n", ::GetLastError());
    return 2;
  }
  const DWORD idle = ::WaitForInputIdle(info.hProcess, kWaitMs);
  if (idle == 0) {
    std::printf("qiv_launch: the program is idle in its message loop; asking it to quit\n");
    ::PostThreadMessageW(info.dwThreadId, WM_QUIT, 0, 0);
  }
  if (::WaitForSingleObject(info.hProcess, kWaitMs) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "qiv_launch: the program did not end in time; ending it\n");
    ::TerminateProcess(info.hProcess, 1);
    ::WaitForSingleObject(info.hProcess, kWaitMs);
  }
  DWORD code = 0;
  ::GetExitCodeProcess(info.hProcess, &code);
  std::printf("qiv_launch: exit code %ld\n", static_cast<long>(code));
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return 0;
}
