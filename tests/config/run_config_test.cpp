// The run-state file on disk: its exact bytes, what a reader makes of odd
// files, and that a forked child leaves its parent's file alone.
#include "config/run_config.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "foundation/folders.h"
#include "foundation/win_handles.h"
#include "orchestrator/qiv_mgr.h"
#include "tests/net/stand_in.h"

namespace {

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary);
  out << bytes;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// One scratch run-state file per test, gone afterwards.
class RunConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = TempFolder() + L"qiv_run_config_test\\";
    CreateFolderTree(folder_);
    path_ = folder_ + L"QIV_DOWNTASK_10716.xml";
    ::DeleteFileW(path_.c_str());
  }
  void TearDown() override {
    ::DeleteFileW(path_.c_str());
    ::RemoveDirectoryW(path_.c_str());
  }

  RunConfig ReadBack(const std::string& bytes) {
    WriteBytes(path_, bytes);
    RunConfig config;
    ReadRunConfig(path_, &config);
    return config;
  }

  std::wstring folder_;
  std::wstring path_;
};

TEST_F(RunConfigTest, IsWrittenByteForByte) {
  RunConfig config;
  config.Status = L"1";
  config.SelectLang = L"\u65E5\u672C\u8A9E";
  config.InstallPath = L"D:\\A&B <x>\\";
  config.TmpPackagePath = L"C:\\dl\\Vantrel_setup.exe.~P2S";
  LogWatch log;
  WriteRunConfig(path_, config);
  EXPECT_EQ(ReadBytes(path_),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<config>\r\n"
            "<Status>1</Status>\r\n"
            "<JoinExp/>\r\n"
            "<SelectLang>\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E</SelectLang>\r\n"
            "<InstallPath>D:\\A&amp;B &lt;x&gt;\\</InstallPath>\r\n"
            "<AgreeExtInstall>1</AgreeExtInstall>\r\n"
            "<TmpPackagePath>C:\\dl\\Vantrel_setup.exe.~P2S</TmpPackagePath>\r\n"
            "</config>\r\n");
  EXPECT_EQ(log.Count(" - WriteRunConfig\n"), 1u);

  RunConfig read;
  read.AgreeExtInstall = L"changed";
  ReadRunConfig(path_, &read);
  EXPECT_EQ(read.Status, L"1");
  EXPECT_EQ(read.JoinExp, L"");
  EXPECT_EQ(read.SelectLang, config.SelectLang);
  EXPECT_EQ(read.InstallPath, config.InstallPath);
  EXPECT_EQ(read.AgreeExtInstall, L"1");
  EXPECT_EQ(read.TmpPackagePath, config.TmpPackagePath);
}

TEST_F(RunConfigTest, ReadingKeepsTheValuesOfWhatTheFileLacks) {
  struct Case {
    const char* name;
    std::string bytes;
    std::wstring status;
    std::wstring agree;
    std::wstring installPath;
    bool resume;
  };
  const std::string bigPath(4 << 20, 'p');
  const Case cases[] = {
      {"no file", "", L"0", L"1", L"", false},
      {"status 01", "<config><Status>01</Status></config>", L"01", L"1", L"", true},
      {"status 2", "<config><Status>2</Status><AgreeExtInstall></AgreeExtInstall></config>", L"2", L"", L"", false},
      {"no AgreeExtInstall", "<?xml version=\"1.0\"?>\n<config><InstallPath>E:\\x\\</InstallPath></config>", L"0", L"1",
       L"E:\\x\\", false},
      {"other root", "<run><Status>1</Status></run>", L"0", L"1", L"", false},
      {"not well formed", "<config><Status>1</Status>", L"0", L"1", L"", false},
      {"two roots", "<config><Status>1</Status></config><config/>", L"0", L"1", L"", false},
      {"not UTF-8", "<config><Status>1</Status><InstallPath>C:\\Caf\xE9\\</InstallPath></config>", L"1", L"1",
       L"C:\\Caf?\\", true},
      {"duplicated", "<config><Status>1</Status><Status>0</Status></config>", L"1", L"1", L"", true},
      {"enormous", "<config><InstallPath>" + bigPath + "</InstallPath></config>", L"0", L"1",
       std::wstring(bigPath.begin(), bigPath.end()), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::DeleteFileW(path_.c_str());
    RunConfig config;
    if (!c.bytes.empty()) WriteBytes(path_, c.bytes);
    LogWatch log;
    ReadRunConfig(path_, &config);
    EXPECT_EQ(config.Status, c.status);
    EXPECT_EQ(config.AgreeExtInstall, c.agree);
    EXPECT_EQ(config.InstallPath, c.installPath);
    EXPECT_EQ(IsResumeStatus(config), c.resume);
    EXPECT_EQ(log.Count(" - ReadRunConfig\n"), 1u);
  }
}

TEST_F(RunConfigTest, AnEmptyPathIsNeitherReadNorWritten) {
  LogWatch log;
  RunConfig config;
  config.Status = L"1";
  ReadRunConfig(L"", &config);
  WriteRunConfig(L"", config);
  EXPECT_EQ(config.Status, L"1");
  EXPECT_EQ(log.Count("RunConfig"), 0u);
}

TEST_F(RunConfigTest, AFolderOrALockedFileInThePlaceIsSurvived) {
  RunConfig config;
  config.Status = L"1";

  ASSERT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr));
  RunConfig fromFolder;
  ReadRunConfig(path_, &fromFolder);
  EXPECT_EQ(fromFolder.Status, L"0");
  WriteRunConfig(path_, config);
  EXPECT_TRUE(FolderExists(path_));
  ASSERT_TRUE(::RemoveDirectoryW(path_.c_str()));

  WriteBytes(path_, "<config><Status>1</Status></config>");
  UniqueFile lock(::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  RunConfig fromLocked;
  ReadRunConfig(path_, &fromLocked);
  EXPECT_EQ(fromLocked.Status, L"0");
  config.Status = L"0";
  WriteRunConfig(path_, config);
  lock.reset();
  EXPECT_EQ(ReadBytes(path_), "<config><Status>1</Status></config>");
}

// The manager's view: the resume flag, and that a forked child never
// touches the file.
class RunStateTest : public RunConfigTest {
 protected:
  void SetUp() override {
    RunConfigTest::SetUp();
    saved_ = mgr_.RunConfigPath();
    mgr_.SetRunConfigPath(path_);
    mgr_.Run() = RunConfig();
  }
  void TearDown() override {
    mgr_.SetFork(false);
    mgr_.SetRunConfigPath(saved_);
    mgr_.Run() = RunConfig();
    RunConfigTest::TearDown();
  }

  QivMgr& mgr_ = QivMgr::Instance();
  std::wstring saved_;
};

TEST_F(RunStateTest, NormalModeWritesReadsAndDiscards) {
  mgr_.Run().Status = L"1";
  mgr_.WriteRunConfig();
  mgr_.Run() = RunConfig();
  mgr_.ReadRunConfig();
  EXPECT_TRUE(mgr_.Resume());
  mgr_.DiscardRunState();
  EXPECT_FALSE(mgr_.Resume());
  EXPECT_FALSE(Exists(path_));
}

TEST_F(RunStateTest, AForkedChildReadsButNeverWritesOrDeletes) {
  WriteBytes(path_, "<config><Status>1</Status><SelectLang>Deutsch</SelectLang></config>");
  mgr_.SetFork(true);
  mgr_.ReadRunConfig();
  EXPECT_TRUE(mgr_.Resume());
  EXPECT_EQ(mgr_.Run().SelectLang, L"Deutsch");

  LogWatch log;
  mgr_.Run().Status = L"0";
  mgr_.WriteRunConfig();
  mgr_.DiscardRunState();
  EXPECT_FALSE(mgr_.Resume());
  EXPECT_EQ(ReadBytes(path_), "<config><Status>1</Status><SelectLang>Deutsch</SelectLang></config>");
  EXPECT_EQ(log.Count("WriteRunConfig"), 0u);
}

}  // namespace
