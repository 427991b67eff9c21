// One range worker: fetches a contiguous byte range of the package over
// plain HTTP on its own thread and its own socket, and writes it into the
// shared temporary file at the range's offset. The job's size probe is a
// worker of the same class that never downloads: it learns the file's size,
// name and range support before the work is split.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/customize_socket.h"
#include "foundation/win_handles.h"

namespace ns_JEB {

class CDownloadManager;

// Called after every successful file write (and with zero counts after a
// failed attempt): worker index, bytes of the range written so far, bytes of
// this write, the context given with the callback.
using WriteCallback = void (*)(int workerIndex, int64_t downloaded, int64_t bytes, void* context);

class CDownloadBase {
 public:
  CDownloadBase();
  virtual ~CDownloadBase();
  CDownloadBase(const CDownloadBase&) = delete;
  CDownloadBase& operator=(const CDownloadBase&) = delete;

  virtual bool Connect();
  // Sets the range and starts the worker thread; false only when the thread
  // cannot be created.
  virtual bool StartRange(int64_t start, int64_t length, int64_t downloaded);
  virtual bool GetRemoteSiteInfoPro();
  virtual bool DownloadRange();
  virtual bool ReceiveAndSave(const char* firstData, int length);

  bool SetUrl(const std::wstring& url);
  // The size probe's whole sequence, run on the job thread.
  bool GetRemoteSiteInfo();

  int64_t GetRangeLength();
  void SetRangeLength(int64_t length);
  // Range length minus written minus buffered, never below 0.
  int64_t GetRemaining();
  int GetBuffered();
  bool IsRunning();
  void ResetRange();
  void StopWorker();
  // The first half of StopWorker, so that a job can signal all of its
  // workers before it waits for any of them.
  void RequestStop();
  void WaitStopped();
  std::wstring GetFileNameFromUrl() const;
  void SetCredentials(const std::wstring& user, const std::wstring& password);

  void SetWorkerIndex(int index) { workerIndex_ = index; }
  int WorkerIndex() const { return workerIndex_; }
  void SetJob(CDownloadManager* job) { job_ = job; }
  void SetTaskId(int taskId) { taskId_ = taskId; }
  void SetWriteCallback(WriteCallback callback, void* context) {
    writeCallback_ = callback;
    callbackContext_ = context;
  }
  void SetTempFilePath(const std::wstring& path) { tempFilePath_ = path; }
  void SetSingleConnection(bool single) { singleConnection_ = single; }

  const std::wstring& Url() const { return url_; }
  const std::wstring& RedirectedUrl() const { return redirectedUrl_; }
  const std::wstring& UserName() const { return userName_; }
  const std::wstring& Password() const { return password_; }
  int64_t FileSize() const { return fileSize_; }
  bool SupportsResume() const { return supportsResume_; }
  bool LanBlockPageSeen() const { return lanBlockPageSeen_; }
  bool IsDone() const { return done_; }
  void SetDone(bool done) { done_ = done; }
  int64_t RangeStart() const { return rangeStart_; }
  int64_t Downloaded() const { return downloaded_; }
  HANDLE ThreadHandle() const { return thread_.get(); }
  // Closes the handle of an ended thread (the worker leaves the job's wait list).
  void CloseThreadHandle() { thread_.reset(); }
  int64_t LastModified() const { return lastModified_; }

  // Reply parsing, public so that the rules can be shown on reply texts
  // alone. ParseResponse: repeat is set for redirects and chunked replies.
  bool ParseResponse(const std::wstring& reply, bool* repeat, bool* errorPage, bool* http10);
  bool ParseResumeResponse(const std::wstring& reply, bool* repeat);
  std::wstring BuildRequest(const std::wstring& method, int64_t firstByte, int64_t lastByte, bool http10);
  const std::wstring& Host() const { return host_; }
  const std::wstring& Path() const { return path_; }
  unsigned short Port() const { return port_; }

  // Redirects and chunked repeats one request follows before it gives up.
  static constexpr int kMaxRepeats = 10;

 protected:
  bool SendAndReceiveHeader(const std::wstring& request, char* body, int capacity, int* bodyLength);
  bool Request(const std::wstring& method, char* body, int capacity, int* bodyLength);
  bool CheckSupportResume();
  bool PrepareFile();
  // New downloaded count, or -1 when the write failed.
  int64_t WriteData(const char* data, int count);
  void Post(int type, intptr_t value, int value2 = 0, int value3 = 0);
  void PostText(int type, const std::string& text);
  void SetBuffered(int buffered);
  // Gives the address picked for the current connection back to the pool;
  // every pick is paired with exactly one release.
  void ReleasePickedAddress();
  bool SplitInto(const std::wstring& url);
  // Moves url, host, port and path to the reply's location.
  bool FollowLocation(const std::wstring& reply, const char* logLabel);
  std::wstring reply_;  // head of the last reply

  static DWORD WINAPI WorkerThread(void* param);
  void RunWorker();

  int workerIndex_ = 0;
  CDownloadManager* job_ = nullptr;  // not owned
  int taskId_ = -1;
  UniqueFile file_;
  UniqueHandle stopEvent_;  // manual reset
  // Mirrors the stop event, which only RequestStop sets: the receive loop
  // looks at this flag, because under Wine even a zero wait on the event is
  // a round trip to the server for every piece received.
  std::atomic<bool> stopRequested_{false};
  CCustomizeSocket socket_;
  std::wstring url_;
  std::wstring redirectedUrl_;
  std::wstring tempFilePath_;
  WriteCallback writeCallback_ = nullptr;
  void* callbackContext_ = nullptr;
  bool supportsResume_ = false;
  UniqueHandle thread_;
  int64_t lastModified_ = -1;
  int64_t fileSize_ = -1;
  int64_t rangeStart_ = 0;
  int64_t rangeLength_ = 0;  // guarded by rangeLock_
  CriticalSection rangeLock_;
  int buffered_ = 0;  // guarded by bufferedLock_
  CriticalSection bufferedLock_;
  // Written by the worker thread only; the job reads it while the worker runs.
  std::atomic<int64_t> downloaded_{0};
  std::wstring referer_;
  std::wstring cookie_, userName_, password_;
  std::wstring userAgent_;
  std::wstring scheme_;
  std::wstring host_;
  std::wstring path_;
  unsigned short port_ = 80;
  bool singleConnection_ = false;
  bool lanBlockPageSeen_ = false;
  std::atomic<bool> done_{false};
  // The address picked for the connection in use and the host it was
  // picked for; guarded by pickLock_ because StopWorker releases it from the
  // job thread.
  uint32_t pickedAddress_ = 0;
  std::wstring pickedHost_;
  CriticalSection pickLock_;
};

class CDownloadHttp : public CDownloadBase {
 public:
  CDownloadHttp() = default;
  ~CDownloadHttp() override;
  bool GetRemoteSiteInfoPro() override;
  bool DownloadRange() override;
};

}  // namespace ns_JEB
