// What the download engine's tests share: a fault server, a callback that
// records every notification, a fresh folder per test, short engine waits.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "downloader/downloader_manager.h"
#include "downloader/engine_timings.h"
#include "foundation/customize_socket.h"
#include "foundation/folders.h"
#include "foundation/md5.h"
#include "foundation/text_convert.h"
#include "tests/downloader/fault_server.h"

// One notification as the callback saw it.
struct Event {
  int taskId;
  int type;
  int worker = -1;
  int kind = -1;
  int64_t value = 0;
  int64_t value2 = 0;
  std::string text;
};

class RecordingCallback : public ns_JEB::IDownloaderManagerCallBack {
 public:
  void OnFileName(int id, const std::wstring& name) override { Add({id, 0, -1, -1, 0, 0, WideToAnsi(name)}); }
  void OnFileSize(int id, int64_t size) override { Add({id, 1, -1, -1, size}); }
  void OnProgress(int id, int64_t downloaded, int64_t total, int speed) override {
    Add({id, 3, -1, -1, downloaded, total});
  }
  void OnTaskFinished(int id) override { Add({id, 2, -1, -1, 0}); }
  void OnFailed(int id, int result) override { Add({id, 2, -1, -1, result}); }
  void OnWorkerInfo(int id, int worker, int kind, int64_t value) override { Add({id, 4 + kind, worker, kind, value}); }
  void OnDownloadStart(int id) override { Add({id, 7}); }
  void OnServerIp(int id, const std::string& address) override { Add({id, 8, -1, -1, 0, 0, address}); }
  void OnRetry(int id, int retry) override { Add({id, 9, -1, -1, retry}); }
  void OnRetryEnd(int id, int retry, int result) override { Add({id, 10, -1, -1, retry, result}); }
  void OnPackageMd5(int id, const std::string& digest) override { Add({id, 11, -1, -1, 0, 0, digest}); }
  void OnMd5Matched(int id) override { Add({id, 12}); }
  void OnFileError(int id, int kind, int osError) override { Add({id, 13, -1, kind, osError}); }
  void OnPackageInfoFailed(int id, int error) override { Add({id, 14, -1, -1, error}); }
  void OnClearDnsCache(int id, int error) override { Add({id, 15, -1, -1, error}); }
  void OnDnsQuery(int id, const std::string& host, const std::string& list) override {
    Add({id, 16, -1, -1, 0, 0, host + "|" + list});
  }
  void OnPrepareDownload(int id) override { Add({id, 17}); }

  // The result of the task's next notification 2 (waits up to timeoutMs);
  // -100 when none came.
  int WaitResult(int taskId, DWORD timeoutMs = 120000) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t seen = 0;
    int result = -100;
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      for (; seen < events_.size(); ++seen) {
        const Event& e = events_[seen];
        if (e.taskId == taskId && e.type == 2 && consumed_.insert(seen).second) {
          result = static_cast<int>(e.value);
          return true;
        }
      }
      return false;
    });
    return result;
  }

  std::vector<Event> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<Event> OfType(int type, int taskId = -1) {
    std::vector<Event> found;
    for (const Event& e : Events()) {
      if (e.type == type && (taskId == -1 || e.taskId == taskId)) found.push_back(e);
    }
    return found;
  }

 private:
  void Add(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
  std::set<size_t> consumed_;
};

inline std::string RandomBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1664525u + 1013904223u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

inline std::string Md5Of(const std::string& bytes) {
  MD5 md5;
  md5.Update(bytes.data(), bytes.size());
  uint8_t digest[16];
  md5.Final(digest);
  return Md5Hex(digest);
}

inline std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  ::CloseHandle(file);
  return bytes;
}

inline bool WriteAll(const std::wstring& path, const std::string& bytes) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  ::CloseHandle(file);
  return ok;
}

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The resume record area of a temporary file: count, then the records.
struct SavedRecords {
  int32_t count = 0;
  std::vector<int64_t> values;  // start, length, written per record
  int64_t WrittenSum() const {
    int64_t sum = 0;
    for (size_t i = 2; i < values.size(); i += 3) sum += values[i];
    return sum;
  }
};
inline SavedRecords ReadRecords(const std::wstring& tempPath, int workers) {
  SavedRecords saved;
  const std::string bytes = ReadAll(tempPath);
  const size_t area = static_cast<size_t>(workers) * 24 + 4;
  if (bytes.size() < area) return saved;
  memcpy(&saved.count, bytes.data() + bytes.size() - 4, 4);
  saved.values.resize(static_cast<size_t>(workers) * 3);
  memcpy(saved.values.data(), bytes.data() + bytes.size() - area, static_cast<size_t>(workers) * 24);
  return saved;
}

// Closed-range requests: the range workers' (the probe asks "0-" and "0-1").
inline bool IsWorkerRequest(const ServedRequest& r) {
  return r.method == "GET" && r.lastByte >= 0 && !(r.firstByte == 0 && r.lastByte == 1);
}

// What a resumed download must ask for: every range continues right after
// its written bytes, and no request starts inside bytes already written.
inline void ExpectOnlyUnwrittenBytesAsked(const SavedRecords& saved, const std::vector<ServedRequest>& journal) {
  for (size_t i = 0; i + 2 < saved.values.size(); i += 3) {
    const int64_t start = saved.values[i], length = saved.values[i + 1], written = saved.values[i + 2];
    bool continued = written >= length;
    for (const ServedRequest& r : journal) {
      if (!IsWorkerRequest(r)) continue;
      continued = continued || r.firstByte == start + written;
      EXPECT_FALSE(r.firstByte >= start && r.firstByte < start + written)
          << "asked again from " << r.firstByte << " inside written [" << start << ", " << start + written << ")";
    }
    EXPECT_TRUE(continued) << "range at " << start << " was not continued at " << start + written;
  }
}

// Every range worker's connection stalls after the given body bytes.
inline Resource StallingWorkers(const std::string& content, int64_t after) {
  Resource resource;
  resource.content = content;
  resource.planner = [after](const ServedRequest& r, int) {
    ConnectionPlan plan;
    if (IsWorkerRequest(r)) plan.stallAfter = after;
    return plan;
  };
  return resource;
}

class DownloadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ns_JEB::EngineTimings timings;
    timings.retryPauseMs = 10;
    timings.workerRetryPauseMs = 10;
    timings.workerStartDelayMs = 0;
    timings.operatorIdleMs = 10;
    timings.operatorPauseMs = 5;
    timings.recordSaveMs = 200;
    ns_JEB::SetEngineTimingsForTests(timings);
    CCustomizeSocket::SetWaitsForTests(2000, 5000);
  }

  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '-';
    }
    folder_ = TempFolder() + L"qiv-dl-tests\\" + AnsiToWide(name) + L"\\";
    CreateFolderTree(folder_);
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder_ + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring path = folder_ + found.cFileName;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
      } while (::FindNextFileW(find, &found));
      ::FindClose(find);
    }
    manager_.SetCallBack(&callback_);
  }

  void TearDown() override { server_.Stop(); }

  // The folder as a quoted command-line argument: a "\\" before the closing
  // quote would escape it.
  std::wstring QuotedFolder() const { return L"\"" + folder_.substr(0, folder_.size() - 1) + L"\""; }

  // Queues a task for url and waits for its result.
  int Download(const std::string& url, int taskId = 1, const std::wstring& md5 = L"", const std::wstring& name = L"",
               int restart = 0) {
    if (manager_.AddTask(AnsiToWide(url).c_str(), folder_.c_str(), name.c_str(), taskId, L"", md5.c_str(),
                         restart) != taskId) {
      return -1;
    }
    return callback_.WaitResult(taskId);
  }

  // Waits until count worker requests were served at least bytes each.
  bool WaitForWorkers(int count, int64_t bytes) {
    return server_.WaitFor(
        [count, bytes](const std::vector<ServedRequest>& journal) {
          int seen = 0;
          for (const ServedRequest& r : journal) seen += IsWorkerRequest(r) && r.bodyBytes >= bytes;
          return seen >= count;
        },
        60000);
  }

  // Waits until every queued command has run: commands run one at a time in
  // order, so a task that fails at once marks the point.
  void Barrier() {
    static int barrierId = 9000;
    const int id = ++barrierId;
    manager_.AddTask(L"ftp://barrier/x", folder_.c_str(), L"", id, L"", L"", 0);
    ASSERT_EQ(callback_.WaitResult(id), ns_JEB::kResultUrlUnsplittable);
  }

  FaultServer server_;
  RecordingCallback callback_;
  std::wstring folder_;  // ends in "\\"
  ns_JEB::DownloaderManager manager_;
};
