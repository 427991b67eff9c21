// The installer's command line: switches written as name=value.
#pragma once

#include <map>
#include <string>

// Switch name to value, compared case-sensitively; a later duplicate wins.
using CommandLineMap = std::map<std::wstring, std::wstring>;

// Splits with the Windows command-line rules; each argument is cut at its
// first "=" (an argument without one is a name with an empty value).
CommandLineMap ParseCommandLine(const std::wstring& commandLine);

// The value of a switch, empty when absent.
std::wstring SwitchValue(const CommandLineMap& switches, const std::wstring& name);

// Fork mode holds when OnlyForkInstallDependent is exactly "1".
bool IsForkMode(const CommandLineMap& switches);

// A decimal, signed 32-bit number; 0 for anything else.
long ParseHostHwnd(const std::wstring& text);
