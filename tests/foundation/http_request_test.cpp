#include "foundation/http_request.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/text_convert.h"
#include "tests/net/stand_in.h"

namespace {

const char kUserAgentLine[] = "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)\r\n";

class HttpRequestTest : public StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    CCustomizeSocket::SetWaitsForTests(1000, 2000);
    base_ = Base("http");
  }
  void TearDown() override {
    CCustomizeSocket::SetWaitsForTests(5000, 30000);
    StandInTest::TearDown();
  }

  std::string Head(const std::string& path, const std::string& referer, size_t length) {
    return "POST " + path + " HTTP/1.1\r\nAccept: */*\r\nReferer: " + referer + "\r\n" + kUserAgentLine +
           "Host: 127.0.0.1:" + std::to_string(standIn_.Port("http")) +
           "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: Close\r\n\r\n";
  }

  LogWatch log_;
  std::string base_;
};

TEST_F(HttpRequestTest, PostsTheRequestTextAndTheBodyInTheAnsiCodePage) {
  const std::wstring body = L"{\"selectlang\":\"fran\u00e7ais \u65e5\u672c\"}";
  const std::string wire = WideToAnsi(body);
  ASSERT_NE(wire.size(), WideToUtf8(body).size());  // the length must be the sent bytes', not UTF-8's
  CHttpRequest request;
  EXPECT_EQ(request.PostRequest(AnsiToWide(base_) + L"/rest/v2/downloader/track?client_sign=%7Bab%20c%7D",
                                L"application/json", body),
            0);
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 1u);
  // The url is percent-decoded first; the path then has its blank encoded again.
  EXPECT_EQ(journal[0].head, Head("/rest/v2/downloader/track?client_sign={ab%20c}", base_ + "/rest/v2/downloader",
                                  wire.size()));
  EXPECT_EQ(journal[0].body, wire);
}

TEST_F(HttpRequestTest, HttpsIsRefusedWithoutAnyTraffic) {
  CHttpRequest request;
  EXPECT_EQ(request.PostRequest(L"https://127.0.0.1:" + std::to_wstring(standIn_.Port("https")) + L"/track",
                                L"application/json", L"{}"),
            -1);
  EXPECT_EQ(request.PostRequest(L"http:///nohost", L"application/json", L"{}"), -1);
  EXPECT_TRUE(standIn_.Journal().empty());
  EXPECT_EQ(log_.Count("socket, connect"), 0u) << log_.NewText();
}

TEST_F(HttpRequestTest, ARelativeRedirectIsPostedAgainToTheResolvedUrl) {
  ASSERT_TRUE(standIn_.SetAnswer(
      "{\"path\":\"/a/b/post.cgi\",\"status\":302,\"headers\":[[\"Location\",\"../x/next.cgi?k=1\"]],\"body\":\"\"}"));
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/a/x/next.cgi\",\"status\":200,\"body\":\"{}\"}"));
  CHttpRequest request;
  EXPECT_EQ(request.PostRequest(AnsiToWide(base_) + L"/a/b/post.cgi", L"application/json", L"{\"n\":1}"), 0);
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0].head, Head("/a/b/post.cgi", base_ + "/a/b", 7));
  EXPECT_EQ(journal[1].head, Head("/a/x/next.cgi?k=1", base_ + "/a/b", 7));
  EXPECT_EQ(journal[1].body, "{\"n\":1}");
  EXPECT_EQ(log_.Count(" - redirect url=[" + base_ + "/a/x/next.cgi?k=1]\n"), 1u) << log_.NewText();
}

TEST_F(HttpRequestTest, ARedirectLoopIsGivenUp) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/loop\",\"status\":302,\"headers\":[[\"Location\",\"/loop\"]]}"));
  CHttpRequest request;
  EXPECT_EQ(request.PostRequest(AnsiToWide(base_) + L"/loop", L"application/json", L"{}"), -1);
  EXPECT_EQ(standIn_.Journal().size(), 1u + CHttpRequest::kMaxRedirects);
  EXPECT_EQ(log_.Count(" - http request, too many redirects.\n"), 1u) << log_.NewText();
}

TEST_F(HttpRequestTest, RepliesOtherThanSuccessGiveMinusOne) {
  const struct {
    const char* rule;
    int result;
    const char* logLine;
  } cases[] = {
      {"{\"path\":\"/r\",\"status\":500}", -1, nullptr},
      {"{\"path\":\"/r\",\"status\":404}", -1, nullptr},
      {"{\"path\":\"/r\",\"status\":302,\"headers\":[[\"X\",\"no location\"]]}", -1, nullptr},
      {"{\"path\":\"/r\",\"status\":301,\"headers\":[[\"Location\",\"https://127.0.0.1/r\"]]}", -1, nullptr},
      {"{\"path\":\"/r\",\"fault\":\"no_header_end\"}", -1, " - http request, incomplete reply.\n"},
      {"{\"path\":\"/r\",\"fault\":\"refuse\"}", -1, " - http request, incomplete reply.\n"},
      {"{\"path\":\"/r\",\"raw\":\"garbage\\r\\n\\r\\n\"}", -1, nullptr},
      {"{\"path\":\"/r\",\"status\":200,\"fault\":\"huge\",\"size\":500000}", 0, nullptr},  // a full buffer ends the reading
      {"{\"path\":\"/r\",\"status\":204,\"body\":\"\"}", 0, nullptr},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(standIn_.Reset());
    ASSERT_TRUE(standIn_.SetAnswer(c.rule));
    LogWatch log;
    CHttpRequest request;
    EXPECT_EQ(request.PostRequest(AnsiToWide(base_) + L"/r", L"application/json", L"{}"), c.result)
        << c.rule << log.NewText();
    EXPECT_EQ(standIn_.Journal().size(), 1u) << c.rule;
    if (c.logLine) {
      EXPECT_EQ(log.Count(c.logLine), 1u) << c.rule << log.NewText();
    }
  }
}

TEST_F(HttpRequestTest, AnUnreachableServerFailsAfterTheConnectWaits) {
  CCustomizeSocket::SetWaitsForTests(100, 2000);
  CHttpRequest request;
  EXPECT_EQ(request.PostRequest(L"http://127.0.0.1:" + std::to_wstring(StandIn::UnusedPort()) + L"/track",
                                L"application/json", L"{}"),
            -1);
  EXPECT_EQ(log_.Count(" - socket, ip=[127.0.0.1], fd count 0, err=["), 1u) << log_.NewText();
}

TEST_F(HttpRequestTest, ASilentServerEndsWithTheReceiveFailure) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/silent\",\"fault\":\"slow\",\"delay\":5}"));
  CCustomizeSocket::SetWaitsForTests(1000, 300);
  CHttpRequest request;
  EXPECT_EQ(request.PostRequest(AnsiToWide(base_) + L"/silent", L"application/json", L"{}"), -1);
  EXPECT_EQ(log_.Count(" - http request receive failed!\n"), 1u) << log_.NewText();
}

}  // namespace
