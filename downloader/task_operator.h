// The command queue and the thread that carries the commands out one at a
// time, in the order they were queued ("download main thread" in the log).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/win_handles.h"

namespace ns_JEB {

class CTaskManager;

enum TaskCommandType {
  kCommandUnset = -1,
  kCommandAdd = 0,
  kCommandRemove = 1,
  kCommandStop = 2,
  kCommandResume = 3,
  kCommandRemoveAll = 4,
};

struct TaskCommand {
  int32_t pid = 0;     // the task id of an add command
  int32_t taskId = 0;  // the task id of the other commands
  int32_t type = kCommandUnset;
  int32_t restart = 0;
  std::wstring url, saveFolder, fileName, expectedMd5, expectedVersion;
};

class CTaskOperator {
 public:
  // Starts the command thread, which works on taskList (not owned).
  explicit CTaskOperator(CTaskManager* taskList);
  // Ends the command thread (a command under way is finished first; queued
  // ones are dropped) before the queue goes.
  virtual ~CTaskOperator();
  CTaskOperator(const CTaskOperator&) = delete;
  CTaskOperator& operator=(const CTaskOperator&) = delete;

  bool Started() const { return thread_.valid(); }
  void Queue(TaskCommand command);
  // Ends the command thread now; the destructor does the same.
  void Shutdown();

 private:
  static DWORD WINAPI OperatorThread(void* param);
  void Run();
  void Execute(const TaskCommand& command);

  UniqueHandle thread_;
  UniqueHandle queueMutex_;
  CTaskManager* taskList_;
  std::vector<TaskCommand> queue_;  // guarded by queueMutex_
  // Set when the facade goes; the thread's pauses wait on it.
  UniqueHandle quitEvent_;
};

}  // namespace ns_JEB
