// Installs the installer's crash filter, then crashes.
#include <windows.h>

#include "app/crash_handler.h"

int main() {
  InstallCrashFilter();
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
