#include "downloader/task_manager.h"

#include <new>

#include "foundation/folders.h"
#include "foundation/logger.h"

namespace ns_JEB {

namespace {

// Clears the idle flag for the life of a command that changes the list.
class Busy {
 public:
  explicit Busy(std::atomic<bool>& idle) : idle_(idle) { idle_ = false; }
  ~Busy() { idle_ = true; }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  std::atomic<bool>& idle_;
};

}  // namespace

CTaskManager::CTaskManager(IObserver* observer) : observer_(observer) {}

CTaskManager::~CTaskManager() { RemoveAllTasks(); }

TaskNode* CTaskManager::Find(int taskId) {
  for (TaskNode* node = head_.next; node; node = node->next) {
    if (node->job && node->job->TaskId() == taskId) return node;
  }
  return nullptr;
}

void CTaskManager::Unlink(TaskNode* node) {
  TaskNode* previous = &head_;
  while (previous->next && previous->next != node) previous = previous->next;
  if (!previous->next) return;
  previous->next = node->next;
  --count_;
  if (currentJob_ == node->job) {
    if (node->next) {
      currentJob_ = node->next->job;
    } else {
      currentJob_ = previous == &head_ ? nullptr : previous->job;
    }
  }
}

int CTaskManager::AddTask(const std::wstring& url, const std::wstring& saveFolder, const std::wstring& fileName,
                          int taskId, const std::wstring& expectedVersion, const std::wstring& expectedMd5,
                          bool restart) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (Find(taskId)) RemoveTask(taskId);
  CDownloadManager* job = new (std::nothrow) CDownloadManager;
  if (!job) {
    LOG_ERROR("download mgr is null");
    return -1;
  }
  currentJob_ = job;
  job->SetObserver(observer_);
  job->SetCheckDigest(true);
  job->SetExpectedDigests(expectedMd5);
  job->SetDefaultThreadCount(workerCount_);
  TaskNode* node = new (std::nothrow) TaskNode;
  if (!node) {
    LOG_ERROR("node is null");
    delete job;
    currentJob_ = nullptr;
    return -1;
  }
  node->job = job;
  TaskNode* last = &head_;
  while (last->next) last = last->next;
  last->next = node;
  ++count_;
  job->SetTaskId(taskId);
  job->SetExpectedVersion(expectedVersion);
  node->taskId = taskId;
  node->url = url;
  node->saveFolder = saveFolder.empty() ? TempFolder() : saveFolder;
  if (node->saveFolder.empty()) return -1;
  node->fileName = fileName;
  return job->Start(node->url, node->saveFolder, node->fileName, taskId, restart) ? taskId : -1;
}

bool CTaskManager::RemoveTask(int taskId) {
  Busy busy(idle_);
  std::lock_guard<std::recursive_mutex> lock(lock_);
  TaskNode* node = Find(taskId);
  if (!node) return false;
  node->job->StopDownload();
  Unlink(node);
  delete node->job;
  delete node;
  return true;
}

bool CTaskManager::StopTask(int taskId) {
  Busy busy(idle_);
  std::lock_guard<std::recursive_mutex> lock(lock_);
  TaskNode* node = Find(taskId);
  if (!node) return false;
  // The stop is the caller's wish, not a result: no notification 2 for it.
  node->job->SetNotify(false);
  node->job->StopDownload();
  return true;
}

bool CTaskManager::ResumeTask(int taskId) {
  Busy busy(idle_);
  std::lock_guard<std::recursive_mutex> lock(lock_);
  TaskNode* node = Find(taskId);
  if (!node) return false;
  node->job->SetNotify(true);
  switch (node->job->RecreateStopEvent()) {
    case 0:
      return true;
    case 1:
      return node->job->Start(node->url, node->saveFolder, node->fileName, taskId, false);
    default:
      return false;
  }
}

bool CTaskManager::RemoveAllTasks() {
  Busy busy(idle_);
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!head_.next) return false;
  while (TaskNode* node = head_.next) {
    node->job->StopDownload();
    head_.next = node->next;
    delete node->job;
    delete node;
  }
  count_ = 0;
  currentJob_ = nullptr;
  return true;
}

bool CTaskManager::Exists(int taskId) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (taskId == -1) return head_.next != nullptr;
  return Find(taskId) != nullptr;
}

int CTaskManager::Count() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return count_;
}

std::wstring CTaskManager::CurrentTempFilePath() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return currentJob_ ? currentJob_->GetTempFilePath() : std::wstring();
}

bool CTaskManager::GetInfo(int taskId, TaskSnapshot* snapshot) {
  if (!idle_) return false;
  // Never wait for the list: a callback asking for a snapshot while a
  // command stops its job would otherwise hold up that very stop.
  std::unique_lock<std::recursive_mutex> lock(lock_, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  TaskNode* node = Find(taskId);
  if (!node) return false;
  CDownloadManager* job = node->job;
  snapshot->elapsedMs = ::GetTickCount() - job->StartTick();
  snapshot->fileSize = job->ProbeFileSize();
  if (snapshot->fileSize > 0) {
    snapshot->downloaded = job->GetDownloadedSize();
    snapshot->bytesReceived = job->BytesReceived();
  }
  snapshot->url = node->url;
  snapshot->saveFolder = node->saveFolder;
  snapshot->fileName = node->fileName;
  return true;
}

}  // namespace ns_JEB
