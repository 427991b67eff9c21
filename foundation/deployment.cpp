#include "foundation/deployment.h"

namespace {

struct DeploymentElement {
  const wchar_t* name;
  std::wstring DeploymentValues::*field;
};

constexpr DeploymentElement kElements[] = {
    {L"ServerHostDefault", &DeploymentValues::defaultServerHost},
    {L"ApiHost", &DeploymentValues::apiHost},
    {L"ApiFallbackHost", &DeploymentValues::apiFallbackHost},
    {L"ProdWebUrl", &DeploymentValues::prodWebUrl},
    {L"AnalyticsHost", &DeploymentValues::analyticsHost},
    {L"AnalyticsFallbackHost", &DeploymentValues::analyticsFallbackHost},
    {L"AnalyticsPort", &DeploymentValues::analyticsPort},
    {L"HttpDnsPrimary", &DeploymentValues::httpDnsPrimary},
    {L"HttpDnsSecondary", &DeploymentValues::httpDnsSecondary},
    {L"HttpDnsAccount", &DeploymentValues::httpDnsAccount},
    {L"HttpDnsSecret", &DeploymentValues::httpDnsSecret},
    {L"HttpDnsAccessKey", &DeploymentValues::httpDnsAccessKey},
};

}  // namespace

DeploymentValues& Deployment() {
  static DeploymentValues values;
  return values;
}

bool OverrideDeploymentValue(const std::wstring& element, const std::wstring& value) {
  // An empty element would leave the installer with no host at all; the
  // built-in value is the better fallback.
  if (value.empty()) return false;
  for (const DeploymentElement& known : kElements) {
    if (element == known.name) {
      Deployment().*known.field = value;
      return true;
    }
  }
  return false;
}

std::vector<std::wstring> DeploymentElementNames() {
  std::vector<std::wstring> names;
  for (const DeploymentElement& known : kElements) names.push_back(known.name);
  return names;
}
