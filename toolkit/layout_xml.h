// The element tree of a layout file: names, attributes in document order
// and children; text between elements is not kept. Reading is lenient and
// stops at the first fault, keeping what was read before it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kxui {

struct LayoutElement {
  std::wstring name;
  std::vector<std::pair<std::wstring, std::wstring>> attributes;
  std::vector<std::unique_ptr<LayoutElement>> children;

  const std::wstring* Attribute(const std::wstring& key) const;
};

// The document's top element, or null when there is none. *fault receives a
// description of the first fault (empty when the text was well formed).
std::unique_ptr<LayoutElement> ReadLayoutXml(const std::wstring& text, std::wstring* fault);

}  // namespace kxui
