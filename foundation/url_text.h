// URL and text helpers shared by the request helpers and the download engine.
#pragma once

#include <string>
#include <vector>

// Blanks (spaces, tabs, CR, LF) removed from both ends.
std::wstring TrimBlanks(const std::wstring& text);

// After trimming: "http://" and at least 8 characters, or "https://" and
// more than 8 characters.
bool IsValidUrl(const std::wstring& url);

// Trims, cuts at each separator, trims each piece, drops empty pieces.
std::vector<std::wstring> SplitText(const std::wstring& text, const std::wstring& separator);

// " " as "%20" and "+" as "%2B"; everything else copied.
std::wstring EncodePathChars(const std::wstring& text);

struct UrlParts {
  std::wstring scheme;  // lower case
  std::wstring host;    // lower case
  unsigned short port = 80;
  std::wstring path;    // from the first "/" after the host, EncodePathChars applied
};

// Splits a URL into its parts: blanks trimmed, "\\" read as "/", "http://"
// assumed without a scheme, port 80 by default. Fails when no "/" follows
// the host, the host is empty, or the scheme is not plain "http".
bool SplitUrl(const std::wstring& url, UrlParts* parts);
