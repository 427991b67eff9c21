#include <gtest/gtest.h>

#include <string>

#include "foundation/folders.h"
#include "tests/downloader/download_fixture.h"

namespace {

// qivdl.exe as a child process with its output in a file.
class Qivdl {
 public:
  bool Start(const std::wstring& arguments, const std::wstring& outputPath) {
    const std::wstring exe = FolderOfPath(OwnExePath()) + L"\\qivdl.exe";
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    output_ = ::CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output_;
    startup.hStdError = output_;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    return ::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &process_) != FALSE;
  }
  // The exit code, or -1 when it did not end in time.
  int Wait(DWORD timeoutMs = 120000) {
    if (::WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<int>(code);
  }
  void Kill() {
    ::TerminateProcess(process_.hProcess, 99);
    ::WaitForSingleObject(process_.hProcess, 10000);
  }
  ~Qivdl() {
    if (process_.hProcess) {
      ::TerminateProcess(process_.hProcess, 99);
      ::CloseHandle(process_.hProcess);
      ::CloseHandle(process_.hThread);
    }
    if (output_ != INVALID_HANDLE_VALUE) ::CloseHandle(output_);
  }

 private:
  PROCESS_INFORMATION process_ = {};
  HANDLE output_ = INVALID_HANDLE_VALUE;
};

class QivdlTest : public DownloadTest {};

TEST_F(QivdlTest, PrintsEveryNotificationAndAClosingLine) {
  const std::string content = RandomBytes(200000, 40);
  Resource resource;
  resource.content = content;
  server_.Put("/tool/pkg.exe", resource);
  Qivdl qivdl;
  const std::wstring output = folder_ + L"out.txt";
  ASSERT_TRUE(qivdl.Start(AnsiToWide(server_.Url("/tool/pkg.exe")) + L" --out " + QuotedFolder() + L" --name app.exe" +
                              L" --workers 3 --md5 " + AnsiToWide(Md5Of(content)),
                          output));
  ASSERT_EQ(qivdl.Wait(), 0);
  const std::string text = ReadAll(output);
  EXPECT_EQ(ReadAll(folder_ + L"app.exe"), content);
  EXPECT_NE(text.find("notify type=17 worker=-1"), std::string::npos) << text;
  EXPECT_NE(text.find("notify type=0 worker=-1 value=pkg.exe"), std::string::npos) << text;
  EXPECT_NE(text.find("notify type=4 worker=2 value="), std::string::npos) << text;
  EXPECT_EQ(text.find("worker=3 "), std::string::npos) << text;
  EXPECT_NE(text.find("notify type=11 worker=-1 value=" + Md5Of(content)), std::string::npos) << text;
  const std::string closing = "result=0 file=" + WideToAnsi(folder_) + "app.exe bytes=200000 seconds=";
  EXPECT_NE(text.find(closing), std::string::npos) << text;
}

TEST_F(QivdlTest, ABadCommandLineExitsWithTwo) {
  Qivdl qivdl;
  ASSERT_TRUE(qivdl.Start(L"http://127.0.0.1/f.exe --workers 99", folder_ + L"usage.txt"));
  EXPECT_EQ(qivdl.Wait(), 2);
  EXPECT_NE(ReadAll(folder_ + L"usage.txt").find("usage: qivdl URL --out FOLDER"), std::string::npos);
}

TEST_F(QivdlTest, AKilledDownloadResumesWithOnlyTheUnwrittenBytes) {
  const std::string content = RandomBytes(6 * 500000, 41);
  server_.Put("/kill/pkg.bin", StallingWorkers(content, 400000));
  const std::wstring arguments = AnsiToWide(server_.Url("/kill/pkg.bin")) + L" --out " + QuotedFolder() + L" --md5 " +
                                 AnsiToWide(Md5Of(content)) + L" --quiet";
  const std::wstring temp = folder_ + L"pkg.bin.~P2S";
  SavedRecords saved;
  {
    Qivdl first;
    ASSERT_TRUE(first.Start(arguments, folder_ + L"first.txt"));
    // The job saves its records every couple of seconds while it waits; once
    // they show every worker's first full buffer, the process is killed.
    HANDLE change = ::FindFirstChangeNotificationW(folder_.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE |
                                                                              FILE_NOTIFY_CHANGE_SIZE);
    const DWORD deadline = ::GetTickCount() + 60000;
    while (::GetTickCount() < deadline) {
      saved = ReadRecords(temp, 6);
      if (saved.count == 6 && saved.WrittenSum() >= 6 * 368640) break;
      // Another process writes the file: its change notification is what
      // there is to wait on (bounded, in case a write is not reported).
      ::WaitForSingleObject(change, 500);
      ::FindNextChangeNotification(change);
    }
    ::FindCloseChangeNotification(change);
    ASSERT_GE(saved.WrittenSum(), 6 * 368640);
    first.Kill();
  }
  saved = ReadRecords(temp, 6);

  Resource plain;
  plain.content = content;
  server_.Put("/kill/pkg.bin", plain);
  server_.ClearJournal();
  Qivdl second;
  ASSERT_TRUE(second.Start(arguments, folder_ + L"second.txt"));
  ASSERT_EQ(second.Wait(), 0) << ReadAll(folder_ + L"second.txt");
  EXPECT_EQ(ReadAll(folder_ + L"pkg.bin"), content);
  ExpectOnlyUnwrittenBytesAsked(saved, server_.Journal());
}

}  // namespace
