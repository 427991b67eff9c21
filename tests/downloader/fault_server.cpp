#include "tests/downloader/fault_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr int kPiece = 16 * 1024;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
  const std::string lower = Lower(head);
  const size_t at = lower.find("\r\n" + Lower(name) + ":");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 3;
  const size_t end = head.find("\r\n", start);
  std::string value = head.substr(start, end - start);
  while (!value.empty() && value.front() == ' ') value.erase(0, 1);
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return value;
}

// "bytes=a-b" or "bytes=a-".
bool ParseRange(const std::string& range, int64_t* first, int64_t* last) {
  if (range.rfind("bytes=", 0) != 0) return false;
  const size_t dash = range.find('-', 6);
  if (dash == std::string::npos) return false;
  *first = std::strtoll(range.c_str() + 6, nullptr, 10);
  *last = dash + 1 < range.size() ? std::strtoll(range.c_str() + dash + 1, nullptr, 10) : -1;
  return true;
}

}  // namespace

FaultServer::FaultServer() : stallRelease_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}

FaultServer::~FaultServer() {
  Stop();
  ::CloseHandle(stallRelease_);
  ::WSACleanup();
}

bool FaultServer::Start(const std::vector<std::string>& addresses) {
  for (int attempt = 0; attempt < 20 && !started_; ++attempt) {
    std::vector<SOCKET> bound;
    int port = 0;
    bool ok = true;
    for (const std::string& address : addresses) {
      SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      sockaddr_in at = {};
      at.sin_family = AF_INET;
      at.sin_addr.s_addr = ::inet_addr(address.c_str());
      at.sin_port = htons(static_cast<u_short>(port));
      if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
          ::listen(s, 64) != 0) {
        if (s != INVALID_SOCKET) ::closesocket(s);
        ok = false;
        break;
      }
      if (port == 0) {
        int size = sizeof at;
        ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &size);
        port = ntohs(at.sin_port);
      }
      bound.push_back(s);
    }
    if (!ok) {
      for (SOCKET s : bound) ::closesocket(s);
      continue;
    }
    port_ = port;
    listeners_ = bound;
    started_ = true;
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < bound.size(); ++i) {
      threads_.emplace_back(&FaultServer::AcceptLoop, this, bound[i], addresses[i]);
    }
  }
  return started_;
}

void FaultServer::Stop() {
  if (!started_) return;
  stopping_ = true;
  ::SetEvent(stallRelease_);
  for (SOCKET s : listeners_) ::closesocket(s);
  listeners_.clear();
  // Connection threads are added by the listeners; join until none is left.
  while (true) {
    std::thread thread;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (threads_.empty()) break;
      thread = std::move(threads_.back());
      threads_.pop_back();
    }
    if (thread.joinable()) thread.join();
  }
  started_ = false;
}

std::string FaultServer::Url(const std::string& path, const std::string& address) const {
  return "http://" + address + ":" + std::to_string(port_) + path;
}

void FaultServer::Put(const std::string& path, Resource resource) {
  std::lock_guard<std::mutex> lock(mutex_);
  resources_[path] = std::make_shared<Resource>(std::move(resource));
}

void FaultServer::PutText(const std::string& path, const std::string& body, const std::string& contentType) {
  Resource resource;
  resource.content = body;
  resource.contentType = contentType;
  resource.ranges = false;
  Put(path, std::move(resource));
}

std::vector<ServedRequest> FaultServer::Journal() {
  std::lock_guard<std::mutex> lock(mutex_);
  return journal_;
}

void FaultServer::ClearJournal() {
  std::lock_guard<std::mutex> lock(mutex_);
  journal_.clear();
}

int64_t FaultServer::BodyBytes(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  int64_t sum = 0;
  for (const ServedRequest& request : journal_) {
    if (request.method == "GET" && request.path == path) sum += request.bodyBytes;
  }
  return sum;
}

bool FaultServer::WaitFor(const std::function<bool(const std::vector<ServedRequest>&)>& pred, DWORD timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(journal_); });
}

void FaultServer::ReleaseStalls() { ::SetEvent(stallRelease_); }

void FaultServer::AcceptLoop(SOCKET listener, std::string address) {
  while (!stopping_) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(listener, &set);
    timeval wait = {0, 100 * 1000};
    const int ready = ::select(0, &set, nullptr, nullptr, &wait);
    if (ready < 0) return;
    if (ready == 0) continue;
    SOCKET client = ::accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    std::lock_guard<std::mutex> lock(mutex_);
    threads_.emplace_back(&FaultServer::Serve, this, client, address);
  }
}

bool FaultServer::Send(SOCKET client, size_t entry, const char* data, int length, bool countAsBody) {
  int sent = 0;
  while (sent < length) {
    const int n = ::send(client, data + sent, length - sent, 0);
    if (n <= 0) return false;
    sent += n;
    if (countAsBody) {
      std::lock_guard<std::mutex> lock(mutex_);
      journal_[entry].bodyBytes += n;
      changed_.notify_all();
    }
  }
  return true;
}

void FaultServer::WaitForClientClose(SOCKET client) {
  // Held until the client gives up, the test releases it, or the server stops.
  char sink[256];
  while (!stopping_ && ::WaitForSingleObject(stallRelease_, 0) != WAIT_OBJECT_0) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(client, &set);
    timeval wait = {0, 50 * 1000};
    const int ready = ::select(0, &set, nullptr, nullptr, &wait);
    if (ready < 0) return;
    if (ready > 0 && ::recv(client, sink, sizeof sink, 0) <= 0) return;
  }
}

bool FaultServer::SendBody(SOCKET client, size_t entry, const std::string& body, const ConnectionPlan& plan) {
  const auto start = std::chrono::steady_clock::now();
  int64_t sent = 0;
  const int64_t size = static_cast<int64_t>(body.size());
  while (sent < size) {
    if (plan.stallAfter >= 0 && sent >= plan.stallAfter) {
      WaitForClientClose(client);
      return false;
    }
    if (plan.dropAfter >= 0 && sent >= plan.dropAfter) return false;
    int64_t piece = std::min<int64_t>(kPiece, size - sent);
    if (plan.stallAfter >= 0) piece = std::min(piece, plan.stallAfter - sent);
    if (plan.dropAfter >= 0) piece = std::min(piece, plan.dropAfter - sent);
    if (plan.bytesPerSecond > 0) {
      piece = std::min<int64_t>(piece, std::max(plan.bytesPerSecond / 20, 1));
      // Send no faster than the rate allows since the body started.
      const auto due = start + std::chrono::microseconds(sent * 1000000 / plan.bytesPerSecond);
      const auto now = std::chrono::steady_clock::now();
      if (due > now) {
        const DWORD ms = static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count());
        if (::WaitForSingleObject(stallRelease_, ms) == WAIT_OBJECT_0 || stopping_) return false;
      }
    }
    if (!Send(client, entry, body.data() + sent, static_cast<int>(piece), true)) return false;
    sent += piece;
  }
  return true;
}

void FaultServer::Serve(SOCKET client, std::string address) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead && !stopping_) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(client, &set);
    timeval wait = {0, 100 * 1000};
    const int ready = ::select(0, &set, nullptr, nullptr, &wait);
    if (ready < 0) break;
    if (ready == 0) continue;
    const int n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, n);
  }
  if (head.find("\r\n\r\n") == std::string::npos) {
    ::closesocket(client);
    return;
  }

  ServedRequest request;
  request.listener = address;
  const std::string line = head.substr(0, head.find("\r\n"));
  const size_t blank1 = line.find(' ');
  const size_t blank2 = line.find(' ', blank1 + 1);
  request.method = line.substr(0, blank1);
  request.path = line.substr(blank1 + 1, blank2 - blank1 - 1);
  request.version = blank2 == std::string::npos ? "" : line.substr(blank2 + 1);
  request.range = HeaderValue(head, "Range");
  request.host = HeaderValue(head, "Host");
  ParseRange(request.range, &request.firstByte, &request.lastByte);

  std::shared_ptr<Resource> resource;
  size_t entry = 0;
  int index = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = resources_.find(request.path);
    if (found == resources_.end()) found = resources_.find(request.path.substr(0, request.path.find('?')));
    if (found != resources_.end()) resource = found->second;
    index = requestCounts_[request.path]++;
    journal_.push_back(request);
    entry = journal_.size() - 1;
    changed_.notify_all();
  }

  auto reply = [&](int status, const std::string& text) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      journal_[entry].status = status;
    }
    return Send(client, entry, text.data(), static_cast<int>(text.size()), false);
  };

  if (!resource) {
    reply(404, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  } else if (!resource->rawReply.empty()) {
    reply(0, resource->rawReply);
  } else if (resource->redirectStatus != 0) {
    reply(resource->redirectStatus, "HTTP/1.1 " + std::to_string(resource->redirectStatus) +
                                        " Moved\r\nLocation: " + resource->location +
                                        "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  } else {
    const std::string& content = resource->content;
    const int64_t size = static_cast<int64_t>(content.size());
    const bool head_only = request.method == "HEAD";
    ConnectionPlan plan;
    if (resource->planner && !head_only) plan = resource->planner(request, index);
    std::string common = "Content-Type: " + resource->contentType +
                         "\r\nLast-Modified: Wed, 21 Oct 2015 07:28:00 GMT\r\nConnection: close\r\n";
    if (resource->chunked && request.version == "HTTP/1.1" && !head_only) {
      if (reply(200, "HTTP/1.1 200 OK\r\n" + common + "Transfer-Encoding: chunked\r\n\r\n")) {
        char size_line[32];
        std::snprintf(size_line, sizeof size_line, "%zx\r\n", content.size());
        const std::string chunk = size_line + content + "\r\n0\r\n\r\n";
        SendBody(client, entry, chunk, plan);
      }
    } else {
      int64_t first = 0, last = size - 1;
      int status = 200;
      if (resource->ranges && !request.range.empty() && request.firstByte >= 0) {
        first = request.firstByte;
        last = request.lastByte < 0 || request.lastByte >= size ? size - 1 : request.lastByte;
        status = 206;
      }
      if (status == 206 && first >= size) {
        reply(416, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      } else {
        int64_t length = last - first + 1;
        std::string lengthText = std::to_string(length);
        if (head_only) {
          auto claimed = resource->headLengthByListener.find(address);
          if (claimed != resource->headLengthByListener.end()) lengthText = std::to_string(claimed->second);
        }
        if (!resource->lengthHeader.empty()) lengthText = resource->lengthHeader;
        std::string text = status == 206 ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
        text += common + "Accept-Ranges: bytes\r\nContent-Length: " + lengthText + "\r\n";
        if (status == 206) {
          text += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                  std::to_string(size) + "\r\n";
        }
        text += "\r\n";
        if (reply(status, text) && !head_only) {
          SendBody(client, entry, content.substr(static_cast<size_t>(first), static_cast<size_t>(length)), plan);
        }
      }
    }
  }
  ::shutdown(client, SD_SEND);
  ::closesocket(client);
  std::lock_guard<std::mutex> lock(mutex_);
  journal_[entry].closed = true;
  changed_.notify_all();
}
