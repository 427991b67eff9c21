#include "orchestrator/qiv_mgr.h"

#include "foundation/system_info.h"

namespace {
// Constructed before the entry point runs, destroyed after it returns.
QivMgr* const g_mgr = &QivMgr::Instance();
}  // namespace

QivMgr& QivMgr::Instance() {
  static QivMgr mgr;
  return mgr;
}

QivMgr::QivMgr() : installRoot_(IsWindows64() ? ProgramFilesFolder64() : ProgramFilesFolder32()) {}

bool QivMgr::LoadLocalXml() {
  ProductPlaces places;
  places.installRoot = installRoot_;
  if (!::LoadLocalXml(::GetModuleHandleW(nullptr), &productConfig_, &places)) return false;
  saveFolder_ = places.configFolder;
  runConfigPath_ = places.runConfigPath;
  installRoot_ = places.installRoot;
  return true;
}

void QivMgr::ReadRunConfig() {
  ::ReadRunConfig(runConfigPath_, &runConfig_);
  resume_ = IsResumeStatus(runConfig_);
}

void QivMgr::WriteRunConfig() {
  if (fork_) return;
  ::WriteRunConfig(runConfigPath_, runConfig_);
}

void QivMgr::DiscardRunState() {
  resume_ = false;
  if (!fork_ && !runConfigPath_.empty()) ::DeleteFileW(runConfigPath_.c_str());
}
