#include "foundation/url_text.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr wchar_t kBlanks[] = L" \t\r\n";
constexpr wchar_t kHttpPrefix[] = L"http://";
constexpr wchar_t kHttpsPrefix[] = L"https://";
constexpr wchar_t kSchemeEnd[] = L"://";
constexpr unsigned long kDefaultPort = 80;
constexpr unsigned long kMaxPort = 65535;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

std::wstring LowerCase(std::wstring text) {
  if (!text.empty()) ::CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

// Decimal 1..65535, digits only: a stray sign, blank or suffix would send
// the request to a port nobody meant.
bool ParsePort(const std::wstring& text, unsigned short* port) {
  if (text.empty()) return false;
  unsigned long value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<unsigned long>(c - L'0');
    if (value > kMaxPort) return false;
  }
  if (value == 0) return false;
  *port = static_cast<unsigned short>(value);
  return true;
}

}  // namespace

std::wstring TrimBlanks(const std::wstring& text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::wstring::npos) return L"";
  size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool IsValidUrl(const std::wstring& url) {
  std::wstring trimmed = TrimBlanks(url);
  if (StartsWith(trimmed, kHttpPrefix)) return trimmed.size() >= 8;
  if (StartsWith(trimmed, kHttpsPrefix)) return trimmed.size() > 8;
  return false;
}

std::vector<std::wstring> SplitText(const std::wstring& text, const std::wstring& separator) {
  std::vector<std::wstring> pieces;
  std::wstring trimmed = TrimBlanks(text);
  if (separator.empty()) {
    if (!trimmed.empty()) pieces.push_back(trimmed);
    return pieces;
  }
  size_t start = 0;
  while (true) {
    size_t end = trimmed.find(separator, start);
    std::wstring piece = TrimBlanks(trimmed.substr(start, end == std::wstring::npos ? end : end - start));
    if (!piece.empty()) pieces.push_back(piece);
    if (end == std::wstring::npos) break;
    start = end + separator.size();
  }
  return pieces;
}

std::wstring EncodePathChars(const std::wstring& text) {
  std::wstring encoded;
  encoded.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L' ') {
      encoded += L"%20";
    } else if (c == L'+') {
      encoded += L"%2B";
    } else {
      encoded += c;
    }
  }
  return encoded;
}

bool SplitUrl(const std::wstring& url, UrlParts* parts) {
  if (!parts) return false;
  std::wstring written = TrimBlanks(url);
  std::replace(written.begin(), written.end(), L'\\', L'/');
  std::wstring lower = LowerCase(written);

  size_t schemeEnd = lower.find(kSchemeEnd);
  if (schemeEnd == std::wstring::npos) {
    written.insert(0, kHttpPrefix);
    lower.insert(0, kHttpPrefix);
    schemeEnd = lower.find(kSchemeEnd);
  }
  size_t hostStart = schemeEnd + 3;
  size_t pathStart = lower.find(L'/', hostStart);
  if (pathStart == std::wstring::npos) return false;

  UrlParts result;
  result.scheme = lower.substr(0, schemeEnd);
  std::wstring hostPort = lower.substr(hostStart, pathStart - hostStart);
  size_t colon = hostPort.find(L':');
  result.host = hostPort.substr(0, colon);
  result.port = kDefaultPort;
  if (colon != std::wstring::npos && !ParsePort(hostPort.substr(colon + 1), &result.port)) return false;
  result.path = EncodePathChars(written.substr(pathStart));

  if (result.scheme != L"http" || result.host.empty()) return false;
  *parts = std::move(result);
  return true;
}
