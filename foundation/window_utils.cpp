#include "foundation/window_utils.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include "foundation/folders.h"
#include "foundation/win_handles.h"

namespace {

struct ItemIdListTraits {  // shell item id lists handed out by the shell
  using Type = LPITEMIDLIST;
  static Type Invalid() { return nullptr; }
  static void Close(Type list) { ::CoTaskMemFree(list); }
};
using UniqueItemIdList = UniqueResource<ItemIdListTraits>;

std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

std::wstring FileNameOfPath(const std::wstring& path) {
  const size_t last = path.rfind(L'\\');
  return last == std::wstring::npos ? path : path.substr(last + 1);
}

}  // namespace

bool BringOtherInstanceForward(const std::wstring& className, const std::wstring& title) {
  HWND other = ::FindWindowW(className.c_str(), title.c_str());
  if (!other) return false;
  ::ShowWindow(other, ::IsIconic(other) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(::GetLastActivePopup(other));
  return true;
}

void CenterWindowOnScreen(HWND window) {
  RECT rect;
  if (!window || !::IsWindow(window) || !::GetWindowRect(window, &rect)) return;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  // A window larger than the screen keeps its title bar reachable.
  const int x = std::max(0, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  const int y = std::max(0, (::GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring BrowseForFolder(HWND owner, const std::wstring& title) {
  // The dialog's tree and edit controls are shell COM objects.
  ComApartment apartment;
  UniqueItemIdList computer;
  if (FAILED(::SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, computer.put()))) return {};
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pidlRoot = computer.get();
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  UniqueItemIdList chosen(::SHBrowseForFolderW(&info));
  if (!chosen) return {};
  wchar_t path[MAX_PATH] = {};
  if (!::SHGetPathFromIDListW(chosen.get(), path)) return {};
  return path;
}

bool CreateDesktopShortcut(const std::wstring& fileName, const std::wstring& folder) {
  if (fileName.empty() || folder.empty()) return false;
  const std::wstring desktop = DesktopFolder();
  if (desktop.empty()) return false;
  const std::wstring target = folder + L"\\" + fileName;
  const std::wstring link = desktop + L"\\" + fileName + L".lnk";
  // A shell link stores paths of at most MAX_PATH characters.
  if (target.size() >= MAX_PATH || link.size() >= MAX_PATH) return false;

  ComApartment apartment;
  ComPtr<IShellLinkW> shellLink;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                shellLink.put_void()))) {
    return false;
  }
  if (FAILED(shellLink->SetPath(target.c_str())) || FAILED(shellLink->SetWorkingDirectory(folder.c_str())))
    return false;
  ComPtr<IPersistFile> file;
  if (FAILED(shellLink->QueryInterface(IID_IPersistFile, file.put_void()))) return false;
  return SUCCEEDED(file->Save(link.c_str(), TRUE));
}

bool DeleteDesktopShortcut() {
  const std::wstring desktop = DesktopFolder();
  const std::wstring exeName = FileNameOfPath(OwnExePath());
  if (desktop.empty() || exeName.empty()) return false;
  const std::wstring link = desktop + L"\\" + exeName + L".lnk";
  // The shell takes a list of names that ends with an empty one: the string's
  // own terminator follows this extra NUL.
  std::wstring from = link;
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  if (::SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted) ::DeleteFileW(link.c_str());
  return ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES;
}
