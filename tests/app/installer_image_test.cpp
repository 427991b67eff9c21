// What Windows sees of Qiv.exe before it runs: its icon and version.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "foundation/folders.h"
#include "foundation/system_info.h"
#include "foundation/win_handles.h"

namespace {

std::wstring InstallerPath() { return FolderOfPath(OwnExePath()) + L"\\Qiv.exe"; }

TEST(InstallerImageTest, CarriesIcon101AndItsVersion) {
  UniqueModule image(::LoadLibraryExW(InstallerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(image);
  EXPECT_NE(::FindResourceW(image.get(), MAKEINTRESOURCEW(101), RT_GROUP_ICON), nullptr);
  HICON icon = static_cast<HICON>(::LoadImageW(image.get(), MAKEINTRESOURCEW(101), IMAGE_ICON, 32, 32, 0));
  EXPECT_NE(icon, nullptr);
  if (icon) ::DestroyIcon(icon);

  std::wstring version;
  ASSERT_TRUE(GetFileVersionText(InstallerPath(), &version));
  EXPECT_EQ(version, L"1.0.0.1");
}

TEST(InstallerImageTest, CarriesTheSkinPackageAndTheBackgroundPicture) {
  UniqueModule image(::LoadLibraryExW(InstallerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(image);
  HRSRC skin = ::FindResourceExW(image.get(), L"ZIPRES", MAKEINTRESOURCEW(133),
                                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_NE(skin, nullptr);
  const void* bytes = ::LockResource(::LoadResource(image.get(), skin));
  ASSERT_GT(::SizeofResource(image.get(), skin), 22u);
  EXPECT_EQ(std::string(static_cast<const char*>(bytes), 4), std::string("PK\x03\x04", 4));
  EXPECT_NE(::FindResourceW(image.get(), MAKEINTRESOURCEW(136), L"PNG"), nullptr);
}

TEST(InstallerImageTest, IsA32BitGuiProgram) {
  DWORD type = 0;
  ASSERT_TRUE(::GetBinaryTypeW(InstallerPath().c_str(), &type));
  EXPECT_EQ(type, static_cast<DWORD>(SCS_32BIT_BINARY));
  UniqueModule image(::LoadLibraryExW(InstallerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(image);
  // A data-file mapping sets the low bit of the module handle.
  const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image.get()) & ~ULONG_PTR(3));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

}  // namespace
