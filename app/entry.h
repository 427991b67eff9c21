// The installer's start-up sequence, from the command line to the end of
// the message loop.
#pragma once

#include <windows.h>

// Returns the process exit code: 0 after the message loop ended, -1 on every
// start-up failure. commandLine is the 8-bit text without the program name.
int RunQiv(HINSTANCE instance, const char* commandLine, int showCommand);
