#include "toolkit/attribute_values.h"

#include <cwchar>
#include <cwctype>

#include "foundation/text_convert.h"
#include "toolkit/toolkit_log.h"

namespace kxui {
namespace {

std::wstring Trim(const std::wstring& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::iswspace(text[first])) ++first;
  while (last > first && std::iswspace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool ParseIntStrict(const std::wstring& text, int* value) {
  const std::wstring trimmed = Trim(text);
  if (trimmed.empty()) return false;
  wchar_t* end = nullptr;
  const long parsed = std::wcstol(trimmed.c_str(), &end, 10);
  if (*end != L'\0') return false;
  *value = static_cast<int>(parsed);
  return true;
}

}  // namespace

bool ParseColor(const std::wstring& raw, Argb* color) {
  const std::wstring text = Trim(raw);
  bool ok = text.size() > 1 && text[0] == L'#' && (text.size() == 7 || text.size() == 9);
  Argb value = 0;
  for (size_t i = 1; ok && i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    ok = digit >= 0;
    value = (value << 4) | static_cast<Argb>(digit);
  }
  if (!ok) {
    KXUI_WARN("bad colour [%s], expected #AARRGGBB or #RRGGBB", WideToAnsi(raw).c_str());
    return false;
  }
  *color = text.size() == 7 ? (0xFF000000u | value) : value;
  return true;
}

std::vector<int> ParseIntList(const std::wstring& text) {
  std::vector<int> values;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(L',', start);
    if (comma == std::wstring::npos) comma = text.size();
    int value = 0;
    if (!ParseIntStrict(text.substr(start, comma - start), &value)) {
      if (!Trim(text).empty()) KXUI_WARN("bad number list [%s]", WideToAnsi(text).c_str());
      return {};
    }
    values.push_back(value);
    start = comma + 1;
  }
  return values;
}

namespace {

// Exactly count integers, or a log line naming what was expected.
bool ParseFixedCount(const std::wstring& text, size_t count, const char* what, std::vector<int>* values) {
  *values = ParseIntList(text);
  if (values->size() == count) return true;
  KXUI_WARN("bad %s [%s], expected %u numbers", what, WideToAnsi(text).c_str(), static_cast<unsigned>(count));
  return false;
}

}  // namespace

bool ParseRect(const std::wstring& text, RECT* rect) {
  std::vector<int> v;
  if (!ParseFixedCount(text, 4, "rectangle", &v)) return false;
  *rect = RECT{v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseSize(const std::wstring& text, SIZE* size) {
  std::vector<int> v;
  if (!ParseFixedCount(text, 2, "size", &v)) return false;
  *size = SIZE{v[0], v[1]};
  return true;
}

bool ParseBool(const std::wstring& text) { return Trim(text) == L"true"; }

int ParseInt(const std::wstring& text, int fallback) {
  int value = 0;
  if (ParseIntStrict(text, &value)) return value;
  KXUI_WARN("bad number [%s]", WideToAnsi(text).c_str());
  return fallback;
}

std::wstring ImageDescription::Key() const {
  if (resourceId != 0) return L"res:" + resourceType + L":" + std::to_wstring(resourceId);
  return file;
}

ImageDescription ParseImageDescription(const std::wstring& raw) {
  ImageDescription image;
  const std::wstring text = Trim(raw);
  if (text.find(L'=') == std::wstring::npos) {
    image.file = text;
    return image;
  }
  size_t at = 0;
  while (at < text.size()) {
    const size_t equals = text.find(L'=', at);
    if (equals == std::wstring::npos) break;
    const std::wstring key = Trim(text.substr(at, equals - at));
    size_t open = equals + 1;
    while (open < text.size() && std::iswspace(text[open])) ++open;
    if (open >= text.size() || (text[open] != L'\'' && text[open] != L'"')) {
      KXUI_WARN("bad image description [%s]", WideToAnsi(raw).c_str());
      break;
    }
    const size_t close = text.find(text[open], open + 1);
    if (close == std::wstring::npos) {
      KXUI_WARN("bad image description [%s]", WideToAnsi(raw).c_str());
      break;
    }
    const std::wstring value = text.substr(open + 1, close - open - 1);
    if (key == L"file") {
      image.file = value;
    } else if (key == L"res") {
      image.resourceId = static_cast<UINT>(ParseInt(value, 0));
    } else if (key == L"restype") {
      image.resourceType = value;
    } else if (key == L"corner") {
      ParseRect(value, &image.corner);
    } else if (key == L"dest") {
      image.hasDest = ParseRect(value, &image.dest);
    } else if (key == L"source") {
      image.hasSource = ParseRect(value, &image.source);
    } else {
      KXUI_WARN("unknown image property [%s]", WideToAnsi(key).c_str());
    }
    at = close + 1;
  }
  if (image.resourceId != 0 && image.resourceType.empty()) image.resourceType = L"PNG";
  return image;
}

}  // namespace kxui
