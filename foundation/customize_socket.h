// The TCP transport of the download engine and of the plain-HTTP poster:
// IPv4 only, a non-blocking connect bounded by a time-out, then blocking
// sends and receives, each guarded by a wait for readiness. It knows nothing
// of HTTP; names are normally resolved by the caller's address pool.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/win_handles.h"

struct SocketTraits {
  using Type = SOCKET;
  static Type Invalid() { return INVALID_SOCKET; }
  static void Close(Type s) { ::closesocket(s); }
};
using UniqueSocket = UniqueResource<SocketTraits>;

class CCustomizeSocket {
 public:
  CCustomizeSocket();
  virtual ~CCustomizeSocket();
  CCustomizeSocket(const CCustomizeSocket&) = delete;
  CCustomizeSocket& operator=(const CCustomizeSocket&) = delete;

  // Resolves the name (ANSI code page, system resolver) and connects to its
  // first IPv4 address.
  bool ConnectHost(const std::wstring& host, int port);
  // address in network byte order.
  bool ConnectIp(uint32_t address, int port);

  // One send of the whole buffer; a partial send is not continued.
  bool Send(const char* data, int length);
  // The text in the ANSI code page.
  bool SendText(const std::wstring& text);
  // Bytes received; 0 when the peer closed (the socket is then closed too);
  // -1 on an error or a time-out (the socket stays open).
  int Receive(char* buffer, int capacity);
  // The OS result of closing, 0 when nothing was open. May be called from
  // another thread to end a blocked Receive.
  int Close();

  bool IsConnected() const { return connected_; }
  uint32_t ServerAddress() const { return serverAddress_; }
  const std::wstring& ServerAddressText() const { return serverAddressText_; }
  int Port() const { return port_; }
  int WorkerIndex() const { return workerIndex_; }
  void SetWorkerIndex(int index) { workerIndex_ = index; }
  // The owner's stop event; the socket never waits on it.
  HANDLE StopEvent() const { return stopEvent_; }
  void SetStopEvent(HANDLE event) { stopEvent_ = event; }

  // Test seam only: the product always waits five times 5 s for a connect and
  // 30 s for each send and receive. Tests shorten these waits so that a peer
  // that never answers costs milliseconds; nothing in the product calls it.
  static void SetWaitsForTests(int connectWaitMs, int ioWaitMs);

 private:
  bool started_ = false;  // WSAStartup succeeded with version 2.2
  UniqueSocket socket_;
  int workerIndex_ = -1;
  bool connected_ = false;
  HANDLE stopEvent_ = nullptr;  // not owned
  int port_ = 0;
  int connectTimeout_ = 0;  // seconds
  std::wstring serverAddressText_;
  uint32_t serverAddress_ = 0;  // network byte order
};
