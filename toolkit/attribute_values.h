// Readers of the value forms that layout attributes use. Each returns
// whether the text was well formed; on a malformed text the output keeps
// its default and a line goes to the toolkit's log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kxui {

using Argb = unsigned int;  // 0xAARRGGBB

// "#AARRGGBB" or "#RRGGBB" (opaque).
bool ParseColor(const std::wstring& text, Argb* color);
// Comma-separated integers; blanks around them are allowed.
std::vector<int> ParseIntList(const std::wstring& text);
// Exactly four integers: "left,top,right,bottom".
bool ParseRect(const std::wstring& text, RECT* rect);
// Exactly two integers.
bool ParseSize(const std::wstring& text, SIZE* size);
bool ParseBool(const std::wstring& text);
int ParseInt(const std::wstring& text, int fallback);

// An image as layouts write it: a bare file name, or quoted properties
// file='…' (or res='136' restype='PNG'), corner='l,t,r,b' (nine-grid
// margins), dest='l,t,r,b' (where in the control), source='l,t,r,b'.
struct ImageDescription {
  std::wstring file;
  UINT resourceId = 0;
  std::wstring resourceType;
  RECT corner = {};
  RECT dest = {};
  bool hasDest = false;
  RECT source = {};
  bool hasSource = false;

  bool empty() const { return file.empty() && resourceId == 0; }
  // The key under which the decoded picture is cached.
  std::wstring Key() const;
};

ImageDescription ParseImageDescription(const std::wstring& text);

}  // namespace kxui
