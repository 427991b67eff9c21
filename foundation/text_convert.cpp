#include "foundation/text_convert.h"

#include <windows.h>

#include <clocale>
#include <cstdlib>
#include <vector>

namespace {

std::string FromWide(UINT codePage, const std::wstring& text) {
  if (text.empty()) return {};
  int size = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr,
                        nullptr);
  return result;
}

std::wstring ToWide(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  int size = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring result(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &result[0], size);
  return result;
}

}  // namespace

std::string WideToAnsi(const std::wstring& text) { return FromWide(CP_ACP, text); }
std::wstring AnsiToWide(const std::string& text) { return ToWide(CP_ACP, text); }
std::string WideToUtf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text); }

std::wstring UserLocaleToWide(const std::string& text) {
  if (text.empty()) return {};
  const char* current = std::setlocale(LC_ALL, nullptr);
  std::string saved = current ? current : "C";
  std::setlocale(LC_ALL, "");  // the user's default locale
  std::vector<wchar_t> buffer(text.size() + 1, L'\0');
  size_t count = std::mbstowcs(buffer.data(), text.c_str(), buffer.size());
  std::setlocale(LC_ALL, saved.c_str());
  if (count == static_cast<size_t>(-1)) return {};
  return std::wstring(buffer.data(), count);
}
