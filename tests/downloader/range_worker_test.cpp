#include "downloader/http_range_worker.h"

#include <gtest/gtest.h>

#include <string>

#include "downloader/download_job.h"

namespace {

using ns_JEB::CDownloadHttp;

TEST(RangeWorkerRequest, CarriesRangeRefererAndThePortInTheHostLine) {
  CDownloadHttp worker;
  ASSERT_TRUE(worker.SetUrl(L"  http://Dl.Example.test:8080/a/b/f.exe?x=1 "));
  EXPECT_EQ(worker.BuildRequest(L"GET", 100, 199, false),
            L"GET /a/b/f.exe?x=1 HTTP/1.1\r\n"
            L"Accept: */*\r\n"
            L"Referer: http://Dl.Example.test:8080/a/b\r\n"
            L"User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)\r\n"
            L"Host: dl.example.test:8080\r\n"
            L"Connection: Close\r\n"
            L"Range: bytes=100-199\r\n"
            L"\r\n");

  CDownloadHttp plain;
  ASSERT_TRUE(plain.SetUrl(L"http://dl.example.test/f.exe"));
  const std::wstring open = plain.BuildRequest(L"HEAD", 0, -1, true);
  EXPECT_EQ(open.substr(0, open.find(L"\r\n")), L"HEAD /f.exe HTTP/1.0");
  EXPECT_NE(open.find(L"\r\nHost: dl.example.test\r\n"), std::wstring::npos);
  EXPECT_NE(open.find(L"\r\nRange: bytes=0-\r\n"), std::wstring::npos);
}

TEST(RangeWorkerRequest, AnEmptyUrlIsRefused) {
  CDownloadHttp worker;
  EXPECT_FALSE(worker.SetUrl(L"   "));
}

struct RedirectCase {
  const wchar_t* location;
  const wchar_t* host;
  unsigned short port;
  const wchar_t* path;
  bool redirectedUrlSet;
  bool lanBlockPage;
};

class RangeWorkerRedirect : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(RangeWorkerRedirect, ResolvesTheLocationAgainstTheCurrentUrl) {
  const RedirectCase& c = GetParam();
  CDownloadHttp worker;
  ASSERT_TRUE(worker.SetUrl(L"http://cdn.example.test:81/a/b/c.exe"));
  bool repeat = false, errorPage = false, http10 = false;
  const std::wstring reply = std::wstring(L"HTTP/1.1 302 Found\r\nLocation: ") + c.location + L"\r\n\r\n";
  ASSERT_TRUE(worker.ParseResponse(reply, &repeat, &errorPage, &http10));
  EXPECT_TRUE(repeat);
  EXPECT_EQ(worker.Host(), c.host);
  EXPECT_EQ(worker.Port(), c.port);
  EXPECT_EQ(worker.Path(), c.path);
  EXPECT_EQ(!worker.RedirectedUrl().empty(), c.redirectedUrlSet);
  EXPECT_EQ(worker.LanBlockPageSeen(), c.lanBlockPage);
}

INSTANTIATE_TEST_SUITE_P(
    Locations, RangeWorkerRedirect,
    ::testing::Values(RedirectCase{L"../x/f.exe", L"cdn.example.test", 81, L"/a/x/f.exe", false, false},
                      RedirectCase{L"./f.exe", L"cdn.example.test", 81, L"/a/b/f.exe", false, false},
                      RedirectCase{L"/root/f.exe", L"cdn.example.test", 81, L"/root/f.exe", false, false},
                      RedirectCase{L"http%3A%2F%2Fmirror.test%2Fp%2Ff.exe", L"mirror.test", 80, L"/p/f.exe", true,
                                   false},
                      RedirectCase{L"http://192.168.1.1/disable.htm", L"192.168.1.1", 80, L"/disable.htm", true, true},
                      RedirectCase{L"http://10.0.0.7/files/f.exe", L"10.0.0.7", 80, L"/files/f.exe", true, false}));

TEST(RangeWorkerReply, BadRepliesFailTheAttempt) {
  struct Case {
    const wchar_t* reply;
    bool errorPage;
  } cases[] = {
      {L"garbage\r\n\r\n", false},
      {L"HTTP/1.1 OK\r\n\r\n", false},
      {L"HTTP/1.1 404 Not Found\r\n\r\n", false},
      {L"HTTP/1.1 302 Found\r\n\r\n", false},  // a redirect without a location
      {L"HTTP/1.1 302 Found\r\nLocation: https://secure.test/f.exe\r\n\r\n", false},
      {L"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=Error\r\n\r\n", true},
  };
  for (const Case& c : cases) {
    CDownloadHttp worker;
    ASSERT_TRUE(worker.SetUrl(L"http://cdn.example.test/f.exe"));
    bool repeat = false, errorPage = false, http10 = false;
    EXPECT_FALSE(worker.ParseResponse(c.reply, &repeat, &errorPage, &http10)) << c.reply;
    EXPECT_EQ(errorPage, c.errorPage) << c.reply;
  }
}

TEST(RangeWorkerReply, AChunkedReplyAsksForOneHttp10Repeat) {
  CDownloadHttp worker;
  ASSERT_TRUE(worker.SetUrl(L"http://cdn.example.test/f.exe"));
  bool repeat = false, errorPage = false, http10 = false;
  EXPECT_TRUE(worker.ParseResponse(L"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", &repeat, &errorPage,
                                   &http10));
  EXPECT_TRUE(repeat);
  EXPECT_TRUE(http10);
}

TEST(RangeWorkerReply, TheProbeReadsTheContentLength) {
  struct Case {
    const wchar_t* header;
    int64_t size;
  } cases[] = {{L"Content-Length: 5000000000", 5000000000LL},
               {L"content-length:  12 ", 12},
               {L"Content-Length: -1", -1},
               {L"Content-Length: 12abc", 0},
               {L"Content-Length: 99999999999999999999999", 0},
               {L"X-Other: 1", 0}};
  for (const Case& c : cases) {
    CDownloadHttp probe;
    probe.SetWorkerIndex(-1);
    ASSERT_TRUE(probe.SetUrl(L"http://cdn.example.test/f.exe"));
    bool repeat = false, errorPage = false, http10 = false;
    ASSERT_TRUE(probe.ParseResponse(std::wstring(L"HTTP/1.1 206 Partial\r\n") + c.header + L"\r\n\r\n", &repeat,
                                    &errorPage, &http10));
    EXPECT_FALSE(repeat);
    EXPECT_EQ(probe.FileSize(), c.size) << c.header;
  }
}

TEST(RangeWorkerFileName, ComesFromTheLastPathSegment) {
  struct Case {
    const wchar_t* url;
    const wchar_t* name;
  } cases[] = {{L"http://h.test/dl/setup.exe?x=1", L"setup.exe"},
               {L"http://h.test/dl/My App+1.exe", L"My App+1.exe"},
               {L"http://h.test/dl/noext", L"noext"},
               {L"http://h.test/", L""}};
  for (const Case& c : cases) {
    CDownloadHttp worker;
    ASSERT_TRUE(worker.SetUrl(c.url));
    EXPECT_EQ(worker.GetFileNameFromUrl(), c.name) << c.url;
  }
}

TEST(RangeWorkerStart, ARangeOfLengthZeroIsDoneWithoutAThread) {
  CDownloadHttp worker;
  ASSERT_TRUE(worker.SetUrl(L"http://cdn.example.test/f.exe"));
  EXPECT_TRUE(worker.StartRange(10, 0, 0));
  EXPECT_TRUE(worker.IsDone());
  EXPECT_EQ(worker.ThreadHandle(), nullptr);
}

TEST(TempPackageNames, ForbiddenCharactersBecomeUnderscores) {
  EXPECT_EQ(ns_JEB::CleanPathPart(L"C:\\dl\\a:b*c?\\", true), L"C:\\dl\\a_b_c_\\");
  EXPECT_EQ(ns_JEB::CleanPathPart(L"a<b>:c\"d|e/f\\g.exe", false), L"a_b__c_d_e_f_g.exe");
}

}  // namespace
