// The addresses a download host may be reached at, shared by every job and
// worker of the process: resolved once per host (system resolver, then
// HTTP-DNS), narrowed to the addresses that agree on the file's size, and
// handed out so that parallel workers spread over them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/win_handles.h"

namespace ns_JEB {

class CHostAddressPool {
 public:
  // The process-wide pool, created on first use and never destroyed (workers
  // of a job being torn down at exit may still release into it).
  static CHostAddressPool& Instance();

  // The url's host has at least one address.
  bool HasHost(const std::wstring& url);
  // Resolves the url's host and votes its addresses by content length, once
  // per host; true when the host now has at least one address.
  bool InitHost(const std::wstring& url);
  // Address in network byte order, 0 when the host has none; its use count
  // grows by one.
  uint32_t PickIp(const std::wstring& host);
  void ReleaseIp(const std::wstring& host, uint32_t address);
  // The host (ANSI) and its dotted addresses separated by ","; true when the
  // list is not empty.
  bool GetHostIps(const std::wstring& url, std::string* host, std::string* addresses);
  // -1 when the address is not listed for the host.
  int UseCount(const std::wstring& host, uint32_t address);

 private:
  CHostAddressPool();
  bool Resolve(const std::wstring& host);
  void Vote(const std::wstring& host, const std::wstring& scheme, const std::wstring& portText,
            const std::wstring& path);

  // Ordered as signed 32-bit values of the network-order address.
  using AddressTable = std::map<int32_t, int32_t>;
  // Host names are kept in lower case: DNS names are case-blind, and the
  // workers look hosts up in the form the url splitter gives them.
  std::map<std::wstring, AddressTable> hosts_;  // guarded by lock_
  // A kernel mutex rather than a critical section: InitHost holds it for a
  // whole vote, and if a job thread is terminated meanwhile the next caller
  // inherits the abandoned mutex instead of waiting for ever.
  UniqueHandle lock_;
};

// Splits a url with the system's URL cracker; the host in lower case, the
// port text empty for the scheme's default port, the path without query.
bool CrackDownloadUrl(const std::wstring& url, std::wstring* scheme, std::wstring* host, int* port,
                      std::wstring* path);

// Content length (low 32 bits) -> the addresses that answered it.
using LengthVotes = std::map<int32_t, std::vector<uint32_t>>;

// The length with the most votes; on a tie the smaller length; 0 when
// nothing was measured. Each replacement is logged, with the cdn-probe
// wording when forCdnProbe is set.
int32_t MajorityLength(const LengthVotes& votes, bool forCdnProbe);

}  // namespace ns_JEB
