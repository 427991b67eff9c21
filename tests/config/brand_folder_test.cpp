// Where a brand's packages go and which install root a product proposes,
// on the drives and the registry of the Wine prefix.
#include "config/brand_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "foundation/folders.h"
#include "foundation/win_handles.h"

namespace {

const wchar_t kBrand[] = L"QivBrandFolderTest";

TEST(BrandFolderTest, AnExistingDownloadFolderOfTheBrandIsReused) {
  const std::wstring existing = L"C:\\" + std::wstring(kBrand) + L"\\Download\\";
  ASSERT_TRUE(CreateFolderTree(existing));
  EXPECT_EQ(BrandFolder(kBrand, false), existing);
  ::RemoveDirectoryW(existing.c_str());
  ::RemoveDirectoryW((L"C:\\" + std::wstring(kBrand)).c_str());
}

// An installed copy recorded under the brand, as the product's own
// installer leaves it.
class InstalledCopy {
 public:
  InstalledCopy(const std::wstring& installPath, DWORD pid) {
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\" + std::wstring(kBrand) + L"\\Vantrel").c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
    ::RegSetValueExW(key_.get(), L"PID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof pid);
    SetText(L"InstallPath", installPath);
    SetText(L"InstallInfo", L"1");
  }
  ~InstalledCopy() {
    key_.reset();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\" + std::wstring(kBrand)).c_str());
  }
  bool ok() const { return static_cast<bool>(key_); }

 private:
  void SetText(const wchar_t* name, const std::wstring& value) {
    ::RegSetValueExW(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  UniqueKey key_;
};

TEST(DefaultInstallRootTest, ConfiguredPathsComeFirstThenTheInstalledCopy) {
  InstalledCopy copy(L"C:\\Apps\\QivBrandFolderTest\\Vantrel\\", 9);
  ASSERT_TRUE(copy.ok());
  struct Case {
    std::wstring server;
    std::wstring product;
    std::wstring productId;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"C:\\FromServer\\", L"C:\\FromProduct\\", L"9", L"C:\\FromServer\\"},
      {L"", L"C:\\FromProduct\\", L"9", L"C:\\FromProduct\\"},
      {L"", L"", L"9", L"C:\\Apps\\"},
      {L"", L"C:", L"9", L"C:\\Apps\\"},  // too short to name a drive
      {L"", L"", L"10", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.server.begin(), c.server.end()) + "|" + std::string(c.product.begin(), c.product.end()));
    EXPECT_EQ(DefaultInstallRoot(c.server, c.product, kBrand, c.productId), c.expected);
  }
}

}  // namespace
