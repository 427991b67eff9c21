#include "config/product_config.h"

#include <cwchar>

#include "config/brand_folder.h"
#include "foundation/deployment.h"
#include "foundation/logger.h"
#include "foundation/maker_registry.h"
#include "foundation/system_info.h"
#include "foundation/text_convert.h"
#include "foundation/xml_document.h"
#include "telemetry/series_notice.h"
#include "telemetry/track_record.h"

const wchar_t kDefaultLicenseUrl[] = L"https://www.pellavorine.example/vantrel/license.html";

namespace {

// The text of the main element's first child of that name. A missing child
// leaves *value alone, so that the caller's default stays.
bool ReadChild(CXmlDocument& doc, const wchar_t* name, std::wstring* value) {
  doc.ResetChildPosition();
  if (!doc.FindChildElement(name)) return false;
  doc.EnterElement();
  *value = doc.GetElementData();
  doc.LeaveElement();
  return true;
}

// Selects the main element's first child of that name as the new main
// element; the caller leaves it again.
bool EnterChild(CXmlDocument& doc, const wchar_t* name) {
  doc.ResetChildPosition();
  return doc.FindChildElement(name) && doc.EnterElement();
}

// The deployment values a product file may override, so that a test or demo
// installer built from the same sources talks to loopback stand-ins.
void ReadDeployment(CXmlDocument& doc) {
  if (!EnterChild(doc, L"Deployment")) return;
  for (const std::wstring& name : DeploymentElementNames()) {
    std::wstring value;
    if (ReadChild(doc, name.c_str(), &value)) OverrideDeploymentValue(name, value);
  }
  doc.LeaveElement();
}

void ReadUrlGroup(CXmlDocument& doc, const wchar_t* group, const wchar_t* urlName, std::wstring* onlyLocal,
                  std::wstring* url) {
  if (!EnterChild(doc, group)) return;
  ReadChild(doc, L"OnlyUseLocalUrl", onlyLocal);
  ReadChild(doc, urlName, url);
  doc.LeaveElement();
}

void ReadDependents(CXmlDocument& doc, std::vector<DependentItem>* dependents) {
  if (!EnterChild(doc, L"Dependent")) return;
  while (doc.FindChildElement(L"item")) {
    doc.EnterElement();
    DependentItem item;
    ReadChild(doc, L"ProductID", &item.ProductID);
    ReadChild(doc, L"ProductName", &item.ProductName);
    ReadChild(doc, L"ProductExe", &item.ProductExe);
    ReadChild(doc, L"Url_Down", &item.Url_Down);
    ReadChild(doc, L"Url_Downx64", &item.Url_Downx64);
    item.ForceInstall = L"true";
    ReadChild(doc, L"ForceInstall", &item.ForceInstall);
    ReadChild(doc, L"ProductArg", &item.ProductArg);
    ReadChild(doc, L"ProductInstallArg", &item.ProductInstallArg);
    ReadChild(doc, L"ProductInsCmple", &item.ProductInsCmple);
    ReadChild(doc, L"ForkInstall", &item.ForkInstall);
    doc.LeaveElement();

    // An item without a package cannot be downloaded: it is dropped, but
    // the log still shows that the product file named it.
    if (!item.ProductID.empty() && (!item.Url_Down.empty() || !item.Url_Downx64.empty())) {
      SetBindTaskFlag(static_cast<int32_t>(std::wcstol(item.ProductID.c_str(), nullptr, 10)),
                      item.ForceInstall == L"true");
      dependents->push_back(item);
    }
    LOG_INFO("LoadLocalXml, dependent.item pid=[%s].", WideToAnsi(item.ProductID).c_str());
  }
  doc.LeaveElement();
}

}  // namespace

bool LoadLocalXml(HMODULE module, ProductConfig* config, ProductPlaces* places) {
  LOG_INFO("LoadLocalXml");
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(kProductFileResourceId), L"XML");
  if (!resource) {
    LOG_ERROR("LoadLocalXml, find failed!");
    return false;
  }
  HGLOBAL loaded = ::LoadResource(module, resource);
  const DWORD size = ::SizeofResource(module, resource);
  const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (!bytes || size == 0) {
    LOG_ERROR("LoadLocalXml, size error!");
    return false;
  }
  const int count = CXmlDocument::Utf8ToUtf16(bytes, static_cast<int>(size), nullptr);
  std::wstring text(static_cast<size_t>(count) + 1, L'\0');
  CXmlDocument::Utf8ToUtf16(bytes, static_cast<int>(size), &text[0]);
  text.resize(count);
  return LoadProductXml(text, config, places);
}

bool LoadProductXml(const std::wstring& text, ProductConfig* config, ProductPlaces* places) {
  CXmlDocument doc;
  if (!doc.SetText(text)) {
    LOG_ERROR("LoadLocalXml err 3");
    return false;
  }
  if (!doc.FindElement(L"Product")) {
    LOG_ERROR("LoadLocalXml, not find product.");
    return false;
  }
  // First, so that the default server host below is already the deployment's.
  ReadDeployment(doc);

  ProductConfig& c = *config;
  ReadChild(doc, L"ProductSkin", &c.ProductSkin);
  ReadChild(doc, L"ProductBrand", &c.ProductBrand);
  ReadChild(doc, L"ProductName", &c.ProductName);
  ReadChild(doc, L"ProductExe", &c.ProductExe);
  ReadChild(doc, L"ProductArg", &c.ProductArg);
  ReadChild(doc, L"FoldBottom", &c.FoldBottom);
  ReadChild(doc, L"ProductInstallArg", &c.ProductInstallArg);
  ReadChild(doc, L"ProductInsCmple", &c.ProductInsCmple);
  ReadChild(doc, L"CustomInstallPath", &c.CustomInstallPath);
  ReadChild(doc, L"IsAllowInstallAdminPath", &c.IsAllowInstallAdminPath);
  // An empty host is no base for a request at all: it counts as missing.
  if (!ReadChild(doc, L"ServerHost", &c.ServerHost) || c.ServerHost.empty()) {
    c.ServerHost = Deployment().defaultServerHost;
  }
  if (c.ServerHost.back() != L'/') c.ServerHost += L'/';
  TrackRecord().SetTrackServerBase(c.ServerHost);

  places->configFolder = BrandFolder(c.ProductBrand, false);
  LOG_INFO("config folder=[%s].", WideToAnsi(places->configFolder).c_str());

  ReadChild(doc, L"ProductID", &c.ProductID);
  places->runConfigPath = places->configFolder + L"QIV_DOWNTASK_" + c.ProductID + L".xml";
  ReadChild(doc, L"AppID", &c.AppID);
  ReadChild(doc, L"Channel", &c.Channel);

  ReadUrlGroup(doc, L"Downurl", L"Url_Down", &c.OnlyUseLocalUrl, &c.Url_Down);
  // A 32-bit Windows cannot run the 64-bit package, whatever the file offers.
  if (IsWindows64()) ReadUrlGroup(doc, L"Downurl_x64", L"Url_Down", &c.OnlyUseLocalUrl_x64, &c.Url_Down_x64);

  ReadChild(doc, L"InstallTime", &c.InstallTime);
  ReadUrlGroup(doc, L"Installurl", L"Url_Install", &c.OnlyUseLocalInstallUrl, &c.Url_Install);
  if (!ReadChild(doc, L"Url_License", &c.Url_License) || c.Url_License.empty()) c.Url_License = kDefaultLicenseUrl;
  ReadChild(doc, L"UserAgreementUrl", &c.UserAgreementUrl);
  ReadChild(doc, L"PrivacyAgreementUrl", &c.PrivacyAgreementUrl);
  ReadChild(doc, L"Languages", &c.Languages);
  ReadChild(doc, L"Dotnetminver", &c.Dotnetminver);
  ReadChild(doc, L"Dotneturl", &c.Dotneturl);
  ReadChild(doc, L"AgreeUserLicense", &c.AgreeUserLicense);
  ReadChild(doc, L"StartupProduct", &c.StartupProduct);
  ReadChild(doc, L"Url_Jump", &c.Url_Jump);
  ReadChild(doc, L"InstallErrorUrl", &c.InstallErrorUrl);
  ReadChild(doc, L"NotSupportWin32", &c.NotSupportWin32);
  ReadChild(doc, L"SceneCode", &c.SceneCode);

  ReadDependents(doc, &c.Dependent);

  RegisterChannel(c.AppID.empty() ? c.ProductID : c.AppID, c.Channel);

  const std::wstring root = DefaultInstallRoot(std::wstring(), c.CustomInstallPath, c.ProductBrand, c.ProductID);
  if (!root.empty()) places->installRoot = root;

  const std::wstring clientSign = GetClientSign(c.ProductBrand);
  SetTrackText("product_id", c.ProductID);
  SetTrackText("client_sign", clientSign);
  SetTrackText("channel", c.Channel);
  SetTrackText("defchannel", DefaultChannel());
  SetTrackText("scene_code", c.SceneCode);

  SendSeriesNotice(c.ProductID, clientSign);
  return true;
}
