#include "downloader/cdn_size_probe.h"

#include <winsock2.h>
#include <winhttp.h>

#include <algorithm>
#include <vector>

#include "downloader/host_address_pool.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"

namespace ns_JEB {

namespace {

// WinHTTP time-outs of one HEAD. WinHTTP counts in milliseconds; 10, 6, 6
// and 10 of them would fail nearly every real CDN, so these are seconds.
constexpr int kResolveTimeoutMs = 10 * 1000;
constexpr int kConnectTimeoutMs = 6 * 1000;
constexpr int kSendTimeoutMs = 6 * 1000;
constexpr int kReceiveTimeoutMs = 10 * 1000;

struct InternetTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<InternetTraits>;

// The content length one address gives for the path, 0 when it gives none.
int32_t HeadLength(uint32_t address, int port, const std::wstring& host, const std::wstring& path) {
  in_addr in;
  in.s_addr = address;
  const std::string dotted = ::inet_ntoa(in);
  LOG_INFO("get cdn file size, host ip=[%s]", dotted.c_str());

  UniqueInternet session(::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    LOG_ERROR("get cdn file size, win http open failed! err=[%d].", static_cast<int>(::GetLastError()));
    return 0;
  }
  ::WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
  UniqueInternet connection(
      ::WinHttpConnect(session.get(), AnsiToWide(dotted).c_str(), static_cast<INTERNET_PORT>(port), 0));
  if (!connection) {
    LOG_ERROR("get cdn file size, win http connect failed! ip=[%s], err=[%d].", dotted.c_str(),
              static_cast<int>(::GetLastError()));
    return 0;
  }
  UniqueInternet request(::WinHttpOpenRequest(connection.get(), L"HEAD", path.c_str(), L"HTTP/1.1",
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              WINHTTP_FLAG_REFRESH));
  if (!request) {
    LOG_ERROR("get cdn file size, win http open request failed! ip=[%s], err=[%d].", dotted.c_str(),
              static_cast<int>(::GetLastError()));
    return 0;
  }
  const std::wstring header = L"Host: " + host + L"\r\n";
  if (!::WinHttpAddRequestHeaders(request.get(), header.c_str(), static_cast<DWORD>(-1L),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
    LOG_ERROR("get cdn file size, win http add request headers failed! ip=[%s], err=[%d].", dotted.c_str(),
              static_cast<int>(::GetLastError()));
    return 0;
  }
  if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    LOG_ERROR("get cdn file size, win http send request failed! ip=[%s], err=[%d].", dotted.c_str(),
              static_cast<int>(::GetLastError()));
    return 0;
  }
  if (!::WinHttpReceiveResponse(request.get(), nullptr)) {
    LOG_ERROR("get cdn file size, win http receive response failed! ip=[%s], err=[%d].", dotted.c_str(),
              static_cast<int>(::GetLastError()));
    return 0;
  }
  DWORD length = 0;
  DWORD size = sizeof length;
  DWORD index = 0;
  if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX)) {
    LOG_ERROR("get cdn file size, win http query headers failed! ip=[%s], size=[%d], index=[%d], err=[%d].",
              dotted.c_str(), static_cast<int>(size), static_cast<int>(index), static_cast<int>(::GetLastError()));
    return 0;
  }
  return static_cast<int32_t>(length);
}

}  // namespace

int32_t GetCdnFileSize(const std::wstring& url) {
  if (url.empty()) {
    LOG_ERROR("get cdn file size, url is empty.");
    return 0;
  }
  std::wstring scheme, host, path;
  int port = 0;
  if (!CrackDownloadUrl(url, &scheme, &host, &port, &path)) return 0;

  WSADATA data;
  const bool started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  std::vector<uint32_t> addresses;
  const std::string name = WideToAnsi(host);
  if (const hostent* entry = ::gethostbyname(name.c_str())) {
    if (entry->h_addrtype == AF_INET && entry->h_addr_list) {
      for (char** at = entry->h_addr_list; *at; ++at) {
        uint32_t address = 0;
        memcpy(&address, *at, sizeof address);
        addresses.push_back(address);
      }
    }
  }
  // Ascending as the pool orders its tables: signed values of network order.
  std::sort(addresses.begin(), addresses.end(),
            [](uint32_t a, uint32_t b) { return static_cast<int32_t>(a) < static_cast<int32_t>(b); });

  LengthVotes votes;
  for (uint32_t address : addresses) {
    const int32_t length = HeadLength(address, port, host, path);
    if (length != 0) votes[length].push_back(address);
  }
  if (started) ::WSACleanup();
  LOG_INFO("get cdn file size, content size count=[%d]", static_cast<int>(votes.size()));
  return MajorityLength(votes, true);
}

}  // namespace ns_JEB
