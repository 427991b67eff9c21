#include "downloader/downloader_manager.h"

#include <cstring>

#include "downloader/task_manager.h"
#include "downloader/task_operator.h"
#include "foundation/logger.h"

namespace ns_JEB {

namespace {

std::wstring TextOrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

// Copies at most capacity - 1 characters and always terminates.
void CopyCut(wchar_t* target, size_t capacity, const std::wstring& text) {
  const size_t count = text.size() < capacity ? text.size() : capacity - 1;
  wmemcpy(target, text.data(), count);
  target[count] = L'\0';
}

}  // namespace

intptr_t CopyTextPayload(const std::wstring& text) {
  wchar_t* copy = new wchar_t[text.size() + 1];
  wmemcpy(copy, text.c_str(), text.size() + 1);
  return reinterpret_cast<intptr_t>(copy);
}

intptr_t CopyTextPayload(const std::string& text) {
  char* copy = new char[text.size() + 1];
  memcpy(copy, text.c_str(), text.size() + 1);
  return reinterpret_cast<intptr_t>(copy);
}

void FreeNotifyRecord(NotifyRecord* record) {
  if (!record) return;
  switch (record->type) {
    case kNotifyFileName:
      delete[] reinterpret_cast<wchar_t*>(record->value);
      break;
    case kNotifyServerIp:
    case kNotifyPackageMd5:
    case kNotifyDnsQuery:
      delete[] reinterpret_cast<char*>(record->value);
      break;
    case kNotifyProgress:
      delete reinterpret_cast<ProgressInfo*>(record->value);
      break;
    default:
      break;
  }
  delete record;
}

DownloaderManager::DownloaderManager() {
  taskList_ = new CTaskManager(this);
  taskOperator_ = new CTaskOperator(taskList_);
}

DownloaderManager::~DownloaderManager() {
  // The command thread goes first, so that nothing works on the list while
  // it is emptied and released.
  taskOperator_->Shutdown();
  if (taskList_->Count() > 0) taskList_->RemoveAllTasks();
  delete taskList_;
  taskList_ = nullptr;
  delete taskOperator_;
  taskOperator_ = nullptr;
}

bool DownloaderManager::QueueCommand(int type, int taskId) {
  if (!taskOperator_ || !taskOperator_->Started()) return false;
  TaskCommand command;
  command.taskId = taskId;
  command.type = type;
  taskOperator_->Queue(std::move(command));
  return true;
}

bool DownloaderManager::SetWorkerCount(int count) {
  if (count < 1 || count > kMaxWorkerCount) return false;
  taskList_->SetWorkerCount(count);
  return true;
}

bool DownloaderManager::StopTask(int taskId) { return QueueCommand(kCommandStop, taskId); }

bool DownloaderManager::ResumeTask(int taskId) { return QueueCommand(kCommandResume, taskId); }

int DownloaderManager::AddTask(const wchar_t* url, const wchar_t* saveFolder, const wchar_t* fileName, int taskId,
                               const wchar_t* expectedVersion, const wchar_t* expectedMd5, int restart) {
  const bool haveOperator = taskOperator_ && taskOperator_->Started();
  if (!haveOperator || (!url && taskId < 1)) {
    LOG_ERROR("add task failed, operator=[%d], url=[%d], pid=[%d].",
              static_cast<int>(reinterpret_cast<intptr_t>(taskOperator_)),
              static_cast<int>(reinterpret_cast<intptr_t>(url)), taskId);
    return -1;
  }
  TaskCommand command;
  command.pid = taskId;
  command.type = kCommandAdd;
  command.restart = restart;
  command.url = TextOrEmpty(url);
  command.saveFolder = TextOrEmpty(saveFolder);
  command.fileName = TextOrEmpty(fileName);
  command.expectedVersion = TextOrEmpty(expectedVersion);
  command.expectedMd5 = TextOrEmpty(expectedMd5);
  // Texts that do not fit the task's fields are refused, not cut: a cut url
  // or folder would download something else to somewhere else.
  if (command.url.size() > kMaxUrlChars || command.saveFolder.size() > kMaxFolderChars ||
      command.fileName.size() > kMaxFileNameChars) {
    LOG_ERROR("add task failed, too long, url=[%d], folder=[%d], name=[%d].", static_cast<int>(command.url.size()),
              static_cast<int>(command.saveFolder.size()), static_cast<int>(command.fileName.size()));
    return -1;
  }
  taskOperator_->Queue(std::move(command));
  return taskId;
}

bool DownloaderManager::RemoveTask(int taskId) { return QueueCommand(kCommandRemove, taskId); }

bool DownloaderManager::RemoveTaskIfExists(int taskId) {
  if (!taskList_->Exists(taskId)) return false;
  return RemoveTask(taskId);
}

bool DownloaderManager::RemoveAllTasks() {
  if (taskList_->Count() == 0) return false;
  return QueueCommand(kCommandRemoveAll, 0);
}

bool DownloaderManager::GetTaskInfo(int taskId, TaskInfo* info) {
  if (!info) return false;
  TaskSnapshot snapshot;
  if (!taskList_->GetInfo(taskId, &snapshot)) return false;
  info->taskId = taskId;
  if (snapshot.fileSize <= 0 || snapshot.downloaded < 0) {
    info->fileSize = -1;
    info->downloaded = -1;
    return true;
  }
  info->fileSize = snapshot.fileSize;
  info->downloaded = snapshot.downloaded;
  info->speed = snapshot.elapsedMs >= 1000
                    ? static_cast<int32_t>(snapshot.bytesReceived / (snapshot.elapsedMs / 1000))
                    : 0;
  CopyCut(info->url, kTaskInfoUrlChars, snapshot.url);
  CopyCut(info->saveFolder, kTaskInfoFolderChars, snapshot.saveFolder);
  CopyCut(info->fileName, kTaskInfoFileNameChars, snapshot.fileName);
  return true;
}

void DownloaderManager::SetNotifyWindow(HWND window, UINT message) {
  callback_ = nullptr;
  notifyMessage_ = message;
  notifyWindow_ = window;
}

void DownloaderManager::SetCallBack(IDownloaderManagerCallBack* callback) {
  notifyWindow_ = nullptr;
  notifyMessage_ = 0;
  callback_ = callback;
}

std::wstring DownloaderManager::GetTempFilePath() { return taskList_->CurrentTempFilePath(); }

int DownloaderManager::GetTaskCount() { return taskList_->Count(); }

void DownloaderManager::Notify(NotifyRecord* record, WPARAM wParam) {
  if (!record) return;
  const HWND window = notifyWindow_;
  const UINT message = notifyMessage_;
  if (window && message) {
    // The window owns the record once the message is queued.
    if (!::PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(record))) FreeNotifyRecord(record);
    return;
  }
  IDownloaderManagerCallBack* callback = callback_;
  const int taskId = record->taskId;
  const void* payload = reinterpret_cast<const void*>(record->value);
  if (callback) {
    switch (record->type) {
      case kNotifyFileName:
        if (payload) callback->OnFileName(taskId, static_cast<const wchar_t*>(payload));
        break;
      case kNotifyFileSize:
        callback->OnFileSize(taskId, NotifyValue64(*record));
        break;
      case kNotifyFinished:
        LOG_INFO("finished, task_id=[%d], result=[%d]", taskId, static_cast<int>(record->value));
        if (record->value == 0) {
          callback->OnTaskFinished(taskId);
        } else {
          callback->OnFailed(taskId, static_cast<int>(record->value));
        }
        break;
      case kNotifyProgress:
        if (payload) {
          const ProgressInfo* progress = static_cast<const ProgressInfo*>(payload);
          callback->OnProgress(taskId, progress->downloaded, progress->total, progress->speed);
        }
        break;
      case kNotifyRangeLength:
      case kNotifyRangeWritten:
        callback->OnWorkerInfo(taskId, record->workerIndex, record->type - kNotifyRangeLength, NotifyValue64(*record));
        break;
      case kNotifyBuffered:
        callback->OnWorkerInfo(taskId, record->workerIndex, record->type - kNotifyRangeLength, record->value);
        break;
      case kNotifyDownloadStart:
        callback->OnDownloadStart(taskId);
        break;
      case kNotifyServerIp:
        if (payload) callback->OnServerIp(taskId, static_cast<const char*>(payload));
        break;
      case kNotifyRetry:
        callback->OnRetry(taskId, static_cast<int>(record->value));
        break;
      case kNotifyRetryEnd:
        callback->OnRetryEnd(taskId, record->value2, record->value3);
        break;
      case kNotifyPackageMd5:
        if (payload) callback->OnPackageMd5(taskId, static_cast<const char*>(payload));
        break;
      case kNotifyMd5Matched:
        callback->OnMd5Matched(taskId);
        break;
      case kNotifyFileError:
        callback->OnFileError(taskId, record->value2, record->value3);
        break;
      case kNotifyPackageInfoFailed:
        callback->OnPackageInfoFailed(taskId, static_cast<int>(record->value));
        break;
      case kNotifyClearDnsCache:
        callback->OnClearDnsCache(taskId, static_cast<int>(record->value));
        break;
      case kNotifyDnsQuery:
        if (payload) {
          const std::string text = static_cast<const char*>(payload);
          const size_t colon = text.find(':');
          if (colon != std::string::npos) callback->OnDnsQuery(taskId, text.substr(0, colon), text.substr(colon + 1));
        }
        break;
      case kNotifyPrepareDownload:
        callback->OnPrepareDownload(taskId);
        break;
      default:
        break;
    }
  }
  FreeNotifyRecord(record);
}

}  // namespace ns_JEB
