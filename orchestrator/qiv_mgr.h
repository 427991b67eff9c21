// The installer's one orchestrator. It grows with the download and install
// road; at start-up it holds what the entry learns from the command line.
#pragma once

#include <windows.h>

#include <string>

class QivMgr {
 public:
  static QivMgr& Instance();

  bool IsFork() const { return fork_; }
  void SetFork(bool fork) { fork_ = fork; }

  const std::wstring& HostVersion() const { return hostVersion_; }
  void SetHostVersion(const std::wstring& version) { hostVersion_ = version; }

  HWND HostHwnd() const { return hostHwnd_; }
  void SetHostHwnd(HWND window) { hostHwnd_ = window; }

  HWND MainHwnd() const { return mainHwnd_; }
  void SetMainHwnd(HWND window) { mainHwnd_ = window; }

  // The product's name: the single-instance semaphore and the main window's
  // title are made from it.
  const std::wstring& ProductName() const { return productName_; }
  void SetProductName(const std::wstring& name) { productName_ = name; }

 private:
  QivMgr() = default;
  QivMgr(const QivMgr&) = delete;
  QivMgr& operator=(const QivMgr&) = delete;

  // Written by the entry before any other thread exists.
  bool fork_ = false;
  std::wstring hostVersion_;
  HWND hostHwnd_ = nullptr;
  HWND mainHwnd_ = nullptr;
  std::wstring productName_ = L"Vantrel";
};
