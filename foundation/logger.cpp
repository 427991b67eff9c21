#include "foundation/logger.h"

#include <cstdio>
#include <map>

#include "foundation/folders.h"
#include "foundation/text_convert.h"

namespace {

// Serialises every write, roll-over and rename of a log file. A kernel mutex
// rather than a critical section: it exists before any constructor runs.
UniqueHandle g_fileLock(::CreateMutexW(nullptr, FALSE, nullptr));

simpleLog* g_instance = nullptr;

constexpr DWORD kRollOverPollMs = 300000;     // look at the clock every five minutes
constexpr DWORD kRollOverPauseMs = 7200000;   // so that one night is not rolled twice
constexpr int kRollOverHour = 23;
constexpr size_t kFamilySize = 5;

bool FileReadable(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return false;
  std::fclose(file);
  return true;
}

// Last-modification time as one number, 0 when it cannot be read.
unsigned long long ModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace

simpleLog::simpleLog(const std::string& fileName)
    : instanceLock_(::CreateMutexW(nullptr, FALSE, nullptr)), fileName_(fileName) {
  if (fileName_.empty()) std::printf("[simpleLog::Log] log filename is empty\n");
  if (pathMode_ == 0) logPath_ = fileName_;
  rollOverEnabled_ = 1;
}

simpleLog::~simpleLog() {
  if (g_instance == this) g_instance = nullptr;
  if (!rollOverEnabled_) return;
  PruneFamily();
  {
    MutexLock lock(g_fileLock.get());
    std::rename(logPath_.c_str(), DatedLogName(logPath_).c_str());
  }
  // The roll-over thread only sleeps and looks at the clock: it is not
  // waited for, the process ends it.
  MutexLock lock(instanceLock_.get());
  for (HANDLE thread : rollOverThreads_) ::CloseHandle(thread);
  rollOverThreads_.clear();
}

void simpleLog::Log(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(level, format, args);
  va_end(args);
}

void simpleLog::LogV(int /*level: every line is written*/, const char* format, va_list args) {
  MutexLock lock(g_fileLock.get());
  FILE* file = std::fopen(logPath_.c_str(), "a");
  if (!file) return;
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%4d-%02d-%02d %d:%02d:%02d]", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
  if (std::fprintf(file, "%s ", stamp) >= 0 && std::vfprintf(file, format, args) >= 0) std::fputs("\n", file);
  std::fclose(file);
}

void simpleLog::StartRollOver() {
  HANDLE thread = ::CreateThread(nullptr, 0, &simpleLog::RollOverThread, this, 0, nullptr);
  if (!thread) return;
  MutexLock lock(instanceLock_.get());
  rollOverThreads_.push_back(thread);
}

DWORD WINAPI simpleLog::RollOverThread(void* param) {
  auto* self = static_cast<simpleLog*>(param);
  // Copies taken at start: the thread keeps no reference to a log that may end.
  const std::string path = self->logPath_;
  const int enabled = self->rollOverEnabled_;
  for (;;) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    if (enabled && RollOverIfDue(path, now.wHour)) ::Sleep(kRollOverPauseMs);
    ::Sleep(kRollOverPollMs);
  }
  return 0;
}

bool simpleLog::RollOverIfDue(const std::string& path, int localHour) {
  if (localHour != kRollOverHour) return false;
  try {
    dobackup(path);
  } catch (const std::exception& e) {
    std::printf("[simpleLog::Log] [dobackup] %s\n", e.what());
  }
  return true;
}

void simpleLog::dobackup(const std::string& path) {
  {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return;
    const bool empty = std::fgetc(file) == EOF;
    std::fclose(file);
    if (empty) return;
  }
  MutexLock lock(g_fileLock.get());
  std::rename(path.c_str(), DatedLogName(path).c_str());
  FILE* fresh = std::fopen(path.c_str(), "w");
  if (!fresh) {
    std::printf("[simpleLog::Log] Cannot open the output file: %s", path.c_str());
    return;
  }
  std::fclose(fresh);
}

std::string simpleLog::DatedLogName(const std::string& path) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char date[30];
  std::snprintf(date, sizeof date, "%4d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
  const std::string dated = path + "." + date;
  if (!FileReadable(dated)) return dated;
  std::string candidate;
  for (int count = 1;; ++count) {
    candidate = dated + "." + std::to_string(count);
    if (!FileReadable(candidate) || count == 0x7FFFFFFF) return candidate;
  }
}

void simpleLog::PruneFamily() {
  const size_t lastSlash = logPath_.rfind('\\');
  if (lastSlash == std::string::npos) return;
  const std::string folder = logPath_.substr(0, lastSlash);
  std::string base = logPath_.substr(lastSlash + 1);
  base = base.substr(0, base.find('.'));
  const size_t firstDot = logPath_.find('.');
  const std::string tail = firstDot == std::string::npos ? std::string() : logPath_.substr(firstDot);

  std::map<unsigned long long, std::string> candidates;  // by modification time, oldest first
  WIN32_FIND_DATAA entry;
  UniqueFind find(::FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (!find) return;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string full = folder + "\\" + entry.cFileName;
    if (full.find(base) == std::string::npos || full.find(tail) == std::string::npos) continue;
    candidates[ModifiedTime(full)] = full;
  } while (::FindNextFileA(find.get(), &entry));

  while (candidates.size() > kFamilySize) {
    ::DeleteFileA(candidates.begin()->second.c_str());
    candidates.erase(candidates.begin());
  }
}

simpleLog* simpleLog::Instance() { return g_instance; }

std::wstring LogFolder() {
  const std::wstring temp = TempFolder();
  const std::wstring folder = temp + L"Pellavorine\\QIV\\";
  return CreateFolderTree(folder) ? folder : temp;
}

std::string NarrowLogPath(const std::wstring& folder, const std::wstring& fileName) {
  const std::wstring path = folder + fileName;
  const std::string narrow = WideToAnsi(path);
  if (AnsiToWide(narrow) == path) return narrow;
  // A user name outside the ANSI code page would make every line unwritable
  // through the narrow path; the short form of the folder is plain ASCII.
  wchar_t shortFolder[MAX_PATH] = {};
  const DWORD length = ::GetShortPathNameW(folder.c_str(), shortFolder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return narrow;
  return WideToAnsi(shortFolder + fileName);
}

simpleLog* SetupLog(const std::wstring& fileName) {
  static simpleLog log(NarrowLogPath(LogFolder(), fileName));
  g_instance = &log;
  log.StartRollOver();
  return &log;
}
