#include "foundation/window_utils.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <utility>

#include "foundation/folders.h"
#include "foundation/win_handles.h"

namespace {

const wchar_t kClassName[] = L"QivWindowUtilsTest";
const std::wstring kTooLong(2000, L'x');

struct WindowTraits {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static void Close(Type window) { ::DestroyWindow(window); }
};
using UniqueWindow = UniqueResource<WindowTraits>;

UniqueWindow MakeWindow(const wchar_t* title, DWORD style, int x, int y, int width, int height) {
  static const ATOM registered = [] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    return ::RegisterClassW(&windowClass);
  }();
  if (!registered) return UniqueWindow();
  return UniqueWindow(::CreateWindowExW(0, kClassName, title, style, x, y, width, height, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr));
}

std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

TEST(WindowUtilsTest, BringOtherInstanceForwardRestoresTheWindow) {
  UniqueWindow minimised = MakeWindow(L"Qiv Test Instance", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200);
  ASSERT_TRUE(minimised);
  ::ShowWindow(minimised.get(), SW_MINIMIZE);
  ASSERT_TRUE(::IsIconic(minimised.get()));
  EXPECT_TRUE(BringOtherInstanceForward(kClassName, L"Qiv Test Instance"));
  EXPECT_FALSE(::IsIconic(minimised.get()));
  EXPECT_TRUE(::IsWindowVisible(minimised.get()));

  UniqueWindow hidden = MakeWindow(L"Qiv Hidden Instance", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200);
  ASSERT_TRUE(hidden);
  EXPECT_TRUE(BringOtherInstanceForward(kClassName, L"Qiv Hidden Instance"));
  EXPECT_TRUE(::IsWindowVisible(hidden.get()));

  EXPECT_FALSE(BringOtherInstanceForward(kClassName, L"Qiv No Such Instance"));
  EXPECT_FALSE(BringOtherInstanceForward(L"", L""));
  EXPECT_FALSE(BringOtherInstanceForward(kTooLong, kTooLong));
}

TEST(WindowUtilsTest, CenterWindowOnScreen) {
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  UniqueWindow window = MakeWindow(L"Qiv Centred", WS_POPUP, 3, 4, 300, 200);
  ASSERT_TRUE(window);
  CenterWindowOnScreen(window.get());
  RECT rect;
  ASSERT_TRUE(::GetWindowRect(window.get(), &rect));
  EXPECT_EQ(rect.left, (screenWidth - 300) / 2);
  EXPECT_EQ(rect.top, (screenHeight - 200) / 2);
  EXPECT_EQ(rect.right - rect.left, 300);
  EXPECT_EQ(rect.bottom - rect.top, 200);

  CenterWindowOnScreen(nullptr);  // no window, nothing to do
}

// Answers the folder dialog on the thread that shows it: at its activation
// the dialog is complete, so the hook looks for the title, selects a folder
// (or not) and presses OK or Cancel through posted messages.
struct DialogScript {
  const wchar_t* title = L"";
  const wchar_t* select = nullptr;  // nullptr: cancel
  bool dialogSeen = false;
  bool titleSeen = false;
};
DialogScript* g_script = nullptr;
HHOOK g_hook = nullptr;

BOOL CALLBACK FindTitle(HWND child, LPARAM) {
  wchar_t text[256] = {};
  ::GetWindowTextW(child, text, 256);
  if (std::wcscmp(text, g_script->title) == 0) g_script->titleSeen = true;
  return TRUE;
}

LRESULT CALLBACK DialogHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_script && !g_script->dialogSeen) {
    const HWND dialog = reinterpret_cast<HWND>(wParam);
    wchar_t className[32] = {};
    ::GetClassNameW(dialog, className, 32);
    if (std::wcscmp(className, L"#32770") == 0) {
      g_script->dialogSeen = true;
      ::EnumChildWindows(dialog, FindTitle, 0);
      if (g_script->select) {
        ::PostMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(g_script->select));
      }
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(g_script->select ? IDOK : IDCANCEL, BN_CLICKED), 0);
    }
  }
  return ::CallNextHookEx(g_hook, code, wParam, lParam);
}

std::wstring Browse(DialogScript* script) {
  g_script = script;
  g_hook = ::SetWindowsHookExW(WH_CBT, DialogHook, nullptr, ::GetCurrentThreadId());
  const std::wstring result = BrowseForFolder(nullptr, script->title);
  ::UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;
  g_script = nullptr;
  return result;
}

TEST(WindowUtilsTest, BrowseForFolderReturnsTheChosenFolder) {
  const std::wstring folder = TempFolder() + L"qiv_browse_" + std::to_wstring(::GetCurrentProcessId());
  ASSERT_TRUE(CreateFolderTree(folder));
  DialogScript choose;
  choose.title = L"Choose the install folder";
  choose.select = folder.c_str();
  const std::wstring chosen = Browse(&choose);
  ::RemoveDirectoryW(folder.c_str());
  EXPECT_TRUE(choose.dialogSeen);
  EXPECT_TRUE(choose.titleSeen);
  EXPECT_EQ(::lstrcmpiW(chosen.c_str(), folder.c_str()), 0) << chosen;

  DialogScript cancel;
  cancel.title = L"Cancelled";
  EXPECT_EQ(Browse(&cancel), L"");
  EXPECT_TRUE(cancel.dialogSeen);
}

// Removes the link file a test made, whatever the test's outcome.
class LinkFile {
 public:
  explicit LinkFile(std::wstring path) : path_(std::move(path)) { ::DeleteFileW(path_.c_str()); }
  ~LinkFile() { ::DeleteFileW(path_.c_str()); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

TEST(WindowUtilsTest, CreateDesktopShortcutPointsIntoTheFolder) {
  const std::wstring folder = FolderOfPath(OwnExePath());
  LinkFile link(DesktopFolder() + L"\\qiv_child.exe.lnk");
  ASSERT_TRUE(CreateDesktopShortcut(L"qiv_child.exe", folder));
  ASSERT_TRUE(FileExists(link.path()));

  ComApartment apartment;
  ComPtr<IShellLinkW> shellLink;
  ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           shellLink.put_void())));
  ComPtr<IPersistFile> file;
  ASSERT_TRUE(SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.put_void())));
  ASSERT_TRUE(SUCCEEDED(file->Load(link.path().c_str(), STGM_READ)));
  wchar_t target[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(shellLink->GetPath(target, MAX_PATH, nullptr, 0)));
  EXPECT_EQ(::lstrcmpiW(target, (folder + L"\\qiv_child.exe").c_str()), 0) << target;
  wchar_t workingFolder[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(shellLink->GetWorkingDirectory(workingFolder, MAX_PATH)));
  EXPECT_EQ(::lstrcmpiW(workingFolder, folder.c_str()), 0) << workingFolder;
}

TEST(WindowUtilsTest, CreateDesktopShortcutRefusesUnusableNames) {
  EXPECT_FALSE(CreateDesktopShortcut(L"", L"C:\\"));
  EXPECT_FALSE(CreateDesktopShortcut(L"qiv.exe", L""));
  EXPECT_FALSE(CreateDesktopShortcut(kTooLong, L"C:\\"));
  EXPECT_FALSE(CreateDesktopShortcut(L"qiv.exe", kTooLong));
}

TEST(WindowUtilsTest, DeleteDesktopShortcutRemovesTheOwnShortcut) {
  const std::wstring own = OwnExePath();
  LinkFile link(DesktopFolder() + L"\\" + FileNameOf(own) + L".lnk");
  ASSERT_TRUE(CreateDesktopShortcut(FileNameOf(own), FolderOfPath(own)));
  ASSERT_TRUE(FileExists(link.path()));
  EXPECT_TRUE(DeleteDesktopShortcut());
  EXPECT_FALSE(FileExists(link.path()));
  // Nothing left to delete is no failure.
  EXPECT_TRUE(DeleteDesktopShortcut());
}

}  // namespace
