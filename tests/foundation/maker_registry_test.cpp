#include "foundation/maker_registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "foundation/folders.h"
#include "foundation/win_handles.h"

namespace {

const wchar_t kBrand[] = L"QivTestBrand";
const wchar_t kDovrikitKey[] = L"Software\\QivTestBrand\\QivTestBrand Dovrikit";
const wchar_t kMuxKey[] = L"Software\\QivTestBrand\\MUX";
const wchar_t kMuxCxKey[] = L"Software\\MuxCX";
const wchar_t kLormexKey[] = L"Software\\Pellavorine\\Pellavorine Lormex";
const wchar_t kLayersKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
const wchar_t kUserKey[] = L"Software\\QivTestBrand\\Window";
const wchar_t kLayerProgram[] = L"C:\\QivTestBrand\\setup.exe";

bool Wow64() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// The views to look at: both on 64-bit Windows, the one registry elsewhere.
std::vector<REGSAM> Views() {
  if (Wow64()) return {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
  return {0};
}
REGSAM View32() { return Wow64() ? KEY_WOW64_32KEY : 0; }
REGSAM View64() { return Wow64() ? KEY_WOW64_64KEY : 0; }

void SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text, REGSAM view) {
  UniqueKey key;
  ASSERT_EQ(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

void SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value) {
  UniqueKey key;
  ASSERT_EQ(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
            ERROR_SUCCESS);
}

// The stored text, or "<missing>".
std::wstring GetText(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view) {
  UniqueKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return L"<missing>";
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return L"<missing>";
  }
  return buffer;
}

void DeleteTree(HKEY root, const wchar_t* parentPath, const wchar_t* child, REGSAM view) {
  UniqueKey parent;
  if (::RegOpenKeyExW(root, parentPath, 0, KEY_ALL_ACCESS | view, parent.put()) != ERROR_SUCCESS) return;
  ::RegDeleteTreeW(parent.get(), child);
}

// Removes a parent key that a test created on its way, unless something else
// lives in it.
void DeleteKeyIfEmpty(HKEY root, const wchar_t* parentPath, const wchar_t* child, REGSAM view) {
  UniqueKey parent;
  if (::RegOpenKeyExW(root, parentPath, 0, KEY_ALL_ACCESS | view, parent.put()) != ERROR_SUCCESS) return;
  UniqueKey key;
  if (::RegOpenKeyExW(parent.get(), child, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  DWORD subkeys = 1;
  DWORD values = 1;
  if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS ||
      subkeys != 0 || values != 0) {
    return;
  }
  key.reset();
  ::RegDeleteTreeW(parent.get(), child);
}

void DeleteValue(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view) {
  UniqueKey key;
  if (::RegOpenKeyExW(root, path, 0, KEY_SET_VALUE | view, key.put()) != ERROR_SUCCESS) return;
  ::RegDeleteValueW(key.get(), name);
}

// Every key and value these tests create, in every view, before and after
// each test: the tests run against the prefix's real registry.
class MakerRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }

  static void Clean() {
    DeleteTree(HKEY_CURRENT_USER, L"Software", kBrand, 0);
    for (const REGSAM view : Views()) {
      DeleteTree(HKEY_LOCAL_MACHINE, L"Software", kBrand, view);
      DeleteTree(HKEY_LOCAL_MACHINE, L"Software", L"MuxCX", view);
      DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Pellavorine", L"Pellavorine Lormex", view);
      DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, L"Software", L"Pellavorine", view);
      DeleteValue(HKEY_LOCAL_MACHINE, kLayersKey, kLayerProgram, view);
    }
  }
};

const std::wregex kSignForm(L"\\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}G\\}");

struct SignCase {
  const wchar_t* currentUser;  // nullptr: no value there
  const wchar_t* localMachine;
  const wchar_t* mux;
  const wchar_t* expected;
};

TEST_F(MakerRegistryTest, ClientSignIsReadFromTheFirstKeyThatHoldsOne) {
  const SignCase cases[] = {
      {L"{user}", L"{machine}", L"{mux}", L"{user}"},
      {nullptr, L"{machine}", L"{mux}", L"{machine}"},
      {nullptr, nullptr, L"{mux}", L"{mux}"},
      {L"", L"", L"{mux}", L"{mux}"},  // an empty value counts as none
  };
  for (const SignCase& c : cases) {
    Clean();
    if (c.currentUser) SetText(HKEY_CURRENT_USER, kDovrikitKey, L"ClientSign", c.currentUser, 0);
    if (c.localMachine) SetText(HKEY_LOCAL_MACHINE, kDovrikitKey, L"ClientSign", c.localMachine, View32());
    if (c.mux) SetText(HKEY_LOCAL_MACHINE, kMuxKey, L"ClientSign", c.mux, View32());
    EXPECT_EQ(GetClientSign(kBrand), c.expected);
  }
}

TEST_F(MakerRegistryTest, ClientSignFoundUnderMuxIsNotRegenerated) {
  SetText(HKEY_LOCAL_MACHINE, kMuxKey, L"ClientSign", L"{mux-only}", View32());
  EXPECT_EQ(GetClientSign(kBrand), L"{mux-only}");
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kDovrikitKey, L"ClientSign", View32()), L"<missing>");
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kMuxKey, L"ClientSign", View32()), L"{mux-only}");
}

TEST_F(MakerRegistryTest, NewClientSignIsStoredInBothMachineKeys) {
  const std::wstring sign = GetClientSign(kBrand);
  EXPECT_TRUE(std::regex_match(sign, kSignForm)) << sign;
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kDovrikitKey, L"ClientSign", View32()), sign);
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kMuxKey, L"ClientSign", View32()), sign);
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, kDovrikitKey, L"ClientSign", 0), L"<missing>");
  EXPECT_EQ(GetClientSign(kBrand), sign);
}

TEST_F(MakerRegistryTest, ClientSignLongerThanItsBufferCountsAsMissing) {
  // 50 characters and the terminator need 102 bytes, two more than the buffer holds.
  const std::wstring tooLong(50, L'x');
  SetText(HKEY_CURRENT_USER, kDovrikitKey, L"ClientSign", tooLong, 0);
  SetText(HKEY_LOCAL_MACHINE, kMuxKey, L"ClientSign", tooLong, View32());
  const std::wstring sign = GetClientSign(kBrand);
  EXPECT_TRUE(std::regex_match(sign, kSignForm)) << sign;
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kMuxKey, L"ClientSign", View32()), sign);

  // 49 characters with the terminator fill the 100 bytes exactly and are read.
  Clean();
  const std::wstring fits(49, L'y');
  SetText(HKEY_CURRENT_USER, kDovrikitKey, L"ClientSign", fits, 0);
  EXPECT_EQ(GetClientSign(kBrand), fits);
}

TEST_F(MakerRegistryTest, ClientSignOfAnUnusableBrandIsEmpty) {
  EXPECT_EQ(GetClientSign(L""), L"");
  EXPECT_EQ(GetClientSign(std::wstring(2000, L'b')), L"");
}

TEST_F(MakerRegistryTest, ChannelRegistrationKeepsAnExistingDefault) {
  EXPECT_EQ(DefaultChannel(), L"");
  ASSERT_TRUE(RegisterChannel(L"app1", L"first"));
  ASSERT_TRUE(RegisterChannel(L"app2", L"second"));
  ASSERT_TRUE(RegisterChannel(L"app1", L"third"));
  EXPECT_EQ(DefaultChannel(), L"first");
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kMuxCxKey, nullptr, View64()), L"first");
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kMuxCxKey, L"app1", View64()), L"third");
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kMuxCxKey, L"app2", View64()), L"second");
  // The key lives in the 64-bit view only.
  if (Wow64()) {
    EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kMuxCxKey, L"app1", KEY_WOW64_32KEY), L"<missing>");
  }
}

TEST_F(MakerRegistryTest, ChannelRegistrationFillsAnEmptyDefault) {
  SetText(HKEY_LOCAL_MACHINE, kMuxCxKey, nullptr, L"", View64());
  ASSERT_TRUE(RegisterChannel(L"10001", L"web"));
  EXPECT_EQ(DefaultChannel(), L"web");
  // An empty id would name the default value itself.
  EXPECT_FALSE(RegisterChannel(L"", L"other"));
  EXPECT_EQ(DefaultChannel(), L"web");
}

// One subkey of the brand key as an installer may leave it.
struct ProductRecord {
  const wchar_t* subkey;
  DWORD pid;
  const wchar_t* installInfo;  // nullptr: value absent
  const wchar_t* installDate;
  const wchar_t* installPath;
  const wchar_t* version;
};

TEST_F(MakerRegistryTest, InstalledProductIsTheLastMatchingSubkey) {
  // Subkeys are visited in the registry's (alphabetical) order.
  const ProductRecord records[] = {
      {L"a_first", 123, L"info", nullptr, L"C:\\first", L"1.0.0"},
      {L"b_other_product", 456, L"info", nullptr, L"C:\\other", L"9.0.0"},
      {L"c_second", 123, nullptr, L"20240101", L"C:\\second", L"2.0.0"},
      {L"d_no_stamp", 123, nullptr, nullptr, L"C:\\unstamped", L"3.0.0"},
      {L"e_empty_stamp", 123, L"", L"", L"C:\\empty", L"4.0.0"},
  };
  for (const ProductRecord& r : records) {
    const std::wstring path = std::wstring(L"Software\\QivTestBrand\\") + r.subkey;
    SetDword(HKEY_LOCAL_MACHINE, path, L"PID", r.pid);
    if (r.installInfo) SetText(HKEY_LOCAL_MACHINE, path, L"InstallInfo", r.installInfo, 0);
    if (r.installDate) SetText(HKEY_LOCAL_MACHINE, path, L"InstallDate", r.installDate, 0);
    SetText(HKEY_LOCAL_MACHINE, path, L"InstallPath", r.installPath, 0);
    SetText(HKEY_LOCAL_MACHINE, path, L"Version", r.version, 0);
  }
  EXPECT_EQ(InstalledProductValue(kBrand, L"123", L"InstallPath"), L"C:\\second");
  EXPECT_EQ(InstalledProductValue(kBrand, L"123", L"Version"), L"2.0.0");
  EXPECT_EQ(InstalledProductValue(kBrand, L"123", L"InstallName"), L"");
  EXPECT_EQ(InstalledProductValue(kBrand, L"456", L"InstallPath"), L"C:\\other");
  EXPECT_EQ(InstalledProductValue(kBrand, L"0123", L"InstallPath"), L"");
  EXPECT_EQ(InstalledProductValue(kBrand, L"789", L"InstallPath"), L"");
  EXPECT_EQ(InstalledProductValue(L"QivNoSuchBrand", L"123", L"InstallPath"), L"");
  EXPECT_EQ(InstalledProductValue(L"", L"123", L"InstallPath"), L"");
  EXPECT_EQ(InstalledProductValue(std::wstring(2000, L'b'), L"123", L"InstallPath"), L"");
  EXPECT_EQ(InstalledProductValue(kBrand, std::wstring(2000, L'1'), L"InstallPath"), L"");
}

TEST_F(MakerRegistryTest, InstalledPathLongerThanItsBufferCountsAsMissing) {
  const std::wstring path = L"Software\\QivTestBrand\\product";
  SetDword(HKEY_LOCAL_MACHINE, path, L"PID", 5);
  SetText(HKEY_LOCAL_MACHINE, path, L"InstallInfo", L"info", 0);
  SetText(HKEY_LOCAL_MACHINE, path, L"InstallPath", std::wstring(260, L'p'), 0);
  SetText(HKEY_LOCAL_MACHINE, path, L"Version", std::wstring(259, L'v'), 0);
  EXPECT_EQ(InstalledProductValue(kBrand, L"5", L"InstallPath"), L"");
  EXPECT_EQ(InstalledProductValue(kBrand, L"5", L"Version"), std::wstring(259, L'v'));
}

TEST_F(MakerRegistryTest, LormexIsTheFirstViewNamingAnExistingPath) {
  const std::wstring existing = TempFolder();
  const std::wstring missing = TempFolder() + L"qiv_no_such_lormex\\lormex.exe";
  EXPECT_FALSE(IsLormexInstalled());
  EXPECT_EQ(LormexInstallPath(), L"");

  SetText(HKEY_LOCAL_MACHINE, kLormexKey, L"InstallName", missing, View64());
  EXPECT_FALSE(IsLormexInstalled());

  if (Wow64()) {
    // The 64-bit view is asked first; a missing path there falls back to the 32-bit view.
    SetText(HKEY_LOCAL_MACHINE, kLormexKey, L"InstallName", existing, KEY_WOW64_32KEY);
    EXPECT_EQ(LormexInstallPath(), existing);
    const std::wstring system64 = L"C:\\windows";
    SetText(HKEY_LOCAL_MACHINE, kLormexKey, L"InstallName", system64, KEY_WOW64_64KEY);
    EXPECT_EQ(LormexInstallPath(), system64);
  } else {
    SetText(HKEY_LOCAL_MACHINE, kLormexKey, L"InstallName", existing, 0);
    EXPECT_EQ(LormexInstallPath(), existing);
  }
  EXPECT_TRUE(IsLormexInstalled());
}

TEST_F(MakerRegistryTest, CompatibilityLayerIsWrittenInBothViews) {
  ASSERT_TRUE(SetCompatibilityLayer(L"WIN7RTM", kLayerProgram));
  for (const REGSAM view : Views()) EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kLayersKey, kLayerProgram, view), L"WIN7RTM");

  const std::wstring layers = L"RUNASADMIN WINXPSP3 DISABLETHEMES HIGHDPIAWARE 640X480 256COLOR";
  ASSERT_TRUE(SetCompatibilityLayer(layers, kLayerProgram));
  for (const REGSAM view : Views()) {
    EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, kLayersKey, kLayerProgram, view), layers.substr(0, 49));
  }

  EXPECT_FALSE(SetCompatibilityLayer(L"WIN7RTM", L""));
  EXPECT_FALSE(SetCompatibilityLayer(L"WIN7RTM", std::wstring(2000, L'p')));
}

TEST_F(MakerRegistryTest, UserDwordRoundTrip) {
  DWORD value = 7;
  EXPECT_FALSE(ReadUserDword(kUserKey, L"SecureProtocols", &value));
  EXPECT_EQ(value, 7u);
  ASSERT_TRUE(WriteUserDword(kUserKey, L"SecureProtocols", 0xA80));
  ASSERT_TRUE(ReadUserDword(kUserKey, L"SecureProtocols", &value));
  EXPECT_EQ(value, 0xA80u);
  // A text value is no 32-bit value.
  SetText(HKEY_CURRENT_USER, kUserKey, L"Text", L"12", 0);
  EXPECT_FALSE(ReadUserDword(kUserKey, L"Text", &value));
  EXPECT_FALSE(ReadUserDword(std::wstring(2000, L'k'), L"SecureProtocols", &value));
  EXPECT_FALSE(WriteUserDword(std::wstring(2000, L'k'), L"SecureProtocols", 1));
}

}  // namespace
