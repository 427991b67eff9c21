// The installer's diagnostic log. Every line opens the file, appends and
// closes it again under one process-wide file lock, so that a crash never
// loses a finished line. A background thread rolls the file over at night,
// and when the logger ends the file moves to a dated name and the family is
// pruned to five files, so that every run starts with a fresh log.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "foundation/win_handles.h"

enum LogLevel { kLogError = 1, kLogWarn = 2, kLogInfo = 3 };

class simpleLog {
 public:
  // fileName is the full path of the log file (ANSI code page).
  explicit simpleLog(const std::string& fileName);
  // The exit step: prunes the family and moves the file to its dated name.
  ~simpleLog();
  simpleLog(const simpleLog&) = delete;
  simpleLog& operator=(const simpleLog&) = delete;

  // Writes one line: time stamp, one space, the formatted text, "\n".
  void Log(int level, const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 3, 4)));
  void LogV(int level, const char* format, va_list args);

  // Starts a roll-over thread that polls the clock every five minutes.
  void StartRollOver();

  // One look at the clock as the roll-over thread takes it: rolls the file
  // at path over when the local hour is 23. Returns whether it did.
  static bool RollOverIfDue(const std::string& path, int localHour);

  // Renames a non-empty log file to its dated name and starts an empty one.
  static void dobackup(const std::string& path);

  // Deletes the oldest files of this log's family beyond five.
  void PruneFamily();

  const std::string& LogPath() const { return logPath_; }

  // The first name of path + "." + date (+ ".N") that does not exist yet.
  static std::string DatedLogName(const std::string& path);

  // The installer's process-wide log; null until SetupLog has run.
  static simpleLog* Instance();

 private:
  friend simpleLog* SetupLog(const std::wstring& fileName);
  static DWORD WINAPI RollOverThread(void* param);

  std::string logPath_;
  std::vector<HANDLE> rollOverThreads_;  // guarded by instanceLock_
  UniqueHandle instanceLock_;
  std::string fileName_;
  int pathMode_ = 0;
  int rollOverEnabled_ = 1;
};

// The folder of the installer's logs: temp folder + "Pellavorine\\QIV\\",
// created when missing; the temp folder itself when it cannot be created.
std::wstring LogFolder();

// The log file's path as the narrow stdio calls take it: in the ANSI code
// page, through the folder's short name when the long one does not convert.
std::string NarrowLogPath(const std::wstring& folder, const std::wstring& fileName);

// Opens the installer's log (file name "kxQIV.log" or "kxForkQIV.log") in
// the log folder, publishes it as simpleLog::Instance() and starts the
// roll-over thread. Called once.
simpleLog* SetupLog(const std::wstring& fileName);

// Every format begins with the level word and the calling thread's id; a
// line logged before SetupLog is not written anywhere.
#define QIV_LOG_LINE(level, word, format, ...)                                                   \
  do {                                                                                           \
    if (simpleLog* qivLog_ = simpleLog::Instance())                                              \
      qivLog_->Log(level, "[" word "] %d - " format, static_cast<int>(::GetCurrentThreadId()), \
                   ##__VA_ARGS__);                                                               \
  } while (0)

#define LOG_INFO(format, ...) QIV_LOG_LINE(kLogInfo, "INFO", format, ##__VA_ARGS__)
#define LOG_WARN(format, ...) QIV_LOG_LINE(kLogWarn, "WARN", format, ##__VA_ARGS__)
#define LOG_ERROR(format, ...) QIV_LOG_LINE(kLogError, "ERROR", format, ##__VA_ARGS__)
