#include "toolkit/layout_xml.h"

#include <cwctype>

namespace kxui {
namespace {

class Reader {
 public:
  explicit Reader(const std::wstring& text) : text_(text) {}

  std::unique_ptr<LayoutElement> Document(std::wstring* fault) {
    std::unique_ptr<LayoutElement> top;
    while (fault_.empty()) {
      SkipMisc();
      if (at_ >= text_.size()) break;
      if (text_[at_] != L'<') {
        Fail(L"text outside the top element");
        break;
      }
      if (top) {
        Fail(L"more than one top element");
        break;
      }
      top = Element();
    }
    if (!top && fault_.empty()) Fail(L"no element");
    *fault = fault_;
    return top;
  }

 private:
  void Fail(const std::wstring& what) {
    if (fault_.empty()) fault_ = what + L" at offset " + std::to_wstring(at_);
  }

  bool StartsWith(const wchar_t* prefix) const { return text_.compare(at_, wcslen(prefix), prefix) == 0; }

  void SkipSpace() {
    while (at_ < text_.size() && std::iswspace(text_[at_])) ++at_;
  }

  bool SkipPast(const wchar_t* terminator) {
    const size_t end = text_.find(terminator, at_);
    if (end == std::wstring::npos) {
      Fail(std::wstring(L"missing \"") + terminator + L"\"");
      at_ = text_.size();
      return false;
    }
    at_ = end + wcslen(terminator);
    return true;
  }

  // Declarations, comments, processing instructions and blanks.
  void SkipMisc() {
    for (;;) {
      SkipSpace();
      if (StartsWith(L"<?")) {
        if (!SkipPast(L"?>")) return;
      } else if (StartsWith(L"<!--")) {
        if (!SkipPast(L"-->")) return;
      } else if (StartsWith(L"<!")) {
        if (!SkipPast(L">")) return;
      } else {
        return;
      }
    }
  }

  std::wstring Name() {
    const size_t start = at_;
    while (at_ < text_.size() && !std::iswspace(text_[at_]) && text_[at_] != L'>' && text_[at_] != L'/' &&
           text_[at_] != L'=' && text_[at_] != L'<')
      ++at_;
    return text_.substr(start, at_ - start);
  }

  std::wstring Decode(const std::wstring& raw) {
    std::wstring out;
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != L'&') {
        out += raw[i];
        continue;
      }
      const size_t semicolon = raw.find(L';', i);
      if (semicolon == std::wstring::npos) {
        out += raw[i];
        continue;
      }
      const std::wstring entity = raw.substr(i + 1, semicolon - i - 1);
      wchar_t decoded = 0;
      if (entity == L"amp") decoded = L'&';
      else if (entity == L"lt") decoded = L'<';
      else if (entity == L"gt") decoded = L'>';
      else if (entity == L"quot") decoded = L'"';
      else if (entity == L"apos") decoded = L'\'';
      else if (entity.size() > 1 && entity[0] == L'#') {
        const bool hex = entity[1] == L'x' || entity[1] == L'X';
        decoded = static_cast<wchar_t>(std::wcstoul(entity.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10));
      }
      if (decoded == 0) {
        out += raw[i];
        continue;
      }
      out += decoded;
      i = semicolon;
    }
    return out;
  }

  std::unique_ptr<LayoutElement> Element() {
    auto element = std::make_unique<LayoutElement>();
    ++at_;  // '<'
    element->name = Name();
    if (element->name.empty()) {
      Fail(L"element without a name");
      return element;
    }
    for (;;) {
      SkipSpace();
      if (at_ >= text_.size()) {
        Fail(L"unfinished start tag");
        return element;
      }
      if (StartsWith(L"/>")) {
        at_ += 2;
        return element;
      }
      if (text_[at_] == L'>') {
        ++at_;
        break;
      }
      const std::wstring key = Name();
      SkipSpace();
      if (key.empty() || at_ >= text_.size() || text_[at_] != L'=') {
        Fail(L"attribute without a value");
        return element;
      }
      ++at_;
      SkipSpace();
      if (at_ >= text_.size() || (text_[at_] != L'"' && text_[at_] != L'\'')) {
        Fail(L"attribute value without quotes");
        return element;
      }
      const wchar_t quote = text_[at_++];
      const size_t end = text_.find(quote, at_);
      if (end == std::wstring::npos) {
        Fail(L"unfinished attribute value");
        return element;
      }
      element->attributes.emplace_back(key, Decode(text_.substr(at_, end - at_)));
      at_ = end + 1;
    }
    // Content: child elements; text, comments and CDATA are skipped.
    while (fault_.empty()) {
      const size_t next = text_.find(L'<', at_);
      if (next == std::wstring::npos) {
        at_ = text_.size();
        Fail(L"missing end tag of " + element->name);
        break;
      }
      at_ = next;
      if (StartsWith(L"</")) {
        at_ += 2;
        const std::wstring name = Name();
        SkipSpace();
        if (name != element->name || at_ >= text_.size() || text_[at_] != L'>') {
          Fail(L"end tag does not match " + element->name);
          break;
        }
        ++at_;
        break;
      }
      if (StartsWith(L"<!--")) {
        SkipPast(L"-->");
      } else if (StartsWith(L"<![CDATA[")) {
        SkipPast(L"]]>");
      } else if (StartsWith(L"<?")) {
        SkipPast(L"?>");
      } else {
        element->children.push_back(Element());
      }
    }
    return element;
  }

  const std::wstring& text_;
  size_t at_ = 0;
  std::wstring fault_;
};

}  // namespace

const std::wstring* LayoutElement::Attribute(const std::wstring& key) const {
  for (const auto& attribute : attributes) {
    if (attribute.first == key) return &attribute.second;
  }
  return nullptr;
}

std::unique_ptr<LayoutElement> ReadLayoutXml(const std::wstring& text, std::wstring* fault) {
  return Reader(text).Document(fault);
}

}  // namespace kxui
