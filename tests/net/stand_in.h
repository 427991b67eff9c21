// The tests' side of the stand-in of the maker's servers (tools/
// maker_stand_in.py), started by CTest as a fixture: its ports, its control
// interface and its journal of received requests. Talks to it over plain
// Winsock so that the clients under test never drive their own checks.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/deployment.h"
#include "foundation/json_object.h"

// One request as the stand-in received it.
struct JournalEntry {
  std::string listener;  // "http", "https", "http_alt", "https_alt"
  std::string method;
  std::string path;
  std::string query;
  std::string head;  // request line and headers as received, up to the blank line
  std::vector<std::string> headerLines;  // "Name: value", in order
  std::string body;  // raw bytes
  CJsonObject decoded;
};

class StandIn {
 public:
  // Reads the ports the fixture's server wrote; false (with a message) when
  // the fixture did not run.
  bool Open(std::string* message);
  int Port(const std::string& listener) const;

  bool Reset();
  // A JSON answer rule, see the stand-in's control interface.
  bool SetAnswer(const std::string& ruleJson);
  bool SetHttpDns(const std::string& settingsJson);
  std::vector<JournalEntry> Journal();

  // A loopback port on which nothing listens (found free, then released).
  static int UnusedPort();

 private:
  std::string Control(const std::string& method, const std::string& path, const std::string& body);
  CJsonObject ports_;
};

// Pieces of headerLines that begin with one of the names, in order.
std::vector<std::string> HeadersNamed(const JournalEntry& entry, const std::vector<std::string>& names);

// JSON string text for a rule: the text with quotes, backslashes and control
// characters escaped.
std::string JsonQuoted(const std::string& text);

// What the process-wide log got since the watch began.
class LogWatch {
 public:
  LogWatch();
  std::string NewText() const;
  size_t Count(const std::string& text) const;

 private:
  std::string path_;
  size_t start_ = 0;
};

// A test against the stand-in: opened and reset before each test, with the
// deployment values restored afterwards.
class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string message;
    ASSERT_TRUE(standIn_.Open(&message)) << message;
    ASSERT_TRUE(standIn_.Reset());
    saved_ = Deployment();
  }
  void TearDown() override { Deployment() = saved_; }

  // scheme://127.0.0.1:port of a listener, the scheme after its name.
  std::string Base(const std::string& listener) const {
    return (listener.rfind("https", 0) == 0 ? "https" : "http") + std::string("://127.0.0.1:") +
           std::to_string(standIn_.Port(listener));
  }

  StandIn standIn_;
  DeploymentValues saved_;
};
