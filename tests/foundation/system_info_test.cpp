#include "foundation/system_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "foundation/folders.h"

namespace {

// What the prefix really is, asked without the code under test.
bool ProcessIsWow64() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  ::GetSystemDirectoryW(folder, MAX_PATH);
  return folder;
}

}  // namespace

TEST(SystemInfoTest, WindowsBitnessIsThatOfThePrefix) { EXPECT_EQ(IsWindows64(), ProcessIsWow64()); }

TEST(SystemInfoTest, ProgramFilesFoldersFollowTheBitness) {
  const std::wstring folder32 = ProgramFilesFolder32();
  const std::wstring folder64 = ProgramFilesFolder64();
  if (ProcessIsWow64()) {
    EXPECT_EQ(folder32, Environment(L"ProgramFiles(x86)") + L"\\");
    ASSERT_GT(folder32.size(), 7u);
    EXPECT_EQ(folder32.substr(folder32.size() - 7), L" (x86)\\");
    EXPECT_EQ(folder64, folder32.substr(0, folder32.size() - 7) + L"\\");
    EXPECT_TRUE(FolderExists(folder64));
  } else {
    EXPECT_EQ(folder32, Environment(L"ProgramFiles") + L"\\");
    EXPECT_EQ(folder64, L"");
  }
  EXPECT_TRUE(FolderExists(folder32));
}

TEST(SystemInfoTest, VersionTextsHaveTheirForms) {
  EXPECT_TRUE(std::regex_match(WindowsVersionText(), std::wregex(L"\\d+\\.\\d+\\.\\d+")));
  const std::wstring browser = BrowserVersionText();
  EXPECT_TRUE(browser == L"-" || std::regex_match(browser, std::wregex(L"\\d+(\\.\\d+)*"))) << browser;
  EXPECT_TRUE(std::regex_match(LocalTimeText(), std::wregex(L"20\\d{12}")));
}

TEST(SystemInfoTest, FileVersionComesFromTheVersionResource) {
  std::wstring version;
  EXPECT_TRUE(GetFileVersionText(SystemFolder() + L"\\kernel32.dll", &version));
  EXPECT_TRUE(std::regex_match(version, std::wregex(L"\\d+\\.\\d+\\.\\d+\\.\\d+"))) << version;

  // A file without version information, a missing one, and paths that are no paths.
  const std::wstring plain = TempFolder() + L"qiv_no_version.txt";
  std::ofstream(plain.c_str()) << "no resources here";
  version = L"unchanged";
  EXPECT_FALSE(GetFileVersionText(plain, &version));
  ::DeleteFileW(plain.c_str());
  EXPECT_FALSE(GetFileVersionText(plain, &version));
  EXPECT_FALSE(GetFileVersionText(L"", &version));
  EXPECT_FALSE(GetFileVersionText(std::wstring(2000, L'a'), &version));
  EXPECT_EQ(version, L"unchanged");
}

struct VersionCase {
  const wchar_t* a;
  const wchar_t* b;
  int expected;
};

TEST(SystemInfoTest, CompareVersionUsesTheFirstThreeNumbers) {
  const VersionCase cases[] = {
      {L"1.2.3.4", L"1.2.3.9", 0},   // the fourth number does not take part
      {L"1.2.10", L"1.2.9", 1},      // numbers, not texts
      {L"1.2.9", L"1.2.10", -1},
      {L"2.0", L"1.9.9.9", 1},
      {L"1.2", L"1.2.0.7", 0},       // missing numbers are 0
      {L"1.3.0", L"1.2.99", 1},
      {L"", L"0.0.0", 0},
      {L"", L"0.0.1", -1},
      {L"10.0.0", L"9.99.99", 1},
      {L"1.2.3.4.5", L"1.2.3", 0},   // more than four numbers: the rest is ignored
  };
  for (const VersionCase& c : cases) {
    EXPECT_EQ(CompareVersion(c.a, c.b), c.expected) << c.a << L" vs " << c.b;
  }
}

TEST(SystemInfoTest, NumberTexts) {
  EXPECT_EQ(NumberText(0), L"0");
  EXPECT_EQ(NumberText(18446744073709551615ull), L"18446744073709551615");
  EXPECT_EQ(SignedNumberText(-9223372036854775807ll - 1), L"-9223372036854775808");
}
