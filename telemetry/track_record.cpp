#include "telemetry/track_record.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "foundation/deployment.h"
#include "foundation/folders.h"
#include "foundation/http_request.h"
#include "foundation/json_object.h"
#include "foundation/system_info.h"
#include "foundation/text_convert.h"

namespace {

constexpr char kQivVer[] = "204";
constexpr wchar_t kTrackPath[] = L"rest/v2/downloader/track?client_sign=";
constexpr size_t kPageEventMaxLength = 256;
constexpr size_t kPageEventMaxCount = 100;
constexpr size_t kRemarkJoinLimit = 2000;
constexpr wchar_t kEventMarker[] = L",\"event\"";
constexpr wchar_t kTimeMarker[] = L"\",\"time\":\"";
constexpr wchar_t kDataMarker[] = L"\",\"data\":\"";
// Where the first member's value starts in {"xxx": and how long each marker is.
constexpr size_t kFirstValueStart = 7;
constexpr size_t kEventMarkerLength = 8;
constexpr size_t kTimeDataMarkerLength = 10;

uint32_t NowSeconds() { return static_cast<uint32_t>(std::time(nullptr)); }

std::string Decimal(long long value) { return std::to_string(value); }

// Joins item by item until the text is longer than the limit; the item that
// crosses it is still in.
std::wstring JoinRemarks(const std::vector<std::wstring>& items) {
  std::wstring joined;
  for (const std::wstring& item : items) {
    if (joined.size() > kRemarkJoinLimit) break;
    if (!joined.empty()) joined += L",";
    joined += item;
  }
  return joined;
}

std::string JoinKeys(const std::map<std::wstring, int>& table) {
  if (table.empty()) return "-";
  std::wstring joined;
  for (const auto& entry : table) {
    if (!joined.empty()) joined += L",";
    joined += entry.first;
  }
  return WideToAnsi(joined);
}

std::string OwnNameDigits() {
  const std::wstring path = OwnExePath();
  const size_t slash = path.find_last_of(L"\\/");
  std::string digits;
  for (wchar_t c : slash == std::wstring::npos ? path : path.substr(slash + 1)) {
    if (c >= L'0' && c <= L'9') digits += static_cast<char>(c);
  }
  return digits;
}

std::string ScreenSize() {
  return Decimal(::GetSystemMetrics(SM_CXSCREEN)) + "*" + Decimal(::GetSystemMetrics(SM_CYSCREEN));
}

std::string LocalBiasZone() {
  TIME_ZONE_INFORMATION zone = {};
  ::GetTimeZoneInformation(&zone);
  return TimeZoneText(zone.Bias);
}

}  // namespace

std::string DownloadStateCode(int status, int code, bool crashed) {
  std::string detail;
  switch (status) {
    case 0:
      detail = "17";
      break;
    case 1:
      detail = crashed ? "16" : "15";
      break;
    case 2: {
      char text[16];
      std::snprintf(text, sizeof text, "%02d", code);
      detail = text;
      break;
    }
    case 3:
      detail = "00";
      break;
    default:
      detail = "99";
  }
  return "10" + detail;
}

std::string InstallStateCode(int status, int code) {
  std::string detail = "05";
  if (status == 3) {
    detail = "00";
  } else if (status == 2) {
    detail = code == 1 ? "01" : code == 5 ? "02" : "03";
  } else if (status == 1) {
    detail = "04";
  }
  return "20" + detail;
}

std::string TimeZoneText(long biasMinutes) {
  const long magnitude = biasMinutes < 0 ? -biasMinutes : biasMinutes;
  const long hours = (magnitude + 30) / 60;
  if (hours == 0) return "0";
  // The bias is UTC minus local time: a positive bias lies west of UTC.
  return biasMinutes > 0 ? "-" + Decimal(hours) : Decimal(hours);
}

CTrackRecord& TrackRecord() {
  static CTrackRecord record;
  return record;
}

namespace {
// The record exists before the entry point runs, so that its start time is
// the process's and a crash during start-up still finds it.
CTrackRecord& g_recordAtStart = TrackRecord();
}  // namespace

CTrackRecord::CTrackRecord()
    : trackServerBase_(Deployment().defaultServerHost), startTime_(NowSeconds()) {}

void CTrackRecord::SetTrackText(const std::string& key, const std::wstring& text) {
  CriticalSectionLock lock(valueLock_);
  values_[key] = WideToAnsi(text);
}

void CTrackRecord::SetTrackNumber(const std::string& key, uint32_t value) {
  CriticalSectionLock lock(valueLock_);
  values_[key] = Decimal(value);
}

void CTrackRecord::SetTrackNumber64(const std::string& key, int64_t value) {
  CriticalSectionLock lock(valueLock_);
  values_[key] = Decimal(value);
}

std::string CTrackRecord::GetTrackValue(const std::string& key) {
  CriticalSectionLock lock(valueLock_);
  const auto found = values_.find(key);
  return found == values_.end() ? std::string() : found->second;
}

int CTrackRecord::StoredNumber(const std::string& key) { return std::atoi(GetTrackValue(key).c_str()); }

void CTrackRecord::SetTrackServerBase(const std::wstring& base) {
  CriticalSectionLock lock(valueLock_);
  trackServerBase_ = base;
}

std::wstring CTrackRecord::TrackServerBase() {
  CriticalSectionLock lock(valueLock_);
  return trackServerBase_;
}

void CTrackRecord::AddTrackRemark(const std::wstring& key, const std::wstring& value, bool quoted) {
  const std::wstring fragment =
      quoted ? L"{\"" + key + L"\":\"" + value + L"\"}" : L"{\"" + key + L"\":" + value + L"}";
  CriticalSectionLock lock(remarkLock_);
  for (const std::wstring& known : remark1_) {
    if (known == fragment) return;
  }
  remark1_.push_back(fragment);
}

void CTrackRecord::AddPageEvent(const std::wstring& message) {
  if (message.size() > kPageEventMaxLength) return;
  const size_t event = message.find(kEventMarker);
  const size_t time = message.find(kTimeMarker);
  const size_t data = message.find(kDataMarker);
  if (event == std::wstring::npos || time == std::wstring::npos || data == std::wstring::npos) return;
  // Markers out of order, or a first member too short for its key, are not
  // a report of the installer: cutting between them would run backwards.
  if (event < kFirstValueStart || time < event + kEventMarkerLength || data < time + kTimeDataMarkerLength) return;

  std::wstring entry = L"{";
  entry += message.substr(kFirstValueStart, event - kFirstValueStart);
  entry += message.substr(event + kEventMarkerLength, time - event - kEventMarkerLength);
  entry += L",";
  entry += message.substr(time + kTimeDataMarkerLength, data - time - kTimeDataMarkerLength);
  entry += L",";
  entry += message.substr(data + kTimeDataMarkerLength);

  CriticalSectionLock lock(remarkLock_);
  if (remark2_.size() >= kPageEventMaxCount) return;
  remark2_.push_back(entry);
}

void CTrackRecord::SetBindTaskFlag(int32_t productId, bool flag) {
  CriticalSectionLock lock(remarkLock_);
  bindTasks_[productId].selected = flag ? 1 : 0;
}

void CTrackRecord::UpdateBindTask(int32_t productId, const std::function<void(BindTaskEntry*)>& update) {
  CriticalSectionLock lock(remarkLock_);
  update(&bindTasks_[productId]);
}

void CTrackRecord::AddCdnAddress(const std::wstring& address) {
  CriticalSectionLock lock(addressLock_);
  ++cdnAddresses_[address];
}

void CTrackRecord::AddCdnUrl(const std::wstring& url) {
  CriticalSectionLock lock(addressLock_);
  ++cdnUrls_[url];
}

CTrackRecord::Document CTrackRecord::BuildDocument(const RunFacts& facts, const std::string& productId,
                                                   const std::string& nameDigits, int downStatus, int downCode,
                                                   int installStatus, int installCode, bool withBindLists) {
  CJsonObject document;
  document.Add("product_id", productId);
  document.Add("qivver", kQivVer);
  document.Add("qivversion", facts.installerVersion);
  document.Add("qivnamepid", nameDigits);
  {
    CriticalSectionLock lock(valueLock_);
    for (const auto& value : values_) document.Add(value.first, value.second);
  }
  document.Add("winver", WideToAnsi(WindowsVersionText()));
  document.Add("winbits", IsWindows64() ? "64" : "32");
  document.Add("iever", WideToAnsi(BrowserVersionText()));
  document.Add("qivstart", Decimal(startTime_));
  document.Add("qivend", Decimal(facts.endTime));
  document.Add("downstate", DownloadStateCode(downStatus, downCode, crash_.crashed != 0));
  document.Add("installstate", InstallStateCode(installStatus, installCode));
  document.Add("cdniplist", facts.cdnAddresses);
  document.Add("cdnurllist", facts.cdnUrls);

  std::string tasks, downFail, installFail, downTime, installTime;
  std::wstring remark1, remark2;
  {
    CriticalSectionLock lock(remarkLock_);
    if (withBindLists) {
      char item[64];
      for (const auto& entry : bindTasks_) {
        const char* separator = tasks.empty() ? "" : ";";
        const BindTaskEntry& task = entry.second;
        std::snprintf(item, sizeof item, "%s%d,%d", separator, entry.first, task.selected);
        tasks += item;
        std::snprintf(item, sizeof item, "%s%d,%d", separator, entry.first, task.downFailCode);
        downFail += item;
        std::snprintf(item, sizeof item, "%s%d,%d", separator, entry.first, task.installFailCode);
        installFail += item;
        std::snprintf(item, sizeof item, "%s%d:%ld,%ld", separator, entry.first, static_cast<long>(task.downStart),
                      static_cast<long>(task.downEnd));
        downTime += item;
        std::snprintf(item, sizeof item, "%s%d:%ld,%ld", separator, entry.first,
                      static_cast<long>(task.installStart), static_cast<long>(task.installEnd));
        installTime += item;
      }
    }
    remark1 = JoinRemarks(remark1_);
    remark2 = JoinRemarks(remark2_);
  }
  document.Add("bindtasks", tasks);
  document.Add("binddownfail", downFail.empty() ? "-" : downFail);
  document.Add("bindinstallfail", installFail.empty() ? "-" : installFail);
  document.Add("binddowntime", downTime);
  document.Add("bindinstalltime", installTime);

  char address[16];
  std::snprintf(address, sizeof address, "0x%08X", crash_.address);
  document.Add("crash", crash_.crashed ? "1" : "0");
  document.Add("crashcode", Decimal(crash_.code));
  document.Add("crashattr", address);
  document.Add("crashoffset", Decimal(crash_.offset));
  document.Add("crashfilename", crash_.fileName);
  document.Add("crashsection", crash_.section);
  document.Add("timezone", LocalBiasZone());
  document.Add("syslcid", Decimal(::GetSystemDefaultLCID()));
  document.Add("srceensize", ScreenSize());
  document.Add("qivclose", Decimal(NowSeconds()));
  document.Add("remark1", WideToAnsi(remark1));
  document.Add("remark2", WideToAnsi(remark2));
  document.Add("remark3", "");
  document.Add("qivtrackid", WideToAnsi(trackingId_));
  return Document{productId, document.ToString()};
}

void CTrackRecord::PostAndKeep(const Document& document) {
  CriticalSectionLock lock(valueLock_);
  const std::wstring url = trackServerBase_ + kTrackPath + AnsiToWide(values_["client_sign"]);
  CHttpRequest request;
  request.PostRequest(url, L"application/json", AnsiToWide(document.json));

  const std::wstring copy =
      TempFolder() + L"QIV_" + AnsiToWide(document.productId) + L"_T" + LocalTimeText() + L".json";
  // CREATE_NEW: a copy already written under this name stays as it is.
  UniqueFile file(::CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  ::WriteFile(file.get(), document.json.data(), static_cast<DWORD>(document.json.size()), &written, nullptr);
}

void CTrackRecord::SendTrackRecord() {
  if (!sendSwitch_ || GetTrackValue("client_sign").empty()) return;

  RunFacts facts;
  facts.installerVersion = WideToAnsi(OwnVersionText());
  facts.nameDigits = OwnNameDigits();
  {
    CriticalSectionLock lock(addressLock_);
    facts.cdnAddresses = JoinKeys(cdnAddresses_);
    facts.cdnUrls = JoinKeys(cdnUrls_);
  }
  facts.endTime = NowSeconds();

  if (!forkMode_) {
    PostAndKeep(BuildDocument(facts, GetTrackValue("product_id"), facts.nameDigits, StoredNumber("downstatus"),
                              StoredNumber("downcode"), StoredNumber("installstatus"), StoredNumber("installcode"),
                              true));
    return;
  }

  std::map<int32_t, BindTaskEntry> entries;
  {
    CriticalSectionLock lock(remarkLock_);
    entries = bindTasks_;
  }
  for (const auto& entry : entries) {
    const std::string id = Decimal(entry.first);
    SetTrackText("product_id", AnsiToWide(id));
    SetTrackText("startupproduct", AnsiToWide(id));
    SetTrackText("serverxmlmd5", entry.second.serverXmlMd5);
    const BindTaskEntry& task = entry.second;
    PostAndKeep(BuildDocument(facts, id, id, task.downFailCode == 0 ? 3 : 2, task.downFailCode,
                              task.installFailCode == 0 ? 3 : 2, task.installFailCode, false));
  }
}
