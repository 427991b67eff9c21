// A small HTTP server inside the test process that stands in for the CDN:
// byte ranges, chunked replies, redirects, error content types, stalls,
// dropped connections, per-connection rate limits and different answers per
// listening address (127.0.0.2, 127.0.0.3, ... are all loopback). It
// journals every request with the body bytes it served, so that a test can
// prove what was, and was not, downloaded again.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ServedRequest {
  std::string listener;  // dotted address the request came in on
  std::string method;
  std::string path;      // as on the request line, query included
  std::string version;   // "HTTP/1.1" or "HTTP/1.0"
  std::string range;     // the Range header's value, "" when absent
  std::string host;      // the Host header's value
  int64_t firstByte = -1;  // parsed from range
  int64_t lastByte = -1;   // -1 for an open end
  int status = 0;
  int64_t bodyBytes = 0;   // body bytes handed to the socket so far
  bool closed = false;     // the server is done with the connection
};

// What one connection does with its body; chosen per request.
struct ConnectionPlan {
  int64_t stallAfter = -1;     // stop sending after this many body bytes, hold the connection
  int64_t dropAfter = -1;      // close the connection after this many body bytes
  int bytesPerSecond = 0;      // 0: as fast as the socket takes it
};

struct Resource {
  std::string content;
  bool ranges = true;    // a Range request gets 206; false: always the whole file with 200
  bool chunked = false;  // HTTP/1.1 requests get a chunked 200
  std::string contentType = "application/octet-stream";
  int redirectStatus = 0;  // with location: a redirect reply
  std::string location;
  std::string rawReply;       // sent as it is, then the connection closes
  std::string lengthHeader;   // replaces the Content-Length value when not empty
  // Content length that HEAD replies claim on a given listening address.
  std::map<std::string, int64_t> headLengthByListener;
  // Chooses the body plan of each GET; index counts this resource's requests.
  std::function<ConnectionPlan(const ServedRequest&, int index)> planner;
};

class FaultServer {
 public:
  FaultServer();
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  // Listens on every address with one common port.
  bool Start(const std::vector<std::string>& addresses = {"127.0.0.1"});
  void Stop();
  int Port() const { return port_; }
  std::string Url(const std::string& path, const std::string& address = "127.0.0.1") const;

  void Put(const std::string& path, Resource resource);
  // Pass-through for answers set up after start (e.g. an HTTP-DNS reply).
  void PutText(const std::string& path, const std::string& body, const std::string& contentType = "text/plain");

  std::vector<ServedRequest> Journal();
  void ClearJournal();
  // Sum of body bytes served to GET requests for path.
  int64_t BodyBytes(const std::string& path);
  // Waits (bounded) until pred(journal) holds; false on time-out.
  bool WaitFor(const std::function<bool(const std::vector<ServedRequest>&)>& pred, DWORD timeoutMs);
  // Ends every stalled connection now.
  void ReleaseStalls();

 private:
  void AcceptLoop(SOCKET listener, std::string address);
  void Serve(SOCKET client, std::string address);
  bool SendBody(SOCKET client, size_t entry, const std::string& body, const ConnectionPlan& plan);
  bool Send(SOCKET client, size_t entry, const char* data, int length, bool countAsBody);
  void WaitForClientClose(SOCKET client);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::shared_ptr<Resource>> resources_;  // guarded by mutex_
  std::map<std::string, int> requestCounts_;                    // guarded by mutex_
  std::vector<ServedRequest> journal_;                          // guarded by mutex_
  std::vector<SOCKET> listeners_;
  std::vector<std::thread> threads_;  // listeners and connections; guarded by mutex_
  std::atomic<bool> stopping_{false};
  HANDLE stallRelease_ = nullptr;  // manual reset
  int port_ = 0;
  bool started_ = false;
};
