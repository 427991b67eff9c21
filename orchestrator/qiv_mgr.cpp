#include "orchestrator/qiv_mgr.h"

namespace {
// Constructed before the entry point runs, destroyed after it returns.
QivMgr* const g_mgr = &QivMgr::Instance();
}  // namespace

QivMgr& QivMgr::Instance() {
  static QivMgr mgr;
  return mgr;
}
