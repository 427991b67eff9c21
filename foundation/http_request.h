// A plain-HTTP POST over the program's own socket transport, following
// redirects itself; the track record is sent through it. Plus the url
// percent-decoding shared with the download engine.
#pragma once

#include <string>

#include "foundation/customize_socket.h"

// Every "%" followed by two hexadecimal digits becomes the character of that
// code; any other "%" stays. At most 1023 characters are kept.
std::wstring PercentDecode(const std::wstring& text);

class CHttpRequest : public CCustomizeSocket {
 public:
  // 0 when the final reply had a 2xx status, -1 otherwise. Only plain "http"
  // urls are sent; the body goes out in the ANSI code page.
  int PostRequest(const std::wstring& url, const std::wstring& contentType, const std::wstring& body);

  // Redirects followed for one request before it is given up: enough for any
  // real chain of hops, and a loop between two servers ends quickly.
  static constexpr int kMaxRedirects = 10;

 private:
  std::wstring BuildRequestText(const std::wstring& method, const std::wstring& contentType,
                                const std::wstring& body);
  // Connects, sends the request and reads the reply until the peer closes.
  bool Exchange(const std::wstring& request, std::wstring* reply);

  std::wstring host_;
  std::wstring path_;  // starts with "/"
  std::wstring referer_;
  std::wstring url_;  // as passed in, then as redirected
  unsigned short port_ = 80;
};
