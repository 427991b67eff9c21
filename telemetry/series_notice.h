// Tells the API which product this installer installs on which client, once
// the product file has been read. Its outcome is only logged.
#pragma once

#include <string>

// Token (installer version "1.1.1"), then the notice; true when the API
// answered code 0.
bool SendSeriesNotice(const std::wstring& productId, const std::wstring& clientSign);

// {"product_id":<id>, "client_sign":"<sign>"}: the id as a bare number and
// exactly one blank, after the comma.
std::string SeriesNoticeBody(const std::string& productId, const std::string& clientSign);
