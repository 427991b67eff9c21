// The product file as start-up reads it: fields and defaults, the derived
// folders, the registry and track record entries, and the series notice on
// the wire of the stand-in API.
#include "config/product_config.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/deployment.h"
#include "foundation/folders.h"
#include "foundation/maker_registry.h"
#include "foundation/system_info.h"
#include "foundation/text_convert.h"
#include "foundation/win_handles.h"
#include "telemetry/track_record.h"
#include "tests/net/stand_in.h"

namespace {

std::string FirstLine(const JournalEntry& entry) { return entry.head.substr(0, entry.head.find("\r\n")); }

std::vector<std::string> Paths(const std::vector<JournalEntry>& journal) {
  std::vector<std::string> paths;
  for (const JournalEntry& entry : journal) paths.push_back(entry.path);
  return paths;
}

// HKLM\Software\MuxCX in the view the channel registration writes.
std::wstring ChannelValue(const std::wstring& name) {
  UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\MuxCX", 0,
                      KEY_QUERY_VALUE | (IsWindows64() ? KEY_WOW64_64KEY : 0), key.put()) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  wchar_t value[256] = {};
  DWORD size = sizeof value - sizeof value[0];
  if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return value;
}

// The API is the stand-in's pair of HTTPS listeners.
class ProductConfigTest : public StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    Deployment().apiHost = L"127.0.0.1:" + std::to_wstring(standIn_.Port("https"));
    Deployment().apiFallbackHost = L"127.0.0.1:" + std::to_wstring(standIn_.Port("https_alt"));
  }

  // Reads "<Product>" + children + "</Product>" into fresh records. A
  // product id follows the children, so that one given there comes first.
  bool Load(const std::wstring& children) {
    config_ = ProductConfig();
    places_ = ProductPlaces();
    places_.installRoot = L"C:\\Before\\";
    return LoadProductXml(
        L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Product>" + children + L"<ProductID>5</ProductID></Product>",
        &config_, &places_);
  }

  ProductConfig config_;
  ProductPlaces places_;
};

TEST_F(ProductConfigTest, TheEmbeddedFileIsReadAndAnnouncedToTheApi) {
  LogWatch log;
  ASSERT_TRUE(LoadLocalXml(::GetModuleHandleW(nullptr), &config_, &places_));

  EXPECT_EQ(config_.ProductName, L"Vantrel");
  EXPECT_EQ(config_.Url_Down, L"http://127.0.0.2/pkg/Vantrel_setup.exe?a=1&b=2");
  EXPECT_EQ(config_.OnlyUseLocalUrl, L"1");
  EXPECT_EQ(config_.Languages, L"English,\u65E5\u672C\u8A9E");
  EXPECT_EQ(config_.ServerHost, L"http://127.0.0.1:9/platform/");
  EXPECT_EQ(TrackRecord().TrackServerBase(), L"http://127.0.0.1:9/platform/");
  ASSERT_EQ(config_.Dependent.size(), 1u);
  EXPECT_EQ(config_.Dependent[0].ForceInstall, L"true");

  ASSERT_FALSE(places_.configFolder.empty());
  EXPECT_EQ(places_.configFolder.back(), L'\\');
  EXPECT_TRUE(FolderExists(places_.configFolder));
  EXPECT_EQ(places_.runConfigPath, places_.configFolder + L"QIV_DOWNTASK_10716.xml");

  const std::string sign = WideToUtf8(GetClientSign(L"Pellavorine"));
  ASSERT_FALSE(sign.empty());
  EXPECT_EQ(GetTrackValue("product_id"), "10716");
  EXPECT_EQ(GetTrackValue("client_sign"), sign);
  EXPECT_EQ(GetTrackValue("channel"), "test-channel");
  EXPECT_EQ(GetTrackValue("defchannel"), WideToAnsi(DefaultChannel()));
  EXPECT_EQ(GetTrackValue("scene_code"), "scene-7");
  EXPECT_EQ(ChannelValue(L"10716"), L"test-channel");

  const std::string text = log.NewText();
  const std::vector<std::string> lines = {"[INFO] ", " - LoadLocalXml\n",
                                          " - config folder=[" + WideToAnsi(places_.configFolder) + "].\n",
                                          " - LoadLocalXml, dependent.item pid=[10819].\n", " - post info ok.\n"};
  size_t at = 0;
  for (const std::string& line : lines) {
    at = text.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " in order in:\n" << text;
  }
  EXPECT_EQ(log.Count("[ERROR] "), 0u) << text;

  const auto journal = standIn_.Journal();
  ASSERT_EQ(Paths(journal), (std::vector<std::string>{"/v3/user/client/token", "/v1/product/series"}));
  const JournalEntry& notice = journal[1];
  EXPECT_EQ(notice.listener, "https");
  EXPECT_EQ(FirstLine(notice), "POST /v1/product/series HTTP/1.0");
  const std::vector<std::string> headers = HeadersNamed(notice, {"Content-Type", "Authorization"});
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0], "Content-Type: application/json");
  EXPECT_EQ(headers[1].rfind("Authorization: Bearer stand-in-token-", 0), 0u) << headers[1];
  EXPECT_EQ(notice.body, "{\"product_id\":10716, \"client_sign\":\"" + sign + "\"}");
  EXPECT_EQ(HeadersNamed(journal[0], {"X-Prod-Ver"}), std::vector<std::string>{"X-Prod-Ver: 1.1.1"});
}

TEST_F(ProductConfigTest, MissingElementsTakeTheirDefaults) {
  ASSERT_TRUE(Load(L""));
  EXPECT_EQ(config_.FoldBottom, L"1");
  EXPECT_EQ(config_.ServerHost, Deployment().defaultServerHost);
  EXPECT_EQ(config_.Url_License, kDefaultLicenseUrl);
  for (const std::wstring* empty :
       {&config_.ProductSkin, &config_.ProductBrand, &config_.ProductName, &config_.ProductArg, &config_.AppID,
        &config_.Channel, &config_.Url_Down, &config_.Url_Down_x64, &config_.Url_Install, &config_.Languages,
        &config_.InstallTime, &config_.CustomInstallPath, &config_.IsAllowInstallAdminPath, &config_.StartupProduct,
        &config_.NotSupportWin32, &config_.SceneCode}) {
    EXPECT_EQ(*empty, L"");
  }
  EXPECT_TRUE(config_.Dependent.empty());
  EXPECT_EQ(places_.runConfigPath, places_.configFolder + L"QIV_DOWNTASK_5.xml");
  EXPECT_EQ(places_.installRoot, L"C:\\Before\\");  // nothing to propose
}

TEST_F(ProductConfigTest, ServerHostEndsInOneSlash) {
  struct Case {
    std::wstring element;
    std::wstring expected;
  };
  const std::wstring fallback = Deployment().defaultServerHost;
  const Case cases[] = {
      {L"<ServerHost>http://h.test/base</ServerHost>", L"http://h.test/base/"},
      {L"<ServerHost>http://h.test/base/</ServerHost>", L"http://h.test/base/"},
      {L"<ServerHost>h.test</ServerHost>", L"h.test/"},
      {L"", fallback},
      {L"<ServerHost></ServerHost>", fallback},
      {L"<Deployment><ServerHostDefault>http://127.0.0.1:7/p</ServerHostDefault></Deployment>",
       L"http://127.0.0.1:7/p/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToAnsi(c.element));
    Deployment().defaultServerHost = fallback;
    ASSERT_TRUE(Load(c.element));
    EXPECT_EQ(config_.ServerHost, c.expected);
    EXPECT_EQ(TrackRecord().TrackServerBase(), c.expected);
  }
}

TEST_F(ProductConfigTest, AnEmptyLicencePageGetsTheDefault) {
  ASSERT_TRUE(Load(L"<Url_License></Url_License>"));
  EXPECT_EQ(config_.Url_License, kDefaultLicenseUrl);
  ASSERT_TRUE(Load(L"<Url_License>http://l.test/eula</Url_License>"));
  EXPECT_EQ(config_.Url_License, L"http://l.test/eula");
}

TEST_F(ProductConfigTest, The64BitPackageIsReadOnlyOn64BitWindows) {
  // Both prefixes run this: make sure each one shows its own side.
  const char* arch = std::getenv("WINEARCH");
  if (arch) {
    EXPECT_EQ(IsWindows64(), std::string(arch) != "win32");
  }

  ASSERT_TRUE(Load(
      L"<Downurl><OnlyUseLocalUrl>1</OnlyUseLocalUrl><Url_Down>http://p.test/32.exe</Url_Down></Downurl>"
      L"<Downurl_x64><OnlyUseLocalUrl>1</OnlyUseLocalUrl><Url_Down>http://p.test/64.exe</Url_Down></Downurl_x64>"
      L"<Installurl><OnlyUseLocalUrl>1</OnlyUseLocalUrl><Url_Install>http://p.test/done</Url_Install></Installurl>"));
  EXPECT_EQ(config_.Url_Down, L"http://p.test/32.exe");
  EXPECT_EQ(config_.Url_Down_x64, IsWindows64() ? L"http://p.test/64.exe" : L"");
  EXPECT_EQ(config_.OnlyUseLocalUrl_x64, IsWindows64() ? L"1" : L"");
  EXPECT_EQ(config_.OnlyUseLocalInstallUrl, L"1");
  EXPECT_EQ(config_.Url_Install, L"http://p.test/done");
}

TEST_F(ProductConfigTest, DependentsWithoutAPackageAreDroppedButLogged) {
  LogWatch log;
  ASSERT_TRUE(
      Load(L"<Dependent>"
           L"<item><ProductID>501</ProductID><ProductName>Full</ProductName><ProductExe>f.exe</ProductExe>"
           L"<Url_Down>http://d.test/f.exe</Url_Down><Url_Downx64>http://d.test/f64.exe</Url_Downx64>"
           L"<ForceInstall>false</ForceInstall><ProductArg>-a</ProductArg><ProductInstallArg>/q</ProductInstallArg>"
           L"<ProductInsCmple>WIN7RTM</ProductInsCmple><ForkInstall>1</ForkInstall></item>"
           L"<item><ProductID>502</ProductID></item>"
           L"<item><ProductID>503</ProductID><Url_Downx64>http://d.test/g64.exe</Url_Downx64></item>"
           L"<item><Url_Down>http://d.test/nobody.exe</Url_Down></item>"
           L"<other><ProductID>504</ProductID><Url_Down>http://d.test/x.exe</Url_Down></other>"
           L"</Dependent>"));

  ASSERT_EQ(config_.Dependent.size(), 2u);
  const DependentItem& full = config_.Dependent[0];
  EXPECT_EQ(full.ProductID, L"501");
  EXPECT_EQ(full.ProductName, L"Full");
  EXPECT_EQ(full.ProductExe, L"f.exe");
  EXPECT_EQ(full.Url_Down, L"http://d.test/f.exe");
  EXPECT_EQ(full.Url_Downx64, L"http://d.test/f64.exe");
  EXPECT_EQ(full.ForceInstall, L"false");
  EXPECT_EQ(full.ProductArg, L"-a");
  EXPECT_EQ(full.ProductInstallArg, L"/q");
  EXPECT_EQ(full.ProductInsCmple, L"WIN7RTM");
  EXPECT_EQ(full.ForkInstall, L"1");
  const DependentItem& only64 = config_.Dependent[1];
  EXPECT_EQ(only64.ProductID, L"503");
  EXPECT_EQ(only64.ForceInstall, L"true");  // missing counts as forced

  auto selected = [](int32_t id) {
    int flag = -1;
    TrackRecord().UpdateBindTask(id, [&](BindTaskEntry* entry) { flag = entry->selected; });
    return flag;
  };
  EXPECT_EQ(selected(501), 0);
  EXPECT_EQ(selected(503), 1);

  for (const char* id : {"501", "502", "503", ""}) {
    EXPECT_EQ(log.Count(std::string(" - LoadLocalXml, dependent.item pid=[") + id + "].\n"), 1u) << id;
  }
  EXPECT_EQ(log.Count("dependent.item pid=[504]"), 0u);
}

TEST_F(ProductConfigTest, UnreadableDocumentsFailWithTheirLogLine) {
  struct Case {
    std::wstring text;
    const char* line;
  };
  const Case cases[] = {
      {L"", " - LoadLocalXml err 3\n"},
      {L"<Product><ProductName>x</Product>", " - LoadLocalXml err 3\n"},
      {L"<Product/><Product/>", " - LoadLocalXml err 3\n"},
      {L"<?xml version=\"1.0\"?><Products><ProductID>5</ProductID></Products>", " - LoadLocalXml, not find product.\n"},
      {L"<product/>", " - LoadLocalXml, not find product.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToAnsi(c.text));
    LogWatch log;
    EXPECT_FALSE(LoadProductXml(c.text, &config_, &places_));
    EXPECT_EQ(log.Count(std::string("[ERROR] ")), 1u) << log.NewText();
    EXPECT_EQ(log.Count(c.line), 1u) << log.NewText();
  }
  EXPECT_TRUE(standIn_.Journal().empty());  // nothing announced
}

TEST_F(ProductConfigTest, TheFirstOfDuplicatedElementsWinsAndLongValuesStayWhole) {
  const std::wstring longName(1 << 20, L'\u00E9');
  ASSERT_TRUE(Load(L"<ProductName>" + longName +
                   L"</ProductName><ProductName>second</ProductName>"
                   L"<ProductID>6</ProductID><ProductID>7</ProductID>"));
  EXPECT_EQ(config_.ProductName, longName);
  EXPECT_EQ(config_.ProductID, L"6");
}

TEST_F(ProductConfigTest, TheChannelIsRegisteredUnderTheAppIdOrElseTheProductId) {
  ASSERT_TRUE(Load(L"<ProductID>701</ProductID><AppID>app-702</AppID><Channel>ch-a</Channel>"));
  EXPECT_EQ(ChannelValue(L"app-702"), L"ch-a");
  EXPECT_EQ(ChannelValue(L"701"), L"<missing>");
  ASSERT_TRUE(Load(L"<ProductID>703</ProductID><Channel>ch-b</Channel>"));
  EXPECT_EQ(ChannelValue(L"703"), L"ch-b");
}

TEST_F(ProductConfigTest, ACustomInstallPathOnAnExistingDriveBecomesTheInstallRoot) {
  ASSERT_TRUE(Load(L"<CustomInstallPath>C:\\Games\\</CustomInstallPath>"));
  EXPECT_EQ(places_.installRoot, L"C:\\Games\\");

  std::wstring missingDrive;
  for (wchar_t letter = L'Q'; letter <= L'Y' && missingDrive.empty(); ++letter) {
    const std::wstring root = std::wstring(1, letter) + L":\\";
    if (::GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR) missingDrive = root;
  }
  ASSERT_FALSE(missingDrive.empty());
  ASSERT_TRUE(Load(L"<CustomInstallPath>" + missingDrive + L"Games\\</CustomInstallPath>"));
  EXPECT_EQ(places_.installRoot, L"C:\\Before\\");

  const std::wstring localAppData = DesktopUserLocalAppData();
  if (localAppData.empty()) GTEST_SKIP() << "no desktop user here";
  ASSERT_TRUE(Load(L"<CustomInstallPath>%LocalAppDATA%</CustomInstallPath>"));
  EXPECT_EQ(places_.installRoot, localAppData + L"\\");
}

TEST_F(ProductConfigTest, AFailedSeriesNoticeIsOnlyLogged) {
  ASSERT_TRUE(standIn_.SetAnswer("{\"path\":\"/v1/product/series\",\"fault\":\"code_nonzero\"}"));
  LogWatch log;
  EXPECT_TRUE(Load(L""));
  EXPECT_EQ(log.Count(" - post info failed! result=[{\"code\":1001,\"msg\":\"stand-in fault\"}].\n"), 1u)
      << log.NewText();
  EXPECT_EQ(Paths(standIn_.Journal()),
            (std::vector<std::string>{"/v3/user/client/token", "/v1/product/series", "/v1/product/series"}));
}

// The UTF-16 text of an XML resource of this program.
std::wstring ResourceText(int id) {
  HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"XML");
  if (!resource) return {};
  const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(nullptr, resource)));
  return Utf8ToWide(std::string(bytes, ::SizeofResource(nullptr, resource)));
}

TEST_F(ProductConfigTest, TheShippedProductFilesRead) {
  ASSERT_TRUE(LoadProductXml(ResourceText(108), &config_, &places_));  // release: the maker's hosts
  EXPECT_EQ(config_.ProductName, L"Vantrel");
  EXPECT_EQ(config_.ServerHost, L"https://platform.pellavorine.example/");
  EXPECT_EQ(config_.Dependent.size(), 1u);

  // The demo points every service at the loopback ports scripts/demo uses;
  // its notice goes there too, and fails when no demo runs.
  config_ = ProductConfig();
  ASSERT_TRUE(LoadProductXml(ResourceText(107), &config_, &places_));
  EXPECT_EQ(config_.ServerHost, L"http://127.0.0.1:28601/");
  EXPECT_EQ(Deployment().apiHost, L"127.0.0.1:28602");
  EXPECT_EQ(Deployment().apiFallbackHost, L"127.0.0.1:28604");
  EXPECT_EQ(Deployment().httpDnsPrimary, L"https://127.0.0.1:28602");
  EXPECT_EQ(Deployment().analyticsPort, L"28602");
  EXPECT_EQ(config_.Languages, L"English,\u65E5\u672C\u8A9E");
  ASSERT_EQ(config_.Dependent.size(), 1u);
  EXPECT_EQ(config_.Dependent[0].ForkInstall, L"1");
}

}  // namespace
