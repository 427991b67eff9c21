#include <windows.h>

#include "app/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
  return RunQiv(instance, commandLine, showCommand);
}
