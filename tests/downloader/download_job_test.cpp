#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <map>
#include <string>

#include "tests/downloader/download_fixture.h"

namespace {

using namespace ns_JEB;

class DownloadJobTest : public DownloadTest {};

TEST_F(DownloadJobTest, SixWorkersFillTheTargetAndLeaveNoTemporaryFile) {
  const std::string content = RandomBytes(1000003, 1);
  Resource resource;
  resource.content = content;
  server_.Put("/pkg/setup.exe", resource);

  ASSERT_EQ(Download(server_.Url("/pkg/setup.exe"), 1, AnsiToWide(Md5Of(content))), kResultOk);

  const std::wstring target = folder_ + L"setup.exe";
  EXPECT_EQ(ReadAll(target), content);
  EXPECT_EQ(::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_FALSE(Exists(target + L".~P2S"));

  // Six consecutive ranges, the first one with the remainder (a finished
  // worker may later take over part of a slower one's).
  std::set<std::pair<int64_t, int64_t>> asked;
  for (const ServedRequest& r : server_.Journal()) {
    if (IsWorkerRequest(r)) asked.emplace(r.firstByte, r.lastByte);
  }
  const int64_t size = static_cast<int64_t>(content.size()), per = size / 6;
  int64_t next = 0;
  for (int i = 0; i < 6; ++i) {
    const int64_t length = i == 0 ? per + size % 6 : per;
    EXPECT_EQ(asked.count({next, next + length - 1}), 1u) << "range " << i;
    next += length;
  }

  const auto digests = callback_.OfType(kNotifyPackageMd5);
  ASSERT_EQ(digests.size(), 1u);
  EXPECT_EQ(digests[0].text, Md5Of(content));
  EXPECT_EQ(callback_.OfType(kNotifyMd5Matched).size(), 1u);
  const auto events = callback_.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().type, kNotifyPrepareDownload);
  EXPECT_EQ(events.back().type, kNotifyFinished);
  const auto sizes = callback_.OfType(kNotifyFileSize);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].value, 1000003);
}

TEST_F(DownloadJobTest, TenBytesOverSixWorkersSplitFiveAndOnes) {
  Resource resource;
  resource.content = "0123456789";
  server_.Put("/ten.bin", resource);
  ASSERT_EQ(Download(server_.Url("/ten.bin")), kResultOk);
  std::map<int, int64_t> firstLength;
  for (const Event& e : callback_.OfType(kNotifyRangeLength)) firstLength.emplace(e.worker, e.value);
  EXPECT_EQ(firstLength, (std::map<int, int64_t>{{0, 5}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}));
  EXPECT_EQ(ReadAll(folder_ + L"ten.bin"), "0123456789");
}

TEST_F(DownloadJobTest, AServerWithoutRangesGetsOneWorkerAndNoRecords) {
  const std::string content = RandomBytes(300000, 2);
  Resource resource;
  resource.content = content;
  resource.ranges = false;
  resource.planner = [](const ServedRequest& r, int) {
    ConnectionPlan plan;
    if (r.lastByte != 1) plan.stallAfter = 50000;  // every body but the two-byte check stalls
    return plan;
  };
  server_.Put("/plain.bin", resource);
  manager_.AddTask(AnsiToWide(server_.Url("/plain.bin")).c_str(), folder_.c_str(), L"", 1, L"", L"", 0);
  ASSERT_TRUE(server_.WaitFor(
      [](const std::vector<ServedRequest>& journal) {
        int stalled = 0;
        for (const ServedRequest& r : journal) stalled += r.bodyBytes == 50000;
        return stalled >= 2;  // the probe's and the worker's
      },
      30000));
  manager_.RemoveTask(1);
  ASSERT_EQ(callback_.WaitResult(1), kResultCancelled);

  // The file started empty and the plain stream grew it by what arrived:
  // a prefix of the package, with no record area behind it.
  const std::string temp = ReadAll(folder_ + L"plain.bin.~P2S");
  EXPECT_LE(temp.size(), content.size());
  EXPECT_TRUE(temp == content.substr(0, temp.size())) << "size " << temp.size();
  std::set<int> workers;
  for (const Event& e : callback_.OfType(kNotifyRangeLength)) workers.insert(e.worker);
  EXPECT_EQ(workers, std::set<int>{0});
}

TEST_F(DownloadJobTest, AnExistingTargetIsKeptOnlyWhenItMatchesTheFirstDigest) {
  struct Case {
    const char* name;
    bool skipCheck;  // the list starts with ","
  } cases[] = {{"first digest matches", false}, {"leading comma skips the check", true}};
  const std::string fresh = RandomBytes(70000, 3);
  const std::string old = RandomBytes(50000, 4);
  Resource resource;
  resource.content = fresh;
  server_.Put("/kept.bin", resource);
  int taskId = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring target = folder_ + L"kept.bin";
    ASSERT_TRUE(WriteAll(target, old));
    server_.ClearJournal();
    const std::string list = std::string(c.skipCheck ? "," : "") + Md5Of(old) + "," + Md5Of(fresh);
    ASSERT_EQ(Download(server_.Url("/kept.bin"), ++taskId, AnsiToWide(list)), kResultOk);
    int workerRequests = 0;
    for (const ServedRequest& r : server_.Journal()) workerRequests += IsWorkerRequest(r);
    if (c.skipCheck) {
      EXPECT_EQ(ReadAll(target), fresh);
      EXPECT_GT(workerRequests, 0);
    } else {
      EXPECT_EQ(ReadAll(target), old);
      EXPECT_EQ(workerRequests, 0);
      EXPECT_FALSE(Exists(target + L".~P2S"));
      EXPECT_EQ(callback_.OfType(kNotifyMd5Matched, taskId).size(), 1u);
    }
  }
}

TEST_F(DownloadJobTest, ADigestMismatchDeletesBothFilesAndFailsAfterTenTries) {
  Resource resource;
  resource.content = RandomBytes(40000, 5);
  server_.Put("/bad.bin", resource);
  ASSERT_EQ(Download(server_.Url("/bad.bin"), 1, L"00000000000000000000000000000000"), kResultMd5Mismatch);
  EXPECT_EQ(callback_.OfType(kNotifyRetry).size(), 10u);
  EXPECT_EQ(callback_.OfType(kNotifyPackageMd5).size(), 10u);
  EXPECT_FALSE(Exists(folder_ + L"bad.bin"));
  EXPECT_FALSE(Exists(folder_ + L"bad.bin.~P2S"));
  // Every try started from scratch: ten full downloads.
  EXPECT_EQ(server_.BodyBytes("/bad.bin") >= 10 * 40000, true);
}

TEST_F(DownloadJobTest, FinishedWorkersTakeOverSlowAndFailedWorkersRanges) {
  const std::string content = RandomBytes(6 * 524288, 6);
  const int64_t per = 524288;
  const int64_t start2 = 2 * per;
  auto dropped = std::make_shared<std::atomic<int>>(0);
  Resource resource;
  resource.content = content;
  resource.planner = [=](const ServedRequest& r, int) {
    ConnectionPlan plan;
    if (r.firstByte == 0 && r.lastByte == per - 1) plan.bytesPerSecond = 50 * 1024;  // worker 0 crawls
    // Worker 2's ten attempts all break off before any body byte; whoever
    // asks from there afterwards is served.
    if (r.firstByte == start2 && ++*dropped <= 10) plan.dropAfter = 0;
    return plan;
  };
  server_.Put("/rebalance.bin", resource);
  ASSERT_EQ(Download(server_.Url("/rebalance.bin"), 1, AnsiToWide(Md5Of(content))), kResultOk);
  EXPECT_EQ(ReadAll(folder_ + L"rebalance.bin"), content);
  EXPECT_EQ(callback_.OfType(kNotifyRetry).size(), 1u);  // all within one try

  bool tailOfSlowWorker = false;
  std::vector<ServedRequest> fromStart2;
  std::string asked;
  for (const ServedRequest& r : server_.Journal()) {
    if (!IsWorkerRequest(r)) continue;
    asked += std::to_string(r.firstByte) + "-" + std::to_string(r.lastByte) + " ";
    tailOfSlowWorker = tailOfSlowWorker || (r.firstByte > 0 && r.firstByte < per);
    if (r.firstByte == start2) fromStart2.push_back(r);
  }
  EXPECT_TRUE(tailOfSlowWorker) << asked;
  // The failed worker's whole remainder went to another worker in one piece.
  ASSERT_EQ(fromStart2.size(), 11u) << asked;
  EXPECT_EQ(fromStart2.back().bodyBytes, fromStart2.back().lastByte - start2 + 1) << asked;
}

TEST_F(DownloadJobTest, AChunkedServerIsAskedOnceMoreInHttp10) {
  const std::string content = RandomBytes(30000, 7);
  Resource resource;
  resource.content = content;
  resource.chunked = true;
  server_.Put("/chunked.bin", resource);
  ASSERT_EQ(Download(server_.Url("/chunked.bin")), kResultOk);
  EXPECT_EQ(ReadAll(folder_ + L"chunked.bin"), content);
  std::vector<std::string> gets;
  for (const ServedRequest& r : server_.Journal()) {
    if (r.method == "GET") gets.push_back(r.version + " " + r.range);
  }
  // Probe: chunked, then HTTP/1.0; the two-byte check (chunked again, so no
  // range support); the single worker: chunked, then HTTP/1.0.
  EXPECT_EQ(gets, (std::vector<std::string>{"HTTP/1.1 bytes=0-", "HTTP/1.0 bytes=0-", "HTTP/1.1 bytes=0-1",
                                            "HTTP/1.1 bytes=0-", "HTTP/1.0 bytes=0-"}));
}

struct BadServerCase {
  const char* name;
  std::function<void(Resource*, const FaultServer&)> setUp;
  int result;
};

class DownloadJobBadServer : public DownloadTest, public ::testing::WithParamInterface<BadServerCase> {};

TEST_P(DownloadJobBadServer, EndsWithTheDocumentedResultAndNoTarget) {
  Resource resource;
  resource.content = RandomBytes(20000, 8);
  GetParam().setUp(&resource, server_);
  server_.Put("/bad/f.bin", resource);
  EXPECT_EQ(Download(server_.Url("/bad/f.bin")), GetParam().result);
  EXPECT_FALSE(Exists(folder_ + L"f.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DownloadJobBadServer,
    ::testing::Values(
        BadServerCase{"garbage", [](Resource* r, const FaultServer&) { r->rawReply = "garbage\r\n\r\n"; },
                      kResultProbeFailed},
        BadServerCase{"status_without_number",
                      [](Resource* r, const FaultServer&) { r->rawReply = "HTTP/1.1 OK\r\n\r\n"; }, kResultProbeFailed},
        BadServerCase{"error_page", [](Resource* r, const FaultServer&) { r->contentType = "text/html; error"; },
                      kResultProbeFailed},
        BadServerCase{"redirect_loop",
                      [](Resource* r, const FaultServer&) {
                        r->redirectStatus = 302;
                        r->location = "/bad/f.bin";
                      },
                      kResultProbeFailed},
        BadServerCase{"length_minus_one", [](Resource* r, const FaultServer&) { r->lengthHeader = "-1"; },
                      kResultFileFailed},
        BadServerCase{"larger_than_any_disk",
                      [](Resource* r, const FaultServer&) { r->lengthHeader = "900000000000000"; },
                      kResultDiskFull}),
    [](const ::testing::TestParamInfo<BadServerCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadJobTest, ALengthBeyondTheDiskFailsAtOnceWithDiskSpaceNotEnough) {
  Resource resource;
  resource.content = RandomBytes(1000, 9);
  resource.lengthHeader = "900000000000000";
  server_.Put("/huge.bin", resource);
  ASSERT_EQ(Download(server_.Url("/huge.bin")), kResultDiskFull);
  EXPECT_EQ(callback_.OfType(kNotifyRetry).size(), 1u);  // not retried
  const auto errors = callback_.OfType(kNotifyFileError);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].kind, kFileErrorDiskSpace);
  EXPECT_FALSE(Exists(folder_ + L"huge.bin.~P2S"));
}

// The Unix build folder as Wine's Z: drive sees it.
std::wstring BuildFolderOnZ() {
  const char* build = std::getenv("QIV_BUILD_DIR");
  if (!build) return L"";
  std::wstring path = L"Z:" + AnsiToWide(build);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

TEST_F(DownloadJobTest, ASmallDriveEndsTheTaskAtOnceWithDiskSpaceNotEnough) {
  const std::string reason = ReadAll(BuildFolderOnZ() + L"\\small-drive.reason");
  if (!reason.empty()) GTEST_SKIP() << reason;
  ULARGE_INTEGER available, total;
  if (::GetDriveTypeW(L"Q:\\") == DRIVE_NO_ROOT_DIR ||
      !::GetDiskFreeSpaceExW(L"Q:\\", &available, &total, nullptr) || total.QuadPart > 4 * 1024 * 1024) {
    GTEST_SKIP() << "no small drive Q: is mapped in this prefix (the small_drive fixture of CTest maps it)";
  }
  Resource resource;
  resource.content = RandomBytes(3 * 1024 * 1024, 10);  // more than the drive holds
  server_.Put("/big.bin", resource);
  manager_.AddTask(AnsiToWide(server_.Url("/big.bin")).c_str(), L"Q:\\", L"", 1, L"", L"", 0);
  ASSERT_EQ(callback_.WaitResult(1), kResultDiskFull);
  const auto errors = callback_.OfType(kNotifyFileError);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].kind, kFileErrorDiskSpace);
  EXPECT_EQ(callback_.OfType(kNotifyRetry).size(), 1u);
  int workerRequests = 0;
  for (const ServedRequest& r : server_.Journal()) workerRequests += IsWorkerRequest(r);
  EXPECT_EQ(workerRequests, 0);
  EXPECT_FALSE(Exists(L"Q:\\big.bin.~P2S"));
  EXPECT_FALSE(Exists(L"Q:\\big.bin"));
}

}  // namespace
