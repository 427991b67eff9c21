#include "telemetry/track_record.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/customize_socket.h"
#include "foundation/folders.h"
#include "foundation/system_info.h"
#include "foundation/text_convert.h"
#include "tests/net/stand_in.h"

namespace {

std::vector<std::wstring> Copies(const std::wstring& productId) {
  std::vector<std::wstring> paths;
  WIN32_FIND_DATAW entry;
  const std::wstring folder = TempFolder();
  HANDLE find = ::FindFirstFileW((folder + L"QIV_" + productId + L"_T*.json").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return paths;
  do {
    paths.push_back(folder + entry.cFileName);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return paths;
}

void RemoveCopies(const std::wstring& productId) {
  for (const std::wstring& path : Copies(productId)) ::DeleteFileW(path.c_str());
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Member names of a flat object in the order they were written.
std::vector<std::string> MemberNames(const std::string& json) {
  std::vector<std::string> names;
  cJSON* root = cJSON_Parse(json.c_str());
  for (cJSON* item = root ? root->child : nullptr; item; item = item->next) names.push_back(item->string);
  cJSON_Delete(root);
  return names;
}

std::string Member(const std::string& json, const std::string& name) {
  std::string value;
  CJsonObject(json).Get(name, &value);
  return value;
}

class TrackRecordTest : public StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    CCustomizeSocket::SetWaitsForTests(1000, 5000);
    record_.SetTrackServerBase(AnsiToWide(Base("http")) + L"/");
    record_.SetTrackText("client_sign", L"{5EE7-G}");
    for (const wchar_t* id : {L"7001", L"7011", L"7012"}) RemoveCopies(id);
  }
  void TearDown() override {
    for (const wchar_t* id : {L"7001", L"7011", L"7012"}) RemoveCopies(id);
    CCustomizeSocket::SetWaitsForTests(5000, 30000);
    StandInTest::TearDown();
  }

  std::vector<std::string> SentDocuments() {
    std::vector<std::string> bodies;
    for (const JournalEntry& entry : standIn_.Journal()) {
      EXPECT_EQ(entry.path, "/rest/v2/downloader/track");
      EXPECT_EQ(entry.query, "client_sign={5EE7-G}");
      bodies.push_back(entry.body);
    }
    return bodies;
  }

  // Sends the record of product 7001 and returns its one document.
  std::string SendProductDocument() {
    record_.SetTrackText("product_id", L"7001");
    record_.SetSendSwitch(true);
    record_.SendTrackRecord();
    const auto documents = SentDocuments();
    EXPECT_EQ(documents.size(), 1u);
    return documents.empty() ? std::string() : documents[0];
  }

  CTrackRecord record_;
};

TEST_F(TrackRecordTest, NothingIsSentOrKeptWhileTheSendSwitchIsOff) {
  record_.SetTrackText("product_id", L"7001");
  record_.SendTrackRecord();
  EXPECT_TRUE(standIn_.Journal().empty());
  EXPECT_TRUE(Copies(L"7001").empty());

  // Nor without a client signature.
  CTrackRecord unsigned_;
  unsigned_.SetTrackServerBase(record_.TrackServerBase());
  unsigned_.SetTrackText("product_id", L"7001");
  unsigned_.SetSendSwitch(true);
  unsigned_.SendTrackRecord();
  EXPECT_TRUE(standIn_.Journal().empty());
  EXPECT_TRUE(Copies(L"7001").empty());
}

TEST_F(TrackRecordTest, TheDocumentListsItsMembersInOrderAndKeepsACopy) {
  record_.SetTrackText("selectlang", L"fran\u00e7ais");
  record_.SetTrackNumber("downstatus", 2);
  record_.SetTrackNumber("downcode", 7);
  record_.SetTrackNumber("installstatus", 2);
  record_.SetTrackNumber("installcode", 5);
  record_.SetTrackNumber64("packagesize", 5000000000LL);
  record_.SetTrackText("winver", L"stored first");  // a stored key wins over the later member
  record_.AddTrackRemark(L"retry", L"1", false);
  record_.AddTrackRemark(L"filemd5_1", L"AB", true);
  record_.AddTrackRemark(L"retry", L"1", false);
  record_.AddCdnAddress(L"2.2.2.2");
  record_.AddCdnAddress(L"1.1.1.1");
  record_.AddCdnAddress(L"2.2.2.2");
  record_.AddCdnUrl(L"http://cdn/p.exe");
  record_.SetBindTaskFlag(12, false);
  record_.SetBindTaskFlag(11, true);
  record_.UpdateBindTask(11, [](BindTaskEntry* task) {
    task->downStart = 100;
    task->downEnd = 200;
  });
  record_.UpdateBindTask(12, [](BindTaskEntry* task) { task->downFailCode = 7; });
  record_.SetTrackingId(L"TID-1");
  const std::string json = SendProductDocument();
  EXPECT_EQ(MemberNames(json),
            (std::vector<std::string>{
                "product_id", "qivver", "qivversion", "qivnamepid", "client_sign", "downcode", "downstatus",
                "installcode", "installstatus", "packagesize", "selectlang", "winver", "winbits", "iever",
                "qivstart", "qivend", "downstate", "installstate", "cdniplist", "cdnurllist", "bindtasks",
                "binddownfail", "bindinstallfail", "binddowntime", "bindinstalltime", "crash", "crashcode",
                "crashattr", "crashoffset", "crashfilename", "crashsection", "timezone", "syslcid", "srceensize",
                "qivclose", "remark1", "remark2", "remark3", "qivtrackid"}));
  EXPECT_EQ(json.find("\"product_id\":\"7001\","), 1u);
  EXPECT_EQ(json.find("\"product_id\"", 2), std::string::npos);
  EXPECT_NE(json.find("\"selectlang\":\"" + WideToAnsi(L"fran\u00e7ais") + "\""), std::string::npos);
  EXPECT_NE(json.find("\"remark1\":\"{\\\"retry\\\":1},{\\\"filemd5_1\\\":\\\"AB\\\"}\",\"remark2\":\"\","
                      "\"remark3\":\"\",\"qivtrackid\":\"TID-1\"}"),
            std::string::npos)
      << json;
  const struct {
    const char* name;
    std::string value;
  } members[] = {
      {"qivver", "204"},
      {"packagesize", "5000000000"},
      {"winver", "stored first"},
      {"winbits", IsWindows64() ? "64" : "32"},
      {"qivstart", std::to_string(record_.StartTime())},
      {"downstate", "1007"},
      {"installstate", "2002"},
      {"cdniplist", "1.1.1.1,2.2.2.2"},
      {"cdnurllist", "http://cdn/p.exe"},
      {"bindtasks", "11,1;12,0"},
      {"binddownfail", "11,0;12,7"},
      {"bindinstallfail", "11,0;12,0"},
      {"binddowntime", "11:100,200;12:0,0"},
      {"bindinstalltime", "11:0,0;12:0,0"},
      {"crash", "0"},
      {"crashattr", "0x00000000"},
      {"crashfilename", "-"},
      {"syslcid", std::to_string(::GetSystemDefaultLCID())},
  };
  for (const auto& member : members) EXPECT_EQ(Member(json, member.name), member.value) << member.name;

  const auto copies = Copies(L"7001");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadFileBytes(copies[0]), json);
}

TEST_F(TrackRecordTest, EmptyTablesAndListsHaveTheirPlaceholders) {
  const std::string document = SendProductDocument();
  EXPECT_EQ(Member(document, "cdniplist"), "-");
  EXPECT_EQ(Member(document, "cdnurllist"), "-");
  EXPECT_EQ(Member(document, "bindtasks"), "");
  EXPECT_EQ(Member(document, "binddownfail"), "-");
  EXPECT_EQ(Member(document, "downstate"), "1017");
  EXPECT_EQ(Member(document, "installstate"), "2005");
}

TEST_F(TrackRecordTest, RemarksStopAfterTheItemThatCrossesTheLimit) {
  for (int index = 0; index < 30; ++index) {
    wchar_t key[8];
    std::swprintf(key, 8, L"k%02d", index);
    record_.AddTrackRemark(key, std::wstring(90, L'v'), true);  // 100 characters each
  }
  const std::string document = SendProductDocument();
  const std::string remark1 = Member(document, "remark1");
  // 19 items and their commas make 1,918 characters; the 20th crosses 2,000.
  EXPECT_EQ(remark1.size(), 20u * 100 + 19);
  EXPECT_EQ(remark1.substr(remark1.size() - 100, 7), "{\"k19\":");
}

TEST_F(TrackRecordTest, PageEventsKeepTheirShapeAndTheirBounds) {
  record_.AddPageEvent(L"{\"pag\":\"Page1\",\"event\":\"click\",\"time\":\"100\",\"data\":\"x\"}");
  record_.AddPageEvent(L"{\"pag\":\"Page2\",\"event\":\"show\",\"time\":\"101\"}");             // no data
  record_.AddPageEvent(L"\",\"data\":\"{\"p\":\"P\",\"event\":\"e\",\"time\":\"1\",\"data\":\"d\"}");  // out of order
  record_.AddPageEvent(L"{\"pag\":\"" + std::wstring(230, L'L') + L"\",\"event\":\"e\",\"time\":\"1\",\"data\":\"d\"}");
  for (int index = 0; index < 120; ++index) {
    record_.AddPageEvent(L"{\"pag\":\"P\",\"event\":\"e\",\"time\":\"" + std::to_wstring(index) + L"\",\"data\":\"d\"}");
  }
  const std::string document = SendProductDocument();
  std::string expected = "{\"Page1\":\"click,100,x\"}";
  for (int index = 0; index < 99; ++index) expected += ",{\"P\":\"e," + std::to_string(index) + ",d\"}";
  EXPECT_EQ(Member(document, "remark2"), expected);
}

TEST_F(TrackRecordTest, AnInterruptedDownloadAfterACrashReports1016) {
  TrackCrashInfo crash;
  crash.crashed = 1;
  crash.code = 0xC0000005;
  crash.address = 0x401A2B;
  crash.offset = 0xA2B;
  crash.fileName = "Qiv.exe";
  crash.section = ".text";
  record_.SetCrashInfo(crash);
  record_.SetTrackNumber("downstatus", 1);
  const std::string document = SendProductDocument();
  EXPECT_EQ(Member(document, "downstate"), "1016");
  EXPECT_EQ(Member(document, "crash"), "1");
  EXPECT_EQ(Member(document, "crashcode"), "3221225477");
  EXPECT_EQ(Member(document, "crashattr"), "0x00401A2B");
  EXPECT_EQ(Member(document, "crashoffset"), "2603");
  EXPECT_EQ(Member(document, "crashsection"), ".text");
}

TEST_F(TrackRecordTest, ForkModeSendsOneDocumentPerBindTask) {
  record_.SetTrackText("product_id", L"7001");
  record_.SetBindTaskFlag(7012, true);
  record_.SetBindTaskFlag(7011, false);
  record_.UpdateBindTask(7011, [](BindTaskEntry* task) { task->serverXmlMd5 = L"MD5-A"; });
  record_.UpdateBindTask(7012, [](BindTaskEntry* task) {
    task->downFailCode = 7;
    task->installFailCode = 5;
  });
  record_.SetForkMode(true);
  record_.SetSendSwitch(true);
  record_.SendTrackRecord();

  const auto documents = SentDocuments();
  ASSERT_EQ(documents.size(), 2u);
  const struct {
    const char* id;
    const char* md5;
    const char* downState;
    const char* installState;
  } expected[] = {{"7011", "MD5-A", "1000", "2000"}, {"7012", "", "1007", "2002"}};
  for (size_t index = 0; index < 2; ++index) {
    const std::string& json = documents[index];
    EXPECT_EQ(json.find(std::string("{\"product_id\":\"") + expected[index].id + "\","), 0u) << json;
    EXPECT_EQ(Member(json, "qivnamepid"), expected[index].id);
    EXPECT_EQ(Member(json, "startupproduct"), expected[index].id);
    EXPECT_EQ(Member(json, "serverxmlmd5"), expected[index].md5);
    EXPECT_EQ(Member(json, "downstate"), expected[index].downState);
    EXPECT_EQ(Member(json, "installstate"), expected[index].installState);
    EXPECT_EQ(Member(json, "bindtasks"), "");
    EXPECT_EQ(Member(json, "binddownfail"), "-");
    EXPECT_EQ(Member(json, "bindinstallfail"), "-");
    const auto copies = Copies(AnsiToWide(expected[index].id));
    ASSERT_EQ(copies.size(), 1u) << expected[index].id;
    EXPECT_EQ(ReadFileBytes(copies[0]), json);
  }
  EXPECT_TRUE(Copies(L"7001").empty());
}

TEST(TrackStateCodeTest, StatusAndCodeMakeTheStateCodes) {
  const struct {
    int status;
    int code;
    bool crashed;
    const char* download;
    const char* install;
  } cases[] = {
      {0, 0, false, "1017", "2005"}, {1, 0, false, "1015", "2004"}, {1, 0, true, "1016", "2004"},
      {2, 7, false, "1007", "2003"}, {2, 5, false, "1005", "2002"}, {2, 1, false, "1001", "2001"},
      {2, 123, false, "10123", "2003"}, {3, 9, false, "1000", "2000"}, {4, 0, false, "1099", "2005"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DownloadStateCode(c.status, c.code, c.crashed), c.download) << c.status << "/" << c.code;
    EXPECT_EQ(InstallStateCode(c.status, c.code), c.install) << c.status << "/" << c.code;
  }
}

TEST(TrackStateCodeTest, TheTimeZoneIsRoundedHalfAwayFromZero) {
  const struct {
    long bias;
    const char* zone;
  } cases[] = {{300, "-5"}, {-330, "6"}, {0, "0"}, {-60, "1"}, {30, "-1"}, {-20, "0"}, {-345, "6"}, {210, "-4"}};
  for (const auto& c : cases) EXPECT_EQ(TimeZoneText(c.bias), c.zone) << c.bias;
}

}  // namespace
