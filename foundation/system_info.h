// Facts about the system the installer runs on, and version texts.
#pragma once

#include <string>

// True when this 32-bit process runs under WOW64 (64-bit Windows).
bool IsWindows64();

// major + "." + minor + "." + build.
std::wstring WindowsVersionText();

// The installed web browser's version, "-" when unknown.
std::wstring BrowserVersionText();

// The 32-bit program-files folder (ProgramFiles(x86) on 64-bit Windows,
// ProgramFiles on 32-bit Windows), ending in "\\".
std::wstring ProgramFilesFolder32();
// The 64-bit program-files folder on 64-bit Windows, ending in "\\";
// empty on 32-bit Windows.
std::wstring ProgramFilesFolder64();

// "%d.%d.%d.%d" of the file's fixed version information; false when it has none.
bool GetFileVersionText(const std::wstring& path, std::wstring* version);
// The running executable's own file version; empty when it has none.
std::wstring OwnVersionText();

// 1, 0 or -1. Up to four dot-separated numbers per side (missing ones are 0);
// only the first three take part.
int CompareVersion(const std::wstring& a, const std::wstring& b);

// Local time as "%Y%m%d%H%M%S".
std::wstring LocalTimeText();

std::wstring NumberText(unsigned long long value);
std::wstring SignedNumberText(long long value);
