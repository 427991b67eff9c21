#include "downloader/http_range_worker.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "downloader/download_job.h"
#include "downloader/engine_timings.h"
#include "downloader/host_address_pool.h"
#include "foundation/http_reply.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"
#include "foundation/url_text.h"

namespace ns_JEB {

namespace {

constexpr int kReceiveChunk = 20480;
constexpr int kSaveBufferSize = 409600;
// Flushing before the buffer is full leaves room for one more receive.
constexpr int kFlushThreshold = 368640;
constexpr int kMinBytesPerSecond = 1024;
// A reply head that grows beyond this without its empty line is not HTTP.
constexpr size_t kMaxHeadBytes = 1024 * 1024;
constexpr SIZE_T kWorkerStackSize = 8 * 1024 * 1024;
constexpr char kHeadEnd[] = "\r\n\r\n";
constexpr wchar_t kUserAgent[] = L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)";

std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// Decimal, optionally negative; anything else, or a number beyond int64,
// reads as 0 (unknown).
int64_t ParseLength(const std::wstring& text) {
  size_t at = 0;
  bool negative = false;
  if (at < text.size() && text[at] == L'-') {
    negative = true;
    ++at;
  }
  if (at >= text.size()) return 0;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    const wchar_t c = text[at];
    if (c < L'0' || c > L'9') return 0;
    if (value > (INT64_MAX - 9) / 10) return 0;
    value = value * 10 + (c - L'0');
  }
  return negative ? -value : value;
}

// "Wed, 21 Oct 2015 07:28:00 GMT" as seconds since 1970, local time; -1
// when the text does not read that way.
int64_t ParseLastModified(const std::wstring& text) {
  static const wchar_t* const kMonths[] = {L"jan", L"feb", L"mar", L"apr", L"may", L"jun",
                                           L"jul", L"aug", L"sep", L"oct", L"nov", L"dec"};
  const size_t comma = text.find(L',');
  if (comma == std::wstring::npos) return -1;
  wchar_t month[4] = {};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (swscanf(text.c_str() + comma + 1, L" %d %3ls %d %d:%d:%d", &day, month, &year, &hour, &minute, &second) != 6) {
    return -1;
  }
  const std::wstring lowerMonth = AsciiLower(month);
  SYSTEMTIME utc = {};
  for (int m = 0; m < 12; ++m) {
    if (lowerMonth == kMonths[m]) utc.wMonth = static_cast<WORD>(m + 1);
  }
  if (utc.wMonth == 0) return -1;
  utc.wYear = static_cast<WORD>(year);
  utc.wDay = static_cast<WORD>(day);
  utc.wHour = static_cast<WORD>(hour);
  utc.wMinute = static_cast<WORD>(minute);
  utc.wSecond = static_cast<WORD>(second);
  FILETIME universal, local;
  if (!::SystemTimeToFileTime(&utc, &universal) || !::FileTimeToLocalFileTime(&universal, &local)) return -1;
  const uint64_t ticks = (static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  constexpr uint64_t kEpochTicks = 116444736000000000ULL;  // 1970-01-01 in 100 ns ticks since 1601
  return ticks < kEpochTicks ? -1 : static_cast<int64_t>((ticks - kEpochTicks) / 10000000ULL);
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

CDownloadBase::CDownloadBase()
    : stopEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), userAgent_(kUserAgent) {}

CDownloadBase::~CDownloadBase() { StopWorker(); }

CDownloadHttp::~CDownloadHttp() {
  // The thread calls this class's overrides: it must end before the object
  // stops being a CDownloadHttp.
  StopWorker();
}

bool CDownloadBase::SplitInto(const std::wstring& url) {
  UrlParts parts;
  if (!SplitUrl(url, &parts)) return false;
  scheme_ = parts.scheme;
  host_ = parts.host;
  path_ = parts.path;
  port_ = parts.port;
  return true;
}

bool CDownloadBase::SetUrl(const std::wstring& url) {
  const std::wstring trimmed = TrimBlanks(url);
  if (trimmed.empty()) {
    LOG_ERROR("download url is Empty.");
    return false;
  }
  url_ = trimmed;
  return SplitInto(url_);
}

void CDownloadBase::SetCredentials(const std::wstring& user, const std::wstring& password) {
  userName_ = user;
  password_ = password;
}

void CDownloadBase::Post(int type, intptr_t value, int value2, int value3) {
  if (job_) job_->Post(workerIndex_, type, value, value2, value3);
}

void CDownloadBase::PostText(int type, const std::string& text) {
  if (job_) job_->Post(workerIndex_, type, CopyTextPayload(text));
}

int64_t CDownloadBase::GetRangeLength() {
  CriticalSectionLock lock(rangeLock_);
  return rangeLength_;
}

void CDownloadBase::SetRangeLength(int64_t length) {
  {
    CriticalSectionLock lock(rangeLock_);
    rangeLength_ = length;
  }
  Post(kNotifyRangeLength, static_cast<intptr_t>(static_cast<int32_t>(length)),
       static_cast<int32_t>(static_cast<uint64_t>(length) >> 32));
}

int CDownloadBase::GetBuffered() {
  CriticalSectionLock lock(bufferedLock_);
  return buffered_;
}

void CDownloadBase::SetBuffered(int buffered) {
  CriticalSectionLock lock(bufferedLock_);
  buffered_ = buffered;
}

int64_t CDownloadBase::GetRemaining() {
  const int64_t remaining = GetRangeLength() - downloaded_ - GetBuffered();
  return remaining < 0 ? 0 : remaining;
}

bool CDownloadBase::IsRunning() {
  return thread_ && ::WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT;
}

void CDownloadBase::ResetRange() {
  thread_.reset();
  rangeStart_ = 0;
  {
    CriticalSectionLock lock(rangeLock_);
    rangeLength_ = 0;
  }
  downloaded_ = 0;
  SetBuffered(0);
  singleConnection_ = false;
  lanBlockPageSeen_ = false;
  done_ = false;
  file_.reset();
}

void CDownloadBase::ReleasePickedAddress() {
  uint32_t address = 0;
  std::wstring host;
  {
    CriticalSectionLock lock(pickLock_);
    address = std::exchange(pickedAddress_, 0u);
    host.swap(pickedHost_);
  }
  if (address != 0) CHostAddressPool::Instance().ReleaseIp(host, address);
}

void CDownloadBase::RequestStop() {
  // The flag and the event first, so that a worker whose receive fails
  // because of the close below sees why.
  stopRequested_ = true;
  if (stopEvent_) ::SetEvent(stopEvent_.get());
  ReleasePickedAddress();
  socket_.Close();
}

void CDownloadBase::WaitStopped() {
  if (!thread_) return;
  if (::WaitForSingleObject(thread_.get(), Timings().workerStopGraceMs) == WAIT_TIMEOUT) {
    ::TerminateThread(thread_.get(), 0);
  }
  thread_.reset();
}

void CDownloadBase::StopWorker() {
  RequestStop();
  WaitStopped();
}

std::wstring CDownloadBase::GetFileNameFromUrl() const { return FileNameOfPath(path_); }

std::wstring CDownloadBase::BuildRequest(const std::wstring& method, int64_t firstByte, int64_t lastByte,
                                         bool http10) {
  if (referer_.empty()) referer_ = RefererForUrl(url_);
  std::wstring text = method + L" " + path_ + (http10 ? L" HTTP/1.0\r\n" : L" HTTP/1.1\r\n");
  text += L"Accept: */*\r\n";
  text += L"Referer: " + referer_ + L"\r\n";
  text += L"User-Agent: " + userAgent_ + L"\r\n";
  text += L"Host: " + host_;
  if (port_ != 80) text += L":" + std::to_wstring(port_);
  text += L"\r\n";
  text += L"Connection: Close\r\n";
  text += L"Range: bytes=" + std::to_wstring(firstByte) + L"-";
  if (lastByte >= 0) text += std::to_wstring(lastByte);
  text += L"\r\n";
  text += L"\r\n";
  return text;
}

bool CDownloadBase::Connect() {
  if (!stopEvent_ || host_.empty()) return false;
  socket_.SetWorkerIndex(workerIndex_);
  socket_.SetStopEvent(stopEvent_.get());
  ReleasePickedAddress();
  const uint32_t address = CHostAddressPool::Instance().PickIp(host_);
  if (address == 0) return socket_.ConnectHost(host_, port_);
  {
    CriticalSectionLock lock(pickLock_);
    pickedAddress_ = address;
    pickedHost_ = host_;
  }
  if (socket_.ConnectIp(address, port_)) return true;
  ReleasePickedAddress();
  return false;
}

bool CDownloadBase::SendAndReceiveHeader(const std::wstring& request, char* body, int capacity, int* bodyLength) {
  if (bodyLength) *bodyLength = 0;
  socket_.Close();
  if (!Connect()) {
    LOG_ERROR("http download, connect failed!");
    return false;
  }
  if (!socket_.SendText(request)) {
    LOG_ERROR("http download, send failed!");
    return false;
  }
  std::string raw;
  std::vector<char> piece(kReceiveChunk);
  size_t headEnd = std::string::npos;
  while (headEnd == std::string::npos) {
    const int received = socket_.Receive(piece.data(), kReceiveChunk);
    if (received < 1) {
      LOG_ERROR("http download, receive failed! size=[%d]", received);
      return false;
    }
    // Only the new bytes and the three before them can complete the empty line.
    const size_t searchFrom = raw.size() < 3 ? 0 : raw.size() - 3;
    raw.append(piece.data(), received);
    headEnd = raw.find(kHeadEnd, searchFrom);
    if (headEnd == std::string::npos && raw.size() > kMaxHeadBytes) {
      LOG_ERROR("http download, receive failed! size=[%d]", static_cast<int>(raw.size()));
      return false;
    }
  }
  const size_t bodyStart = headEnd + 4;
  reply_ = AnsiToWide(raw.substr(0, bodyStart));
  if (body && bodyLength) {
    const size_t count = std::min(raw.size() - bodyStart, static_cast<size_t>(capacity));
    memcpy(body, raw.data() + bodyStart, count);
    *bodyLength = static_cast<int>(count);
  }
  return true;
}

bool CDownloadBase::FollowLocation(const std::wstring& reply, const char* logLabel) {
  UrlParts parts;
  parts.scheme = scheme_;
  parts.host = host_;
  parts.port = port_;
  parts.path = path_;
  if (ResolveRedirect(reply, logLabel, &url_, &parts, &referer_) == kRedirectFailed) return false;
  scheme_ = parts.scheme;
  host_ = parts.host;
  port_ = parts.port;
  path_ = parts.path;
  return true;
}

bool CDownloadBase::ParseResponse(const std::wstring& reply, bool* repeat, bool* errorPage, bool* http10) {
  *repeat = false;
  const int status = GetStatusCode(reply);
  if (status == 0) {
    LOG_ERROR("http download, parse response code=[%d]", status);
    return false;
  }
  if (status >= 300 && status <= 399) {
    const std::wstring location = GetHeaderValue(reply, L"location:");
    if (!FollowLocation(reply, "redirect")) {
      LOG_ERROR("http download, parse response redirect failed!");
      return false;
    }
    if (location.find(L"://") != std::wstring::npos || location.find(L"%3A%2F%2F") != std::wstring::npos) {
      redirectedUrl_ = url_;
    }
    if ((StartsWith(host_, L"10.") || StartsWith(host_, L"192.") || StartsWith(host_, L"172.")) &&
        url_.find(L"disable.htm") != std::wstring::npos) {
      LOG_ERROR("redirect LAN url that contains disable.htm");
      lanBlockPageSeen_ = true;
    }
    *repeat = true;
    return true;
  }
  if (status < 200 || status > 299) {
    LOG_ERROR("http download, response code=[%d].", status);
    return false;
  }
  if (AsciiLower(GetHeaderValue(reply, L"content-type:")).find(L"error") != std::wstring::npos) {
    *errorPage = true;
    LOG_WARN("http download, parse response, is error.");
    return false;
  }
  if (AsciiLower(GetHeaderValue(reply, L"Transfer-Encoding:")) == L"chunked") {
    LOG_INFO("not support chunked, use http1.0 request.");
    *http10 = true;
    *repeat = true;
    return true;
  }
  if (workerIndex_ == -1) {
    fileSize_ = ParseLength(GetHeaderValue(reply, L"content-length:"));
    LOG_INFO("http download, target file size=[%lld]", fileSize_);
    if (job_ && job_->IsNotifyOn()) {
      job_->Post(workerIndex_, kNotifyFileName, CopyTextPayload(GetFileNameFromUrl()));
      Post(kNotifyFileSize, static_cast<intptr_t>(static_cast<int32_t>(fileSize_)),
           static_cast<int32_t>(static_cast<uint64_t>(fileSize_) >> 32));
    }
  }
  lastModified_ = ParseLastModified(GetHeaderValue(reply, L"last-modified:"));
  LOG_INFO("http download, package last-modified=[%lld].", lastModified_);
  return true;
}

bool CDownloadBase::ParseResumeResponse(const std::wstring& reply, bool* repeat) {
  *repeat = false;
  const int status = GetStatusCode(reply);
  if (status >= 200 && status <= 299) {
    supportsResume_ = status == 206;
    return true;
  }
  if (status >= 300 && status <= 399) {
    if (!FollowLocation(reply, "resume, redirect")) return false;
    *repeat = true;
    return true;
  }
  if (status != 0) LOG_ERROR("resume, response code=[%d].", status);
  return false;
}

bool CDownloadBase::Request(const std::wstring& method, char* body, int capacity, int* bodyLength) {
  bool http10 = false;
  for (int round = 0; round <= kMaxRepeats; ++round) {
    const int64_t length = GetRangeLength();
    const int64_t first = rangeStart_ + downloaded_;
    const int64_t last = (length <= 0 || singleConnection_) ? -1 : rangeStart_ + length - 1;
    const std::wstring request = BuildRequest(method, first, last, http10);
    if (!SendAndReceiveHeader(request, body, capacity, bodyLength)) {
      LOG_ERROR("http download, send request failed!");
      return false;
    }
    bool repeat = false, errorPage = false;
    if (!ParseResponse(reply_, &repeat, &errorPage, &http10)) {
      LOG_ERROR("http download, parse response failed!");
      return false;
    }
    if (!repeat) {
      // A range worker asked for bytes from the middle; a plain 200 carries
      // the file from its start, and written at this offset it would
      // corrupt the package.
      if (workerIndex_ >= 0 && first > 0 && GetStatusCode(reply_) == 200) {
        LOG_ERROR("http download, range not honoured, response code=[%d].", 200);
        return false;
      }
      return true;
    }
  }
  // A redirect loop, or a server that answers chunked even to HTTP/1.0.
  LOG_ERROR("http download, too many repeats=[%d].", kMaxRepeats);
  return false;
}

bool CDownloadBase::CheckSupportResume() {
  if (supportsResume_) return true;
  for (int round = 0; round <= kMaxRepeats; ++round) {
    if (!SendAndReceiveHeader(BuildRequest(L"GET", 0, 1, false), nullptr, 0, nullptr)) {
      LOG_ERROR("http download, check is support resume, send request failed!");
      return false;
    }
    bool repeat = false;
    if (!ParseResumeResponse(reply_, &repeat)) {
      LOG_ERROR("http download, check is support resume, parse response failed!");
      return false;
    }
    if (!repeat) return true;
  }
  LOG_ERROR("http download, too many repeats=[%d].", kMaxRepeats);
  return false;
}

bool CDownloadBase::GetRemoteSiteInfoPro() { return true; }

bool CDownloadHttp::GetRemoteSiteInfoPro() {
  if (!Request(L"GET", nullptr, 0, nullptr)) {
    LOG_ERROR("http download, get remote site info pro, get request failed!");
    return false;
  }
  if (fileSize_ == 0) {
    LOG_INFO("http download, get remote site info pro, head request.");
    if (!Request(L"HEAD", nullptr, 0, nullptr)) {
      LOG_ERROR("http download, get remote site info pro, head request failed!");
      return false;
    }
  }
  CheckSupportResume();
  return true;
}

bool CDownloadBase::GetRemoteSiteInfo() {
  CHostAddressPool& pool = CHostAddressPool::Instance();
  if (!pool.HasHost(url_)) {
    if (!pool.InitHost(url_)) {
      LOG_ERROR("get remote site info, init host failed!");
      Post(kNotifyPackageInfoFailed, 1);
      return false;
    }
    std::string host, addresses;
    if (pool.GetHostIps(url_, &host, &addresses)) {
      PostText(kNotifyDnsQuery, host + ":" + addresses);
    } else {
      LOG_ERROR("get dns info failed!");
    }
  }
  bool ok = false;
  for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
    // StopDownload signals the probe too, so that a cancel does not wait
    // for three full tries against a dead server.
    if (job_ && job_->StopRequested()) break;
    LOG_INFO("get remote site info, try=[%d]", attempt);
    ok = GetRemoteSiteInfoPro();
  }
  const std::string address = WideToAnsi(socket_.ServerAddressText());
  LOG_INFO("get remote site info, ip=[%s]", address.c_str());
  PostText(kNotifyServerIp, address);
  if (!ok) Post(kNotifyPackageInfoFailed, 2);
  LOG_INFO("get remote site info, result=[%d]", ok ? 1 : 0);
  ReleasePickedAddress();
  socket_.Close();
  return ok;
}

bool CDownloadBase::StartRange(int64_t start, int64_t length, int64_t downloaded) {
  LOG_INFO("download: start_pos=[%lld], will_download=[%lld], downloaed=[%lld]", start, length, downloaded);
  if (length == 0) {
    done_ = true;
    return true;
  }
  rangeStart_ = start;
  SetRangeLength(length);
  if (fileSize_ > 0 && length > fileSize_) SetRangeLength(fileSize_);
  downloaded_ = downloaded;
  done_ = false;
  if (stopEvent_) ::ResetEvent(stopEvent_.get());
  stopRequested_ = false;
  thread_.reset(::CreateThread(nullptr, kWorkerStackSize, WorkerThread, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                               nullptr));
  if (!thread_) {
    LOG_ERROR("create download thread failed!");
    return false;
  }
  LOG_INFO("create download thread success.");
  return true;
}

DWORD WINAPI CDownloadBase::WorkerThread(void* param) {
  static_cast<CDownloadBase*>(param)->RunWorker();
  return 0;
}

void CDownloadBase::RunWorker() {
  LOG_INFO("run download thread.");
  const EngineTimings& timings = Timings();
  bool result = false;
  if (::WaitForSingleObject(stopEvent_.get(), timings.workerStartDelayMs) != WAIT_OBJECT_0) {
    for (int retry = 0; retry < 10; ++retry) {
      LOG_INFO("download, retry=[%d]", retry);
      if (DownloadRange()) {
        result = true;
        break;
      }
      LOG_ERROR("download, retry=[%d] failed!", retry);
      if (writeCallback_) writeCallback_(workerIndex_, 0, 0, callbackContext_);
      if (::WaitForSingleObject(stopEvent_.get(), timings.workerRetryPauseMs) == WAIT_OBJECT_0) break;
    }
  }
  LOG_INFO("download result=[%d]", result ? 1 : 0);
  done_ = result;
  ReleasePickedAddress();
  socket_.Close();
  file_.reset();
}

bool CDownloadHttp::DownloadRange() {
  const int64_t length = GetRangeLength();
  LOG_INFO("http download: will_download=[%lld], downloaded=[%lld]", length, static_cast<long long>(downloaded_));
  if (length > 0 && downloaded_ >= length) {
    LOG_INFO("http download done.");
    return true;
  }
  if (!PrepareFile()) {
    LOG_ERROR("download, prepare file failed!");
    return false;
  }
  if (!socket_.IsConnected() && !Connect()) {
    LOG_ERROR("download, connect failed!");
    return false;
  }
  std::vector<char> first(kReceiveChunk);
  int firstLength = 0;
  if (!Request(L"GET", first.data(), kReceiveChunk, &firstLength)) {
    LOG_ERROR("http download, request failed! size=[%d]", firstLength);
    return false;
  }
  return ReceiveAndSave(first.data(), firstLength);
}

bool CDownloadBase::DownloadRange() { return PrepareFile() && Connect(); }

bool CDownloadBase::PrepareFile() {
  if (!file_) {
    file_.reset(::CreateFileW(tempFilePath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) return false;
  }
  LARGE_INTEGER target, landed;
  target.QuadPart = rangeStart_ + downloaded_;
  return ::SetFilePointerEx(file_.get(), target, &landed, FILE_BEGIN) && landed.QuadPart == target.QuadPart;
}

int64_t CDownloadBase::WriteData(const char* data, int count) {
  DWORD written = 0;
  if (!file_ || !::WriteFile(file_.get(), data, static_cast<DWORD>(count), &written, nullptr) ||
      written != static_cast<DWORD>(count)) {
    return -1;
  }
  downloaded_ += count;
  if (writeCallback_) writeCallback_(workerIndex_, downloaded_, count, callbackContext_);
  return downloaded_;
}

bool CDownloadBase::ReceiveAndSave(const char* firstData, int length) {
  if (length > 0) {
    // A server that sends more than the range asked for must not spill into
    // the next worker's bytes or the record area.
    const int64_t rangeLength = GetRangeLength();
    int64_t count = length;
    if (rangeLength > 0) count = std::min<int64_t>(count, std::max<int64_t>(rangeLength - downloaded_, 0));
    if (count > 0 && WriteData(firstData, static_cast<int>(count)) < 0) {
      LOG_INFO("save first data to file failed!");
      return false;
    }
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kSaveBufferSize]);
  if (!buffer) {
    LOG_WARN("new temp save buf failed!");
    return false;
  }
  int buffered = 0;
  SetBuffered(0);
  const std::string address = WideToAnsi(socket_.ServerAddressText());
  LOG_INFO("receive data from ip=[%s]", address.c_str());
  PostText(kNotifyServerIp, address);
  const DWORD windowMs = Timings().bandwidthWindowMs;
  DWORD windowStart = ::GetTickCount();
  int64_t windowBytes = 0;

  while (true) {
    const int64_t rangeLength = GetRangeLength();
    const int64_t received = downloaded_ + buffered;
    bool finish = false;
    bool slow = false;
    int got = 0;
    if (rangeLength > 0 && received >= rangeLength) {
      LOG_INFO("received=[%lld], willdownload=[%lld], download finished.", received, rangeLength);
      finish = true;
    } else if (stopRequested_) {
      // A look at the stop flag, not a pause: a 1 ms wait per receive would
      // cap every worker at one 20 KiB piece per millisecond.
      LOG_WARN("event, download finished.");
      finish = true;
    } else {
      int want = kReceiveChunk;
      if (rangeLength > 0) want = static_cast<int>(std::min<int64_t>(rangeLength - received, kReceiveChunk));
      want = std::min(want, kSaveBufferSize - buffered);
      got = socket_.Receive(buffer.get() + buffered, want);
      if (got <= 0) {
        LOG_WARN("receive size=[%d], download finished.", got);
        finish = true;
      } else {
        buffered += got;
        windowBytes += got;
        const DWORD elapsed = ::GetTickCount() - windowStart;
        if (elapsed >= windowMs && windowMs > 0) {
          const long bytesPerSecond = static_cast<long>(windowBytes * 1000 / elapsed);
          windowStart = ::GetTickCount();
          windowBytes = 0;
          if (bytesPerSecond < kMinBytesPerSecond) {
            LOG_WARN("download band=[%ld]", bytesPerSecond);
            socket_.Close();
            slow = true;
          }
        }
      }
    }
    // What is buffered is good data: it is written also when the loop ends
    // early, so that no byte is fetched twice.
    bool writeFailed = false;
    if ((finish || slow || buffered >= kFlushThreshold) && buffered > 0) {
      if (WriteData(buffer.get(), buffered) < 0) {
        LOG_INFO("save data to file failed!");
        writeFailed = true;
      }
      buffered = 0;
    }
    SetBuffered(buffered);
    if (job_ && job_->IsNotifyOn()) Post(kNotifyBuffered, buffered);
    if (finish || slow || writeFailed) break;
  }

  ReleasePickedAddress();
  const int64_t rangeLength = GetRangeLength();
  const bool result = rangeLength < 0 ? downloaded_ > 0 : downloaded_ >= rangeLength;
  LOG_INFO("receive data and save to file result=[%d]", result ? 1 : 0);
  return result;
}

}  // namespace ns_JEB
