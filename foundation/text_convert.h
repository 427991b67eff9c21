// Conversions between the program's UTF-16 texts and the narrow texts of
// logs, request lines (ANSI code page) and JSON bodies (UTF-8). A failed
// conversion yields an empty text.
#pragma once

#include <string>

std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// 8-bit text to UTF-16 in the user's default locale: the process locale is
// switched to the user default for the conversion and restored afterwards.
std::wstring UserLocaleToWide(const std::string& text);
