#include "downloader/downloader_manager.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/downloader/download_fixture.h"

namespace {

using namespace ns_JEB;

class DownloaderManagerTest : public DownloadTest {};

TEST_F(DownloaderManagerTest, StopThenResumeContinuesFromTheSavedRecords) {
  const std::string content = RandomBytes(6 * 600000, 11);
  server_.Put("/resume.bin", StallingWorkers(content, 400000));
  ASSERT_EQ(manager_.AddTask(AnsiToWide(server_.Url("/resume.bin")).c_str(), folder_.c_str(), L"", 7, L"",
                             AnsiToWide(Md5Of(content)).c_str(), 0),
            7);
  ASSERT_TRUE(WaitForWorkers(6, 400000));
  ASSERT_TRUE(manager_.StopTask(7));
  Barrier();
  EXPECT_TRUE(callback_.OfType(kNotifyFinished, 7).empty());  // the stop itself reports nothing

  const std::wstring temp = folder_ + L"resume.bin.~P2S";
  const SavedRecords saved = ReadRecords(temp, 6);
  ASSERT_EQ(saved.count, 6);
  EXPECT_GT(saved.WrittenSum(), 0);
  EXPECT_NE(::GetFileAttributesW(temp.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

  Resource plain;
  plain.content = content;
  server_.Put("/resume.bin", plain);
  server_.ClearJournal();
  ASSERT_TRUE(manager_.ResumeTask(7));
  ASSERT_EQ(callback_.WaitResult(7), kResultOk);
  EXPECT_EQ(ReadAll(folder_ + L"resume.bin"), content);
  ExpectOnlyUnwrittenBytesAsked(saved, server_.Journal());
}

TEST_F(DownloaderManagerTest, AddingAListedIdReplacesTheOldTask) {
  const std::string content = RandomBytes(3000000, 12);
  server_.Put("/old.bin", StallingWorkers(content, 400000));
  Resource fresh;
  fresh.content = RandomBytes(5000, 13);
  server_.Put("/new.bin", fresh);
  manager_.AddTask(AnsiToWide(server_.Url("/old.bin")).c_str(), folder_.c_str(), L"", 5, L"", L"", 0);
  ASSERT_TRUE(WaitForWorkers(1, 400000));
  manager_.AddTask(AnsiToWide(server_.Url("/new.bin")).c_str(), folder_.c_str(), L"", 5, L"", L"", 0);
  EXPECT_EQ(callback_.WaitResult(5), kResultCancelled);  // the old job, stopped first
  EXPECT_EQ(callback_.WaitResult(5), kResultOk);
  EXPECT_EQ(manager_.GetTaskCount(), 1);
  EXPECT_EQ(ReadAll(folder_ + L"new.bin"), fresh.content);
}

TEST_F(DownloaderManagerTest, StartFailuresArriveAsNotifications) {
  struct Case {
    const wchar_t* url;
    const wchar_t* folder;
    int taskId;
    int result;
  } cases[] = {{L"", L"C:\\", 21, kResultUrlEmpty},
               {L"https://secure.test/f.exe", L"C:\\", 22, kResultUrlUnsplittable},
               {L"http://127.0.0.1/f.exe", L"C:\\", -3, kResultBadTaskId}};
  for (const Case& c : cases) {
    ASSERT_EQ(manager_.AddTask(c.url, c.folder, L"", c.taskId, L"", L"", 0), c.taskId);
    EXPECT_EQ(callback_.WaitResult(c.taskId), c.result) << WideToAnsi(c.url);
    ASSERT_FALSE(callback_.OfType(kNotifyPrepareDownload, c.taskId).empty());
  }
}

TEST_F(DownloaderManagerTest, TextsLongerThanTheTaskFieldsAreRefused) {
  const std::wstring longUrl = L"http://127.0.0.1/" + std::wstring(3000, L'a') + L".exe";
  EXPECT_EQ(manager_.AddTask(longUrl.c_str(), folder_.c_str(), L"", 1, L"", L"", 0), -1);
  const std::wstring longName(1024, L'n');
  EXPECT_EQ(manager_.AddTask(L"http://127.0.0.1/f.exe", folder_.c_str(), longName.c_str(), 1, L"", L"", 0), -1);
  EXPECT_EQ(manager_.AddTask(nullptr, folder_.c_str(), L"", 0, L"", L"", 0), -1);
  EXPECT_EQ(manager_.GetTaskCount(), 0);
}

TEST_F(DownloaderManagerTest, ReservedCharactersInTheFileNameBecomeUnderscores) {
  Resource resource;
  resource.content = "payload";
  server_.Put("/any.bin", resource);
  ASSERT_EQ(Download(server_.Url("/any.bin"), 1, L"", L"a<b>:c?.exe"), kResultOk);
  EXPECT_EQ(ReadAll(folder_ + L"a_b__c_.exe"), "payload");
}

TEST_F(DownloaderManagerTest, QueriesOnAnEmptyListFail) {
  EXPECT_FALSE(manager_.RemoveAllTasks());
  EXPECT_FALSE(manager_.RemoveTaskIfExists(4));
  TaskInfo info;
  EXPECT_FALSE(manager_.GetTaskInfo(4, &info));
  EXPECT_FALSE(manager_.GetTaskInfo(4, nullptr));
  EXPECT_EQ(manager_.GetTempFilePath(), L"");
}

TEST_F(DownloaderManagerTest, GetTaskInfoCutsTextsToItsFields) {
  Resource resource;
  resource.content = RandomBytes(2000, 14);
  server_.Put("/info.bin", resource);
  const std::wstring url = AnsiToWide(server_.Url("/info.bin")) + L"?" + std::wstring(700, L'q');
  ASSERT_EQ(manager_.AddTask(url.c_str(), folder_.c_str(), L"info.bin", 3, L"", L"", 0), 3);
  ASSERT_EQ(callback_.WaitResult(3), kResultOk);
  TaskInfo info;
  ASSERT_TRUE(manager_.GetTaskInfo(3, &info));
  EXPECT_EQ(info.taskId, 3);
  EXPECT_EQ(info.fileSize, 2000);
  EXPECT_EQ(info.downloaded, 2000);
  EXPECT_EQ(std::wstring(info.url), url.substr(0, kTaskInfoUrlChars - 1));
  EXPECT_EQ(std::wstring(info.fileName), L"info.bin");
}

TEST_F(DownloaderManagerTest, DnsQueryTextsWithoutAColonCallNothing) {
  NotifyRecord* plain = new NotifyRecord{-1, 2, kNotifyDnsQuery, CopyTextPayload(std::string("no-colon")), 0, 0};
  manager_.Notify(plain, 0);
  EXPECT_TRUE(callback_.OfType(kNotifyDnsQuery).empty());
  NotifyRecord* split =
      new NotifyRecord{-1, 2, kNotifyDnsQuery, CopyTextPayload(std::string("cdn.test:1.2.3.4,5.6.7.8")), 0, 0};
  manager_.Notify(split, 0);
  const auto queries = callback_.OfType(kNotifyDnsQuery);
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].text, "cdn.test|1.2.3.4,5.6.7.8");
  NotifyRecord* empty = new NotifyRecord{-1, 2, kNotifyServerIp, 0, 0, 0};
  manager_.Notify(empty, 0);
  EXPECT_TRUE(callback_.OfType(kNotifyServerIp).empty());
}

}  // namespace
