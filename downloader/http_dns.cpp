#include "downloader/http_dns.h"

#include <ctime>

#include "foundation/base64.h"
#include "foundation/curl_request.h"
#include "foundation/deployment.h"
#include "foundation/sha256.h"
#include "foundation/text_convert.h"

namespace ns_JEB {

namespace {

constexpr char kResolvePath[] = "/resolve?type=1&short=1";

// Where the extra characters sit in each stored text, and how many there are.
struct StoredForm {
  size_t offset;
  size_t count;
};
constexpr StoredForm kAccountForm = {3, 1};
constexpr StoredForm kSecretForm = {11, 4};
constexpr StoredForm kAccessKeyForm = {6, 5};

std::string Recover(const std::wstring& stored, StoredForm form) {
  std::string text = WideToAnsi(stored);
  if (text.size() < form.offset + form.count) return std::string();
  text.erase(form.offset, form.count);
  return Base64Decode(text);
}

std::string AskEndpoint(const std::wstring& endpoint, const std::string& query, int* code) {
  return CurlRequest(kCurlGet, endpoint + AnsiToWide(query), {}, true, false, std::string(), code);
}

}  // namespace

std::string RecoverHttpDnsAccount(const std::wstring& stored) { return Recover(stored, kAccountForm); }
std::string RecoverHttpDnsSecret(const std::wstring& stored) { return Recover(stored, kSecretForm); }
std::string RecoverHttpDnsAccessKey(const std::wstring& stored) { return Recover(stored, kAccessKeyForm); }

std::string HttpDnsKey(const std::string& account, const std::string& secret, const std::string& ts,
                       const std::string& host, const std::string& accessKey) {
  return Sha256Hex(account + secret + ts + host + accessKey);
}

std::vector<std::string> ParseHttpDnsAddresses(const std::string& body) {
  std::vector<std::string> addresses;
  // An error object, a page or a cut-off body must not be taken apart as if
  // it were the array: its pieces would go to the pool as addresses.
  const std::wstring text = AnsiToWide(body);
  if (text.size() < 2 || text.front() != L'[' || text.back() != L']') return addresses;
  const std::wstring inner = text.substr(1, text.size() - 2);
  size_t start = 0;
  while (start <= inner.size()) {
    size_t comma = inner.find(L',', start);
    if (comma == std::wstring::npos) comma = inner.size();
    const std::wstring piece = inner.substr(start, comma - start);
    // An empty text is no address either.
    if (piece.size() > 2 && piece.front() == L'"' && piece.back() == L'"') {
      addresses.push_back(WideToAnsi(piece.substr(1, piece.size() - 2)));
    }
    start = comma + 1;
  }
  return addresses;
}

bool QueryHttpDns(const std::string& host, std::vector<std::string>* addresses) {
  if (!addresses) return false;
  const DeploymentValues& deployment = Deployment();
  const std::string account = RecoverHttpDnsAccount(deployment.httpDnsAccount);
  const std::string secret = RecoverHttpDnsSecret(deployment.httpDnsSecret);
  const std::string accessKey = RecoverHttpDnsAccessKey(deployment.httpDnsAccessKey);

  const std::string ts = std::to_string(static_cast<long long>(std::time(nullptr)));
  const std::string key = HttpDnsKey(account, secret, ts, host, accessKey);
  const std::string query = std::string(kResolvePath) + "&uid=" + account + "&ak=" + accessKey + "&name=" + host +
                            "&ts=" + ts + "&key=" + key;

  int code = 0;
  std::string body = AskEndpoint(deployment.httpDnsPrimary, query, &code);
  if (body.empty() || code != 0) body = AskEndpoint(deployment.httpDnsSecondary, query, &code);

  const size_t before = addresses->size();
  for (std::string& address : ParseHttpDnsAddresses(body)) addresses->push_back(std::move(address));
  return addresses->size() > before;
}

}  // namespace ns_JEB
