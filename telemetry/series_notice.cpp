#include "telemetry/series_notice.h"

#include "foundation/logger.h"
#include "foundation/text_convert.h"
#include "telemetry/api_access.h"

namespace {

constexpr char kSeriesPath[] = "/v1/product/series";
constexpr char kNoticeVersion[] = "1.1.1";

}  // namespace

std::string SeriesNoticeBody(const std::string& productId, const std::string& clientSign) {
  return "{\"product_id\":" + productId + ", \"client_sign\":\"" + clientSign + "\"}";
}

bool SendSeriesNotice(const std::wstring& productId, const std::wstring& clientSign) {
  const std::string id = WideToUtf8(productId);
  const std::string sign = WideToUtf8(clientSign);
  const std::string token = GetClientToken(id, sign, kNoticeVersion);
  const std::vector<std::string> headers = {"Content-Type: application/json", "Authorization: Bearer " + token};
  const std::string answer = PostApiJson(kSeriesPath, headers, SeriesNoticeBody(id, sign), false);
  if (ApiResponseCode(answer) == 0) {
    LOG_INFO("post info ok.");
    return true;
  }
  LOG_ERROR("post info failed! result=[%s].", answer.c_str());
  return false;
}
