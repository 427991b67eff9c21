// The download library's face to the orchestrator: the facade with its
// command queue, the callback interface, the numbered notifications and the
// download result codes. Every command is queued and carried out by the
// library's own command thread, so a caller never waits on the network;
// everything that happens to a task comes back as a notification.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace ns_JEB {

// Download result codes: notification 2 and 10, and OnFailed.
enum DownloadResult {
  kResultOk = 0,                 // also when a complete target was already on disk
  kResultIncomplete = 3,         // all workers ended, fewer bytes than the file size
  kResultProbeFailed = 5,        // size probe failed or could not be created
  kResultAssignFailed = 6,       // ranges could not be assigned
  kResultFileFailed = 9,         // temporary file not created, truncated or moved
  kResultDiskFull = 10,          // not retried
  kResultMd5Mismatch = 11,       // retried after deleting both files
  kResultTooManyBytes = 12,      // retried after deleting both files
  kResultCancelled = 13,         // stop event, or the job thread was terminated; not retried
  kResultWorkerFailed = 14,      // a worker did not complete its range
  kResultWaitFailed = 15,        // waiting for the workers failed
  kResultStopEventInvalid = 16,  // the following ones come from Start and are not retried
  kResultSaveFolderEmpty = 17,
  kResultBadTaskId = 18,
  kResultUrlEmpty = 19,
  kResultUrlUnsplittable = 20,
  kResultThreadFailed = 21,
};

enum NotifyType {
  kNotifyFileName = 0,          // value: const wchar_t* file name
  kNotifyFileSize = 1,          // value: size, low 32 bits; value2: high 32 bits
  kNotifyFinished = 2,          // value: result code
  kNotifyProgress = 3,          // value: ProgressInfo*
  kNotifyRangeLength = 4,       // value: range length, low 32 bits; value2: high 32 bits
  kNotifyRangeWritten = 5,      // value: bytes written in the range, low 32 bits; value2: high
  kNotifyBuffered = 6,          // value: bytes buffered in memory
  kNotifyDownloadStart = 7,
  kNotifyServerIp = 8,          // value: const char* dotted address
  kNotifyRetry = 9,             // value: retry 0 to 9
  kNotifyRetryEnd = 10,         // value2: retry, value3: result
  kNotifyPackageMd5 = 11,       // value: const char* digest
  kNotifyMd5Matched = 12,
  kNotifyFileError = 13,        // value2: FileErrorKind, value3: OS error
  kNotifyPackageInfoFailed = 14,  // value: 1 host not initialised, 2 size probe failed
  kNotifyClearDnsCache = 15,    // never produced by this engine
  kNotifyDnsQuery = 16,         // value: const char* "host:address,address"
  kNotifyPrepareDownload = 17,
};
constexpr int kLastNotifyType = kNotifyPrepareDownload;

enum FileErrorKind {
  kFileErrorCreate = 1,
  kFileErrorRename = 2,
  kFileErrorDiskSpace = 3,
  kFileErrorTruncate = 4,
};

// One event. Allocated by the job or worker that sends it; whoever receives
// it frees it with FreeNotifyRecord after handling it (in window mode: the
// window that got it as lParam).
struct NotifyRecord {
  int32_t workerIndex;  // range worker, -1 for the job or the size probe
  int32_t taskId;
  int32_t type;         // NotifyType
  intptr_t value;       // a number, or a pointer to the payload (types 0, 3, 8, 11, 16)
  int32_t value2;
  int32_t value3;
};

// Payload of notification 3.
struct ProgressInfo {
  int32_t taskId;
  int64_t total;       // file size
  int64_t downloaded;
  int32_t speed;       // bytes per second
};

// Frees the record and the payload its type carries.
void FreeNotifyRecord(NotifyRecord* record);

// Text payloads as senders allocate them: type 0 carries a wide copy,
// types 8, 11 and 16 a narrow one; FreeNotifyRecord releases them.
intptr_t CopyTextPayload(const std::wstring& text);
intptr_t CopyTextPayload(const std::string& text);

// Combines the low and high words of the 64-bit notifications (1, 4, 5).
inline int64_t NotifyValue64(const NotifyRecord& record) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(record.value2)) << 32) |
                              static_cast<uint32_t>(record.value));
}

constexpr int kTaskInfoUrlChars = 512;
constexpr int kTaskInfoFolderChars = 512;
constexpr int kTaskInfoFileNameChars = 1024;

// A snapshot of one task; texts longer than their fields are cut, always
// terminated.
struct TaskInfo {
  int32_t taskId;
  int64_t fileSize;
  int64_t downloaded;
  int32_t speed;
  wchar_t url[kTaskInfoUrlChars];
  wchar_t saveFolder[kTaskInfoFolderChars];
  wchar_t fileName[kTaskInfoFileNameChars];
};

// Capacities of a task's texts; AddTask refuses longer ones.
constexpr size_t kMaxUrlChars = 2047;
constexpr size_t kMaxFolderChars = 2047;
constexpr size_t kMaxFileNameChars = 1023;

class IObserver {
 public:
  // Takes ownership of the record.
  virtual void Notify(NotifyRecord* record, WPARAM wParam) = 0;
};

// Implemented by the orchestrator. Called synchronously on the library's
// threads (command thread, job threads, worker threads): implementations
// must be thread-safe and return quickly.
class IDownloaderManagerCallBack {
 public:
  virtual void OnFileName(int taskId, const std::wstring& fileName) = 0;
  virtual void OnFileSize(int taskId, int64_t size) = 0;
  virtual void OnProgress(int taskId, int64_t downloaded, int64_t total, int speed) = 0;
  virtual void OnTaskFinished(int taskId) = 0;
  virtual void OnFailed(int taskId, int result) = 0;
  virtual void OnWorkerInfo(int taskId, int workerIndex, int kind, int64_t value) = 0;
  virtual void OnDownloadStart(int taskId) = 0;
  virtual void OnServerIp(int taskId, const std::string& address) = 0;
  virtual void OnRetry(int taskId, int retry) = 0;
  virtual void OnRetryEnd(int taskId, int retry, int result) = 0;
  virtual void OnPackageMd5(int taskId, const std::string& digest) = 0;
  virtual void OnMd5Matched(int taskId) = 0;
  virtual void OnFileError(int taskId, int kind, int osError) = 0;
  virtual void OnPackageInfoFailed(int taskId, int error) = 0;
  virtual void OnClearDnsCache(int taskId, int error) = 0;
  virtual void OnDnsQuery(int taskId, const std::string& host, const std::string& addresses) = 0;
  virtual void OnPrepareDownload(int taskId) = 0;
};

class IDownloaderManager {
 public:
  virtual ~IDownloaderManager() = default;
  virtual bool StopTask(int taskId) = 0;
  virtual bool ResumeTask(int taskId) = 0;
  // Queues the task and returns its id, or -1. saveFolder null: the system
  // temp folder; fileName empty or null: taken from the url; expectedMd5:
  // comma-separated MD5 hex digests; restart: delete old files first.
  virtual int AddTask(const wchar_t* url, const wchar_t* saveFolder, const wchar_t* fileName, int taskId,
                      const wchar_t* expectedVersion, const wchar_t* expectedMd5, int restart) = 0;
  virtual bool RemoveTask(int taskId) = 0;
  virtual bool GetTaskInfo(int taskId, TaskInfo* info) = 0;
  virtual bool RemoveTaskIfExists(int taskId) = 0;
  virtual void SetNotifyWindow(HWND window, UINT message) = 0;
  virtual void SetCallBack(IDownloaderManagerCallBack* callback) = 0;
  virtual std::wstring GetTempFilePath() = 0;
  virtual int GetTaskCount() = 0;
  virtual bool RemoveAllTasks() = 0;
};

class CTaskManager;
class CTaskOperator;

class DownloaderManager : public IDownloaderManager, public IObserver {
 public:
  DownloaderManager();
  ~DownloaderManager() override;
  DownloaderManager(const DownloaderManager&) = delete;
  DownloaderManager& operator=(const DownloaderManager&) = delete;

  bool StopTask(int taskId) override;
  bool ResumeTask(int taskId) override;
  int AddTask(const wchar_t* url, const wchar_t* saveFolder, const wchar_t* fileName, int taskId,
              const wchar_t* expectedVersion, const wchar_t* expectedMd5, int restart) override;
  bool RemoveTask(int taskId) override;
  bool GetTaskInfo(int taskId, TaskInfo* info) override;
  bool RemoveTaskIfExists(int taskId) override;
  void SetNotifyWindow(HWND window, UINT message) override;
  void SetCallBack(IDownloaderManagerCallBack* callback) override;
  std::wstring GetTempFilePath() override;
  int GetTaskCount() override;
  bool RemoveAllTasks() override;

  void Notify(NotifyRecord* record, WPARAM wParam) override;

  // Range workers of the jobs created from now on (1 to 63; 6 unless set).
  // Not part of the orchestrator's interface: the command-line front end
  // uses it to reproduce downloads with another worker count.
  bool SetWorkerCount(int count);

 private:
  // Commands other than add: false without a command thread.
  bool QueueCommand(int type, int taskId);

  CTaskOperator* taskOperator_ = nullptr;  // owned
  CTaskManager* taskList_ = nullptr;       // owned
  // The two delivery modes exclude each other; both are set by the owner
  // before tasks run and read on the library's threads.
  IDownloaderManagerCallBack* volatile callback_ = nullptr;  // not owned
  HWND volatile notifyWindow_ = nullptr;
  volatile UINT notifyMessage_ = 0;
};

}  // namespace ns_JEB
