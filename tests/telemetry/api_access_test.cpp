#include "telemetry/api_access.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "foundation/deployment.h"
#include "foundation/folders.h"
#include "foundation/text_convert.h"
#include "telemetry/series_notice.h"
#include "tests/net/stand_in.h"

namespace {

const char kTokenBody[] =
    "{\"grant_type\":\"client_credentials\",\"app_secret\":\"Hv7Lq2ZsWm8Rt4Xn6Bc1Yd9Kf3Ge5Pj0Ua\"}";
const std::vector<std::string> kIdentityNames = {"Authorization", "Content-Type", "X-App-Key", "X-Client-Type",
                                                 "X-Lang", "X-Client-Sn", "X-Prod-Id", "X-Prod-Ver"};

std::string FirstLine(const JournalEntry& entry) { return entry.head.substr(0, entry.head.find("\r\n")); }

std::vector<std::string> Listeners(const std::vector<JournalEntry>& journal) {
  std::vector<std::string> listeners;
  for (const JournalEntry& entry : journal) listeners.push_back(entry.listener);
  return listeners;
}

// The primary API host is the stand-in's https listener, the fallback its
// second https listener, so that the journal tells them apart.
class ApiAccessTest : public StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    Deployment().apiHost = L"127.0.0.1:" + std::to_wstring(standIn_.Port("https"));
    Deployment().apiFallbackHost = L"127.0.0.1:" + std::to_wstring(standIn_.Port("https_alt"));
  }

  LogWatch log_;
};

TEST_F(ApiAccessTest, TheTokenRequestCarriesItsHeadersAndBodyExactly) {
  const std::string token = GetClientToken("14424", "{sign-1G}", "1.2.3.4");
  EXPECT_EQ(token.rfind("stand-in-token-", 0), 0u) << token;
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].listener, "https");
  EXPECT_EQ(FirstLine(journal[0]), "POST /v3/user/client/token HTTP/1.0");
  EXPECT_EQ(HeadersNamed(journal[0], kIdentityNames),
            (std::vector<std::string>{"X-Client-Type: 1", "Content-Type: application/json",
                                      "X-App-Key: d0e9f8a7b6c5d4e3f2a1b0c9.demo", "X-Client-Sn: {sign-1G}",
                                      "X-Prod-Id: 14424", "X-Prod-Ver: 1.2.3.4"}));
  EXPECT_EQ(journal[0].body, kTokenBody);
  EXPECT_EQ(log_.Count("[ERROR] "), 0u);
  EXPECT_EQ(log_.Count("switch host domain"), 0u);
}

TEST_F(ApiAccessTest, AFailedAnswerFallsOverOnceAndTheNextRequestStartsAtThePrimary) {
  for (const char* fault : {"code_nonzero", "code_string", "non_json", "empty", "refuse", "truncated"}) {
    ASSERT_TRUE(standIn_.Reset());
    ASSERT_TRUE(standIn_.SetAnswer(std::string("{\"path\":\"/v1/product/logs/whitelist\",\"listener\":\"https\","
                                               "\"fault\":\"") +
                                   fault + "\"}"));
    LogWatch log;
    const std::vector<std::string> headers = {"Authorization: Bearer t", "Content-Type: application/json"};
    EXPECT_EQ(PostApiJson("/v1/product/logs/whitelist", headers, "{\"pid\":1}", true), "{\"code\":0,\"msg\":\"ok\"}")
        << fault;
    EXPECT_EQ(PostApiJson("/v1/product/logs/whitelist", headers, "{\"pid\":2}", true), "{\"code\":0,\"msg\":\"ok\"}")
        << fault;
    const auto journal = standIn_.Journal();
    EXPECT_EQ(Listeners(journal), (std::vector<std::string>{"https", "https_alt", "https", "https_alt"})) << fault;
    ASSERT_EQ(journal.size(), 4u);
    EXPECT_EQ(journal[1].body, "{\"pid\":1}");  // the same request again
    std::string primaryHead = journal[0].head;
    const std::string primaryHost = "Host: 127.0.0.1:" + std::to_string(standIn_.Port("https"));
    primaryHead.replace(primaryHead.find(primaryHost), primaryHost.size(),
                        "Host: 127.0.0.1:" + std::to_string(standIn_.Port("https_alt")));
    EXPECT_EQ(journal[1].head, primaryHead) << fault;
    EXPECT_EQ(log.Count("[WARN] "), 2u) << fault << log.NewText();
    EXPECT_EQ(log.Count(" - switch host domain.\n"), 2u) << fault;
  }
}

TEST_F(ApiAccessTest, ASuccessfulPrimaryIsUsedAsItIs) {
  ASSERT_TRUE(standIn_.SetAnswer(
      "{\"path\":\"/v1/support/tickets\",\"listener\":\"https\",\"body\":\"{\\\"code\\\":0,\\\"data\\\":7}\"}"));
  EXPECT_EQ(PostApiJson("/v1/support/tickets", {}, "{}", true), "{\"code\":0,\"data\":7}");
  EXPECT_EQ(Listeners(standIn_.Journal()), std::vector<std::string>{"https"});
}

TEST_F(ApiAccessTest, TheFallbackAnswerIsTheResultWhateverItHolds) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/v3/user/client/token\",\"fault\":\"code_string\"}"));
  EXPECT_EQ(GetClientToken("14424", "s", "1.0.0.0"), "");
  EXPECT_EQ(Listeners(standIn_.Journal()), (std::vector<std::string>{"https", "https_alt"}));
  EXPECT_EQ(log_.Count("[ERROR] "), 1u) << log_.NewText();
  EXPECT_EQ(log_.Count(" - get token failed! result=[{\"code\":\"0\",\"msg\":\"stand-in fault\","
                       "\"data\":{\"access_token\":\"string-code\"}}].\n"),
            1u)
      << log_.NewText();
  EXPECT_EQ(log_.Count("switch host domain"), 0u);  // the token request never says so
}

TEST_F(ApiAccessTest, ATokenAnswerWithoutDataGivesAnEmptyTokenQuietly) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/v3/user/client/token\",\"body\":\"{\\\"code\\\":0}\"}"));
  EXPECT_EQ(GetClientToken("14424", "s", "1.0.0.0"), "");
  EXPECT_EQ(standIn_.Journal().size(), 1u);
  EXPECT_EQ(log_.Count("[ERROR] "), 0u) << log_.NewText();
}

TEST_F(ApiAccessTest, AHugeAnswerIsReturnedAndLoggedWhole) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/v3/user/client/token\",\"fault\":\"huge\",\"size\":300000}"));
  EXPECT_EQ(GetClientToken("14424", "s", "1.0.0.0"), "");
  EXPECT_EQ(log_.Count(" - get token failed! result=[" + std::string(300000, 'x') + "].\n"), 1u);
}

TEST_F(ApiAccessTest, AFileUploadSendsTheIdentityHeadersWhenAsked) {
  const std::wstring path = TempFolder() + L"kxQIV-upload.log";
  {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << "[INFO] log line\r\n";
  }
  const ApiIdentity identity = {"14424", "{sign-2G}", "2.0.1.7"};
  const std::string withIdentity = PostApiFile("/v1/product/downloader/upload-log-file", path, "tok", &identity);
  const std::string without = PostApiFile("/v1/crm/ticket/file/upload", path, "tok", nullptr);
  ::DeleteFileW(path.c_str());
  EXPECT_NE(withIdentity.find("\"code\":0"), std::string::npos) << withIdentity;
  EXPECT_NE(without.find("\"code\":0"), std::string::npos) << without;

  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(FirstLine(journal[0]), "POST /v1/product/downloader/upload-log-file HTTP/1.0");
  // libcurl writes the form's Content-Type, with its boundary, after the
  // other header lines.
  EXPECT_EQ(HeadersNamed(journal[0], kIdentityNames),
            (std::vector<std::string>{"Authorization: Bearer tok", "X-App-Key: d0e9f8a7b6c5d4e3f2a1b0c9.demo",
                                      "X-Client-Type: 1", "X-Lang: en-us", "X-Client-Sn: {sign-2G}",
                                      "X-Prod-Id: 14424", "X-Prod-Ver: 2.0.1.7",
                                      HeadersNamed(journal[0], {"Content-Type"}).at(0)}));
  EXPECT_EQ(HeadersNamed(journal[0], {"Content-Type"}).at(0).rfind("Content-Type: multipart/form-data; boundary=", 0),
            0u);
  EXPECT_EQ(HeadersNamed(journal[1], kIdentityNames).size(), 2u);
  EXPECT_NE(journal[0].decoded.ToString().find("\"name\":\"file\""), std::string::npos);
}

TEST_F(ApiAccessTest, AFailedUploadFallsOverWithTheSwitchLine) {
  ASSERT_TRUE(standIn_.SetAnswer(
      "{\"path\":\"/v1/crm/ticket/file/upload\",\"listener\":\"https\",\"fault\":\"code_nonzero\"}"));
  const std::wstring path = TempFolder() + L"kxQIV-upload2.log";
  {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << "x";
  }
  PostApiFile("/v1/crm/ticket/file/upload", path, "tok", nullptr);
  ::DeleteFileW(path.c_str());
  EXPECT_EQ(Listeners(standIn_.Journal()), (std::vector<std::string>{"https", "https_alt"}));
  EXPECT_EQ(log_.Count(" - switch host domain.\n"), 1u);
}

TEST_F(ApiAccessTest, TheSeriesNoticeBodyHasOneBlankAfterTheComma) {
  EXPECT_TRUE(SendSeriesNotice(L"10819", L"{ab-cd-G}"));
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0].path, "/v3/user/client/token");
  EXPECT_EQ(HeadersNamed(journal[0], {"X-Prod-Id", "X-Prod-Ver", "X-Client-Sn"}),
            (std::vector<std::string>{"X-Client-Sn: {ab-cd-G}", "X-Prod-Id: 10819", "X-Prod-Ver: 1.1.1"}));
  EXPECT_EQ(FirstLine(journal[1]), "POST /v1/product/series HTTP/1.0");
  EXPECT_EQ(journal[1].body, "{\"product_id\":10819, \"client_sign\":\"{ab-cd-G}\"}");
  EXPECT_EQ(HeadersNamed(journal[1], {"Content-Type", "Authorization"}),
            (std::vector<std::string>{"Content-Type: application/json", "Authorization: Bearer stand-in-token-1"}));
  EXPECT_EQ(log_.Count(" - post info ok.\n"), 1u) << log_.NewText();
}

TEST_F(ApiAccessTest, AFailedSeriesNoticeLogsTheAnswer) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/v1/product/series\",\"fault\":\"non_json\"}"));
  EXPECT_FALSE(SendSeriesNotice(L"10819", L"{s}"));
  EXPECT_EQ(log_.Count(" - post info failed! result=[<html><body>stand-in</body></html>].\n"), 1u)
      << log_.NewText();
}

}  // namespace
