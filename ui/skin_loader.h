// Hands the skin package, embedded in the executable, to the UI toolkit.
#pragma once

#include <windows.h>

// Called once at start-up, after the toolkit knows the instance and before
// any window exists. A missing or empty package is not reported: the
// windows then build without their layouts.
void LoadSkinPackage(HINSTANCE instance);
