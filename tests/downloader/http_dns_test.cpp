#include "downloader/http_dns.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/curl_request.h"
#include "foundation/deployment.h"
#include "foundation/sha256.h"
#include "foundation/text_convert.h"
#include "tests/net/stand_in.h"

namespace {

using ns_JEB::QueryHttpDns;

std::map<std::string, std::string> QueryFields(const std::string& query) {
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (start < query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const size_t equals = pair.find('=');
    fields[pair.substr(0, equals)] = equals == std::string::npos ? "" : pair.substr(equals + 1);
    start = end + 1;
  }
  return fields;
}

class HttpDnsTest : public StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    Deployment().httpDnsPrimary = AnsiToWide(Base("https"));
    Deployment().httpDnsSecondary = AnsiToWide(Base("https_alt"));
    ASSERT_TRUE(standIn_.SetHttpDns("{\"hosts\":{\"dl.vantrel.test\":[\"127.0.0.2\",\"127.0.0.3\"]}}"));
  }
};

TEST_F(HttpDnsTest, TheBuiltInCredentialsRecoverFromTheirStoredForms) {
  const DeploymentValues defaults;
  EXPECT_EQ(defaults.httpDnsAccount.size(), 9u);
  EXPECT_EQ(defaults.httpDnsSecret.size(), 48u);
  EXPECT_EQ(defaults.httpDnsAccessKey.size(), 37u);
  EXPECT_EQ(ns_JEB::RecoverHttpDnsAccount(defaults.httpDnsAccount), "139201");
  EXPECT_EQ(ns_JEB::RecoverHttpDnsSecret(defaults.httpDnsSecret), "Qiv-HttpDns-Placeholder-Secret01");
  EXPECT_EQ(ns_JEB::RecoverHttpDnsAccessKey(defaults.httpDnsAccessKey), "Qiv-HttpDns-AccessKey-01");
  EXPECT_EQ(ns_JEB::RecoverHttpDnsAccount(L"MTM"), "");
}

TEST_F(HttpDnsTest, ASignedQueryReturnsTheAddressTexts) {
  std::vector<std::string> addresses;
  EXPECT_TRUE(QueryHttpDns("dl.vantrel.test", &addresses));
  EXPECT_EQ(addresses, (std::vector<std::string>{"127.0.0.2", "127.0.0.3"}));

  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].listener, "https");
  EXPECT_EQ(journal[0].method, "GET");
  const auto fields = QueryFields(journal[0].query);
  const std::string ts = fields.at("ts");
  EXPECT_EQ(journal[0].head.substr(0, journal[0].head.find("\r\n")),
            "GET /resolve?type=1&short=1&uid=139201&ak=Qiv-HttpDns-AccessKey-01&name=dl.vantrel.test&ts=" + ts +
                "&key=" +
                Sha256Hex("139201Qiv-HttpDns-Placeholder-Secret01" + ts + "dl.vantrel.testQiv-HttpDns-AccessKey-01") +
                " HTTP/1.0");
  EXPECT_NE(journal[0].decoded.ToString().find("\"signature_ok\":true"), std::string::npos)
      << journal[0].decoded.ToString();
}

TEST_F(HttpDnsTest, TheSameHostInTheSameSecondIsSignedAlike) {
  // Two queries straddle a second boundary now and then; a third pair then
  // lies within one second.
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(standIn_.Reset());
    std::vector<std::string> addresses;
    QueryHttpDns("dl.vantrel.test", &addresses);
    QueryHttpDns("dl.vantrel.test", &addresses);
    const auto journal = standIn_.Journal();
    ASSERT_EQ(journal.size(), 2u);
    const auto first = QueryFields(journal[0].query);
    const auto second = QueryFields(journal[1].query);
    if (first.at("ts") != second.at("ts")) continue;
    EXPECT_EQ(first.at("key"), second.at("key"));
    EXPECT_EQ(first.at("key").size(), 64u);
    return;
  }
  FAIL() << "no two queries within one second";
}

TEST_F(HttpDnsTest, AnUnreachablePrimaryLeadsToOneQueryOfTheSecondary) {
  Deployment().httpDnsPrimary = L"https://127.0.0.1:" + std::to_wstring(StandIn::UnusedPort());
  std::vector<std::string> addresses;
  EXPECT_TRUE(QueryHttpDns("dl.vantrel.test", &addresses));
  EXPECT_EQ(addresses.size(), 2u);
  const auto journal = standIn_.Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].listener, "https_alt");
}

TEST_F(HttpDnsTest, AnErrorAnswerFromThePrimaryAsksTheSecondaryWhoseAnswerCounts) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/resolve\",\"listener\":\"https\",\"fault\":\"empty\"}"));
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/resolve\",\"listener\":\"https_alt\",\"body\":\"[]\"}"));
  std::vector<std::string> addresses;
  EXPECT_FALSE(QueryHttpDns("dl.vantrel.test", &addresses));
  EXPECT_TRUE(addresses.empty());
  EXPECT_EQ(standIn_.Journal().size(), 2u);
}

TEST_F(HttpDnsTest, AWrongSignatureGivesNoAddress) {
  ASSERT_TRUE(standIn_.SetHttpDns("{\"secret\":\"another secret\"}"));
  std::vector<std::string> addresses;
  EXPECT_FALSE(QueryHttpDns("dl.vantrel.test", &addresses));
  EXPECT_TRUE(addresses.empty());  // the service's error object is not taken apart
}

TEST(HttpDnsAnswerTest, OnlyACompactArrayOfStringsGivesAddresses) {
  const struct {
    const char* body;
    std::vector<std::string> addresses;
  } cases[] = {
      {"[\"1.2.3.4\",\"5.6.7.8\"]", {"1.2.3.4", "5.6.7.8"}},
      {"[\"1.2.3.4\"]", {"1.2.3.4"}},
      {"[]", {}},
      {"[\"\",\"9.9.9.9\",x,\"\"]", {"9.9.9.9"}},
      {"{\"code\":\"InvalidSignature\",\"msg\":\"a,b\"}", {}},
      {"<html>[\"1.2.3.4\"]</html>", {}},
      {"[\"1.2.3.4\"", {}},
      {"", {}},
      {"[", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ns_JEB::ParseHttpDnsAddresses(c.body), c.addresses) << c.body;
}

}  // namespace
