#include "downloader/task_operator.h"

#include <utility>

#include "downloader/engine_timings.h"
#include "downloader/task_manager.h"
#include "foundation/logger.h"

namespace ns_JEB {

namespace {
constexpr SIZE_T kOperatorStackSize = 5 * 1024 * 1024;
constexpr DWORD kNoListPauseMs = 1000;
}  // namespace

CTaskOperator::CTaskOperator(CTaskManager* taskList)
    : queueMutex_(::CreateMutexW(nullptr, FALSE, nullptr)),
      taskList_(taskList),
      quitEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  thread_.reset(
      ::CreateThread(nullptr, kOperatorStackSize, OperatorThread, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread_) LOG_ERROR("create download main thread failed!");
}

CTaskOperator::~CTaskOperator() { Shutdown(); }

void CTaskOperator::Shutdown() {
  if (!thread_) return;
  ::SetEvent(quitEvent_.get());
  // Every command is bounded (a job stops within its grace periods), so the
  // wait ends; after it nothing touches the queue or the list.
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

void CTaskOperator::Queue(TaskCommand command) {
  MutexLock lock(queueMutex_.get());
  queue_.push_back(std::move(command));
}

DWORD WINAPI CTaskOperator::OperatorThread(void* param) {
  static_cast<CTaskOperator*>(param)->Run();
  return 0;
}

void CTaskOperator::Execute(const TaskCommand& command) {
  switch (command.type) {
    case kCommandAdd:
      taskList_->AddTask(command.url, command.saveFolder, command.fileName, command.pid, command.expectedVersion,
                         command.expectedMd5, command.restart != 0);
      break;
    case kCommandRemove:
      taskList_->RemoveTask(command.taskId);
      break;
    case kCommandStop:
      taskList_->StopTask(command.taskId);
      break;
    case kCommandResume:
      taskList_->ResumeTask(command.taskId);
      break;
    case kCommandRemoveAll:
      taskList_->RemoveAllTasks();
      break;
    default:
      break;
  }
}

void CTaskOperator::Run() {
  const EngineTimings& timings = Timings();
  while (::WaitForSingleObject(quitEvent_.get(), 0) != WAIT_OBJECT_0) {
    TaskCommand command;
    bool have = false;
    {
      MutexLock lock(queueMutex_.get());
      if (!queue_.empty()) {
        command = std::move(queue_.front());
        queue_.erase(queue_.begin());
        have = true;
      }
    }
    DWORD pause = timings.operatorIdleMs;
    if (have) {
      LOG_INFO("handle type=[%d], pid=[%d], taskid=[%d]", command.type, command.pid, command.taskId);
      if (taskList_) Execute(command);
      pause = taskList_ ? timings.operatorPauseMs : kNoListPauseMs;
    }
    ::WaitForSingleObject(quitEvent_.get(), pause);
  }
}

}  // namespace ns_JEB
