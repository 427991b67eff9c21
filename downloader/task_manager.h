// The task list: one node per task with its download job, changed only by
// the command thread, read by the caller's thread for task snapshots.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "downloader/download_job.h"
#include "downloader/downloader_manager.h"
#include "foundation/win_handles.h"

namespace ns_JEB {

struct TaskNode {
  CDownloadManager* job = nullptr;  // owned
  std::wstring url;                 // at most kMaxUrlChars
  std::wstring saveFolder;          // at most kMaxFolderChars
  std::wstring fileName;            // at most kMaxFileNameChars
  int taskId = 0;
  TaskNode* next = nullptr;
};

// What GetInfo learns about a task.
struct TaskSnapshot {
  DWORD elapsedMs = 0;
  int64_t fileSize = -1;
  int64_t downloaded = -1;
  int64_t bytesReceived = 0;
  std::wstring url, saveFolder, fileName;
};

class CTaskManager {
 public:
  explicit CTaskManager(IObserver* observer);
  virtual ~CTaskManager();
  CTaskManager(const CTaskManager&) = delete;
  CTaskManager& operator=(const CTaskManager&) = delete;

  int AddTask(const std::wstring& url, const std::wstring& saveFolder, const std::wstring& fileName, int taskId,
              const std::wstring& expectedVersion, const std::wstring& expectedMd5, bool restart);
  bool RemoveTask(int taskId);
  bool StopTask(int taskId);
  bool ResumeTask(int taskId);
  bool RemoveAllTasks();
  // taskId -1: any task.
  bool Exists(int taskId);
  // False while a command changes the list, or when the task is not listed.
  bool GetInfo(int taskId, TaskSnapshot* snapshot);
  int Count();
  std::wstring CurrentTempFilePath();
  void SetWorkerCount(int count) { workerCount_ = count; }

 private:
  TaskNode* Find(int taskId);  // under lock_
  void Unlink(TaskNode* node);  // under lock_

  CDownloadManager* currentJob_ = nullptr;  // guarded by lock_
  TaskNode head_;                           // sentinel; guarded by lock_
  int32_t count_ = 0;                       // guarded by lock_
  std::atomic<bool> idle_{true};
  // Recursive: AddTask replaces a listed task through RemoveTask.
  std::recursive_mutex lock_;
  IObserver* observer_;  // the facade
  std::atomic<int> workerCount_{kDefaultWorkerCount};
};

}  // namespace ns_JEB
