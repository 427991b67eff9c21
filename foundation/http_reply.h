// Reading HTTP/1.x reply heads as the installer's own HTTP clients do (the
// plain-HTTP poster and the download engine's range worker): status, header
// values and redirects. Reply texts are UTF-16, converted from the ANSI code
// page as received.
#pragma once

#include <string>

#include "foundation/url_text.h"

// The status of the first line ("HTTP/1.1 302 Found" gives 302); 0 when the
// line has no blank or no number after it.
int GetStatusCode(const std::wstring& reply);

// The value of the first occurrence of key (such as L"location:") anywhere in
// the reply, compared without regard to A-Z case, up to the next CR LF and
// trimmed; "" when the key is missing or no CR LF follows it.
std::wstring GetHeaderValue(const std::wstring& reply, const std::wstring& key);

// The url without its query, cut before its last "/": what a browser would
// send as the referer of a request for url.
std::wstring RefererForUrl(const std::wstring& url);

enum RedirectResult {
  kRedirectFailed,   // no usable location, or the new url does not split
  kRedirectNewUrl,   // *url replaced (absolute or relative location), *parts re-split
  kRedirectNewPath,  // a location beginning with "/": host and port stay, parts->path and *url change
};

// Follows the "location:" of a 3xx reply from the current url. "%3A" and
// "%2F" in the location are decoded; *referer becomes the referer of the
// current url. A relative location is resolved against the url's folder, one
// folder up per "../" (never above the host). logLabel leads the log line of
// the new url ("redirect" gives "redirect url=[...]").
RedirectResult ResolveRedirect(const std::wstring& reply, const char* logLabel, std::wstring* url,
                               UrlParts* parts, std::wstring* referer);
