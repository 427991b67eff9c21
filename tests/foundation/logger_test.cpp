#include "foundation/logger.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Today() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
  return date;
}

void SetModifiedTime(const std::string& path, int daysAgo) {
  HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t;
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart -= static_cast<unsigned long long>(daysAgo) * 24 * 3600 * 10000000ULL;
  FILETIME when{t.LowPart, t.HighPart};
  ::SetFileTime(file, nullptr, nullptr, &when);
  ::CloseHandle(file);
}

std::vector<std::string> FolderFiles(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (::FindNextFileA(find, &entry));
  ::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// A folder of its own under the temp folder, removed with everything in it.
class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "qiv-logger-test-" + std::to_string(::GetCurrentProcessId());
    RemoveFolder();
    ASSERT_TRUE(::CreateDirectoryA(folder_.c_str(), nullptr));
    path_ = folder_ + "\\kxQIV.log";
  }
  void TearDown() override { RemoveFolder(); }

  void RemoveFolder() {
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((folder_ + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string path = folder_ + "\\" + entry.cFileName;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          ::DeleteFileA(path.c_str());
        else if (entry.cFileName[0] != '.')
          ::RemoveDirectoryA(path.c_str());
      } while (::FindNextFileA(find, &entry));
      ::FindClose(find);
    }
    ::RemoveDirectoryA(folder_.c_str());
  }

  std::string folder_;
  std::string path_;
};

TEST_F(LoggerTest, WritesTimeStampedLinesWithCrLfAndNoFiltering) {
  {
    simpleLog log(path_);
    log.Log(kLogInfo, "[INFO] %d - start, fork=[%d].", 4242, 0);
    log.Log(7, "[WARN] %d - odd level %s", 1, "kept");
    // The exit step moves the file away; read it before.
    const std::string text = ReadFile(path_);
    const std::regex line(
        R"(\[(\d{4})-(\d{2})-(\d{2}) ([1-9]?\d):(\d{2}):(\d{2})\] \[INFO\] 4242 - start, fork=\[0\]\.\r\n)"
        R"(\[\d{4}-\d{2}-\d{2} [1-9]?\d:\d{2}:\d{2}\] \[WARN\] 1 - odd level kept\r\n)");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(text, parts, line)) << text;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    EXPECT_EQ(std::stoi(parts[1]), now.wYear);
  }
}

TEST_F(LoggerTest, HourHasNoLeadingZero) {
  simpleLog log(path_);
  log.Log(kLogInfo, "x");
  const std::string text = ReadFile(path_);
  // "[YYYY-MM-DD " is 12 characters; the hour follows without padding.
  ASSERT_GT(text.size(), 14u);
  EXPECT_NE(text[12], '0') << "hour written with a leading zero: " << text;
  const std::string hour = text.substr(12, text.find(':') - 12);
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  const int logged = std::stoi(hour);
  EXPECT_TRUE(logged == now.wHour || (logged + 1) % 24 == now.wHour) << text;
}

TEST_F(LoggerTest, MacrosWriteOnlyToThePublishedLog) {
  simpleLog log(path_);
  EXPECT_NE(simpleLog::Instance(), &log);
  if (simpleLog::Instance() == nullptr) {
    LOG_INFO("not set up yet %d", 1);  // nowhere to go, must not crash
  }
  EXPECT_FALSE(Exists(path_));
}

TEST_F(LoggerTest, ExitStepMovesTheLogToItsDatedName) {
  const std::string dated = path_ + "." + Today();
  {
    simpleLog log(path_);
    log.Log(kLogInfo, "first run");
  }
  EXPECT_FALSE(Exists(path_));
  EXPECT_NE(ReadFile(dated).find("first run"), std::string::npos);

  // A second and a third run on the same day count on.
  for (const char* run : {"second run", "third run"}) {
    simpleLog log(path_);
    log.Log(kLogInfo, "%s", run);
  }
  EXPECT_NE(ReadFile(dated + ".1").find("second run"), std::string::npos);
  EXPECT_NE(ReadFile(dated + ".2").find("third run"), std::string::npos);
}

TEST_F(LoggerTest, DatedNameSkipsTakenNames) {
  const std::string dated = path_ + "." + Today();
  EXPECT_EQ(simpleLog::DatedLogName(path_), dated);
  WriteFile(dated, "a");
  EXPECT_EQ(simpleLog::DatedLogName(path_), dated + ".1");
  WriteFile(dated + ".1", "b");
  WriteFile(dated + ".3", "c");  // a gap is taken first
  EXPECT_EQ(simpleLog::DatedLogName(path_), dated + ".2");
}

TEST_F(LoggerTest, ExitPruneKeepsFiveOfTheFamilyAndNeverTouchesTheForkLog) {
  // Seven older copies of the normal log, oldest first, and a fork family
  // that is older still: the prune must leave the fork files alone.
  std::vector<std::string> older;
  for (int i = 1; i <= 7; ++i) {
    const std::string name = "kxQIV.log.2020-01-0" + std::to_string(i);
    WriteFile(folder_ + "\\" + name, "old");
    SetModifiedTime(folder_ + "\\" + name, 100 - i);
    older.push_back(name);
  }
  for (const char* name : {"kxForkQIV.log", "kxForkQIV.log.2019-05-01", "kxForkQIV.log.2019-05-02"}) {
    WriteFile(folder_ + "\\" + name, "fork");
    SetModifiedTime(folder_ + "\\" + name, 400);
  }
  WriteFile(folder_ + "\\unrelated.txt", "x");
  SetModifiedTime(folder_ + "\\unrelated.txt", 500);
  {
    simpleLog log(path_);
    log.Log(kLogInfo, "this run");
  }
  const std::vector<std::string> expected = {
      "kxForkQIV.log",       "kxForkQIV.log.2019-05-01", "kxForkQIV.log.2019-05-02",
      "kxQIV.log.2020-01-04", "kxQIV.log.2020-01-05",     "kxQIV.log.2020-01-06",
      "kxQIV.log.2020-01-07", "kxQIV.log." + Today(),     "unrelated.txt"};
  std::vector<std::string> sortedExpected = expected;
  std::sort(sortedExpected.begin(), sortedExpected.end());
  EXPECT_EQ(FolderFiles(folder_), sortedExpected);
}

TEST_F(LoggerTest, RollOverOnlyAtElevenWithANonEmptyFile) {
  const std::string dated = path_ + "." + Today();
  WriteFile(path_, "");
  EXPECT_FALSE(simpleLog::RollOverIfDue(path_, 22));
  EXPECT_TRUE(simpleLog::RollOverIfDue(path_, 23));
  EXPECT_TRUE(Exists(path_)) << "an empty log is not rolled over";
  EXPECT_FALSE(Exists(dated));

  WriteFile(path_, "a line\r\n");
  EXPECT_FALSE(simpleLog::RollOverIfDue(path_, 0));
  EXPECT_FALSE(Exists(dated));
  EXPECT_TRUE(simpleLog::RollOverIfDue(path_, 23));
  EXPECT_EQ(ReadFile(dated), "a line\r\n");
  ASSERT_TRUE(Exists(path_)) << "a fresh, empty log follows the roll-over";
  EXPECT_EQ(ReadFile(path_), "");
}

TEST_F(LoggerTest, MissingLogIsNotRolledOver) {
  simpleLog::dobackup(path_);
  EXPECT_TRUE(FolderFiles(folder_).empty());
}

TEST_F(LoggerTest, UnwritableLogDropsTheLineSilently) {
  // A folder in place of the file: opening for append fails every time.
  ASSERT_TRUE(::CreateDirectoryA(path_.c_str(), nullptr));
  {
    simpleLog log(path_);
    log.Log(kLogError, "[ERROR] %d - lost", 1);
  }
  EXPECT_TRUE(FolderFiles(folder_).empty());
}

TEST_F(LoggerTest, LinesFromManyThreadsStayWhole) {
  simpleLog log(path_);
  std::vector<std::thread> threads;
  for (int id = 0; id < 8; ++id)
    threads.emplace_back([&log, id] {
      for (int n = 0; n < 50; ++n) log.Log(kLogInfo, "[INFO] %d - line %d of %d", id, n, id);
    });
  for (std::thread& t : threads) t.join();
  std::istringstream lines(ReadFile(path_));
  const std::regex whole(R"(\[[^\]]+\] \[INFO\] (\d) - line \d+ of (\d)\r)");
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
    EXPECT_EQ(m[1], m[2]);
    ++count;
  }
  EXPECT_EQ(count, 400);
}

TEST_F(LoggerTest, FolderOutsideTheAnsiCodePageStillGetsItsLines) {
  const std::wstring wideFolder = std::wstring(folder_.begin(), folder_.end()) + L"\\\u041f\u0440\u043e\u0432\u0435\u0440\u043a\u0430 \u65e5\u672c\\";
  ASSERT_TRUE(::CreateDirectoryW(wideFolder.c_str(), nullptr));
  {
    simpleLog log(NarrowLogPath(wideFolder, L"kxQIV.log"));
    log.Log(kLogInfo, "[INFO] %d - reached", 5);
    std::ifstream in((wideFolder + L"kxQIV.log").c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("[INFO] 5 - reached\r\n"), std::string::npos);
  }
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((wideFolder + L"*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      ::DeleteFileW((wideFolder + entry.cFileName).c_str());
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(wideFolder.c_str());
}

}  // namespace
