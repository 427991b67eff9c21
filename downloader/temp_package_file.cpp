// The temporary package file: target name rules, creation at full size, and
// the resume record kept at the file's end (one ThreadRecord per worker,
// then the record count), saved after a failed or interrupted try and
// validated before it is trusted again.
#include <algorithm>
#include <vector>

#include "downloader/download_job.h"
#include "foundation/folders.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"
#include "foundation/url_text.h"

namespace ns_JEB {

namespace {

constexpr wchar_t kTempSuffix[] = L".~P2S";
constexpr DWORD kErrorAlreadyExists = 183;
constexpr DWORD kErrorNegativeSeek = 131;
constexpr int64_t kCountBytes = 4;

bool IsAsciiAlnum(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

// The run of letters and digits after the last "." ("" when there is no
// "."), and what precedes that ".".
void SplitExtension(const std::wstring& name, std::wstring* base, std::wstring* extension) {
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) {
    *base = name;
    extension->clear();
    return;
  }
  size_t end = dot + 1;
  while (end < name.size() && IsAsciiAlnum(name[end])) ++end;
  *base = name.substr(0, dot);
  *extension = name.substr(dot + 1, end - dot - 1);
}

std::wstring LastSegment(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"/\\");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void ReplaceAll(std::wstring* text, const std::wstring& from, const std::wstring& to) {
  for (size_t at = text->find(from); at != std::wstring::npos; at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

std::wstring LowerCase(std::wstring text) {
  if (!text.empty()) ::CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

bool SeekFromEnd(HANDLE file, int64_t back) {
  LARGE_INTEGER distance;
  distance.QuadPart = -back;
  return ::SetFilePointerEx(file, distance, nullptr, FILE_END) != FALSE;
}

// The records tile the package exactly and every written count lies within
// its range; anything else (random bytes, a foreign file) is not resumed.
bool RecordsDescribeFile(std::vector<ThreadRecord>* records, int64_t fileSize) {
  std::vector<ThreadRecord> ranges;
  for (ThreadRecord& record : *records) {
    if (record.rangeLength <= 0) continue;
    if (record.rangeStart < 0 || record.written < 0 || record.rangeLength > fileSize) return false;
    // A donor cut short while it was receiving may have written a little
    // past its new end; those bytes are right, they just count once.
    record.written = std::min(record.written, record.rangeLength);
    ranges.push_back(record);
  }
  std::sort(ranges.begin(), ranges.end(),
            [](const ThreadRecord& a, const ThreadRecord& b) { return a.rangeStart < b.rangeStart; });
  int64_t next = 0;
  for (const ThreadRecord& range : ranges) {
    if (range.rangeStart != next) return false;
    next += range.rangeLength;
  }
  return next == fileSize;
}

}  // namespace

std::wstring FileNameOfPath(const std::wstring& path) {
  const std::wstring segment = LastSegment(path);
  if (segment.empty()) return std::wstring();
  std::wstring base, extension;
  SplitExtension(segment, &base, &extension);
  std::wstring name = extension.empty() ? segment : base + L"." + extension;
  ReplaceAll(&name, L"%20", L" ");
  ReplaceAll(&name, L"%2B", L"+");
  return name;
}

std::wstring CleanPathPart(const std::wstring& text, bool folderMode) {
  std::wstring clean = text;
  size_t from = 0;
  if (folderMode && clean.size() >= 2 && clean[1] == L':' &&
      ((clean[0] >= L'a' && clean[0] <= L'z') || (clean[0] >= L'A' && clean[0] <= L'Z'))) {
    from = 2;
  }
  for (size_t at = from; at < clean.size(); ++at) {
    wchar_t& c = clean[at];
    if (c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|') c = L'_';
    if (!folderMode && (c == L'\\' || c == L'/')) c = L'_';
  }
  return clean;
}

std::wstring CDownloadManager::ComputeTargetPath() {
  std::wstring folder = saveFolder_;
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  folder = CleanPathPart(folder, true);
  const std::wstring urlName = CleanPathPart(probe_ ? probe_->GetFileNameFromUrl() : std::wstring(), false);

  std::wstring base, extension;
  if (!fileName_.empty()) {
    UrlParts parts;
    std::wstring ownSegment;
    if (SplitUrl(url_, &parts)) ownSegment = LastSegment(parts.path);
    ReplaceAll(&ownSegment, L"%20", L" ");
    ReplaceAll(&ownSegment, L"%2B", L"+");
    if (LowerCase(fileName_) != LowerCase(ownSegment)) SplitExtension(fileName_, &base, &extension);
  }
  base = CleanPathPart(base, false);
  extension = CleanPathPart(extension, false);
  if (base.empty()) return folder + urlName;
  if (!extension.empty()) return folder + base + L"." + extension;
  return folder + base;
}

std::wstring CDownloadManager::GetTempFilePath() {
  if (targetPath_.empty()) return std::wstring();
  return targetPath_ + kTempSuffix;
}

int CreateNullFile(const std::wstring& path, DWORD* osError, int64_t size) {
  *osError = 0;
  if (path.empty()) return 3;
  const std::string narrow = WideToAnsi(path);
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !::DeleteFileW(path.c_str())) {
    LOG_WARN("before create, delete file=[%s], error=[%d].", narrow.c_str(), static_cast<int>(::GetLastError()));
  }
  // File systems that extend files sparsely (as under Wine on Linux) accept
  // any end of file, so the volume's room is asked first: the package must
  // fail here, at once, and not after minutes of downloading.
  if (size > 0) {
    ULARGE_INTEGER available;
    if (::GetDiskFreeSpaceExW(FolderOfPath(path).c_str(), &available, nullptr, nullptr) &&
        available.QuadPart < static_cast<uint64_t>(size)) {
      *osError = ERROR_DISK_FULL;
      return 2;
    }
  }

  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD error = ::GetLastError();
  LOG_INFO("create file=[%s], hFile=[%d], error=[%d].", narrow.c_str(), static_cast<int>(reinterpret_cast<intptr_t>(file.get())),
           static_cast<int>(error));
  if (!file) {
    if (error != kErrorAlreadyExists) {
      ::DeleteFileW(path.c_str());
      *osError = error;
      return 1;
    }
    file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    error = ::GetLastError();
    LOG_INFO("open file=[%s] for write, hFile=[%d], error=[%d].", narrow.c_str(),
             static_cast<int>(reinterpret_cast<intptr_t>(file.get())), static_cast<int>(error));
    if (!file) {
      ::DeleteFileW(path.c_str());
      *osError = error;
      return 1;
    }
  }

  int result = 0;
  if (size > 0) {
    LARGE_INTEGER distance, landed;
    distance.QuadPart = size;
    landed.QuadPart = -1;
    ::SetLastError(0);
    ::SetFilePointerEx(file.get(), distance, &landed, FILE_BEGIN);
    error = ::GetLastError();
    if (error == kErrorNegativeSeek) {
      result = 2;
    } else if (landed.QuadPart != size) {
      result = 1;
    } else if (!::SetEndOfFile(file.get())) {
      error = ::GetLastError();
      result = 2;
    }
  }
  file.reset();
  if (result != 0) ::DeleteFileW(path.c_str());
  *osError = error;
  return result;
}

bool CDownloadManager::WriteDownloadInfo() {
  std::vector<ThreadRecord> snapshot;
  {
    CriticalSectionLock lock(recordsLock_);
    snapshot = records_;
  }
  if (!probe_ || snapshot.empty() || !SupportsRanges() || workerCount_ == 0) return false;
  const int32_t count = static_cast<int32_t>(snapshot.size());
  UniqueFile file(::CreateFileW(GetTempFilePath().c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file) return false;
  DWORD written = 0;
  if (!SeekFromEnd(file.get(), kCountBytes) || !::WriteFile(file.get(), &count, sizeof count, &written, nullptr)) {
    return false;
  }
  const DWORD recordBytes = static_cast<DWORD>(count * sizeof(ThreadRecord));
  if (!SeekFromEnd(file.get(), recordBytes + kCountBytes)) return false;
  return ::WriteFile(file.get(), snapshot.data(), recordBytes, &written, nullptr) && written == recordBytes;
}

bool CDownloadManager::ReadDownloadInfo() {
  UniqueFile file(::CreateFileW(GetTempFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    LOG_ERROR("read download info, open file failed!");
    return false;
  }
  LARGE_INTEGER fileBytes;
  if (!::GetFileSizeEx(file.get(), &fileBytes)) {
    LOG_ERROR("read download info, get file size failed!");
    return false;
  }
  if (!SeekFromEnd(file.get(), kCountBytes)) {
    LOG_ERROR("read download info, set base down info pointer failed!");
    return false;
  }
  int32_t count = 0;
  DWORD read = 0;
  if (!::ReadFile(file.get(), &count, sizeof count, &read, nullptr) || read != sizeof count) {
    LOG_ERROR("read download info, read base down info failed!");
    return false;
  }
  if (count < 1 || count > kMaxWorkerCount) return false;

  SetThreadCount(count);
  if (!CreateWorkers()) return false;
  // Reading from wherever the pointer stands after a failed move would mix
  // package bytes into the records; the read is given up instead.
  const DWORD recordBytes = static_cast<DWORD>(count * sizeof(ThreadRecord));
  if (!SeekFromEnd(file.get(), recordBytes + kCountBytes)) {
    LOG_ERROR("read download info, set info pointer failed!");
    ResetRecords();
    return false;
  }
  std::vector<ThreadRecord> loaded(static_cast<size_t>(count));
  if (!::ReadFile(file.get(), loaded.data(), recordBytes, &read, nullptr) || read != recordBytes) {
    LOG_ERROR("read download info, read info failed! read_size=[%d]", static_cast<int>(read));
    ResetRecords();
    return false;
  }
  if (!RecordsDescribeFile(&loaded, probe_->FileSize())) {
    LOG_ERROR("read download info, records do not match the file!");
    ResetRecords();
    return false;
  }
  CriticalSectionLock lock(recordsLock_);
  records_ = std::move(loaded);
  recordCount_ = count;
  return true;
}

bool CDownloadManager::ValidateResume() {
  LOG_INFO("check file resume.");
  int64_t size = -1;
  {
    UniqueFile file(::CreateFileW(GetTempFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER bytes;
    if (::GetFileSizeEx(file.get(), &bytes)) size = bytes.QuadPart;
  }
  const int64_t expected = probe_->FileSize() + static_cast<int64_t>(workerCount_) * sizeof(ThreadRecord) + kCountBytes;
  if (size != expected || !ReadDownloadInfo()) return false;
  LOG_INFO("check file resume ok.");
  return true;
}

bool CDownloadManager::FinishFile() {
  const std::wstring tempPath = GetTempFilePath();
  {
    UniqueFile file(::CreateFileW(tempPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end;
    end.QuadPart = probe_->FileSize();
    if (!file || !::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get())) {
      const DWORD error = ::GetLastError();
      LOG_ERROR("handle download finished, read size failed! error=[%d].", static_cast<int>(error));
      Post(-1, kNotifyFileError, 0, kFileErrorTruncate, static_cast<int>(error));
      return false;
    }
    LOG_INFO("handle download finished, check file size ok.");
  }
  ::DeleteFileW(targetPath_.c_str());
  if (!::MoveFileW(tempPath.c_str(), targetPath_.c_str())) {
    const DWORD error = ::GetLastError();
    LOG_ERROR("handle download finished, rename failed! error=[%d].", static_cast<int>(error));
    Post(-1, kNotifyFileError, 0, kFileErrorRename, static_cast<int>(error));
    return false;
  }
  ::SetFileAttributesW(targetPath_.c_str(), FILE_ATTRIBUTE_NORMAL);
  return true;
}

}  // namespace ns_JEB
