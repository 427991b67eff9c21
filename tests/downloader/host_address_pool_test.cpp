#include "downloader/host_address_pool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "downloader/cdn_size_probe.h"
#include "foundation/deployment.h"
#include "tests/downloader/download_fixture.h"

namespace {

using namespace ns_JEB;

// A CDN host that the system resolver does not know: the pool finds its
// addresses through the HTTP-DNS endpoint, here the fault server itself.
class HostAddressPoolTest : public DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    ASSERT_TRUE(cdn_.Start({"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6", "127.0.0.7",
                            "127.0.0.8", "127.0.0.9"}));
    Deployment().httpDnsPrimary = AnsiToWide(server_.Url(""));
    Deployment().httpDnsSecondary = AnsiToWide(server_.Url(""));
  }
  void TearDown() override {
    cdn_.Stop();
    DownloadTest::TearDown();
  }

  // host resolves to the given addresses; /f.bin answers HEAD with the
  // lengths given per address.
  std::wstring Host(const std::string& host, const std::vector<std::pair<std::string, int64_t>>& answers) {
    std::string list = "[";
    Resource file;
    file.content = RandomBytes(1000, 30);
    for (const auto& answer : answers) {
      list += (list.size() > 1 ? ",\"" : "\"") + answer.first + "\"";
      file.headLengthByListener[answer.first] = answer.second;
    }
    server_.PutText("/resolve", list + "]", "application/json");
    cdn_.Put("/f.bin", file);
    return AnsiToWide("http://" + host + ":" + std::to_string(cdn_.Port()) + "/f.bin");
  }

  FaultServer cdn_;
};

TEST_F(HostAddressPoolTest, TheSizeVoteKeepsTheMajority) {
  struct Case {
    const char* host;
    std::vector<std::pair<std::string, int64_t>> answers;
    std::string kept;
  } cases[] = {
      {"vote-a.qiv.invalid", {{"127.0.0.2", 1000}, {"127.0.0.3", 1000}, {"127.0.0.4", 999}}, "127.0.0.2,127.0.0.3"},
      {"vote-b.qiv.invalid", {{"127.0.0.2", 500}, {"127.0.0.3", 600}}, "127.0.0.2"},
      {"vote-c.qiv.invalid", {{"127.0.0.2", 600}, {"127.0.0.3", 500}}, "127.0.0.3"},
      {"vote-d.qiv.invalid",
       {{"127.0.0.2", 7}, {"127.0.0.3", 7}, {"127.0.0.4", 7}, {"127.0.0.5", 7}, {"127.0.0.6", 7}, {"127.0.0.7", 7},
        {"127.0.0.8", 7}, {"127.0.0.9", 7}},
       "127.0.0.2,127.0.0.3,127.0.0.4,127.0.0.5,127.0.0.6,127.0.0.7"},
  };
  CHostAddressPool& pool = CHostAddressPool::Instance();
  for (const Case& c : cases) {
    cdn_.ClearJournal();
    const std::wstring url = Host(c.host, c.answers);
    ASSERT_TRUE(pool.InitHost(url)) << c.host;
    std::string host, list;
    ASSERT_TRUE(pool.GetHostIps(url, &host, &list));
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(list, c.kept) << c.host;
    int heads = 0;
    for (const ServedRequest& r : cdn_.Journal()) {
      heads += r.method == "HEAD";
      EXPECT_EQ(r.host, c.host);
    }
    EXPECT_EQ(heads, std::min<int>(static_cast<int>(c.answers.size()), 6)) << c.host;
  }
}

TEST_F(HostAddressPoolTest, PicksSpreadOverTheAddressesAndReleasesStopAtZero) {
  CHostAddressPool& pool = CHostAddressPool::Instance();
  const std::wstring url = Host("picks.qiv.invalid", {{"127.0.0.2", 1000}, {"127.0.0.3", 1000}});
  ASSERT_TRUE(pool.InitHost(url));
  const uint32_t a = ::inet_addr("127.0.0.2"), b = ::inet_addr("127.0.0.3");
  EXPECT_EQ(pool.PickIp(L"picks.qiv.invalid"), a);
  EXPECT_EQ(pool.PickIp(L"PICKS.qiv.invalid"), b);  // host names are case-blind
  EXPECT_EQ(pool.PickIp(L"picks.qiv.invalid"), a);
  EXPECT_EQ(pool.UseCount(L"picks.qiv.invalid", a), 2);
  EXPECT_EQ(pool.UseCount(L"picks.qiv.invalid", b), 1);
  for (int i = 0; i < 3; ++i) pool.ReleaseIp(L"picks.qiv.invalid", b);
  pool.ReleaseIp(L"picks.qiv.invalid", ::inet_addr("127.0.0.99"));
  pool.ReleaseIp(L"picks.qiv.invalid", 0);
  EXPECT_EQ(pool.UseCount(L"picks.qiv.invalid", b), 0);
  EXPECT_EQ(pool.UseCount(L"picks.qiv.invalid", a), 2);
  EXPECT_EQ(pool.PickIp(L"unknown.qiv.invalid"), 0u);
}

TEST_F(HostAddressPoolTest, AJobSpreadsItsWorkersAndGivesEveryAddressBack) {
  const std::wstring url = Host("spread.qiv.invalid", {{"127.0.0.2", 1000}, {"127.0.0.3", 1000}, {"127.0.0.4", 1000}});
  Resource file;
  file.content = RandomBytes(600000, 31);
  file.headLengthByListener = {{"127.0.0.2", 1000}, {"127.0.0.3", 1000}, {"127.0.0.4", 1000}};
  cdn_.Put("/f.bin", file);
  // Capital letters in the url's host: the workers still find the pool's addresses.
  std::wstring mixed = url;
  mixed.replace(mixed.find(L"spread"), 6, L"SPREAD");
  ASSERT_EQ(manager_.AddTask(mixed.c_str(), folder_.c_str(), L"", 1, L"", AnsiToWide(Md5Of(file.content)).c_str(), 0),
            1);
  ASSERT_EQ(callback_.WaitResult(1), kResultOk);
  std::set<std::string> used;
  for (const ServedRequest& r : cdn_.Journal()) {
    if (IsWorkerRequest(r)) used.insert(r.listener);
  }
  EXPECT_EQ(used, (std::set<std::string>{"127.0.0.2", "127.0.0.3", "127.0.0.4"}));
  for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
    EXPECT_EQ(CHostAddressPool::Instance().UseCount(L"spread.qiv.invalid", ::inet_addr(address)), 0) << address;
  }
  const auto queries = callback_.OfType(kNotifyDnsQuery);
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].text, "spread.qiv.invalid|127.0.0.2,127.0.0.3,127.0.0.4");
}

TEST_F(HostAddressPoolTest, AnUnresolvableHostFailsTheProbe) {
  server_.PutText("/resolve", "[]", "application/json");
  ASSERT_EQ(manager_.AddTask(L"http://nowhere.qiv.invalid/f.bin", folder_.c_str(), L"", 1, L"", L"", 0), 1);
  EXPECT_EQ(callback_.WaitResult(1), kResultProbeFailed);
  const auto failures = callback_.OfType(kNotifyPackageInfoFailed);
  ASSERT_FALSE(failures.empty());
  EXPECT_EQ(failures[0].value, 1);
}

TEST_F(HostAddressPoolTest, TheCdnSizeProbeAsksOverWinHttp) {
  Resource file;
  file.content = RandomBytes(4321, 32);
  server_.Put("/cdn.bin", file);
  EXPECT_EQ(GetCdnFileSize(AnsiToWide(server_.Url("/cdn.bin"))), 4321);
  EXPECT_EQ(GetCdnFileSize(AnsiToWide(server_.Url("/missing.bin"))), 0);
  EXPECT_EQ(GetCdnFileSize(L""), 0);
  const auto journal = server_.Journal();
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal[0].method, "HEAD");
}

}  // namespace
