// The pictures of a pressable control by state, as layouts name them:
// normalimage, hotimage, pushedimage and disabledimage.
#pragma once

#include <string>

namespace kxui {

struct StateImages {
  std::wstring normal;
  std::wstring hot;
  std::wstring pushed;
  std::wstring disabled;

  // True when the attribute was one of the four.
  bool SetAttribute(const std::wstring& name, const std::wstring& value);
  // The picture for a state; a state without its own picture shows the
  // nearest one (pushed falls back to hot, everything to normal).
  const std::wstring& Pick(bool enabled, bool pushed, bool hot) const;
};

}  // namespace kxui
