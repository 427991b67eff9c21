// A child process for tests:
//   qiv_child exit N     ends with exit code N;
//   qiv_child sleep MS   waits MS milliseconds, then ends with exit code 0.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
    ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    return 0;
  }
  return 0;
}
