#include "downloader/host_address_pool.h"

#include <winsock2.h>
#include <winhttp.h>

#include <vector>

#include "downloader/http_dns.h"
#include "foundation/curl_request.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"

namespace ns_JEB {

namespace {

// Probing stops once this many addresses agree on one length: enough to
// trust the answer, and a host with dozens of addresses costs no more.
constexpr size_t kEnoughVotes = 6;

std::wstring LowerCase(std::wstring text) {
  if (!text.empty()) ::CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

std::string Dotted(uint32_t address) {
  in_addr in;
  in.s_addr = address;
  const char* text = ::inet_ntoa(in);
  return text ? text : "";
}

// Takes the pool's mutex; an abandoned mutex is owned all the same.
class PoolLock {
 public:
  explicit PoolLock(HANDLE mutex) : mutex_(mutex) { ::WaitForSingleObject(mutex_, INFINITE); }
  ~PoolLock() { ::ReleaseMutex(mutex_); }
  PoolLock(const PoolLock&) = delete;
  PoolLock& operator=(const PoolLock&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

bool CrackDownloadUrl(const std::wstring& url, std::wstring* scheme, std::wstring* host, int* port,
                      std::wstring* path) {
  if (url.empty()) return false;
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  std::vector<wchar_t> schemeBuffer(32), hostBuffer(url.size() + 1), pathBuffer(url.size() * 3 + 2);
  parts.lpszScheme = schemeBuffer.data();
  parts.dwSchemeLength = static_cast<DWORD>(schemeBuffer.size());
  parts.lpszHostName = hostBuffer.data();
  parts.dwHostNameLength = static_cast<DWORD>(hostBuffer.size());
  parts.lpszUrlPath = pathBuffer.data();
  parts.dwUrlPathLength = static_cast<DWORD>(pathBuffer.size());
  if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), ICU_ESCAPE, &parts)) return false;
  *scheme = LowerCase(std::wstring(parts.lpszScheme, parts.dwSchemeLength));
  *host = LowerCase(std::wstring(parts.lpszHostName, parts.dwHostNameLength));
  *port = parts.nPort;
  *path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (path->empty()) *path = L"/";
  return !host->empty();
}

int32_t MajorityLength(const LengthVotes& votes, bool forCdnProbe) {
  int32_t winner = 0;
  size_t most = 0;
  for (const auto& vote : votes) {  // ascending lengths: a tie keeps the smaller one
    if (vote.second.size() <= most) continue;
    winner = vote.first;
    most = vote.second.size();
    if (forCdnProbe) {
      LOG_INFO("get cdn file size, ulfs_max=[%ld], count=[%d]", static_cast<long>(winner), static_cast<int>(most));
    } else {
      LOG_INFO("ulfs_max=[%ld], count=[%d]", static_cast<long>(winner), static_cast<int>(most));
    }
  }
  return winner;
}

CHostAddressPool& CHostAddressPool::Instance() {
  // Function-local statics start exactly once even when two threads arrive
  // together; never deleted on purpose.
  static CHostAddressPool* pool = new CHostAddressPool;
  return *pool;
}

CHostAddressPool::CHostAddressPool() : lock_(::CreateMutexW(nullptr, FALSE, nullptr)) {
  // The resolver needs the socket library; this start-up is never undone,
  // like the pool itself.
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}

bool CHostAddressPool::Resolve(const std::wstring& host) {
  AddressTable& table = hosts_[host];
  const std::string name = WideToAnsi(host);
  const hostent* entry = ::gethostbyname(name.c_str());
  if (entry && entry->h_addrtype == AF_INET && entry->h_addr_list) {
    table.clear();
    for (char** at = entry->h_addr_list; *at; ++at) {
      uint32_t address = 0;
      memcpy(&address, *at, sizeof address);
      table[static_cast<int32_t>(address)] = 0;
    }
  }
  if (table.empty()) {
    std::vector<std::string> texts;
    QueryHttpDns(name, &texts);
    for (const std::string& text : texts) {
      const uint32_t address = ::inet_addr(text.c_str());
      // inet_addr's "not an address" is also 255.255.255.255, never a server.
      if (address != INADDR_NONE && address != 0) table[static_cast<int32_t>(address)] = 0;
    }
    LOG_INFO("query httpdns, host=[%s], ip count=[%d].", name.c_str(), static_cast<int>(texts.size()));
  } else {
    LOG_INFO("query host=[%s], ip count=[%d].", name.c_str(), static_cast<int>(table.size()));
  }
  return !table.empty();
}

void CHostAddressPool::Vote(const std::wstring& host, const std::wstring& scheme, const std::wstring& portText,
                            const std::wstring& path) {
  AddressTable& table = hosts_[host];
  LengthVotes votes;
  std::vector<uint32_t> probed;
  for (const auto& entry : table) {
    const uint32_t address = static_cast<uint32_t>(entry.first);
    const std::string dotted = Dotted(address);
    LOG_INFO("host ip=[%s]", dotted.c_str());
    // The url's own port goes along: a CDN on another port would otherwise
    // be judged by whatever answers on the default one.
    const std::wstring url = scheme + L"://" + AnsiToWide(dotted) + portText + path;
    const int32_t length = static_cast<int32_t>(GetContentLength(url, host));
    probed.push_back(address);
    if (length != 0) votes[length].push_back(address);
    const auto measured = votes.find(length);
    if (measured != votes.end() && measured->second.size() >= kEnoughVotes) break;
  }
  const int32_t winner = MajorityLength(votes, false);
  if (winner == 0) return;
  const std::vector<uint32_t>& keep = votes[winner];
  for (auto it = table.begin(); it != table.end();) {
    const uint32_t address = static_cast<uint32_t>(it->first);
    bool kept = false;
    for (uint32_t k : keep) kept = kept || k == address;
    if (kept) {
      ++it;
    } else {
      LOG_WARN("remove host ip=[%s]", Dotted(address).c_str());
      it = table.erase(it);
    }
  }
}

bool CHostAddressPool::InitHost(const std::wstring& url) {
  if (url.empty()) {
    LOG_ERROR("init host url is empty.");
    return false;
  }
  std::wstring scheme, host, path;
  int port = 0;
  if (!CrackDownloadUrl(url, &scheme, &host, &port, &path)) {
    LOG_ERROR("parse url failed!");
    return false;
  }
  const int defaultPort = scheme == L"https" ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  const std::wstring portText = port == defaultPort ? std::wstring() : L":" + std::to_wstring(port);

  PoolLock lock(lock_.get());
  auto known = hosts_.find(host);
  if (known != hosts_.end() && !known->second.empty()) return true;
  if (!Resolve(host)) {
    LOG_ERROR("query host failed!");
    return false;
  }
  Vote(host, scheme, portText, path);
  const AddressTable& table = hosts_[host];
  LOG_INFO("init host, vaild ip count=[%d]", static_cast<int>(table.size()));
  return !table.empty();
}

bool CHostAddressPool::HasHost(const std::wstring& url) {
  std::wstring scheme, host, path;
  int port = 0;
  if (!CrackDownloadUrl(url, &scheme, &host, &port, &path)) return false;
  PoolLock lock(lock_.get());
  auto known = hosts_.find(host);
  return known != hosts_.end() && !known->second.empty();
}

uint32_t CHostAddressPool::PickIp(const std::wstring& host) {
  PoolLock lock(lock_.get());
  auto known = hosts_.find(LowerCase(host));
  if (known == hosts_.end() || known->second.empty()) return 0;
  auto chosen = known->second.end();
  for (auto it = known->second.begin(); it != known->second.end(); ++it) {
    if (it->second == 0) {
      chosen = it;
      break;
    }
    if (chosen == known->second.end() || it->second < chosen->second) chosen = it;
  }
  ++chosen->second;
  return static_cast<uint32_t>(chosen->first);
}

void CHostAddressPool::ReleaseIp(const std::wstring& host, uint32_t address) {
  if (host.empty() || address == 0) return;
  PoolLock lock(lock_.get());
  auto known = hosts_.find(LowerCase(host));
  if (known == hosts_.end()) return;
  auto entry = known->second.find(static_cast<int32_t>(address));
  if (entry != known->second.end() && entry->second > 0) --entry->second;
}

int CHostAddressPool::UseCount(const std::wstring& host, uint32_t address) {
  PoolLock lock(lock_.get());
  auto known = hosts_.find(LowerCase(host));
  if (known == hosts_.end()) return -1;
  auto entry = known->second.find(static_cast<int32_t>(address));
  return entry == known->second.end() ? -1 : entry->second;
}

bool CHostAddressPool::GetHostIps(const std::wstring& url, std::string* host, std::string* addresses) {
  std::wstring scheme, wideHost, path;
  int port = 0;
  if (!CrackDownloadUrl(url, &scheme, &wideHost, &port, &path)) return false;
  *host = WideToAnsi(wideHost);
  addresses->clear();
  PoolLock lock(lock_.get());
  auto known = hosts_.find(wideHost);
  if (known == hosts_.end()) return false;
  for (const auto& entry : known->second) {
    if (!addresses->empty()) *addresses += ",";
    *addresses += Dotted(static_cast<uint32_t>(entry.first));
  }
  return !addresses->empty();
}

}  // namespace ns_JEB
