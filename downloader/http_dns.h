// Resolving a download host through the public HTTP-DNS service when the
// system resolver gives no address: a signed HTTPS query that answers a
// compact JSON array of IPv4 address texts.
#pragma once

#include <string>
#include <vector>

namespace ns_JEB {

// Appends the address texts the service returned for host (ANSI code page)
// to *addresses; true when there is at least one. The primary endpoint is
// asked first, the secondary one once when the primary gives nothing.
bool QueryHttpDns(const std::string& host, std::vector<std::string>* addresses);

// The account credentials are kept in the deployment values in a stored
// form: base64 text with a fixed run of extra characters inserted at a fixed
// offset. These recover the plain values; "" when the text is too short.
std::string RecoverHttpDnsAccount(const std::wstring& stored);
std::string RecoverHttpDnsSecret(const std::wstring& stored);
std::string RecoverHttpDnsAccessKey(const std::wstring& stored);

// key = SHA-256 (lower-case hex) of account + secret + ts + host + access key.
std::string HttpDnsKey(const std::string& account, const std::string& secret, const std::string& ts,
                       const std::string& host, const std::string& accessKey);

// The address texts of a compact JSON array of strings; nothing when the
// body is not such an array.
std::vector<std::string> ParseHttpDnsAddresses(const std::string& body);

}  // namespace ns_JEB
