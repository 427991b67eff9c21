#include "telemetry/api_access.h"

#include "foundation/curl_request.h"
#include "foundation/deployment.h"
#include "foundation/json_object.h"
#include "foundation/logger.h"
#include "foundation/text_convert.h"

namespace {

constexpr char kTokenPath[] = "/v3/user/client/token";

std::wstring ApiUrl(const std::wstring& host, const std::string& path) {
  return L"https://" + host + AnsiToWide(path);
}

// Whether the answer asks for the second host, and says so when asked to.
bool NeedsFallback(const std::string& answer, bool logSwitch) {
  if (ApiResponseCode(answer) == 0) return false;
  if (logSwitch) LOG_WARN("switch host domain.");
  return true;
}

std::string PostJsonTo(const std::wstring& host, const std::string& path, const std::vector<std::string>& headers,
                       const std::string& body) {
  int code = 0;
  return CurlRequest(kCurlPost, ApiUrl(host, path), headers, true, false, body, &code);
}

std::string PostFileTo(const std::wstring& host, const std::string& path, const std::vector<std::string>& headers,
                       const std::string& filePath) {
  int code = 0;
  return CurlFormRequest(WideToAnsi(ApiUrl(host, path)), headers, filePath, &code);
}

}  // namespace

int ApiResponseCode(const std::string& body) {
  CJsonObject answer(body);
  int32_t code = -1;
  if (!answer.Get("code", &code)) return -1;
  return code;
}

std::string PostApiJson(const std::string& path, const std::vector<std::string>& headers, const std::string& body,
                        bool logSwitch) {
  const DeploymentValues& deployment = Deployment();
  std::string answer = PostJsonTo(deployment.apiHost, path, headers, body);
  if (NeedsFallback(answer, logSwitch)) answer = PostJsonTo(deployment.apiFallbackHost, path, headers, body);
  return answer;
}

std::string PostApiFile(const std::string& path, const std::wstring& filePath, const std::string& accessToken,
                        const ApiIdentity* identity) {
  std::vector<std::string> headers = {"Authorization: Bearer " + accessToken, "Content-Type: multipart/form-data"};
  if (identity) {
    headers.push_back(std::string("X-App-Key: ") + kApiAppKey);
    headers.push_back("X-Client-Type: 1");
    headers.push_back("X-Lang: en-us");
    headers.push_back("X-Client-Sn: " + identity->clientSign);
    headers.push_back("X-Prod-Id: " + identity->productId);
    headers.push_back("X-Prod-Ver: " + identity->version);
  }
  const std::string utf8Path = WideToUtf8(filePath);
  const DeploymentValues& deployment = Deployment();
  std::string answer = PostFileTo(deployment.apiHost, path, headers, utf8Path);
  if (NeedsFallback(answer, true)) answer = PostFileTo(deployment.apiFallbackHost, path, headers, utf8Path);
  return answer;
}

std::string GetClientToken(const std::string& productId, const std::string& clientSign, const std::string& version) {
  const std::vector<std::string> headers = {
      "X-Client-Type: 1",
      "Content-Type: application/json",
      std::string("X-App-Key: ") + kApiAppKey,
      "X-Client-Sn: " + clientSign,
      "X-Prod-Id: " + productId,
      "X-Prod-Ver: " + version,
  };
  const std::string body =
      std::string("{\"grant_type\":\"client_credentials\",\"app_secret\":\"") + kApiAppSecret + "\"}";
  const std::string answer = PostApiJson(kTokenPath, headers, body, false);
  if (ApiResponseCode(answer) != 0) {
    LOG_ERROR("get token failed! result=[%s].", answer.c_str());
    return std::string();
  }
  CJsonObject data;
  std::string token;
  if (CJsonObject(answer).Get("data", &data)) data.Get("access_token", &token);
  return token;
}
