// The installer's one orchestrator. It grows with the download and install
// road; at start-up it holds what the entry learns from the command line,
// the product file and the run-state file.
#pragma once

#include <windows.h>

#include <string>

#include "config/product_config.h"
#include "config/run_config.h"

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

  // Reads the product file embedded in this executable and takes over the
  // folders derived from it; false when the installer cannot run at all.
  bool LoadLocalXml();
  ProductConfig& Product() { return productConfig_; }
  const ProductConfig& Product() const { return productConfig_; }
  // The product's name: the single-instance semaphore and the main window's
  // title are made from it.
  const std::wstring& ProductName() const { return productConfig_.ProductName; }

  // The run-state file of the product: read at start-up (the resume flag
  // follows it), written by the window and the downloader. A forked child
  // reads it but never writes or deletes it: the file is its parent's.
  void ReadRunConfig();
  void WriteRunConfig();
  // After a finished installation, or when the user does not resume.
  void DiscardRunState();
  RunConfig& Run() { return runConfig_; }
  const RunConfig& Run() const { return runConfig_; }
  bool Resume() const { return resume_; }

  // The configuration folder, also the default save folder; ends in "\\".
  const std::wstring& SaveFolder() const { return saveFolder_; }
  void SetSaveFolder(const std::wstring& folder) { saveFolder_ = folder; }
  const std::wstring& RunConfigPath() const { return runConfigPath_; }
  void SetRunConfigPath(const std::wstring& path) { runConfigPath_ = path; }
  // The folder under which products are installed.
  const std::wstring& InstallRoot() const { return installRoot_; }
  void SetInstallRoot(const std::wstring& root) { installRoot_ = root; }

 private:
  QivMgr();
  QivMgr(const QivMgr&) = delete;
  QivMgr& operator=(const QivMgr&) = delete;

  // Written by the entry before any other thread exists.
  ProductConfig productConfig_;
  RunConfig runConfig_;
  std::wstring saveFolder_;
  std::wstring runConfigPath_;
  std::wstring installRoot_;
  HWND mainHwnd_ = nullptr;
  bool fork_ = false;
  std::wstring hostVersion_;
  HWND hostHwnd_ = nullptr;
  bool resume_ = false;
};
