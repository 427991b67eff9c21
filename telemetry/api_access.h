// The maker's HTTPS API: the pair of API hosts with a one-shot failover,
// the JSON POST every API call uses, the multipart file upload of the
// reporters, and the client-credentials token that authorises the calls.
#pragma once

#include <string>
#include <vector>

// The installer's own product id at the API.
constexpr char kInstallerApiProductId[] = "14424";
// Built-in credentials of the installer as an API client.
constexpr char kApiAppKey[] = "d0e9f8a7b6c5d4e3f2a1b0c9.demo";
constexpr char kApiAppSecret[] = "Hv7Lq2ZsWm8Rt4Xn6Bc1Yd9Kf3Ge5Pj0Ua";

// Who is asking: sent as the client identity headers.
struct ApiIdentity {
  std::string productId;   // "14424" for the installer itself
  std::string clientSign;  // UTF-8
  std::string version;     // "%d.%d.%d.%d", UTF-8
};

// The numeric "code" of an API answer; -1 when the body is not JSON, has no
// "code", or its "code" is not a number.
int ApiResponseCode(const std::string& body);

// POSTs the UTF-8 JSON body with the header lines to the primary API host;
// when the answer's code is not 0 (logged as a host switch when logSwitch is
// set) the same request goes once to the fallback host, and that answer is
// the result whatever it holds. Every call starts at the primary host.
std::string PostApiJson(const std::string& path, const std::vector<std::string>& headers, const std::string& body,
                        bool logSwitch);

// Uploads one file as the multipart part "file" with the bearer token and,
// when identity is given, the client identity headers; failover as above,
// always logged.
std::string PostApiFile(const std::string& path, const std::wstring& filePath, const std::string& accessToken,
                        const ApiIdentity* identity);

// A fresh access token for the client, or "" (an error answer is logged).
std::string GetClientToken(const std::string& productId, const std::string& clientSign, const std::string& version);
