#include "toolkit/toolkit_log.h"

namespace kxui {

simpleLog& ToolkitLog() {
  static simpleLog log([] {
    wchar_t temp[MAX_PATH] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = (length > 0 && length < MAX_PATH) ? std::wstring(temp) : std::wstring();
    return NarrowLogPath(folder, L"kxuitk.log");
  }());
  return log;
}

}  // namespace kxui
