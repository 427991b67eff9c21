#include "tests/net/stand_in.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "foundation/base64.h"
#include "foundation/logger.h"

namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The stand-in runs on the Linux side; Wine shows the root as drive Z:.
std::string StateFolder() {
  const char* folder = std::getenv("QIV_STAND_IN_DIR");
  if (!folder || !*folder) return std::string();
  std::string path = std::string("Z:") + folder;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data;
    ok_ = ::WSAStartup(0x0202, &data) == 0;
  }
  ~WinsockSession() {
    if (ok_) ::WSACleanup();
  }

 private:
  bool ok_ = false;
};

}  // namespace

bool StandIn::Open(std::string* message) {
  const std::string folder = StateFolder();
  if (folder.empty()) {
    *message = "QIV_STAND_IN_DIR is not set: run through ctest, which starts the stand-in";
    return false;
  }
  const std::string text = ReadWholeFile(folder + "\\ports.json");
  if (!ports_.Parse(text) || Port("http") <= 0) {
    *message = "no ports in " + folder + "\\ports.json";
    return false;
  }
  return true;
}

int StandIn::Port(const std::string& listener) const {
  int32_t port = 0;
  ports_.Get(listener, &port);
  return port;
}

std::string StandIn::Control(const std::string& method, const std::string& path, const std::string& body) {
  WinsockSession session;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return std::string();
  sockaddr_in peer = {};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  peer.sin_port = htons(static_cast<u_short>(Port("http")));
  std::string reply;
  if (::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) {
    const std::string request = method + " " + path + " HTTP/1.0\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    ::send(s, request.data(), static_cast<int>(request.size()), 0);
    char buffer[65536];
    for (int got; (got = ::recv(s, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
  }
  ::closesocket(s);
  const size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

bool StandIn::Reset() { return Control("POST", "/_control/reset", "") == "{\"code\":0}"; }

bool StandIn::SetAnswer(const std::string& ruleJson) {
  return Control("POST", "/_control/answer", ruleJson) == "{\"code\":0}";
}

bool StandIn::SetHttpDns(const std::string& settingsJson) {
  return Control("POST", "/_control/httpdns", settingsJson) == "{\"code\":0}";
}

std::vector<JournalEntry> StandIn::Journal() {
  std::vector<JournalEntry> entries;
  std::istringstream lines(Control("GET", "/_control/journal", ""));
  for (std::string line; std::getline(lines, line);) {
    CJsonObject json(line);
    if (!json.IsObject()) continue;
    JournalEntry entry;
    json.Get("listener", &entry.listener);
    json.Get("method", &entry.method);
    json.Get("path", &entry.path);
    json.Get("query", &entry.query);
    json.Get("head", &entry.head);
    std::string body64;
    json.Get("body_b64", &body64);
    entry.body = Base64Decode(body64);
    json.Get("decoded", &entry.decoded);
    CJsonObject headers;
    json.Get("headers", &headers);
    for (int index = 0; index < headers.ArraySize(); ++index) {
      CJsonObject pair = headers.ArrayItem(index);
      std::string name, value;
      pair.ArrayString(0, &name);
      pair.ArrayString(1, &value);
      entry.headerLines.push_back(name + ": " + value);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

int StandIn::UnusedPort() {
  WinsockSession session;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local);
  int length = sizeof local;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
  ::closesocket(s);
  return ntohs(local.sin_port);
}

std::vector<std::string> HeadersNamed(const JournalEntry& entry, const std::vector<std::string>& names) {
  std::vector<std::string> found;
  for (const std::string& line : entry.headerLines) {
    for (const std::string& name : names) {
      if (line.compare(0, name.size() + 1, name + ":") == 0) found.push_back(line);
    }
  }
  return found;
}

std::string JsonQuoted(const std::string& text) {
  CJsonObject holder;
  holder.Add("v", text);
  const std::string printed = holder.ToString();  // {"v":"..."}
  return printed.substr(5, printed.size() - 6);
}

LogWatch::LogWatch() {
  simpleLog* log = simpleLog::Instance();
  if (!log) log = SetupLog(L"kxTestNet.log");
  path_ = log->LogPath();
  start_ = ReadWholeFile(path_).size();
}

std::string LogWatch::NewText() const {
  const std::string all = ReadWholeFile(path_);
  // The log is a text file: its lines end in CR LF on disk.
  std::string text;
  for (size_t at = start_; at < all.size(); ++at) {
    if (all[at] == '\r' && at + 1 < all.size() && all[at + 1] == '\n') continue;
    text += all[at];
  }
  return text;
}

size_t LogWatch::Count(const std::string& text) const {
  const std::string log = NewText();
  size_t count = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}
