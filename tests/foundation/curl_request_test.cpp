#include "foundation/curl_request.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "foundation/folders.h"
#include "foundation/text_convert.h"
#include "tests/net/stand_in.h"

namespace {

class CurlRequestTest : public StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    SetCurlTimeoutsForTests(2000, 2000, 2000);
  }
  void TearDown() override {
    SetCurlTimeoutsForTests(5000, 5000, 10000);
    StandInTest::TearDown();
  }

  std::wstring Url(const char* listener, const std::string& path) { return AnsiToWide(Base(listener) + path); }

  LogWatch log_;
};

TEST_F(CurlRequestTest, AcceptsASelfSignedHttpsServer) {
  int code = -1;
  const std::string body =
      CurlRequest(kCurlGet, Url("https", "/api/v1/prodweb/trk?pid=7&os=Windows"), {}, true, false, "", &code);
  EXPECT_EQ(code, 0) << log_.NewText();
  EXPECT_EQ(body, "{\"code\":0,\"data\":\"TID-stand-in\"}");
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].listener, "https");
  EXPECT_EQ(journal[0].head.substr(0, journal[0].head.find("\r\n")),
            "GET /api/v1/prodweb/trk?pid=7&os=Windows HTTP/1.0");
}

TEST_F(CurlRequestTest, PostsTheBodyWithTheHeaderLinesInOrder) {
  int code = -1;
  const std::string body = "{\"a\":\"\xe9\"}";
  CurlRequest(kCurlPost, Url("http", "/v1/product/series"), {"X-B: 2", "Content-Type: application/json", "X-A: 1"},
              false, false, body, &code);
  EXPECT_EQ(code, 0);
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].method, "POST");
  EXPECT_EQ(journal[0].head.substr(0, journal[0].head.find("\r\n")), "POST /v1/product/series HTTP/1.1");
  EXPECT_EQ(HeadersNamed(journal[0], {"X-A", "X-B", "Content-Type", "Content-Length"}),
            (std::vector<std::string>{"X-B: 2", "Content-Type: application/json", "X-A: 1",
                                      "Content-Length: " + std::to_string(body.size())}));
  EXPECT_EQ(journal[0].body, body);
}

TEST_F(CurlRequestTest, RemovesOnlyCrLfPairsFromTheBody) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/lines\",\"body\":\"one\\r\\ntwo\\rthree\\nfour\\r\\n\\r\\n\"}"));
  int code = -1;
  EXPECT_EQ(CurlRequest(kCurlGet, Url("http", "/lines"), {}, true, false, "", &code), "onetwo\rthree\nfour");
  EXPECT_EQ(code, 0);
}

TEST_F(CurlRequestTest, TheHeaderTextLeadsWhenAskedFor) {
  int code = -1;
  const std::string reply = CurlRequest(kCurlHead, Url("http", "/api/v1/prodweb/trk"), {}, false, true, "", &code);
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
  EXPECT_NE(reply.find("\r\n\r\n"), std::string::npos);
}

TEST_F(CurlRequestTest, TransferFailuresAreCodesAndOneLogLine) {
  const int unused = StandIn::UnusedPort();
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/slow\",\"fault\":\"slow\",\"delay\":5}"));
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/cut\",\"fault\":\"truncated\",\"body\":\"0123456789\"}"));
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/refuse\",\"fault\":\"refuse\"}"));
  const struct {
    std::wstring url;
    int code;
  } cases[] = {
      {L"http://127.0.0.1:" + std::to_wstring(unused) + L"/x", 7},  // couldn't connect
      {Url("http", "/slow"), 28},                                    // operation timed out
      {Url("http", "/cut"), 18},                                     // partial file
      {Url("http", "/refuse"), 52},                                  // empty reply
  };
  SetCurlTimeoutsForTests(1000, 1000, 1000);
  for (const auto& c : cases) {
    LogWatch log;
    int code = 0;
    const std::string body = CurlRequest(kCurlGet, c.url, {}, true, false, "", &code);
    EXPECT_EQ(code, c.code) << WideToAnsi(c.url);
    EXPECT_EQ(log.Count("[ERROR] "), 1u) << log.NewText();
    EXPECT_EQ(log.Count(" - curl request, curl easy perform failed, code=[" + std::to_string(c.code) + "].\n"), 1u)
        << log.NewText();
    if (c.code == 18) {
      EXPECT_EQ(body, "01234");  // what arrived is still returned
    }
  }
}

TEST_F(CurlRequestTest, ContentLengthIsTheLastOfSeveralHeaderBlocks) {
  ASSERT_TRUE(standIn_.SetAnswer(
      "{\"path\":\"/pkg/old.exe\",\"status\":302,\"headers\":[[\"Location\",\"/pkg/new.exe\"],"
      "[\"Content-Length\",\"17\"]],\"body\":\"\"}"));
  ASSERT_TRUE(standIn_.SetAnswer(
      "{\"path\":\"/pkg/new.exe\",\"headers\":[[\"Content-Length\",\" 123456789012 \"]],\"body\":\"\"}"));
  EXPECT_EQ(GetContentLength(Url("http", "/pkg/old.exe"), L"cdn.example"), 123456789012LL);
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0].method, "HEAD");
  EXPECT_EQ(HeadersNamed(journal[0], {"connection", "Cache-Control", "Pragma", "Host"}),
            (std::vector<std::string>{"Host: cdn.example", "connection: close", "Cache-Control: no-cache",
                                      "Pragma: no-cache"}));
  EXPECT_EQ(HeadersNamed(journal[1], {"Host"}).size(), 1u);
}

TEST_F(CurlRequestTest, ContentLengthIsZeroWhenItCannotBeLearned) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/none\",\"raw\":\"HTTP/1.1 200 OK\\r\\nConnection: close\\r\\n\\r\\n\"}"));
  ASSERT_TRUE(standIn_.SetAnswer(
      "{\"path\":\"/bad\",\"headers\":[[\"Content-Length\",\"12x\"]],\"body\":\"\"}"));
  EXPECT_EQ(GetContentLength(Url("http", "/none"), L""), 0);
  EXPECT_EQ(GetContentLength(Url("http", "/bad"), L""), 0);
  EXPECT_EQ(GetContentLength(L"http://127.0.0.1:" + std::to_wstring(StandIn::UnusedPort()) + L"/x", L""), 0);
  // Without a Host line of ours, libcurl names the url's host.
  for (const JournalEntry& entry : standIn_.Journal()) {
    EXPECT_EQ(HeadersNamed(entry, {"Host"}),
              std::vector<std::string>{"Host: 127.0.0.1:" + std::to_string(standIn_.Port("http"))});
  }
}

TEST_F(CurlRequestTest, AFormUploadCarriesTheFileAsThePartNamedFile) {
  const std::wstring path = TempFolder() + L"qiv_upload_test.log";
  const std::string contents = "line one\r\nline two\x01\xff\r\n";
  {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << contents;
  }
  int code = -1;
  const std::string body = CurlFormRequest(WideToAnsi(Url("https", "/v1/crm/ticket/file/upload")),
                                           {"Authorization: Bearer t", "Content-Type: multipart/form-data"},
                                           WideToUtf8(path), &code);
  ::DeleteFileW(path.c_str());
  EXPECT_EQ(code, 0);
  EXPECT_NE(body.find("\"code\":0"), std::string::npos) << body;
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].head.substr(0, journal[0].head.find("\r\n")), "POST /v1/crm/ticket/file/upload HTTP/1.0");
  const auto types = HeadersNamed(journal[0], {"Content-Type", "Authorization"});
  ASSERT_EQ(types.size(), 2u);
  EXPECT_EQ(types[0], "Authorization: Bearer t");
  EXPECT_EQ(types[1].rfind("Content-Type: multipart/form-data; boundary=", 0), 0u) << types[1];
  CJsonObject parts;
  ASSERT_TRUE(journal[0].decoded.Get("parts", &parts));
  ASSERT_EQ(parts.ArraySize(), 1);
  std::string name, fileName;
  int32_t size = 0;
  parts.ArrayItem(0).Get("name", &name);
  parts.ArrayItem(0).Get("filename", &fileName);
  parts.ArrayItem(0).Get("size", &size);
  EXPECT_EQ(name, "file");
  EXPECT_EQ(fileName, "qiv_upload_test.log");
  EXPECT_EQ(size, static_cast<int32_t>(contents.size()));
}

TEST_F(CurlRequestTest, AFormUploadOfAMissingFileFails) {
  int code = 0;
  CurlFormRequest(WideToAnsi(Url("https", "/v1/crm/ticket/file/upload")), {},
                  WideToUtf8(TempFolder() + L"qiv_no_such_upload.log"), &code);
  EXPECT_NE(code, 0);
  EXPECT_EQ(log_.Count(" - curl form data request, curl easy perform failed, code=[" + std::to_string(code) + "].\n"),
            1u)
      << log_.NewText();
}

}  // namespace
