#include "downloader/download_job.h"

#include <algorithm>
#include <new>
#include <utility>

#include "downloader/cdn_size_probe.h"
#include "downloader/engine_timings.h"
#include "foundation/http_request.h"
#include "foundation/logger.h"
#include "foundation/md5.h"
#include "foundation/system_info.h"
#include "foundation/text_convert.h"
#include "foundation/url_text.h"

namespace ns_JEB {

namespace {

constexpr SIZE_T kJobStackSize = 10 * 1024 * 1024;
constexpr int kMaxTries = 10;
// A donor that still runs keeps a remainder smaller than this to itself:
// splitting it would cost a new connection for little gain.
constexpr int64_t kMinRebalanceBytes = 102400;
constexpr DWORD kProgressIntervalMs = 100;
// Decoded urls live in a buffer of this many characters, terminator included.
constexpr size_t kDecodedUrlChars = 1024;
// A wait for the workers that fails (rather than ending with a handle or a
// time-out) is repeated after a short pause, this often in a row at most.
constexpr int kMaxFailedWaits = 50;
constexpr DWORD kFailedWaitPauseMs = 100;

std::vector<std::wstring> SplitAtCommas(const std::wstring& text) {
  std::vector<std::wstring> pieces;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(L',', start);
    pieces.push_back(text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
  return pieces;
}

std::vector<int> VersionParts(const std::wstring& text) {
  std::vector<int> parts;
  for (const std::wstring& piece : SplitText(text, L".")) parts.push_back(_wtoi(piece.c_str()));
  return parts;
}

}  // namespace

CDownloadManager::CDownloadManager()
    : stopEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), startTick_(::GetTickCount()) {}

CDownloadManager::~CDownloadManager() { StopDownload(); }

void CDownloadManager::SetExpectedDigests(const std::wstring& digests) {
  expectedDigests_ = digests;
  if (!expectedDigests_.empty()) {
    ::CharUpperBuffW(&expectedDigests_[0], static_cast<DWORD>(expectedDigests_.size()));
  }
}

void CDownloadManager::Post(int workerIndex, int type, intptr_t value, int value2, int value3) {
  NotifyRecord* record = new NotifyRecord{workerIndex, taskId_, type, value, value2, value3};
  if (!observer_) {
    FreeNotifyRecord(record);
    return;
  }
  observer_->Notify(record, 0);
}

void CDownloadManager::PostResult(int result) { Post(-1, kNotifyFinished, result); }

void CDownloadManager::SetNotify(bool on) {
  CriticalSectionLock lock(notifyLock_);
  notifyOn_ = on;
}

bool CDownloadManager::IsNotifyOn() {
  CriticalSectionLock lock(notifyLock_);
  return notifyOn_ && observer_ != nullptr;
}

void CDownloadManager::SetFinished(bool finished) {
  CriticalSectionLock lock(finishedLock_);
  finished_ = finished;
}

bool CDownloadManager::IsFinished() {
  CriticalSectionLock lock(finishedLock_);
  return finished_;
}

int CDownloadManager::RecreateStopEvent() {
  CriticalSectionLock lock(eventLock_);
  if (stopEvent_) return 0;
  stopEvent_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return stopEvent_ ? 1 : -1;
}

bool CDownloadManager::WaitStop(DWORD milliseconds) {
  HANDLE event = nullptr;
  {
    CriticalSectionLock lock(eventLock_);
    event = stopEvent_;
  }
  // Only the job thread closes the event while it runs, so the copy stays
  // valid for the wait; StopDownload closes it only after this thread ended.
  return event && ::WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0;
}

int64_t CDownloadManager::BytesReceived() {
  CriticalSectionLock lock(counterLock_);
  return bytesReceived_;
}

int64_t CDownloadManager::ProbeFileSize() {
  CriticalSectionLock lock(workersLock_);
  return probe_ ? probe_->FileSize() : -1;
}

bool CDownloadManager::SupportsRanges() {
  CriticalSectionLock lock(workersLock_);
  return probe_ && probe_->SupportsResume();
}

int64_t CDownloadManager::GetDownloadedSize() {
  CriticalSectionLock lock(workersLock_);
  if (!probe_ || probe_->FileSize() <= 0) return -1;
  const int64_t fileSize = probe_->FileSize();
  if (IsFinished() || workers_.empty()) return fileSize;
  int64_t remaining = 0;
  for (const auto& worker : workers_) remaining += worker->GetRemaining();
  return fileSize - remaining;
}

bool CDownloadManager::SetThreadCount(int count) {
  if (count >= 64 || count < 1) return false;
  if (count == workerCount_) return true;
  LOG_INFO("set thread count=[%d].", count);
  workerCount_ = count;
  return true;
}

bool CDownloadManager::Start(const std::wstring& url, const std::wstring& saveFolder, const std::wstring& fileName,
                             int taskId, bool restart) {
  Post(-1, kNotifyPrepareDownload, 0);
  int failure = 0;
  bool eventValid = false;
  {
    CriticalSectionLock lock(eventLock_);
    eventValid = stopEvent_ != nullptr;
  }
  if (!eventValid) {
    LOG_ERROR("end event is invalid.");
    failure = kResultStopEventInvalid;
  } else if (saveFolder.empty()) {
    LOG_ERROR("save file path is empty.");
    failure = kResultSaveFolderEmpty;
  } else if (taskId < 1) {
    LOG_ERROR("pid=[%d] error.", taskId);
    failure = kResultBadTaskId;
  } else if (url.empty()) {
    LOG_ERROR("download url is empty.");
    failure = kResultUrlEmpty;
  }
  if (failure == 0) {
    saveFolder_ = saveFolder;
    fileName_ = fileName;
    restart_ = restart;
    const std::wstring decoded = PercentDecode(url);
    UrlParts parts;
    // A url whose decoded form does not fit the buffer is refused rather
    // than cut: a shortened url would fetch some other file.
    const bool fits = decoded.size() < kDecodedUrlChars - 1 || url.size() < kDecodedUrlChars;
    if (!fits || !SplitUrl(decoded, &parts)) {
      LOG_ERROR("parse url diy failed!");
      failure = kResultUrlUnsplittable;
    } else {
      url_ = decoded;
      LOG_INFO("download url=[%s].", WideToAnsi(url_).c_str());
    }
  }
  if (failure == 0) {
    // A thread of an earlier run closes its event as its last step; let it
    // finish before its handle goes.
    if (jobThread_) {
      ::WaitForSingleObject(jobThread_.get(), Timings().jobStopGraceMs);
      jobThread_.reset();
    }
    std::unique_ptr<CDownloadHttp> probe(new (std::nothrow) CDownloadHttp);
    if (!probe) {
      LOG_ERROR("create download pub info failed!");
      failure = kResultProbeFailed;
    } else {
      probe->SetWorkerIndex(-1);
      probe->SetTaskId(taskId);
      probe->SetCredentials(std::wstring(), std::wstring());
      probe->SetJob(this);
      probe->SetUrl(url_);
      CriticalSectionLock lock(workersLock_);
      probe_ = std::move(probe);
    }
  }
  if (failure == 0) {
    SetFinished(false);
    startTick_ = ::GetTickCount();
    LOG_INFO("create download main thread.");
    jobThread_.reset(
        ::CreateThread(nullptr, kJobStackSize, JobThread, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!jobThread_) {
      LOG_ERROR("create download main thread failed!");
      failure = kResultThreadFailed;
    }
  }
  if (failure != 0) {
    if (IsNotifyOn()) PostResult(failure);
    return false;
  }
  return true;
}

DWORD WINAPI CDownloadManager::JobThread(void* param) {
  static_cast<CDownloadManager*>(param)->RunJob();
  return 0;
}

void CDownloadManager::RunJob() {
  if (IsNotifyOn()) Post(-1, kNotifyDownloadStart, 0);
  SetThreadCount(defaultThreadCount_);
  int result = 0;
  int retry = 0;
  for (;; ++retry) {
    LOG_INFO("start download, retry=[%d]", retry);
    Post(-1, kNotifyRetry, retry);
    const int prepared = Prepare();
    LOG_INFO("start download, retry=[%d] result=[%d]", retry, prepared);
    if (prepared == 1) {
      SetFinished(true);
      result = kResultOk;
      break;
    }
    if (prepared != 0) {
      result = HandleFinished(prepared);
      if (prepared == kResultDiskFull || prepared == kResultCancelled) break;
    } else {
      LOG_INFO("wait for download finished.");
      int waited = WaitWorkers();
      if (waited == 0) {
        bool allDone = true;
        for (const auto& worker : workers_) allDone = allDone && worker->IsDone();
        if (!allDone) {
          LOG_ERROR("download failed!");
          waited = kResultWorkerFailed;
        } else {
          LOG_INFO("download finished.");
          SetFinished(true);
        }
      }
      result = HandleFinished(waited);
      if (result == kResultCancelled) break;
    }
    if (result == kResultMd5Mismatch || result == kResultTooManyBytes) {
      ::DeleteFileW(targetPath_.c_str());
      if (!targetPath_.empty()) ::DeleteFileW(GetTempFilePath().c_str());
    }
    ReleaseWorkers();
    if (retry == kMaxTries - 1 || result == kResultOk) {
      LOG_INFO("download finished, retry=[%d], result=[%d].", retry, result);
      break;
    }
    if (WaitStop(100)) {
      LOG_WARN("download delay retry, cancel.");
      result = kResultCancelled;
      break;
    }
    if (IsNotifyOn()) Post(-1, kNotifyRetryEnd, 0, retry, result);
    // The pause watches the stop event too: a cancel must not wait for the
    // next try's size probe.
    if (WaitStop(Timings().retryPauseMs)) {
      LOG_WARN("download delay retry, cancel.");
      result = kResultCancelled;
      break;
    }
  }
  if (IsNotifyOn()) {
    Post(-1, kNotifyRetryEnd, 0, retry, result);
    PostResult(result);
  }
  CriticalSectionLock lock(eventLock_);
  if (stopEvent_) {
    ::CloseHandle(stopEvent_);
    stopEvent_ = nullptr;
  }
}

int CDownloadManager::Prepare() {
  startTick_ = ::GetTickCount();
  probe_->SetUrl(url_);
  if (!probe_->GetRemoteSiteInfo()) {
    LOG_ERROR("get remote site info failed!");
    return kResultProbeFailed;
  }
  if (probe_->LanBlockPageSeen()) {
    LOG_INFO("adjust thread count=1.");
    SetThreadCount(1);
  }
  targetPath_ = ComputeTargetPath();
  if (WaitStop(100)) {
    LOG_WARN("cancel download.");
    return kResultCancelled;
  }
  const std::wstring tempPath = GetTempFilePath();
  bool resumed = false;
  if (restart_) {
    ::DeleteFileW(targetPath_.c_str());
    ::DeleteFileW(tempPath.c_str());
    restart_ = false;
  } else {
    UniqueFile existing(::CreateFileW(targetPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (existing) {
      LARGE_INTEGER size = {};
      ::GetFileSizeEx(existing.get(), &size);
      existing.reset();
      bool complete = false;
      if (checkDigest_ && !expectedDigests_.empty() && expectedDigests_[0] != L',') {
        const std::string digest = WideToAnsi(FileMd5(targetPath_));
        if (!digest.empty() && MatchMd5(digest, true)) {
          LOG_INFO("check file md5 ok.");
          complete = true;
        }
      } else if (!expectedVersion_.empty()) {
        if (CheckVersion()) {
          LOG_INFO("check file verison ok.");
          complete = true;
        }
      } else if (CheckCdnFileSize(size.QuadPart)) {
        LOG_INFO("check file size ok.");
        complete = true;
      }
      if (complete) return 1;
    }
    if (SupportsRanges()) resumed = ValidateResume();
  }

  if (!resumed) {
    const int64_t fileSize = probe_->FileSize();
    const int64_t size = (fileSize >= 0 && SupportsRanges())
                             ? fileSize + static_cast<int64_t>(workerCount_) * sizeof(ThreadRecord) + 4
                             : 0;
    DWORD osError = 0;
    const int created = CreateNullFile(tempPath, &osError, size);
    LOG_INFO("create null file=[%s], ret=[%d][%d].", WideToAnsi(tempPath).c_str(), created,
             static_cast<int>(osError));
    if (created == 2) {
      LOG_ERROR("disk space not enough!");
      Post(-1, kNotifyFileError, 0, kFileErrorDiskSpace, static_cast<int>(osError));
      return kResultDiskFull;
    }
    if (created != 0) {
      LOG_ERROR("create null file failed!");
      Post(-1, kNotifyFileError, 0, kFileErrorCreate, static_cast<int>(osError));
      return kResultFileFailed;
    }
  }
  ::SetFileAttributesW(tempPath.c_str(), FILE_ATTRIBUTE_HIDDEN);
  if (!AssignRanges()) {
    LOG_ERROR("assign download task failed!");
    return kResultAssignFailed;
  }
  startTick_ = ::GetTickCount();
  // A fresh file holds no records yet; saving them now lets a killed
  // process resume from the first flushed bytes on.
  WriteDownloadInfo();
  return 0;
}

void CDownloadManager::ResetRecords() {
  CriticalSectionLock lock(recordsLock_);
  records_.assign(static_cast<size_t>(workerCount_), ThreadRecord{0, 0, 0});
}

bool CDownloadManager::CreateWorkers() {
  ReleaseWorkers();
  const std::wstring tempPath = GetTempFilePath();
  if (tempPath.empty()) return false;
  std::vector<std::unique_ptr<CDownloadHttp>> created;
  for (int i = 0; i < workerCount_; ++i) {
    std::unique_ptr<CDownloadHttp> worker(new (std::nothrow) CDownloadHttp);
    if (!worker) return false;
    worker->SetTaskId(taskId_);
    worker->SetWorkerIndex(i);
    worker->SetJob(this);
    worker->SetWriteCallback(&CDownloadManager::OnWorkerWrite, this);
    worker->SetCredentials(probe_->UserName(), probe_->Password());
    worker->SetUrl(url_);
    if (!probe_->RedirectedUrl().empty()) worker->SetUrl(probe_->RedirectedUrl());
    worker->SetTempFilePath(tempPath);
    created.push_back(std::move(worker));
  }
  {
    CriticalSectionLock lock(workersLock_);
    workers_ = std::move(created);
  }
  ResetRecords();
  return !workers_.empty();
}

void CDownloadManager::ReleaseWorkers() {
  std::vector<std::unique_ptr<CDownloadHttp>> old;
  {
    CriticalSectionLock lock(workersLock_);
    old.swap(workers_);
  }
  for (auto& worker : old) worker->RequestStop();
  for (auto& worker : old) worker->WaitStopped();
  old.clear();
  CriticalSectionLock lock(recordsLock_);
  records_.clear();
  recordCount_ = 0;
}

void CDownloadManager::StopAllWorkers() {
  // Every worker is signalled before any is waited for, so that the grace
  // periods run side by side.
  for (auto& worker : workers_) worker->RequestStop();
  if (probe_) probe_->RequestStop();
  for (auto& worker : workers_) worker->WaitStopped();
  if (probe_) probe_->WaitStopped();
}

bool CDownloadManager::AssignRanges() {
  const int64_t fileSize = probe_->FileSize();
  const bool ranges = SupportsRanges();
  if (!ranges) ReleaseWorkers();
  if (fileSize <= 0 || !ranges) {
    LOG_WARN("assign download task, file size=[%lld], support resume=[%d]", fileSize, ranges ? 1 : 0);
    if (workerCount_ != 1) {
      ReleaseWorkers();
      SetThreadCount(1);
    }
  }
  bool usable = false;
  {
    CriticalSectionLock lock(recordsLock_);
    if (!records_.empty() && records_.size() == static_cast<size_t>(workerCount_) && recordCount_ >= 1 &&
        recordCount_ <= kMaxWorkerCount) {
      for (const ThreadRecord& record : records_) usable = usable || record.rangeLength > 0;
    }
    if (!usable) {
      std::fill(records_.begin(), records_.end(), ThreadRecord{0, 0, 0});
      recordCount_ = 0;
    }
  }
  if (!usable || workers_.empty() || records_.empty()) {
    if (!CreateWorkers()) {
      LOG_ERROR("assign download task, %p, %p", static_cast<void*>(workers_.data()),
                static_cast<void*>(records_.data()));
      return false;
    }
  }
  if (!usable) {
    LOG_INFO("assign download task, thread count=[%d].", workerCount_);
    const int64_t count = workerCount_;
    const int64_t per = fileSize > 0 ? fileSize / count : -1;
    const int64_t rest = fileSize > 0 ? fileSize % count : 0;
    CriticalSectionLock lock(recordsLock_);
    int64_t next = 0;
    for (int i = 0; i < workerCount_; ++i) {
      const int64_t length = i == 0 ? per + rest : per;
      records_[i] = ThreadRecord{next, length, 0};
      if (length > 0) next += length;
    }
  }
  for (int i = 0; i < workerCount_; ++i) {
    ThreadRecord record;
    {
      CriticalSectionLock lock(recordsLock_);
      record = records_[i];
    }
    if (workerCount_ == 1) Worker(i)->SetSingleConnection(true);
    if (!Worker(i)->StartRange(record.rangeStart, record.rangeLength, record.written)) {
      LOG_ERROR("assign download task, call download failed! index=[%d]", i);
      return false;
    }
  }
  recordCount_ = workerCount_;
  return true;
}

void CDownloadManager::OnWorkerWrite(int workerIndex, int64_t downloaded, int64_t bytes, void* context) {
  CDownloadManager* job = static_cast<CDownloadManager*>(context);
  if (workerIndex < 0 || workerIndex >= job->workerCount_ || downloaded < 0) return;
  int64_t total = 0, missing = 0;
  bool haveRecords = false;
  {
    CriticalSectionLock lock(job->recordsLock_);
    if (static_cast<size_t>(workerIndex) < job->records_.size()) {
      if (downloaded > 0) job->records_[workerIndex].written = downloaded;
      haveRecords = true;
      for (const ThreadRecord& record : job->records_) {
        if (record.rangeLength > 0) missing += std::max<int64_t>(record.rangeLength - record.written, 0);
      }
    }
  }
  int64_t received = 0;
  {
    CriticalSectionLock lock(job->counterLock_);
    job->bytesReceived_ += bytes;
    received = job->bytesReceived_;
  }
  if (!job->IsNotifyOn()) return;
  job->Post(workerIndex, kNotifyRangeWritten, static_cast<intptr_t>(static_cast<int32_t>(downloaded)),
            static_cast<int32_t>(static_cast<uint64_t>(downloaded) >> 32), 1);

  total = job->probe_ ? job->probe_->FileSize() : -1;
  const DWORD now = ::GetTickCount();
  if (total <= 0 || !haveRecords || now - job->lastProgressTick_ <= kProgressIntervalMs) return;
  const DWORD elapsed = now - job->startTick_;
  ProgressInfo* progress = new ProgressInfo;
  progress->taskId = job->taskId_;
  progress->total = total;
  progress->downloaded = total - missing;
  progress->speed = elapsed == 0 ? 0 : static_cast<int32_t>(received / elapsed * 1000);
  job->lastProgressTick_ = now;
  job->Post(-1, kNotifyProgress, reinterpret_cast<intptr_t>(progress));
}

int CDownloadManager::WaitWorkers() {
  int failedWaits = 0;
  while (true) {
    std::vector<HANDLE> handles;
    std::vector<int> owners;
    for (int i = 0; i < static_cast<int>(workers_.size()); ++i) {
      if (Worker(i)->ThreadHandle()) {
        handles.push_back(Worker(i)->ThreadHandle());
        owners.push_back(i);
      }
    }
    if (handles.empty()) {
      const int64_t downloaded = GetDownloadedSize();
      const int64_t fileSize = probe_->FileSize();
      if (downloaded == fileSize) return 0;
      StopAllWorkers();
      return downloaded > fileSize ? kResultTooManyBytes : kResultIncomplete;
    }
    HANDLE event = nullptr;
    {
      CriticalSectionLock lock(eventLock_);
      event = stopEvent_;
    }
    handles.push_back(event);
    const DWORD count = static_cast<DWORD>(handles.size());
    // The time-out is not a deadline: it lets the job save its records now
    // and then, so that even a killed process resumes from recent state.
    const DWORD outcome = ::WaitForMultipleObjects(count, handles.data(), FALSE, Timings().recordSaveMs);
    if (outcome == WAIT_OBJECT_0 + count - 1) {
      StopAllWorkers();
      return kResultCancelled;
    }
    if (outcome < WAIT_OBJECT_0 + count - 1) {
      failedWaits = 0;
      const int index = owners[outcome - WAIT_OBJECT_0];
      CDownloadHttp* worker = Worker(index);
      if (worker->ThreadHandle() != handles[outcome - WAIT_OBJECT_0]) {
        StopAllWorkers();
        return kResultWaitFailed;
      }
      if (worker->IsDone() && Rebalance(index)) continue;
      worker->CloseThreadHandle();
      continue;
    }
    if (outcome == WAIT_TIMEOUT) {
      failedWaits = 0;
      WriteDownloadInfo();
      continue;
    }
    if (++failedWaits >= kMaxFailedWaits) {
      LOG_ERROR("wait workers failed, outcome=[%d], err=[%d].", static_cast<int>(outcome),
                static_cast<int>(::GetLastError()));
      StopAllWorkers();
      return kResultWaitFailed;
    }
    ::Sleep(kFailedWaitPauseMs);
  }
}

int CDownloadManager::FindDonor(int64_t* remaining) {
  int best = -1;
  int64_t most = 0;
  for (int i = 0; i < static_cast<int>(workers_.size()); ++i) {
    CDownloadHttp* worker = Worker(i);
    const int64_t left = worker->GetRemaining();
    if (!worker->IsRunning() && !worker->IsDone()) {
      *remaining = left;
      return i;
    }
    if (left > most) {
      best = i;
      most = left;
    }
  }
  *remaining = most;
  return best;
}

bool CDownloadManager::Rebalance(int finished) {
  if (workerCount_ <= 1) return false;
  {
    CriticalSectionLock lock(recordsLock_);
    if (records_[finished].rangeLength == -1) return false;
  }
  int64_t remaining = 0;
  const int donorIndex = FindDonor(&remaining);
  if (donorIndex == -1 || donorIndex == finished) return false;
  CDownloadHttp* donor = Worker(donorIndex);
  const bool running = donor->IsRunning();
  if (running && remaining < kMinRebalanceBytes) return false;
  const int64_t take = running ? remaining / 2 : remaining;

  // The donor is cut short before the taker starts, so that the two never
  // fetch the same tail for long.
  const int64_t donorLength = donor->GetRangeLength() - take;
  const ThreadRecord taken{donor->RangeStart() + donor->GetRangeLength() - take, take, 0};
  donor->SetRangeLength(donorLength);
  {
    CriticalSectionLock lock(recordsLock_);
    records_[donorIndex].rangeLength = donorLength;
    records_[finished] = taken;
  }
  CDownloadHttp* taker = Worker(finished);
  taker->ResetRange();
  if (!taker->StartRange(taken.rangeStart, taken.rangeLength, taken.written)) return false;
  if (!running) donor->SetDone(true);
  return true;
}

bool CDownloadManager::MatchMd5(const std::string& digest, bool firstOnly) {
  if (firstOnly && !expectedDigests_.empty() && expectedDigests_[0] == L',') return false;
  const std::wstring wide = AnsiToWide(digest);
  for (const std::wstring& piece : SplitAtCommas(expectedDigests_)) {
    if (!piece.empty() && piece == wide) {
      Post(-1, kNotifyMd5Matched, 0);
      return true;
    }
    if (firstOnly) break;
  }
  return false;
}

bool CDownloadManager::CheckVersion() {
  if (expectedVersion_.empty()) return false;
  std::wstring fileVersion;
  if (!GetFileVersionText(targetPath_, &fileVersion)) return false;
  const std::vector<int> have = VersionParts(fileVersion);
  const std::vector<int> want = VersionParts(expectedVersion_);
  if (have.size() < 3 || want.size() < 3) return false;
  for (int i = 0; i < 3; ++i) {
    if (have[i] < want[i]) return false;
  }
  return true;
}

bool CDownloadManager::CheckCdnFileSize(int64_t localSize) {
  const int32_t cdn = GetCdnFileSize(url_);
  LOG_INFO("Check Cdn FileSize %ld, =? %ld", static_cast<long>(cdn), static_cast<long>(localSize));
  return cdn != 0 && cdn == static_cast<int32_t>(localSize);
}

int CDownloadManager::HandleFinished(int result) {
  LOG_INFO("handle download finished, begin result=[%d]", result);
  if (result != 0) {
    WriteDownloadInfo();
  } else {
    if (!FinishFile()) result = kResultFileFailed;
    // Only a file that reached its name is hashed: a failed move must stay
    // a file error, not turn into a digest mismatch.
    if (result == 0 && checkDigest_ && expectedDigests_.size() >= 4) {
      const std::string digest = WideToAnsi(FileMd5(targetPath_));
      LOG_INFO("handle download finished, check md5, download_pkg_md5=[%s].", digest.c_str());
      Post(-1, kNotifyPackageMd5, CopyTextPayload(digest));
      if (digest.empty() || !MatchMd5(digest, false)) {
        LOG_ERROR("handle download finished, check file md5 failed!");
        result = kResultMd5Mismatch;
        ::DeleteFileW(targetPath_.c_str());
      }
    }
  }
  LOG_INFO("handle download finished, end result=[%d]", result);
  return result;
}

void CDownloadManager::StopDownload() {
  {
    CriticalSectionLock lock(eventLock_);
    if (stopEvent_) ::SetEvent(stopEvent_);
  }
  {
    // The probe may sit in a receive of the size request; closing its
    // socket ends that at once instead of after the receive time-out.
    CriticalSectionLock lock(workersLock_);
    if (probe_) probe_->RequestStop();
  }
  if (jobThread_) {
    const DWORD grace = Timings().jobStopGraceMs;
    LOG_INFO("StopDownload, begin timeout=[%d]", static_cast<int>(grace));
    const bool ended = ::WaitForSingleObject(jobThread_.get(), grace) == WAIT_OBJECT_0;
    if (!ended) ::TerminateThread(jobThread_.get(), 0);
    LOG_INFO("StopDownload, end=[%d].", ended ? 1 : 0);
    jobThread_.reset();
    if (!ended) {
      LOG_INFO("StopDownload, force close thread.");
      if (IsNotifyOn()) PostResult(kResultCancelled);
    }
  }
  ReleaseWorkers();
  std::unique_ptr<CDownloadHttp> probe;
  {
    CriticalSectionLock lock(workersLock_);
    probe.swap(probe_);
  }
  probe.reset();
  CriticalSectionLock lock(eventLock_);
  if (stopEvent_) {
    ::CloseHandle(stopEvent_);
    stopEvent_ = nullptr;
  }
}

}  // namespace ns_JEB
