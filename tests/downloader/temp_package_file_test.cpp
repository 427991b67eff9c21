#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "downloader/download_job.h"
#include "tests/downloader/download_fixture.h"

namespace {

using namespace ns_JEB;

TEST(CreateNullFile, CreatesTheFileAtItsFullSizeAndReplacesAnOldOne) {
  const std::wstring path = TempFolder() + L"qiv-null-file.bin";
  ASSERT_TRUE(WriteAll(path, "old content"));
  DWORD error = 0;
  EXPECT_EQ(CreateNullFile(path, &error, 1148), 0);
  EXPECT_EQ(ReadAll(path), std::string(1148, '\0'));
  EXPECT_EQ(CreateNullFile(L"", &error, 10), 3);
  EXPECT_EQ(CreateNullFile(TempFolder() + L"no-such-folder\\f.bin", &error, 10), 1);
  EXPECT_FALSE(Exists(TempFolder() + L"no-such-folder\\f.bin"));
  ::DeleteFileW(path.c_str());
}

struct ResumeCase {
  const char* name;
  int fileWorkers;   // workers the temporary file was made for
  int32_t count;     // what its count field says
  bool randomRecords;
  int jobWorkers;
  bool resumes;
};

class TempFileResume : public DownloadTest, public ::testing::WithParamInterface<ResumeCase> {};

// The temporary file holds the first half of every range (and the right
// bytes there), with records that say so; only a valid record set for the
// job's worker count may be resumed.
TEST_P(TempFileResume, ResumesOnlyRecordsThatFitTheJob) {
  const ResumeCase& c = GetParam();
  const std::string content = RandomBytes(600000, 20);
  Resource resource;
  resource.content = content;
  server_.Put("/r.bin", resource);

  const int64_t size = static_cast<int64_t>(content.size());
  std::string temp(static_cast<size_t>(size), '\0');
  std::vector<int64_t> records;
  const int64_t per = size / c.fileWorkers;
  int64_t written = 0;
  for (int i = 0; i < c.fileWorkers; ++i) {
    const int64_t start = i * per;
    const int64_t length = i == c.fileWorkers - 1 ? size - start : per;
    records.insert(records.end(), {start, length, length / 2});
    temp.replace(static_cast<size_t>(start), static_cast<size_t>(length / 2), content, static_cast<size_t>(start),
                 static_cast<size_t>(length / 2));
    written += length / 2;
  }
  std::string area(records.size() * 8, '\0');
  memcpy(&area[0], records.data(), area.size());
  if (c.randomRecords) area = RandomBytes(area.size(), 21);
  temp += area;
  temp.append(reinterpret_cast<const char*>(&c.count), 4);
  ASSERT_TRUE(WriteAll(folder_ + L"r.bin.~P2S", temp));

  ASSERT_TRUE(manager_.SetWorkerCount(c.jobWorkers));
  ASSERT_EQ(Download(server_.Url("/r.bin"), 1, AnsiToWide(Md5Of(content))), kResultOk);
  EXPECT_EQ(ReadAll(folder_ + L"r.bin"), content);
  const std::vector<ServedRequest> journal = server_.Journal();
  int64_t fetched = 0;
  const ServedRequest* lastOpen = nullptr;
  for (const ServedRequest& r : journal) {
    if (IsWorkerRequest(r)) fetched += r.bodyBytes;
    if (r.method == "GET" && r.lastByte < 0) lastOpen = &r;
  }
  // A single worker asks an open range, as the probe does; it asks last.
  if (c.jobWorkers == 1 && lastOpen) fetched = lastOpen->bodyBytes;
  EXPECT_EQ(fetched, c.resumes ? size - written : size);
}

INSTANTIATE_TEST_SUITE_P(
    Records, TempFileResume,
    ::testing::Values(ResumeCase{"valid_six_worker_records", 6, 6, false, 6, true},
                      ResumeCase{"six_worker_file_one_worker_job", 6, 6, false, 1, false},
                      ResumeCase{"count_zero", 6, 0, false, 6, false},
                      ResumeCase{"count_sixty_four", 6, 64, false, 6, false},
                      ResumeCase{"records_of_random_bytes", 6, 6, true, 6, false}),
    [](const ::testing::TestParamInfo<ResumeCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, ASixWorkerFileHasItsRecordAreaWhileDownloading) {
  const std::string content = RandomBytes(1000, 22);
  server_.Put("/k.bin", StallingWorkers(content, 0));
  manager_.AddTask(AnsiToWide(server_.Url("/k.bin")).c_str(), folder_.c_str(), L"", 1, L"", L"", 0);
  ASSERT_TRUE(WaitForWorkers(6, 0));
  const std::wstring temp = folder_ + L"k.bin.~P2S";
  const std::string bytes = ReadAll(temp);
  ASSERT_EQ(bytes.size(), 1000u + 6 * 24 + 4);
  int32_t count = 0;
  memcpy(&count, bytes.data() + bytes.size() - 4, 4);
  EXPECT_EQ(count, 6);
  manager_.RemoveTask(1);
  EXPECT_EQ(callback_.WaitResult(1), kResultCancelled);
}

}  // namespace
