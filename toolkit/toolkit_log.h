// The toolkit's own diagnostic log, "kxuitk.log" in the temp folder. It is
// kept apart from the installer's log so that the toolkit can be used (and
// its layout problems read) without the program that hosts it.
#pragma once

#include <windows.h>

#include "foundation/logger.h"

namespace kxui {

simpleLog& ToolkitLog();

}  // namespace kxui

#define KXUI_LOG_LINE(level, word, format, ...) \
  kxui::ToolkitLog().Log(level, "[" word "] %d - " format, static_cast<int>(::GetCurrentThreadId()), ##__VA_ARGS__)

#define KXUI_INFO(format, ...) KXUI_LOG_LINE(kLogInfo, "INFO", format, ##__VA_ARGS__)
#define KXUI_WARN(format, ...) KXUI_LOG_LINE(kLogWarn, "WARN", format, ##__VA_ARGS__)
#define KXUI_ERROR(format, ...) KXUI_LOG_LINE(kLogError, "ERROR", format, ##__VA_ARGS__)
