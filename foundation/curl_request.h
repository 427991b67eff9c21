// One-shot requests through libcurl's easy interface: the runtime
// configuration, the API, the HTTP-DNS query and the size query. Every call
// is bounded (5 s to connect, 5 s in all; 10 s for a form upload) and runs
// with signals off, so any thread may call at any time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum CurlMethod { kCurlGet = 0, kCurlHead = 1, kCurlPost = 2 };

// The reply header text (when wanted, as received) followed by the reply
// body with every CR LF pair removed. *resultCode is libcurl's result: 0 when
// the transfer and the status query succeeded. The HTTP status is not
// judged; callers look at the body. "" when no handle could be created.
std::string CurlRequest(int method, const std::wstring& url, const std::vector<std::string>& headers,
                        bool http10, bool wantHeader, const std::string& body, int* resultCode);

// A multipart POST (HTTP/1.0, certificates not checked) with one part named
// "file" holding the file at filePath; the reply body without CR LF pairs.
std::string CurlFormRequest(const std::string& url, const std::vector<std::string>& headers,
                            const std::string& filePath, int* resultCode);

// The Content-Length of a HEAD reply, from the last such header when
// redirects produced several header blocks; 0 when it cannot be learned.
// A non-empty host is sent as the "Host:" header.
int64_t GetContentLength(const std::wstring& url, const std::wstring& host);

// The text with every CR LF pair removed; a lone CR or LF stays.
std::string RemoveCrLfPairs(const std::string& text);

// Test seam only: the product's limits are 5 s to connect, 5 s in all and
// 10 s for a form upload. Tests shorten them so that a silent peer costs
// little; nothing in the product calls it.
void SetCurlTimeoutsForTests(long connectMs, long totalMs, long formTotalMs);
