// One download task: turns a url, a save folder and the expected digests
// into a verified file on disk. The job thread probes the file, reuses a
// finished copy or creates/resumes the temporary file, splits the file into
// ranges for the range workers, waits for them while moving work from slow
// or failed workers to finished ones, then truncates, renames and checks the
// result; a failed try is retried up to 10 times.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "downloader/downloader_manager.h"
#include "downloader/http_range_worker.h"
#include "foundation/win_handles.h"

namespace ns_JEB {

// One worker's entry of the resume record, 24 bytes as stored in the file.
struct ThreadRecord {
  int64_t rangeStart;
  int64_t rangeLength;
  int64_t written;
};
static_assert(sizeof(ThreadRecord) == 24, "the resume record layout is fixed");

constexpr int kDefaultWorkerCount = 6;
constexpr int kMaxWorkerCount = 63;

class CDownloadManager {
 public:
  CDownloadManager();
  virtual ~CDownloadManager();
  CDownloadManager(const CDownloadManager&) = delete;
  CDownloadManager& operator=(const CDownloadManager&) = delete;

  // Runs on the caller's thread; false when the job thread was not started
  // (the result then went out as notification 2).
  bool Start(const std::wstring& url, const std::wstring& saveFolder, const std::wstring& fileName, int taskId,
             bool restart);
  void StopDownload();
  bool SetThreadCount(int count);
  void SetNotify(bool on);
  bool IsNotifyOn();
  void SetFinished(bool finished);
  bool IsFinished();
  // 0 when the stop event exists, 1 when a new one was made, -1 on failure.
  int RecreateStopEvent();
  int64_t GetDownloadedSize();
  std::wstring GetTempFilePath();
  void Post(int workerIndex, int type, intptr_t value, int value2 = 0, int value3 = 0);
  // The stop event is set (a cancel is under way).
  bool StopRequested() { return WaitStop(0); }
  static void OnWorkerWrite(int workerIndex, int64_t downloaded, int64_t bytes, void* context);

  void SetObserver(IObserver* observer) { observer_ = observer; }
  void SetCheckDigest(bool check) { checkDigest_ = check; }
  void SetExpectedDigests(const std::wstring& digests);
  void SetTaskId(int taskId) { taskId_ = taskId; }
  int TaskId() const { return taskId_; }
  void SetExpectedVersion(const std::wstring& version) { expectedVersion_ = version; }
  // The worker count each job thread starts with.
  void SetDefaultThreadCount(int count) { defaultThreadCount_ = count; }

  // What the task list reports about a running job.
  DWORD StartTick() const { return startTick_; }
  int64_t BytesReceived();
  int64_t ProbeFileSize();
  const std::wstring& TargetPath() const { return targetPath_; }

  // The temporary file and its resume record (temp_package_file.cpp).
  bool ReadDownloadInfo();
  bool WriteDownloadInfo();
  bool ValidateResume();
  bool FinishFile();
  std::wstring ComputeTargetPath();

  // Digest and version rules (public: they are plain functions of texts).
  bool MatchMd5(const std::string& digest, bool firstOnly);
  bool CheckVersion();

 private:
  static DWORD WINAPI JobThread(void* param);
  void RunJob();
  int Prepare();
  bool CreateWorkers();
  void ReleaseWorkers();
  bool AssignRanges();
  int WaitWorkers();
  int FindDonor(int64_t* remaining);
  bool Rebalance(int finished);
  int HandleFinished(int result);
  bool CheckCdnFileSize(int64_t localSize);
  void StopAllWorkers();
  bool SupportsRanges();
  // Resizes the record array to the worker count, zeroed.
  void ResetRecords();
  CDownloadHttp* Worker(int index) { return workers_[index].get(); }
  bool WaitStop(DWORD milliseconds);
  void PostResult(int result);

  // The job's stop event; the job thread and StopDownload both close it, so
  // it is touched only under eventLock_.
  HANDLE stopEvent_ = nullptr;
  CriticalSection eventLock_;
  int64_t bytesReceived_ = 0;  // guarded by counterLock_
  CriticalSection counterLock_;
  bool restart_ = false;
  UniqueHandle jobThread_;
  volatile DWORD startTick_ = 0;
  std::wstring saveFolder_, fileName_, targetPath_, url_;
  int workerCount_ = kDefaultWorkerCount;
  int defaultThreadCount_ = kDefaultWorkerCount;
  // The probe and the workers are created and released by the job thread;
  // the caller's thread reads them for GetTaskInfo, so the pointers change
  // only under workersLock_ (the objects are stopped outside it).
  std::unique_ptr<CDownloadHttp> probe_;
  std::vector<std::unique_ptr<CDownloadHttp>> workers_;
  CriticalSection workersLock_;
  int recordCount_ = 0;
  // One entry per worker; the write callback updates "written" from the
  // worker threads, so entries are read and written under recordsLock_ (a
  // torn 64-bit value could claim bytes that are not in the file).
  std::vector<ThreadRecord> records_;
  CriticalSection recordsLock_;
  bool notifyOn_ = true;  // guarded by notifyLock_
  CriticalSection notifyLock_;
  bool finished_ = false;  // guarded by finishedLock_
  CriticalSection finishedLock_;
  bool checkDigest_ = false;
  int taskId_ = -1;
  IObserver* observer_ = nullptr;  // not owned
  std::wstring expectedDigests_;
  volatile DWORD lastProgressTick_ = 0;
  std::wstring expectedVersion_;
};

// Creates (or replaces) the file at its full size. 0 created; 1 not
// created, opened or sized; 2 no room; 3 empty path. *osError is the OS
// error of the last step. A failure never leaves a file behind.
int CreateNullFile(const std::wstring& path, DWORD* osError, int64_t size);

// The package file name of a url path's last segment (see GetFileNameFromUrl).
std::wstring FileNameOfPath(const std::wstring& path);

// Forbidden characters of a folder (drive, leading and trailing separators
// kept) or of a file name (separators too) replaced by "_".
std::wstring CleanPathPart(const std::wstring& text, bool folderMode);

}  // namespace ns_JEB
