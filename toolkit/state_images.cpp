#include "toolkit/state_images.h"

namespace kxui {

bool StateImages::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage") normal = value;
  else if (name == L"hotimage") hot = value;
  else if (name == L"pushedimage") pushed = value;
  else if (name == L"disabledimage") disabled = value;
  else return false;
  return true;
}

const std::wstring& StateImages::Pick(bool enabled, bool isPushed, bool isHot) const {
  if (!enabled) return disabled.empty() ? normal : disabled;
  if (isPushed && !pushed.empty()) return pushed;
  if ((isPushed || isHot) && !hot.empty()) return hot;
  return normal;
}

}  // namespace kxui
