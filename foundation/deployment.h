// Where the maker's services are: built-in defaults that point at the
// maker's servers, and overrides taken from the product file's optional
// "Deployment" element, so that a test or demo installer built from the same
// sources talks to loopback stand-ins instead.
//
// Written once on the main thread while the product file is read, before
// any other thread starts; read without a lock afterwards.
#pragma once

#include <string>
#include <vector>

struct DeploymentValues {
  // Base of the runtime configuration request and of the statistics upload
  // when the product file names no ServerHost; ends in "/".
  std::wstring defaultServerHost = L"http://platform.pellavorine.example/";
  // API hosts, host[:port]; requests go to "https://" + host + path.
  std::wstring apiHost = L"api.pellavorine.example";
  std::wstring apiFallbackHost = L"api2.pellavorine.example";
  // scheme://host[:port] of the product-web service (tracking id).
  std::wstring prodWebUrl = L"https://prodweb.pellavorine.example";
  // Analytics hosts, reached as "https://" + host + ":" + port + "/sa".
  std::wstring analyticsHost = L"sa.pellavorine.example";
  std::wstring analyticsFallbackHost = L"sa2.pellavorine.example";
  std::wstring analyticsPort = L"8106";
  // HTTP-DNS endpoints, "https://" + a literal IPv4 address [+ ":" + port].
  std::wstring httpDnsPrimary = L"https://203.0.113.53";
  std::wstring httpDnsSecondary = L"https://198.51.100.53";
  // The HTTP-DNS account in its stored form (see downloader/http_dns.h).
  std::wstring httpDnsAccount = L"MTMx5MjAx";
  std::wstring httpDnsSecret = L"UWl2LUh0dHBZq7eEbnMtUGxhY2Vob2xkZXItU2VjcmV0MDE=";
  std::wstring httpDnsAccessKey = L"UWl2LUKw3Lmh0dHBEbnMtQWNjZXNzS2V5LTAx";
};

// The process-wide values.
DeploymentValues& Deployment();

// Sets the value of one child element of "Deployment" by its element name
// (ApiHost, ApiFallbackHost, ProdWebUrl, AnalyticsHost, AnalyticsFallbackHost,
// AnalyticsPort, HttpDnsPrimary, HttpDnsSecondary, HttpDnsAccount,
// HttpDnsSecret, HttpDnsAccessKey, ServerHostDefault). An unknown name or an
// empty value changes nothing and gives false.
bool OverrideDeploymentValue(const std::wstring& element, const std::wstring& value);

// The element names OverrideDeploymentValue knows, in a fixed order.
std::vector<std::wstring> DeploymentElementNames();
