#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/url_text.h"

namespace {

TEST(UrlText, TrimBlanksRemovesSpacesTabsAndLineEndsAtBothEndsOnly) {
  EXPECT_EQ(L"a \t b", TrimBlanks(L" \t\r\na \t b\n\r\t "));
  EXPECT_EQ(L"", TrimBlanks(L" \t\r\n"));
  EXPECT_EQ(L"", TrimBlanks(L""));
  EXPECT_EQ(L"x", TrimBlanks(L"x"));
}

TEST(UrlText, IsValidUrlNeedsAnHttpPrefixAndSomethingAfterIt) {
  const struct {
    const wchar_t* url;
    bool valid;
  } cases[] = {
      {L"http://a", true},        {L"http://", false},  {L"  http://a \r\n", true}, {L"https://a", true},
      {L"https://", false},       {L"ftp://host/", false}, {L"www.example.com", false}, {L"", false},
      {L"HTTP://host/", false},  // the prefix is compared as written
  };
  for (const auto& c : cases) EXPECT_EQ(c.valid, IsValidUrl(c.url)) << c.url;
}

TEST(UrlText, SplitTextTrimsPiecesAndDropsEmptyOnes) {
  const struct {
    const wchar_t* text;
    const wchar_t* separator;
    std::vector<std::wstring> pieces;
  } cases[] = {
      {L"a;b;c", L";", {L"a", L"b", L"c"}},
      {L"  a ; ;b;;  c  ;", L";", {L"a", L"b", L"c"}},
      {L"one||two|||three", L"||", {L"one", L"two", L"|three"}},
      {L"single", L",", {L"single"}},
      {L" ; ; ", L";", {}},
      {L"", L";", {}},
      {L" whole text ", L"", {L"whole text"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.pieces, SplitText(c.text, c.separator)) << c.text;
}

TEST(UrlText, EncodePathCharsOnlyTouchesSpaceAndPlus) {
  EXPECT_EQ(L"/a%20b%2Bc%20%20%2B", EncodePathChars(L"/a b+c  +"));
  EXPECT_EQ(L"/x%41?q=1&r=%7e#f", EncodePathChars(L"/x%41?q=1&r=%7e#f"));
}

TEST(UrlText, SplitUrlSplitsPlainHttpUrls) {
  const struct {
    const wchar_t* url;
    const wchar_t* host;
    unsigned short port;
    const wchar_t* path;
  } cases[] = {
      {L"http://dl.example.com/pkg/Setup.exe", L"dl.example.com", 80, L"/pkg/Setup.exe"},
      {L"  HTTP://DL.Example.COM:8080/Pkg/My Setup+1.exe?A=B \r\n", L"dl.example.com", 8080,
       L"/Pkg/My%20Setup%2B1.exe?A=B"},
      {L"http:\\\\127.0.0.2:65535\\dir\\file.bin", L"127.0.0.2", 65535, L"/dir/file.bin"},
      {L"example.com/", L"example.com", 80, L"/"},
      {L"example.com:1/a", L"example.com", 1, L"/a"},
  };
  for (const auto& c : cases) {
    UrlParts parts;
    ASSERT_TRUE(SplitUrl(c.url, &parts)) << c.url;
    EXPECT_EQ(L"http", parts.scheme) << c.url;
    EXPECT_EQ(c.host, parts.host) << c.url;
    EXPECT_EQ(c.port, parts.port) << c.url;
    EXPECT_EQ(c.path, parts.path) << c.url;
  }
}

TEST(UrlText, SplitUrlRefusesWhatItCannotRequest) {
  const wchar_t* cases[] = {
      L"http://example.com",          // no path after the host
      L"https://example.com/a",       // only plain http is spoken
      L"ftp://example.com/a",
      L"http:///a",                   // no host
      L"http://:8080/a",
      L"http://example.com:/a",       // port missing, not a number, or out of range
      L"http://example.com:80x/a",
      L"http://example.com:-80/a",
      L"http://example.com:0/a",
      L"http://example.com:65536/a",
      L"http://example.com:99999999999999999999/a",
      L"",
      L"   ",
  };
  for (const wchar_t* url : cases) {
    UrlParts parts;
    parts.host = L"untouched";
    EXPECT_FALSE(SplitUrl(url, &parts)) << url;
    EXPECT_EQ(L"untouched", parts.host) << url;
  }
}

}  // namespace
