#include "foundation/folders.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

const std::wstring kTooLong(2000, L'x');

std::wstring WindowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  ::GetWindowsDirectoryW(folder, MAX_PATH);
  return folder;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh folder under the temporary folder, removed again with its content.
class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempFolder() + L"qiv_folders_test_" + std::to_wstring(::GetCurrentProcessId());
    RemoveRoot();
    ASSERT_TRUE(::CreateDirectoryW(root_.c_str(), nullptr));
  }
  void TearDown() override { RemoveRoot(); }

  void RemoveRoot() {
    std::wstring from = root_;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    ::SHFileOperationW(&operation);
  }

  std::wstring root_;
};

TEST_F(FoldersTest, TempFolderEndsInABackslashAndExists) {
  const std::wstring temp = TempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  EXPECT_TRUE(FolderExists(temp));
}

TEST_F(FoldersTest, CreateFolderTreeCreatesMissingParents) {
  const std::wstring deep = root_ + L"\\a\\b\\c";
  EXPECT_FALSE(FolderExists(deep));
  EXPECT_TRUE(CreateFolderTree(deep + L"\\"));
  EXPECT_TRUE(FolderExists(deep));
  EXPECT_TRUE(CreateFolderTree(deep));  // already there

  // A file in the way is no folder.
  const std::wstring file = root_ + L"\\file";
  ::CloseHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_FALSE(CreateFolderTree(file + L"\\below"));

  EXPECT_FALSE(FolderExists(L""));
  EXPECT_FALSE(CreateFolderTree(L""));
  EXPECT_FALSE(FolderExists(root_ + L"\\" + kTooLong));
  EXPECT_FALSE(CreateFolderTree(root_ + L"\\" + kTooLong));
}

TEST_F(FoldersTest, FolderWritableLeavesNoProbeFile) {
  EXPECT_TRUE(FolderWritable(root_));
  EXPECT_TRUE(FolderWritable(root_ + L"\\"));
  EXPECT_FALSE(FileExists(root_ + L"\\qiv.tmp"));

  EXPECT_FALSE(FolderWritable(root_ + L"\\missing"));
  EXPECT_FALSE(FolderWritable(L""));
  EXPECT_FALSE(FolderWritable(kTooLong));
}

TEST_F(FoldersTest, FixedDrivesAndFreeBytes) {
  const std::vector<std::wstring> drives = FixedDrives();
  EXPECT_NE(std::find(drives.begin(), drives.end(), WindowsFolder().substr(0, 3)), drives.end());
  for (const std::wstring& drive : drives) {
    ASSERT_EQ(drive.size(), 3u) << drive;
    EXPECT_EQ(drive.substr(1), L":\\");
    EXPECT_EQ(::GetDriveTypeW(drive.c_str()), static_cast<UINT>(DRIVE_FIXED));
  }

  EXPECT_GT(FreeBytes(root_), 0u);
  EXPECT_EQ(FreeBytes(root_ + L"\\missing\\deeper"), 0u);
  EXPECT_EQ(FreeBytes(L""), 0u);
  EXPECT_EQ(FreeBytes(kTooLong), 0u);
}

// A window of this process posing as the shell's desktop window for as long
// as it lives, so that the desktop's owner is this process; destroying the
// window clears the shell window again.
class StandInShellWindow {
 public:
  StandInShellWindow() {
    using SetShellWindowFunction = BOOL(WINAPI*)(HWND);
    const auto setShellWindow = reinterpret_cast<SetShellWindowFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetShellWindow")));
    window_ = ::CreateWindowExW(0, L"STATIC", L"Qiv stand-in shell", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    installed_ = setShellWindow && window_ && setShellWindow(window_) && ::GetShellWindow() == window_;
  }
  ~StandInShellWindow() {
    if (window_) ::DestroyWindow(window_);
  }
  StandInShellWindow(const StandInShellWindow&) = delete;
  StandInShellWindow& operator=(const StandInShellWindow&) = delete;
  bool installed() const { return installed_; }

 private:
  HWND window_ = nullptr;
  bool installed_ = false;
};

bool ThreadImpersonates() {
  HANDLE token = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
  ::CloseHandle(token);
  return true;
}

TEST_F(FoldersTest, KnownFoldersExist) {
  EXPECT_TRUE(FolderExists(PublicDocumentsFolder())) << PublicDocumentsFolder();
}

TEST_F(FoldersTest, DesktopUserLocalAppDataAsksAsTheShellsOwner) {
  wchar_t own[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, own)));
  if (!::GetShellWindow()) {
    // Nobody owns the desktop: there is no user to ask for.
    EXPECT_EQ(DesktopUserLocalAppData(), L"");
    StandInShellWindow shell;
    ASSERT_TRUE(shell.installed());
    EXPECT_EQ(DesktopUserLocalAppData(), own);
  } else {
    // Not elevated, the desktop's owner is this very user.
    EXPECT_EQ(DesktopUserLocalAppData(), own);
  }
  EXPECT_FALSE(ThreadImpersonates());
}

struct ProtectedCase {
  std::wstring folder;
  bool expected;
};

TEST_F(FoldersTest, ProtectedFolders) {
  const std::wstring windows = WindowsFolder();
  const std::wstring drive = windows.substr(0, 3);
  const std::wstring otherDrive = drive[0] == L'C' ? L"D:\\" : L"C:\\";
  std::wstring upper = windows;
  CharUpperW(&upper[0]);
  const ProtectedCase cases[] = {
      {windows + L"\\System32\\Qiv", true},
      {windows, true},
      {upper + L"\\Temp", true},
      {drive + L"Program Files\\Product", true},
      {drive + L"Program Files (x86)\\Product\\", true},
      {drive + L"program files\\Product", true},
      {drive + L"Program Files", true},
      {windows + L"Old\\Product", false},
      {drive + L"Program Files Extra\\Product", false},
      {drive + L"Games\\Product", false},
      {otherDrive + L"Program Files\\Product", false},
      {L"", false},
      {kTooLong, false},
  };
  for (const ProtectedCase& c : cases) EXPECT_EQ(IsProtectedFolder(c.folder), c.expected) << c.folder;
}

TEST_F(FoldersTest, FolderOfPath) {
  EXPECT_EQ(FolderOfPath(L"C:\\a\\b\\setup.exe"), L"C:\\a\\b");
  EXPECT_EQ(FolderOfPath(L"C:\\a\\"), L"C:\\a");
  EXPECT_EQ(FolderOfPath(L"setup.exe"), L"setup.exe");
  EXPECT_EQ(FolderOfPath(L""), L"");
}

TEST_F(FoldersTest, OwnExePathNamesThisProgram) {
  const std::wstring path = OwnExePath();
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(path.substr(path.size() - 4), L".exe");
  EXPECT_TRUE(FileExists(path));
}

}  // namespace
