// The CDN's idea of a package's size, asked over WinHTTP of every address the
// system resolver gives for the url's host, independently of the address
// pool. The job uses it to decide whether a file already on disk is complete.
#pragma once

#include <cstdint>
#include <string>

namespace ns_JEB {

// The majority content length of HEAD replies over the host's addresses;
// 0 when none answered.
int32_t GetCdnFileSize(const std::wstring& url);

}  // namespace ns_JEB
