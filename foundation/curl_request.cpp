#include "foundation/curl_request.h"

#include <curl/curl.h>

#include <atomic>
#include <mutex>

#include "foundation/logger.h"
#include "foundation/text_convert.h"

namespace {

constexpr long kConnectTimeoutMs = 5000;
constexpr long kTotalTimeoutMs = 5000;
constexpr long kFormTotalTimeoutMs = 10000;
constexpr char kHttpsPrefix[] = "https://";
constexpr char kContentLengthName[] = "Content-Length:";

std::atomic<long> g_connectTimeoutMs{kConnectTimeoutMs};
std::atomic<long> g_totalTimeoutMs{kTotalTimeoutMs};
std::atomic<long> g_formTotalTimeoutMs{kFormTotalTimeoutMs};

// libcurl's global set-up is not thread-safe; do it once before the first
// handle, whichever thread asks first.
void EnsureCurlGlobal() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

size_t AppendTo(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

struct EasyHandleTraits {
  using Type = CURL*;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { curl_easy_cleanup(h); }
};
struct HeaderListTraits {
  using Type = curl_slist*;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { curl_slist_free_all(h); }
};
struct MimeTraits {
  using Type = curl_mime*;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { curl_mime_free(h); }
};
using UniqueEasy = UniqueResource<EasyHandleTraits>;
using UniqueHeaderList = UniqueResource<HeaderListTraits>;
using UniqueMime = UniqueResource<MimeTraits>;

UniqueHeaderList BuildHeaderList(const std::vector<std::string>& headers) {
  UniqueHeaderList list;
  for (const std::string& line : headers) {
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (!longer) break;
    list.release();
    list.reset(longer);
  }
  return list;
}

void SetCommonOptions(CURL* easy, curl_slist* headers, const std::string& url, std::string* body,
                      long totalTimeoutMs) {
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, AppendTo);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, body);
  curl_easy_setopt(easy, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, g_connectTimeoutMs.load());
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, totalTimeoutMs);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
}

void SkipCertificateChecks(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
}

// Runs the transfer and queries the status; the result code as both
// request helpers report it. what names the helper in the log lines.
int PerformAndCheck(CURL* easy, const char* what) {
  CURLcode result = curl_easy_perform(easy);
  if (result != CURLE_OK) {
    LOG_ERROR("%s, curl easy perform failed, code=[%d].", what, static_cast<int>(result));
    return static_cast<int>(result);
  }
  long status = 0;
  result = curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  if (result != CURLE_OK) {
    LOG_ERROR("%s, curl easy getinfo failed, code=[%d].", what, static_cast<int>(result));
    return static_cast<int>(result);
  }
  return 0;
}

// A new easy handle; on failure the init line of the helper named what is
// logged and *resultCode says so.
UniqueEasy OpenEasy(const char* what, int* resultCode) {
  EnsureCurlGlobal();
  UniqueEasy easy(curl_easy_init());
  if (!easy) {
    LOG_ERROR("%s, curl init failed!", what);
    *resultCode = CURLE_FAILED_INIT;
  }
  return easy;
}

}  // namespace

void SetCurlTimeoutsForTests(long connectMs, long totalMs, long formTotalMs) {
  g_connectTimeoutMs = connectMs;
  g_totalTimeoutMs = totalMs;
  g_formTotalTimeoutMs = formTotalMs;
}

std::string RemoveCrLfPairs(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
      ++at;
      continue;
    }
    result += text[at];
  }
  return result;
}

std::string CurlRequest(int method, const std::wstring& url, const std::vector<std::string>& headers,
                        bool http10, bool wantHeader, const std::string& body, int* resultCode) {
  int ignored = 0;
  if (!resultCode) resultCode = &ignored;
  UniqueEasy easy = OpenEasy("curl request", resultCode);
  if (!easy) return std::string();
  const std::string narrowUrl = WideToAnsi(url);
  if (narrowUrl.rfind(kHttpsPrefix, 0) == 0) SkipCertificateChecks(easy.get());
  UniqueHeaderList headerList = BuildHeaderList(headers);
  if (http10) curl_easy_setopt(easy.get(), CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);

  std::string headerText;
  std::string bodyText;
  if (wantHeader) {
    curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, AppendTo);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, &headerText);
  }
  if (method == kCurlHead) {
    curl_easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
  } else if (method == kCurlPost) {
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  SetCommonOptions(easy.get(), headerList.get(), narrowUrl, &bodyText, g_totalTimeoutMs);

  *resultCode = PerformAndCheck(easy.get(), "curl request");
  return headerText + RemoveCrLfPairs(bodyText);
}

std::string CurlFormRequest(const std::string& url, const std::vector<std::string>& headers,
                            const std::string& filePath, int* resultCode) {
  int ignored = 0;
  if (!resultCode) resultCode = &ignored;
  UniqueEasy easy = OpenEasy("curl form data request", resultCode);
  if (!easy) return std::string();
  SkipCertificateChecks(easy.get());
  UniqueHeaderList headerList = BuildHeaderList(headers);
  curl_easy_setopt(easy.get(), CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);

  UniqueMime form(curl_mime_init(easy.get()));
  curl_mimepart* part = form ? curl_mime_addpart(form.get()) : nullptr;
  if (part) {
    curl_mime_name(part, "file");
    curl_mime_filedata(part, filePath.c_str());
  }
  curl_easy_setopt(easy.get(), CURLOPT_MIMEPOST, form.get());

  std::string bodyText;
  SetCommonOptions(easy.get(), headerList.get(), url, &bodyText, g_formTotalTimeoutMs);
  *resultCode = PerformAndCheck(easy.get(), "curl form data request");
  // The handle goes first: it still refers to the form while it lives.
  easy.reset();
  form.reset();
  return RemoveCrLfPairs(bodyText);
}

int64_t GetContentLength(const std::wstring& url, const std::wstring& host) {
  std::vector<std::string> headers = {"connection: close", "Cache-Control: no-cache", "Pragma: no-cache"};
  if (!host.empty()) headers.push_back("Host: " + WideToAnsi(host));
  int code = 0;
  const std::string reply = CurlRequest(kCurlHead, url, headers, false, true, std::string(), &code);

  // Redirects leave one header block per hop; the last one is the file's.
  const size_t name = reply.rfind(kContentLengthName);
  if (name == std::string::npos) return 0;
  const size_t valueStart = name + sizeof kContentLengthName - 1;
  const size_t lineEnd = reply.find("\r\n", valueStart);
  if (lineEnd == std::string::npos) return 0;
  std::string digits;
  for (size_t at = valueStart; at < lineEnd; ++at) {
    const char c = reply[at];
    if (c != ' ' && c != '\t') digits += c;
  }
  if (digits.empty() || digits.size() > 18) return 0;
  int64_t length = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    length = length * 10 + (c - '0');
  }
  return length;
}
