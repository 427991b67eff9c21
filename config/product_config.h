// The product description every installer carries as its embedded product
// file (resource "XML" 106), and LoadLocalXml, which reads it at start-up
// and derives from it the configuration folder, the run-state path, the
// channel registration, the common track properties and the series notice.
// Every field is UTF-16 text, flags and numbers included.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr int kProductFileResourceId = 106;

// One dependent ("bind") product, from the product file or the server.
struct DependentItem {
  std::wstring ProductID;
  std::wstring ProductName;
  std::wstring ProductExe;
  std::wstring ProductArg;
  std::wstring ProductInstallArg;
  std::wstring ProductInsCmple;
  std::wstring Url_Down;
  std::wstring Url_Downx64;
  std::wstring ForceInstall;
  // Filled by the server's runtime configuration only.
  std::wstring Md5_32;
  std::wstring HistoryMd5_32;
  std::wstring Md5_64;
  std::wstring HistoryMd5_64;
  std::wstring FileSize;
  std::wstring ForkInstall;
};

// Field names are the element names of the product file.
struct ProductConfig {
  std::wstring ProductSkin;
  std::wstring ProductBrand;
  std::wstring ProductName;
  std::wstring ProductExe;
  std::wstring ProductArg;
  std::wstring FoldBottom = L"1";
  std::wstring ServerHost;
  std::wstring ProductInstallArg;
  std::wstring ProductInsCmple;
  std::wstring ProductID;
  std::wstring AppID;
  std::wstring Channel;
  std::wstring OnlyUseLocalUrl;      // Downurl/OnlyUseLocalUrl
  std::wstring Url_Down;             // Downurl/Url_Down
  std::wstring OnlyUseLocalUrl_x64;  // Downurl_x64/OnlyUseLocalUrl, 64-bit Windows only
  std::wstring Url_Down_x64;         // Downurl_x64/Url_Down, 64-bit Windows only
  std::wstring Dotnetminver;
  std::wstring Dotneturl;
  std::wstring OnlyUseLocalInstallUrl;  // Installurl/OnlyUseLocalUrl
  std::wstring Url_Install;             // Installurl/Url_Install
  std::wstring Languages;
  std::wstring Url_License;
  std::wstring InstallTime;
  std::wstring AgreeUserLicense;
  std::wstring CustomInstallPath;
  std::wstring IsAllowInstallAdminPath;
  std::wstring StartupProduct;
  std::wstring Url_Jump;
  std::wstring InstallErrorUrl;
  std::vector<DependentItem> Dependent;
  std::wstring UserAgreementUrl;
  std::wstring PrivacyAgreementUrl;
  std::wstring NotSupportWin32;
  std::wstring SceneCode;
};

// The licence page shown when the product file names none.
extern const wchar_t kDefaultLicenseUrl[];

// What LoadLocalXml derives besides the record.
struct ProductPlaces {
  std::wstring configFolder;   // also the default save folder; ends in "\\"
  std::wstring runConfigPath;  // configFolder + "QIV_DOWNTASK_" + ProductID + ".xml"
  // Left as the caller set it unless the product proposes a root.
  std::wstring installRoot;
};

// Reads the product file resource of module. False when the resource is
// missing or empty, does not parse, or has no Product root; each with its
// log line. Missing elements never fail: their defaults apply.
bool LoadLocalXml(HMODULE module, ProductConfig* config, ProductPlaces* places);

// Everything after the resource was found: parses the UTF-16 text of the
// product file and performs the rest of LoadLocalXml on it.
bool LoadProductXml(const std::wstring& text, ProductConfig* config, ProductPlaces* places);
