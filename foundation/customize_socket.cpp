#include "foundation/customize_socket.h"

#include <ws2tcpip.h>

#include <atomic>
#include <cstdlib>
#include <ctime>

#include "foundation/logger.h"
#include "foundation/text_convert.h"

namespace {

constexpr WORD kSocketVersion = 0x0202;
constexpr int kConnectWaits = 5;
constexpr int kConnectWaitMs = 5000;
constexpr int kIoWaitMs = 30000;
constexpr int kConnectTimeoutSeconds = 5;

std::atomic<int> g_connectWaitMs{kConnectWaitMs};
std::atomic<int> g_ioWaitMs{kIoWaitMs};

timeval WaitTime(int milliseconds) {
  timeval wait;
  wait.tv_sec = milliseconds / 1000;
  wait.tv_usec = (milliseconds % 1000) * 1000;
  return wait;
}

// select on one socket: > 0 ready, 0 time-out, SOCKET_ERROR on an error.
int WaitReady(SOCKET s, bool forWrite, int milliseconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait = WaitTime(milliseconds);
  int ready = ::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &wait);
  return ready > 0 && !FD_ISSET(s, &set) ? 0 : ready;
}

std::string DottedText(uint32_t address) {
  in_addr in;
  in.s_addr = address;
  const char* text = ::inet_ntoa(in);
  return text ? text : "";
}

}  // namespace

void CCustomizeSocket::SetWaitsForTests(int connectWaitMs, int ioWaitMs) {
  g_connectWaitMs = connectWaitMs;
  g_ioWaitMs = ioWaitMs;
}

CCustomizeSocket::CCustomizeSocket() {
  WSADATA data;
  if (::WSAStartup(kSocketVersion, &data) == 0) {
    if (data.wVersion == kSocketVersion) {
      started_ = true;
    } else {
      ::WSACleanup();
    }
  }
  std::srand(static_cast<unsigned>(std::time(nullptr)));
}

CCustomizeSocket::~CCustomizeSocket() {
  // A handle still open here would otherwise outlive its owner for good.
  socket_.reset();
  if (started_) ::WSACleanup();
}

bool CCustomizeSocket::ConnectHost(const std::wstring& host, int port) {
  if (host.empty()) {
    LOG_WARN("socket, host is empty.");
    return false;
  }
  const std::string name = WideToAnsi(host);
  const hostent* entry = ::gethostbyname(name.c_str());
  if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
    LOG_ERROR("socket, no find host.");
    return false;
  }
  uint32_t address = 0;
  memcpy(&address, entry->h_addr_list[0], sizeof address);
  return ConnectIp(address, port);
}

bool CCustomizeSocket::ConnectIp(uint32_t address, int port) {
  Close();
  const std::string dotted = DottedText(address);

  UniqueSocket candidate(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!candidate) {
    LOG_ERROR("socket, create failed!, err=[%d]", ::WSAGetLastError());
    return false;
  }
  u_long nonBlocking = 1;
  if (::ioctlsocket(candidate.get(), FIONBIO, &nonBlocking) != 0) {
    LOG_ERROR("socket, ioctl failed, ret=[%d], err=[%d]", -1, ::WSAGetLastError());
    return false;
  }

  sockaddr_in peer = {};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = htons(static_cast<u_short>(port));
  const int started = ::connect(candidate.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  if (started < 0) {
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      LOG_WARN("socket, connect failed! ip=[%s], ret=[%d], err=[%d]", dotted.c_str(), started, error);
      return false;
    }
  }

  // A refused connection is never reported writable, so it takes the same
  // path as a peer that never accepts.
  int ready = 0;
  for (int wait = 0; wait < kConnectWaits; ++wait) {
    ready = WaitReady(candidate.get(), true, g_connectWaitMs);
    if (ready != 0) break;
  }
  if (ready <= 0) {
    LOG_ERROR("socket, ip=[%s], fd count 0, err=[%d]", dotted.c_str(), ::WSAGetLastError());
    return false;
  }

  u_long blocking = 0;
  if (::ioctlsocket(candidate.get(), FIONBIO, &blocking) != 0) {
    LOG_ERROR("socket, ioctl failed, ip=[%s], ret=[%d], err=[%d]", dotted.c_str(), -1, ::WSAGetLastError());
    return false;
  }

  socket_ = std::move(candidate);
  serverAddress_ = address;
  connected_ = true;
  serverAddressText_ = AnsiToWide(dotted);
  port_ = port;
  connectTimeout_ = kConnectTimeoutSeconds;
  LOG_INFO("socket, connect ok, ip=[%s]", dotted.c_str());
  return true;
}

int CCustomizeSocket::Receive(char* buffer, int capacity) {
  // A zero capacity would read as the peer's close and drop a live connection.
  if (!buffer || capacity <= 0) return -1;
  if (!connected_ || !socket_) {
    LOG_ERROR("socket, receive failed! no connected.");
    return -1;
  }
  const int ready = WaitReady(socket_.get(), false, g_ioWaitMs);
  if (ready == SOCKET_ERROR) {
    LOG_ERROR("socket, receive failed! select err=[%d].", ::WSAGetLastError());
    return -1;
  }
  if (ready == 0) {
    LOG_WARN("socket, receive failed! select ret=[0], err=[%d].", ::WSAGetLastError());
    return -1;
  }
  const int received = ::recv(socket_.get(), buffer, capacity, 0);
  if (received == 0) {
    LOG_WARN("socket, receive failed! size=[0].");
    Close();
    return 0;
  }
  if (received < 0) {
    LOG_ERROR("socket, receive failed! err=[%d]", ::WSAGetLastError());
    return -1;
  }
  return received;
}

bool CCustomizeSocket::Send(const char* data, int length) {
  if (!data || length <= 0 || !connected_ || !socket_) return false;
  if (WaitReady(socket_.get(), true, g_ioWaitMs) <= 0) return false;
  return ::send(socket_.get(), data, length, 0) != SOCKET_ERROR;
}

bool CCustomizeSocket::SendText(const std::wstring& text) {
  const std::string narrow = WideToAnsi(text);
  return Send(narrow.data(), static_cast<int>(narrow.size()));
}

int CCustomizeSocket::Close() {
  connected_ = false;
  int result = 0;
  if (socket_) result = ::closesocket(socket_.release());
  serverAddress_ = 0;
  return result;
}
