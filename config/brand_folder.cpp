#include "config/brand_folder.h"

#include <windows.h>

#include <vector>

#include "foundation/folders.h"
#include "foundation/logger.h"
#include "foundation/maker_registry.h"
#include "foundation/text_convert.h"

namespace {

const wchar_t kMakerName[] = L"Pellavorine";

std::wstring WithBackslash(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

// "brand\\", or nothing for an empty brand.
std::wstring BrandPart(const std::wstring& brand) { return brand.empty() ? std::wstring() : brand + L"\\"; }

// Folders outside a drive's download folder always carry a name, so that
// the installer never scatters packages into a bare system folder.
std::wstring BrandOrMaker(const std::wstring& brand) { return brand.empty() ? kMakerName : brand; }

std::wstring WindowsDriveRoot() {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (length < 3 || length >= MAX_PATH) return {};
  return std::wstring(windows, 3);
}

}  // namespace

std::wstring LargestDiskFolder(const std::wstring& brand) {
  std::wstring best;
  unsigned long long bestFree = 0;
  for (const std::wstring& drive : FixedDrives()) {
    const unsigned long long free = FreeBytes(drive);
    if (best.empty() || free > bestFree) {
      best = drive;
      bestFree = free;
    }
  }
  if (best.empty()) return {};
  if (best == WindowsDriveRoot()) {
    const std::wstring folder = PublicDocumentsFolder() + L"\\" + BrandOrMaker(brand) + L"\\";
    CreateFolderTree(folder);
    return folder;
  }
  const std::wstring folder = best + BrandPart(brand) + L"Download\\";
  if (!CreateFolderTree(folder)) LOG_ERROR("create folder=[%s] failed!", WideToAnsi(folder).c_str());
  return folder;
}

std::wstring BrandFolder(const std::wstring& brand, bool skipExisting) {
  std::wstring folder;
  if (!skipExisting) {
    for (const std::wstring& drive : FixedDrives()) {
      const std::wstring candidate = drive + BrandPart(brand) + L"Download\\";
      if (FolderExists(candidate)) folder = candidate;
    }
  }
  if (folder.empty()) folder = LargestDiskFolder(brand);
  if (FolderWritable(folder)) return folder;
  int error = static_cast<int>(::GetLastError());
  LOG_WARN("get default folder=[%s] failed, err=[%d].", WideToAnsi(folder).c_str(), error);

  folder = FolderOfPath(OwnExePath()) + L"\\" + BrandOrMaker(brand) + L"\\";
  CreateFolderTree(folder);
  if (FolderWritable(folder)) return folder;
  error = static_cast<int>(::GetLastError());
  LOG_WARN("get exe folder=[%s] failed, err=[%d].", WideToAnsi(folder).c_str(), error);

  folder = TempFolder() + BrandOrMaker(brand) + L"\\";
  CreateFolderTree(folder);
  if (!FolderWritable(folder)) {
    error = static_cast<int>(::GetLastError());
    LOG_ERROR("get temp folder=[%s] failed! err=[%d].", WideToAnsi(folder).c_str(), error);
  }
  return folder;
}

std::wstring DefaultInstallRoot(const std::wstring& serverCustomPath, const std::wstring& productCustomPath,
                                const std::wstring& brand, const std::wstring& productId) {
  std::wstring root = serverCustomPath.empty() ? productCustomPath : serverCustomPath;
  if (root.size() == 14 && ::lstrcmpiW(root.c_str(), L"%localappdata%") == 0) {
    root = WithBackslash(DesktopUserLocalAppData());
  } else if (root.size() < 3 || ::GetFileAttributesW(root.substr(0, 3).c_str()) == INVALID_FILE_ATTRIBUTES) {
    root.clear();
  }
  if (!root.empty()) return root;

  const std::wstring installed = InstalledProductValue(brand, productId, L"InstallPath");
  const size_t at = installed.find(L"\\" + brand + L"\\");
  if (at == std::wstring::npos) return {};
  return installed.substr(0, at + 1);
}
