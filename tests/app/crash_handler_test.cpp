#include "app/crash_handler.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "foundation/folders.h"

namespace {

const char kReadOnlyData[] = "kept in a read-only section";

TEST(CrashModuleTest, FindsTheModuleAndSectionOfAnAddress) {
  CrashModuleInfo info;
  ASSERT_TRUE(LookupCrashModule(reinterpret_cast<const void*>(&LookupCrashModule), &info));
  EXPECT_EQ(info.modulePath, OwnExePath());
  EXPECT_EQ(info.sectionName, L".text");
  EXPECT_GT(info.sectionOffset, 0u);

  ASSERT_TRUE(LookupCrashModule(kReadOnlyData, &info));
  EXPECT_EQ(info.sectionName, L".rdata");
}

TEST(CrashModuleTest, AddressOutsideAnyModuleIsNotFound) {
  void* heap = ::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  CrashModuleInfo info;
  EXPECT_FALSE(LookupCrashModule(heap, &info));
  EXPECT_TRUE(info.modulePath.empty());
  EXPECT_TRUE(info.sectionName.empty());
  EXPECT_EQ(info.sectionOffset, 0u);
  ::VirtualFree(heap, 0, MEM_RELEASE);
  EXPECT_FALSE(LookupCrashModule(nullptr, &info));
}

// Each crash leaves a minidump beside the executable, replacing whatever
// file of that name was there.
TEST(CrashFilterTest, CrashWritesAMinidumpBesideTheExecutable) {
  const std::wstring bin = FolderOfPath(OwnExePath());
  const std::wstring dump = bin + L"\\qiv_crasher.exe.dmp";
  ::DeleteFileW(dump.c_str());
  for (int run = 0; run < 2; ++run) {
    if (run == 1) std::ofstream(dump.c_str(), std::ios::binary | std::ios::trunc) << "stale dump";
    std::wstring commandLine = L"\"" + bin + L"\\qiv_crasher.exe\"";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &info));
    ASSERT_EQ(::WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(info.hProcess, &code);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));

    std::ifstream in(dump.c_str(), std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    EXPECT_EQ(std::string(magic, 4), "MDMP") << "run " << run;
  }
  ::DeleteFileW(dump.c_str());
}

}  // namespace
