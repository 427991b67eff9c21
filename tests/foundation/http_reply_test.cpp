#include "foundation/http_reply.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/http_request.h"

namespace {

TEST(HttpReplyTest, StatusComesFromTheFirstLine) {
  const struct {
    const wchar_t* reply;
    int status;
  } cases[] = {
      {L"HTTP/1.1 302 Found\r\nLocation: x\r\n\r\n", 302},
      {L"HTTP/1.0   200   OK\r\n\r\n", 200},
      {L"HTTP/1.1 206\r\n\r\n", 206},
      {L"HTTP/1.1 200 OK", 200},  // no line end at all
      {L"HTTP/1.1\r\nX: 1 200\r\n", 0},
      {L"garbage", 0},
      {L"HTTP/1.1 abc\r\n", 0},
      {L"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(GetStatusCode(c.reply), c.status) << c.reply;
}

TEST(HttpReplyTest, HeaderValuesAreFoundWithoutRegardToCase) {
  const std::wstring reply = L"HTTP/1.1 302 Found\r\nLOCATION:   /a/b  \r\nLocation: /second\r\nX-Cut: 1";
  EXPECT_EQ(GetHeaderValue(reply, L"location:"), L"/a/b");  // the first one counts
  EXPECT_EQ(GetHeaderValue(reply, L"x-cut:"), L"");        // no CR LF after it
  EXPECT_EQ(GetHeaderValue(reply, L"content-length:"), L"");
  const std::wstring longValue(100000, L'v');
  EXPECT_EQ(GetHeaderValue(L"HTTP/1.1 200 OK\r\nX-Long: " + longValue + L"\r\n\r\n", L"x-long:"), longValue);
}

TEST(HttpReplyTest, RedirectsResolveAgainstTheCurrentUrl) {
  const struct {
    const wchar_t* url;
    const wchar_t* location;
    RedirectResult result;
    const wchar_t* newUrl;
    const wchar_t* host;
    int port;
    const wchar_t* path;
  } cases[] = {
      {L"http://h/a/b/c.exe", L"../x/f.exe", kRedirectNewUrl, L"http://h/a/x/f.exe", L"h", 80, L"/a/x/f.exe"},
      {L"http://h:8080/a/b/c.exe", L"./d.exe", kRedirectNewUrl, L"http://h:8080/a/b/d.exe", L"h", 8080, L"/a/b/d.exe"},
      {L"http://h/a/b/c.exe?u=/x/y", L"d.exe", kRedirectNewUrl, L"http://h/a/b/d.exe", L"h", 80, L"/a/b/d.exe"},
      {L"http://h/a/c.exe", L"../../../x.exe", kRedirectNewUrl, L"http://h/x.exe", L"h", 80, L"/x.exe"},
      {L"http://h:81/a/c.exe", L"/p/q.exe?z=1", kRedirectNewPath, L"http://h:81/p/q.exe?z=1", L"h", 81,
       L"/p/q.exe?z=1"},
      {L"http://h/a/c.exe", L"\\p\\q.exe", kRedirectNewPath, L"http://h/p/q.exe", L"h", 80, L"/p/q.exe"},
      {L"http://h/a/c.exe", L"http%3A%2F%2Fother:99%2Fz.exe", kRedirectNewUrl, L"http://other:99/z.exe", L"other",
       99, L"/z.exe"},
      {L"http://h/a/c.exe", L"https://secure/z.exe", kRedirectFailed, L"https://secure/z.exe", L"h", 80,
       L"/a/c.exe"},
      {L"http://h/a/c.exe", L"", kRedirectFailed, L"http://h/a/c.exe", L"h", 80, L"/a/c.exe"},
  };
  for (const auto& c : cases) {
    std::wstring url = c.url;
    UrlParts parts;
    ASSERT_TRUE(SplitUrl(url, &parts));
    std::wstring referer;
    const std::wstring reply = std::wstring(L"HTTP/1.1 302 Found\r\nLocation: ") + c.location + L"\r\n\r\n";
    EXPECT_EQ(ResolveRedirect(reply, "redirect", &url, &parts, &referer), c.result) << c.location;
    EXPECT_EQ(url, c.newUrl) << c.location;
    EXPECT_EQ(parts.host, c.host) << c.location;
    EXPECT_EQ(parts.port, c.port) << c.location;
    EXPECT_EQ(parts.path, c.path) << c.location;
    EXPECT_EQ(referer, RefererForUrl(c.url)) << c.location;
  }
}

TEST(HttpReplyTest, TheRefererIsTheFolderOfTheUrl) {
  EXPECT_EQ(RefererForUrl(L"http://h/a/b/f.exe?x=/y"), L"http://h/a/b");
  EXPECT_EQ(RefererForUrl(L"http://h:81/f.exe"), L"http://h:81");
}

TEST(HttpReplyTest, PercentDecodingNeedsTwoHexDigits) {
  const struct {
    const wchar_t* text;
    const wchar_t* decoded;
  } cases[] = {
      {L"http%3A%2F%2Fh%2fa%20b", L"http://h/a b"},
      {L"100%", L"100%"},
      {L"%4", L"%4"},
      {L"%4Z%zz%", L"%4Z%zz%"},
      {L"%41%42c", L"ABc"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(PercentDecode(c.text), c.decoded) << c.text;
  EXPECT_EQ(PercentDecode(std::wstring(5000, L'a')).size(), 1023u);
  EXPECT_EQ(PercentDecode(std::wstring(3000, L'a') + L"%41"), std::wstring(1023, L'a'));
}

}  // namespace
