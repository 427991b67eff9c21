// qivdl: the download engine on the command line. One task, one line per
// notification, a progress line on a console, and a closing line
//   result=<code> file=<path> bytes=<n> seconds=<s>
// whose code is also the exit code. Ctrl+C, Ctrl+Break or closing the
// console stops the task cleanly: the temporary file keeps its resume
// records and the next run continues where this one stopped.
//
//   qivdl URL --out FOLDER [--name FILE] [--workers N] [--md5 LIST]
//         [--version V] [--restart] [--task-id N] [--quiet]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "downloader/downloader_manager.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"

namespace {

using ns_JEB::DownloaderManager;
using ns_JEB::NotifyRecord;

constexpr UINT kNotifyMessage = WM_APP + 1;
constexpr UINT kStopMessage = WM_APP + 2;
// Exit codes of the front end itself; download results are 0, 3, 5, 6, 9-21.
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
// How long a stop may take before the program leaves without its result:
// the job's own grace period plus its workers'.
constexpr DWORD kStopWaitMs = 8000;
constexpr wchar_t kTempSuffix[] = L".~P2S";

struct Options {
  std::wstring url, folder, name, md5, version;
  int workers = 0;
  int taskId = 1;
  bool restart = false;
  bool quiet = false;
};

DWORD g_mainThread = 0;
HANDLE g_finished = nullptr;  // set when the closing line is out

void Usage() {
  std::fprintf(stderr,
               "usage: qivdl URL --out FOLDER [--name FILE] [--workers N] [--md5 LIST]\n"
               "             [--version V] [--restart] [--task-id N] [--quiet]\n");
}

bool ParseNumber(const wchar_t* text, int* value) {
  wchar_t* end = nullptr;
  const long number = std::wcstol(text, &end, 10);
  if (!end || *end != L'\0' || end == text) return false;
  *value = static_cast<int>(number);
  return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--out" && hasValue) {
      options->folder = argv[++i];
    } else if (arg == L"--name" && hasValue) {
      options->name = argv[++i];
    } else if (arg == L"--workers" && hasValue) {
      if (!ParseNumber(argv[++i], &options->workers) || options->workers < 1 || options->workers > 63) return false;
    } else if (arg == L"--md5" && hasValue) {
      options->md5 = argv[++i];
    } else if (arg == L"--version" && hasValue) {
      options->version = argv[++i];
    } else if (arg == L"--task-id" && hasValue) {
      if (!ParseNumber(argv[++i], &options->taskId)) return false;
    } else if (arg == L"--restart") {
      options->restart = true;
    } else if (arg == L"--quiet") {
      options->quiet = true;
    } else if (options->url.empty() && arg.rfind(L"--", 0) != 0) {
      options->url = arg;
    } else {
      return false;
    }
  }
  return !options->url.empty() && !options->folder.empty();
}

// Console events arrive on a thread of their own: the stop is handed to the
// main thread, and the handler returns only when the closing line is out,
// because the process ends as soon as it returns.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  ::PostThreadMessageW(g_mainThread, kStopMessage, 0, 0);
  ::WaitForSingleObject(g_finished, kStopWaitMs + 1000);
  return TRUE;
}

class Front {
 public:
  Front(const Options& options, HWND window) : options_(options), window_(window) {
    DWORD mode = 0;
    console_ = ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
    ::QueryPerformanceFrequency(&frequency_);
    ::QueryPerformanceCounter(&started_);
  }

  int Run() {
    manager_.SetNotifyWindow(window_, kNotifyMessage);
    if (options_.workers > 0) manager_.SetWorkerCount(options_.workers);
    if (manager_.AddTask(options_.url.c_str(), options_.folder.c_str(), options_.name.c_str(), options_.taskId,
                         options_.version.c_str(), options_.md5.c_str(), options_.restart ? 1 : 0) < 0) {
      std::fprintf(stderr, "qivdl: the task was refused (task id below 1, or a text too long)\n");
      return kExitRefused;
    }
    MSG message;
    while (!done_ && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (message.message == kStopMessage) {
        Stop();
      } else if (message.message == kNotifyMessage) {
        Handle(reinterpret_cast<NotifyRecord*>(message.lParam));
      } else if (message.message == WM_TIMER && stopping_) {
        // The stop did not report back in time; leave with "cancelled".
        Finish(ns_JEB::kResultCancelled);
      } else {
        ::DispatchMessageW(&message);
      }
    }
    return result_;
  }

 private:
  void Stop() {
    if (stopping_) return;
    stopping_ = true;
    // Removing the task stops its job with notifications on, so its result
    // (13) still arrives; the temporary file and its records stay.
    manager_.RemoveTask(options_.taskId);
    ::SetTimer(nullptr, 0, kStopWaitMs, nullptr);
  }

  void Handle(NotifyRecord* record) {
    if (!record) return;
    const std::wstring temp = manager_.GetTempFilePath();
    if (temp.size() > wcslen(kTempSuffix)) target_ = temp.substr(0, temp.size() - wcslen(kTempSuffix));
    if (record->type == ns_JEB::kNotifyProgress && record->value) {
      const auto* progress = reinterpret_cast<const ns_JEB::ProgressInfo*>(record->value);
      downloaded_ = progress->downloaded;
      total_ = progress->total;
      speed_ = progress->speed;
    }
    if (!options_.quiet) PrintRecord(*record);
    if (console_ && record->type == ns_JEB::kNotifyProgress) PrintProgress();
    const bool finished = record->type == ns_JEB::kNotifyFinished;
    const int result = static_cast<int>(record->value);
    ns_JEB::FreeNotifyRecord(record);
    if (finished) Finish(result);
  }

  void PrintRecord(const NotifyRecord& record) {
    std::string value;
    switch (record.type) {
      case ns_JEB::kNotifyFileName:
        value = record.value ? WideToAnsi(reinterpret_cast<const wchar_t*>(record.value)) : "";
        break;
      case ns_JEB::kNotifyServerIp:
      case ns_JEB::kNotifyPackageMd5:
      case ns_JEB::kNotifyDnsQuery:
        value = record.value ? reinterpret_cast<const char*>(record.value) : "";
        break;
      case ns_JEB::kNotifyProgress: {
        const auto* progress = reinterpret_cast<const ns_JEB::ProgressInfo*>(record.value);
        value = progress ? std::to_string(progress->downloaded) + "/" + std::to_string(progress->total) + "@" +
                               std::to_string(progress->speed)
                         : "";
        break;
      }
      case ns_JEB::kNotifyFileSize:
      case ns_JEB::kNotifyRangeLength:
      case ns_JEB::kNotifyRangeWritten:
        value = std::to_string(ns_JEB::NotifyValue64(record));
        break;
      default:
        value = std::to_string(static_cast<long long>(record.value));
        break;
    }
    if (console_) std::fputs("\r\x1b[K", stdout);
    std::printf("notify type=%d worker=%d value=%s value2=%d value3=%d\n", record.type, record.workerIndex,
                value.c_str(), record.value2, record.value3);
  }

  void PrintProgress() {
    const double percent = total_ > 0 ? 100.0 * static_cast<double>(downloaded_) / static_cast<double>(total_) : 0;
    std::printf("\r%6.2f%%  %lld / %lld bytes  %.2f MiB/s\x1b[K", percent, downloaded_, total_,
                speed_ / (1024.0 * 1024.0));
    std::fflush(stdout);
  }

  void Finish(int result) {
    result_ = result;
    done_ = true;
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    const double seconds =
        static_cast<double>(now.QuadPart - started_.QuadPart) / static_cast<double>(frequency_.QuadPart);
    long long bytes = downloaded_;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (result == 0 && !target_.empty() && ::GetFileAttributesExW(target_.c_str(), GetFileExInfoStandard, &data)) {
      bytes = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    if (console_) std::fputs("\r\x1b[K", stdout);
    std::printf("result=%d file=%s bytes=%lld seconds=%.3f\n", result, WideToAnsi(target_).c_str(), bytes, seconds);
    std::fflush(stdout);
  }

  const Options& options_;
  HWND window_;
  DownloaderManager manager_;
  bool console_ = false;
  bool stopping_ = false;
  bool done_ = false;
  int result_ = ns_JEB::kResultCancelled;
  std::wstring target_;
  long long downloaded_ = 0, total_ = 0;
  int speed_ = 0;
  LARGE_INTEGER frequency_, started_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    Usage();
    return kExitUsage;
  }
  SetupLog(L"qivdl.log");
  g_mainThread = ::GetCurrentThreadId();
  g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // A message-only window receives the notification records, so that every
  // line has the worker index and the raw values.
  HWND window = ::CreateWindowExW(0, L"STATIC", L"qivdl", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  // The thread's message queue must exist before the console handler posts to it.
  MSG peek;
  ::PeekMessageW(&peek, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  int result = kExitRefused;
  {
    Front front(options, window);
    result = front.Run();
    ::SetEvent(g_finished);
  }
  ::DestroyWindow(window);
  return result;
}
