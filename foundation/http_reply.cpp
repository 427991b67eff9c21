#include "foundation/http_reply.h"

#include <algorithm>

#include "foundation/logger.h"
#include "foundation/text_convert.h"

namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";
constexpr wchar_t kSchemeEnd[] = L"://";
constexpr wchar_t kParentStep[] = L"../";
constexpr wchar_t kCurrentStep[] = L"./";

// Only A to Z: header names are ASCII, and a locale-aware lower-casing of
// the whole reply could move offsets of other characters.
std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

void ReplaceAll(std::wstring* text, const std::wstring& from, const std::wstring& to) {
  for (size_t at = text->find(from); at != std::wstring::npos; at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

std::wstring WithoutQuery(const std::wstring& url) { return url.substr(0, url.find(L'?')); }

// Offset of the first "/" of the path, or npos when the url names only a host.
size_t PathStart(const std::wstring& url) {
  const size_t scheme = url.find(kSchemeEnd);
  const size_t hostStart = scheme == std::wstring::npos ? 0 : scheme + 3;
  return url.find(L'/', hostStart);
}

}  // namespace

int GetStatusCode(const std::wstring& reply) {
  const std::wstring line = reply.substr(0, reply.find(kLineEnd));
  const size_t blank = line.find(L' ');
  if (blank == std::wstring::npos) return 0;
  const std::wstring rest = TrimBlanks(line.substr(blank + 1));
  int status = 0;
  for (wchar_t c : rest.substr(0, rest.find(L' '))) {
    if (c < L'0' || c > L'9') break;
    status = status * 10 + (c - L'0');
    if (status > 99999) return 0;
  }
  return status;
}

std::wstring GetHeaderValue(const std::wstring& reply, const std::wstring& key) {
  const std::wstring lowerReply = AsciiLower(reply);
  const size_t at = lowerReply.find(AsciiLower(key));
  if (at == std::wstring::npos) return std::wstring();
  const size_t valueStart = at + key.size();
  const size_t end = reply.find(kLineEnd, valueStart);
  if (end == std::wstring::npos) return std::wstring();
  return TrimBlanks(reply.substr(valueStart, end - valueStart));
}

std::wstring RefererForUrl(const std::wstring& url) {
  const std::wstring plain = WithoutQuery(url);
  const size_t slash = plain.rfind(L'/');
  return slash == std::wstring::npos ? plain : plain.substr(0, slash);
}

RedirectResult ResolveRedirect(const std::wstring& reply, const char* logLabel, std::wstring* url,
                               UrlParts* parts, std::wstring* referer) {
  std::wstring location = GetHeaderValue(reply, L"location:");
  ReplaceAll(&location, L"%3A", L":");
  ReplaceAll(&location, L"%2F", L"/");
  *referer = RefererForUrl(*url);
  if (location.empty()) return kRedirectFailed;

  if (location.find(kSchemeEnd) != std::wstring::npos) {
    *url = location;
  } else {
    std::replace(location.begin(), location.end(), L'\\', L'/');
    if (location[0] == L'/') {
      parts->path = location;
      // The url follows along, so that a later relative hop starts here.
      *url = parts->scheme + L"://" + parts->host +
             (parts->port != 80 ? L":" + std::to_wstring(parts->port) : std::wstring()) + location;
      return kRedirectNewPath;
    }
    int parentSteps = 0;
    for (size_t at = location.find(kParentStep); at != std::wstring::npos; at = location.find(kParentStep, at)) {
      location.erase(at, 3);
      ++parentSteps;
    }
    // The file name goes first, then one folder per "../"; the host itself
    // is never cut, however many steps a server asks for.
    std::wstring base = WithoutQuery(*url);
    const size_t pathStart = PathStart(base);
    for (int cut = 0; cut <= parentSteps && pathStart != std::wstring::npos; ++cut) {
      const size_t slash = base.rfind(L'/');
      if (slash == std::wstring::npos || slash <= pathStart) {
        base.erase(pathStart);
        break;
      }
      base.erase(slash);
    }
    if (location.rfind(kCurrentStep, 0) == 0) location.erase(0, 2);
    *url = base + L"/" + location;
  }

  LOG_INFO("%s url=[%s]", logLabel, WideToAnsi(*url).c_str());
  UrlParts split;
  if (!SplitUrl(*url, &split)) return kRedirectFailed;
  *parts = split;
  return kRedirectNewUrl;
}
