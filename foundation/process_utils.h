// Running other programs and finding running ones.
#pragma once

#include <windows.h>

#include <string>

// Starts the program elevated ("runas" on Windows 6.0 and later), waits for
// it without a time limit and returns its exit code; -1 when the file cannot
// be opened (unless skipFileCheck) or the start fails. Unless skipFileCheck,
// the file stays open for reading while the program runs.
int RunExe(const std::wstring& path, const std::wstring& parameters, bool skipFileCheck);

// Runs the command line hidden, waits at most 20 s (then ends it with exit
// code -1); true when the exit code is 0.
bool RunHidden(const std::wstring& commandLine);

// The id of the first other process whose full image path contains the
// fragment (case-sensitive); 0 when none.
DWORD FindProcessByPath(const std::wstring& pathFragment);
