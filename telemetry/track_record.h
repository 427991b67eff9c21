// The statistics record of one run: every subsystem writes into it while it
// works; at close (or after a crash) it becomes one flat JSON document of
// texts per product, posted to the statistics endpoint and kept as a copy in
// the temporary folder. In fork mode one document goes out per dependent
// product.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "foundation/win_handles.h"

// One dependent product as the record tracks it; created on first touch.
struct BindTaskEntry {
  uint8_t selected = 0;
  int32_t downStart = 0;
  int32_t downEnd = 0;
  int32_t downFailCode = 0;  // 0 when the download succeeded
  int32_t installStart = 0;
  int32_t installEnd = 0;
  int32_t installFailCode = 0;  // 0 when the installation succeeded
  std::wstring productVersion;
  std::wstring serverXmlMd5;  // digest list of the server configuration
};

// What the crash handler learnt; written once.
struct TrackCrashInfo {
  int crashed = 0;
  uint32_t code = 0;
  uint32_t address = 0;
  uint32_t offset = 0;  // of the address in its section
  std::string fileName = "-";
  std::string section = "-";
};

class CTrackRecord {
 public:
  CTrackRecord();
  CTrackRecord(const CTrackRecord&) = delete;
  CTrackRecord& operator=(const CTrackRecord&) = delete;

  // Values, stored as ANSI text; a later write of a key replaces the value.
  void SetTrackText(const std::string& key, const std::wstring& text);
  void SetTrackNumber(const std::string& key, uint32_t value);
  void SetTrackNumber64(const std::string& key, int64_t value);
  // "" when the key was never stored.
  std::string GetTrackValue(const std::string& key);

  // {"key":"value"} (quoted) or {"key":value}; a fragment already listed is
  // not added again.
  void AddTrackRemark(const std::wstring& key, const std::wstring& value, bool quoted);
  // A report text of the product installer, {"xxx":"K","event":"E","time":"T",
  // "data":"D"} kept as {"K":"E,T,D"}; dropped when longer than 256
  // characters, when 100 are kept already, or when it is not of that shape.
  void AddPageEvent(const std::wstring& message);

  void SetBindTaskFlag(int32_t productId, bool flag);
  // Any other change of a bind-task entry, made under the remark lock.
  void UpdateBindTask(int32_t productId, const std::function<void(BindTaskEntry*)>& update);

  // One more use of a server address or a download URL.
  void AddCdnAddress(const std::wstring& address);
  void AddCdnUrl(const std::wstring& url);

  void SetCrashInfo(const TrackCrashInfo& crash) { crash_ = crash; }
  const TrackCrashInfo& CrashInfo() const { return crash_; }
  // Base of the statistics endpoint, ending in "/".
  void SetTrackServerBase(const std::wstring& base);
  std::wstring TrackServerBase();
  void SetTrackingId(const std::wstring& id) { trackingId_ = id; }
  const std::wstring& TrackingId() const { return trackingId_; }
  void SetPackageLogPath(const std::wstring& path) { packageLogPath_ = path; }
  const std::wstring& PackageLogPath() const { return packageLogPath_; }
  void SetSendSwitch(bool on) { sendSwitch_ = on; }
  bool SendSwitch() const { return sendSwitch_; }
  void SetForkMode(bool on) { forkMode_ = on; }
  bool ForkMode() const { return forkMode_; }
  uint32_t StartTime() const { return startTime_; }

  // Builds the document(s), posts each to the statistics endpoint and writes
  // each copy to the temporary folder. Nothing happens while the send switch
  // is off or no client signature is stored. Synchronous.
  void SendTrackRecord();

 private:
  struct Document {
    std::string productId;
    std::string json;
  };
  struct RunFacts {
    std::string installerVersion;
    std::string nameDigits;
    std::string cdnAddresses;
    std::string cdnUrls;
    uint32_t endTime = 0;
  };
  Document BuildDocument(const RunFacts& facts, const std::string& productId, const std::string& nameDigits,
                         int downStatus, int downCode, int installStatus, int installCode, bool withBindLists);
  int StoredNumber(const std::string& key);
  void PostAndKeep(const Document& document);

  CriticalSection valueLock_;
  CriticalSection addressLock_;
  CriticalSection remarkLock_;

  std::map<std::string, std::string> values_;        // guarded by valueLock_
  std::map<std::wstring, int> cdnAddresses_;         // guarded by addressLock_
  std::map<std::wstring, int> cdnUrls_;              // guarded by addressLock_
  std::vector<std::wstring> remark1_;                // guarded by remarkLock_
  std::vector<std::wstring> remark2_;                // guarded by remarkLock_
  std::map<int32_t, BindTaskEntry> bindTasks_;       // guarded by remarkLock_
  TrackCrashInfo crash_;
  std::wstring trackServerBase_;  // guarded by valueLock_: the reporting thread reads it
  std::wstring trackingId_;
  std::wstring packageLogPath_;
  uint32_t startTime_;
  bool sendSwitch_ = false;
  bool forkMode_ = false;
};

// The process-wide record, alive before the entry point runs.
CTrackRecord& TrackRecord();

// The setters of the process-wide record, by the names every caller uses.
inline void SetTrackText(const std::string& key, const std::wstring& text) { TrackRecord().SetTrackText(key, text); }
inline void SetTrackNumber(const std::string& key, uint32_t value) { TrackRecord().SetTrackNumber(key, value); }
inline void SetTrackNumber64(const std::string& key, int64_t value) { TrackRecord().SetTrackNumber64(key, value); }
inline std::string GetTrackValue(const std::string& key) { return TrackRecord().GetTrackValue(key); }
inline void AddTrackRemark(const std::wstring& key, const std::wstring& value, bool quoted) {
  TrackRecord().AddTrackRemark(key, value, quoted);
}
inline void AddPageEvent(const std::wstring& message) { TrackRecord().AddPageEvent(message); }
inline void SetBindTaskFlag(int32_t productId, bool flag) { TrackRecord().SetBindTaskFlag(productId, flag); }
inline void SendTrackRecord() { TrackRecord().SendTrackRecord(); }

// "10" + the detail of the download's end: "17" not started, "16"/"15"
// interrupted with/without a crash, the code ("%02d") when failed, "00" done,
// "99" otherwise.
std::string DownloadStateCode(int status, int code, bool crashed);
// "20" + "00" done; when failed "01" (code 1), "02" (code 5) or "03";
// "04" interrupted; "05" otherwise.
std::string InstallStateCode(int status, int code);
// Whole hours east of UTC for a bias (UTC minus local time) in minutes,
// rounded half away from zero: 300 gives "-5", -330 gives "6".
std::string TimeZoneText(long biasMinutes);
