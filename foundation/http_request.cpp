#include "foundation/http_request.h"

#include <vector>

#include "foundation/http_reply.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"
#include "foundation/url_text.h"

namespace {

constexpr size_t kMaxDecodedLength = 1023;
constexpr int kReplyBufferSize = 204800;
constexpr wchar_t kHeaderEnd[] = L"\r\n\r\n";
constexpr wchar_t kUserAgent[] = L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)";

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

std::wstring PercentDecode(const std::wstring& text) {
  std::wstring decoded;
  for (size_t at = 0; at < text.size() && decoded.size() < kMaxDecodedLength; ++at) {
    // Both digits must be there: a "%" near the end or before a single digit
    // is text, not the start of a code.
    if (text[at] == L'%' && at + 2 < text.size() && HexValue(text[at + 1]) >= 0 && HexValue(text[at + 2]) >= 0) {
      decoded += static_cast<wchar_t>(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2]));
      at += 2;
    } else {
      decoded += text[at];
    }
  }
  return decoded;
}

std::wstring CHttpRequest::BuildRequestText(const std::wstring& method, const std::wstring& contentType,
                                            const std::wstring& body) {
  const bool post = method == L"post";
  if (referer_.empty()) referer_ = RefererForUrl(url_);
  std::wstring text = (post ? L"POST " : L"GET ") + path_ + L" HTTP/1.1\r\n";
  text += L"Accept: */*\r\n";
  text += L"Referer: " + referer_ + L"\r\n";
  text += std::wstring(L"User-Agent: ") + kUserAgent + L"\r\n";
  text += L"Host: " + host_;
  if (port_ != 80) text += L":" + std::to_wstring(port_);
  text += L"\r\n";
  if (post) {
    text += L"Content-Type: " + contentType + L"\r\n";
    // The length of what goes on the wire, not of the UTF-16 text.
    text += L"Content-Length: " + std::to_wstring(WideToAnsi(body).size()) + L"\r\n";
  }
  text += L"Connection: Close\r\n\r\n";
  if (post) text += body;
  return text;
}

bool CHttpRequest::Exchange(const std::wstring& request, std::wstring* reply) {
  if (!ConnectHost(host_, port_)) return false;
  if (!SendText(request)) {
    LOG_ERROR("http request send failed!");
    Close();
    return false;
  }
  std::vector<char> buffer(kReplyBufferSize);
  int filled = 0;
  while (filled < kReplyBufferSize) {
    const int received = Receive(buffer.data() + filled, kReplyBufferSize - filled);
    if (received == 0) break;
    if (received < 0) {
      LOG_INFO("http request receive failed!");
      Close();
      return false;
    }
    filled += received;
  }
  Close();
  *reply = AnsiToWide(std::string(buffer.data(), static_cast<size_t>(filled)));
  return true;
}

int CHttpRequest::PostRequest(const std::wstring& url, const std::wstring& contentType, const std::wstring& body) {
  url_ = PercentDecode(url);
  UrlParts parts;
  if (!SplitUrl(url_, &parts)) return -1;
  host_ = parts.host;
  path_ = parts.path;
  port_ = parts.port;
  referer_.clear();

  for (int redirects = 0;; ++redirects) {
    std::wstring reply;
    if (!Exchange(BuildRequestText(L"post", contentType, body), &reply)) return -1;
    // Without the end of the head the reply was cut off: whatever its first
    // line says, nobody knows what the server made of the request.
    if (reply.find(kHeaderEnd) == std::wstring::npos) {
      LOG_ERROR("http request, incomplete reply.");
      return -1;
    }
    const int status = GetStatusCode(reply);
    if (status >= 200 && status <= 299) return 0;
    if (status < 300 || status > 399) return -1;
    if (redirects >= kMaxRedirects) {
      LOG_ERROR("http request, too many redirects.");
      return -1;
    }
    if (ResolveRedirect(reply, "redirect", &url_, &parts, &referer_) == kRedirectFailed) return -1;
    host_ = parts.host;
    path_ = parts.path;
    port_ = parts.port;
  }
}
