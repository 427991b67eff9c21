#include "foundation/xml_document.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <string_view>
#include <unordered_map>

#include "foundation/win_handles.h"

namespace {

// Node types as the tokeniser reports them.
enum NodeType {
  kNodeEndTag = 0,
  kNodeElement = 1,
  kNodeText = 2,
  kNodeWhitespace = 4,
  kNodeCData = 8,
  kNodeProcessingInstruction = 16,
  kNodeComment = 32,
  kNodeDoctype = 64,
  kNodeEndOfDocument = 128,
};

enum ElementFlags {
  kFirstSibling = 1,
  kNotEnded = 2,  // closed implicitly, shrunk to its start tag
  kContainsError = 4,
  kDocumentHasErrors = 8,  // record 0 only
};

// The stack of open elements starts with room for this many and grows to
// twice its size plus this many.
constexpr size_t kOpenElementsRoom = 6;
// A numeric character reference has at most this many digits.
constexpr size_t kMaxReferenceDigits = 7;
constexpr unsigned long kMaxCodePoint = 0x10FFFF;
constexpr int kCDataOpenLength = 9;  // "<![CDATA["
constexpr int kCDataCloseLength = 3;  // "]]>"

struct Node {
  int type = kNodeEndOfDocument;
  int start = 0;
  int end = 0;         // one past the last character
  int nameEnd = 0;     // tags: end of the name that follows "<" or "</"
  bool empty = false;  // start tag written with "/>"
  // What went wrong while reading the node, for "Incorrect %s at offset %d"
  // or, when the text ended inside the node, "%s at offset %d unterminated".
  const wchar_t* problem = nullptr;
  bool unterminated = false;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool IsNameEndChar(wchar_t c) {
  switch (c) {
    case L' ':
    case L'\t':
    case L'\r':
    case L'\n':
    case L'<':
    case L'>':
    case L'=':
    case L'\\':
    case L'/':
    case L'?':
    case L'!':
      return true;
    default:
      return false;
  }
}

// Letters, "_", ":" and everything above "`"; digits, punctuation and
// control characters cannot start a tag name.
bool IsNameStartChar(wchar_t c) {
  if (c == L':' || c == L'_') return true;
  if (c <= 0x40) return false;
  return c < 0x5B || c > 0x60;
}

int NameEndIn(std::wstring_view text, int offset) {
  const int length = static_cast<int>(text.size());
  while (offset < length && !IsNameEndChar(text[offset])) ++offset;
  return offset;
}

// A tag or attribute name matches a requested name that begins with it and
// goes on with nothing or with one of the characters that may follow a name
// in a request, so that "Product" never matches "ProductSkin".
bool NameMatches(std::wstring_view name, const std::wstring& requested) {
  if (requested.size() < name.size()) return false;
  if (requested.compare(0, name.size(), name.data(), name.size()) != 0) return false;
  if (requested.size() == name.size()) return true;
  switch (requested[name.size()]) {
    case L'\0':
    case L' ':
    case L'=':
    case L'/':
    case L'[':
    case L']':
      return true;
    default:
      return false;
  }
}

Node Unterminated(Node node, int type, int length, const wchar_t* what) {
  node.type = type;
  node.end = length;
  node.problem = what;
  node.unterminated = true;
  return node;
}

// A "<" that starts no known form is kept as text up to the next "<", so that
// a lenient reader still sees "1 < 2" as text.
Node Incorrect(std::wstring_view text, Node node, const wchar_t* what) {
  const size_t next = text.find(L'<', node.start + 1);
  node.type = kNodeText;
  node.end = next == std::wstring_view::npos ? static_cast<int>(text.size()) : static_cast<int>(next);
  node.problem = what;
  return node;
}

Node ScanText(std::wstring_view text, Node node) {
  const size_t next = text.find(L'<', node.start);
  node.end = next == std::wstring_view::npos ? static_cast<int>(text.size()) : static_cast<int>(next);
  node.type = kNodeWhitespace;
  for (int i = node.start; i < node.end; ++i) {
    if (!IsBlank(text[i])) {
      node.type = kNodeText;
      break;
    }
  }
  return node;
}

Node ScanStartTag(std::wstring_view text, Node node) {
  const int length = static_cast<int>(text.size());
  int i = NameEndIn(text, node.start + 1);
  node.nameEnd = i;
  bool afterEquals = false;
  int unquotedValueEnd = -1;
  while (i < length) {
    const wchar_t c = text[i];
    if (c == L'>') {
      node.type = kNodeElement;
      node.end = i + 1;
      // In <a href=x/> the "/" belongs to the value.
      node.empty = text[i - 1] == L'/' && unquotedValueEnd != i;
      return node;
    }
    if (IsBlank(c)) {
      ++i;
    } else if (c == L'=') {
      afterEquals = true;
      ++i;
    } else if (afterEquals && (c == L'"' || c == L'\'')) {
      const size_t close = text.find(c, i + 1);
      if (close == std::wstring_view::npos) break;
      i = static_cast<int>(close) + 1;
      afterEquals = false;
    } else if (afterEquals) {
      while (i < length && !IsBlank(text[i]) && text[i] != L'>') ++i;
      unquotedValueEnd = i;
      afterEquals = false;
    } else {
      ++i;
    }
  }
  return Unterminated(node, kNodeElement, length, L"Element tag");
}

// A document type declaration ends at its ">", but an internal subset in
// "[...]" holds declarations with their own ">" that must be skipped.
Node ScanDoctype(std::wstring_view text, Node node) {
  const int length = static_cast<int>(text.size());
  int depth = 0;
  wchar_t quote = 0;
  for (int i = node.start + 2; i < length; ++i) {
    const wchar_t c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == L'"' || c == L'\'') {
      quote = c;
    } else if (depth > 0 && c == L'<' && text.compare(i, 4, L"<!--") == 0) {
      const size_t close = text.find(L"-->", i + 4);
      if (close == std::wstring_view::npos) break;
      i = static_cast<int>(close) + 2;
    } else if (c == L'[') {
      ++depth;
    } else if (c == L']') {
      if (depth > 0) --depth;
    } else if (c == L'>' && depth == 0) {
      node.type = kNodeDoctype;
      node.end = i + 1;
      return node;
    }
  }
  return Unterminated(node, kNodeDoctype, length, L"Doctype");
}

Node ScanDelimited(std::wstring_view text, Node node, int type, int searchFrom,
                   const wchar_t* terminator, const wchar_t* what) {
  const size_t close = text.find(terminator, searchFrom);
  if (close == std::wstring_view::npos) return Unterminated(node, type, static_cast<int>(text.size()), what);
  node.type = type;
  node.end = static_cast<int>(close + std::char_traits<wchar_t>::length(terminator));
  return node;
}

// The node that starts at offset. Every node but the end of the document is
// at least one character long, so a walk over the nodes always ends.
Node ScanNode(std::wstring_view text, int offset) {
  const int length = static_cast<int>(text.size());
  Node node;
  node.start = offset;
  if (offset >= length) {
    node.end = length;
    return node;
  }
  if (text[offset] != L'<') return ScanText(text, node);
  // The kind of a markup node is not known yet: the rest counts as text.
  if (offset + 1 >= length) return Unterminated(node, kNodeText, length, L"tag");
  const wchar_t second = text[offset + 1];
  if (IsNameStartChar(second)) return ScanStartTag(text, node);
  if (second == L'/') {
    node.nameEnd = NameEndIn(text, offset + 2);
    return ScanDelimited(text, node, kNodeEndTag, offset + 2, L">", L"Element end tag");
  }
  if (second == L'?') {
    return ScanDelimited(text, node, kNodeProcessingInstruction, offset + 2, L"?>", L"Processing instruction");
  }
  if (second != L'!') return Incorrect(text, node, L"tag name character");
  if (offset + 2 >= length) return Unterminated(node, kNodeText, length, L"tag");
  const wchar_t third = text[offset + 2];
  if (third == L'D') return ScanDoctype(text, node);
  if (third != L'-' && third != L'[') return Incorrect(text, node, L"! tag");
  if (offset + 3 >= length) return Unterminated(node, kNodeText, length, L"tag");
  const wchar_t fourth = text[offset + 3];
  if (third == L'-') {
    if (fourth != L'-') return Incorrect(text, node, L"comment tag");
    return ScanDelimited(text, node, kNodeComment, offset + 4, L"-->", L"Comment");
  }
  if (fourth != L'C') return Incorrect(text, node, L"tag");
  return ScanDelimited(text, node, kNodeCData, offset + 4, L"]]>", L"CDATA Section");
}

int DigitValue(wchar_t c, int base) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (base == 16 && c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (base == 16 && c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Decodes the reference at the start of text (which begins with "&") and
// returns the characters it used, or 0 when it is no reference.
size_t DecodeReference(std::wstring_view text, std::wstring* out) {
  static const struct {
    std::wstring_view name;
    wchar_t value;
  } kNamed[] = {{L"&lt;", L'<'}, {L"&amp;", L'&'}, {L"&gt;", L'>'}, {L"&apos;", L'\''}, {L"&quot;", L'"'}};
  for (const auto& named : kNamed) {
    if (text.substr(0, named.name.size()) == named.name) {
      *out += named.value;
      return named.name.size();
    }
  }
  if (text.size() < 2 || text[1] != L'#') return 0;
  size_t i = 2;
  int base = 10;
  if (i < text.size() && text[i] == L'x') {
    base = 16;
    ++i;
  }
  const size_t firstDigit = i;
  unsigned long value = 0;
  while (i < text.size() && i - firstDigit < kMaxReferenceDigits) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) break;
    value = value * base + digit;
    ++i;
  }
  if (i == firstDigit || i >= text.size() || text[i] != L';') return 0;
  if (value == 0 || value > kMaxCodePoint) return 0;
  if (value >= 0x10000) {
    value -= 0x10000;
    *out += static_cast<wchar_t>(0xD800 + (value >> 10));
    *out += static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
  } else {
    *out += static_cast<wchar_t>(value);
  }
  return i + 1;
}

void AppendDecoded(std::wstring_view text, std::wstring* out) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t next = text.find(L'&', i);
    if (next == std::wstring_view::npos) {
      out->append(text.data() + i, text.size() - i);
      return;
    }
    out->append(text.data() + i, next - i);
    const size_t used = DecodeReference(text.substr(next), out);
    if (used == 0) {
      *out += L'&';
      i = next + 1;
    } else {
      i = next + used;
    }
  }
}

void AppendEscaped(const std::wstring& data, std::wstring* out) {
  for (const wchar_t c : data) {
    switch (c) {
      case L'<':
        *out += L"&lt;";
        break;
      case L'&':
        *out += L"&amp;";
        break;
      case L'>':
        *out += L"&gt;";
        break;
      default:
        *out += c;
    }
  }
}

// A name written by AddElement must read back as exactly that tag name.
bool IsWritableName(const std::wstring& name) {
  if (name.empty() || !IsNameStartChar(name[0])) return false;
  return std::none_of(name.begin(), name.end(), IsNameEndChar);
}

std::wstring SystemErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  UniqueLocal owner(buffer);
  if (length == 0 || buffer == nullptr) return L"System error " + std::to_wstring(error);
  std::wstring text(buffer, length);
  // The table's texts end in CR LF; only the first line is wanted.
  const size_t lineEnd = text.find_first_of(L"\r\n");
  if (lineEnd != std::wstring::npos) text.resize(lineEnd);
  return text;
}

std::wstring LastErrorText() {
  const DWORD error = ::GetLastError();
  return SystemErrorText(error != ERROR_SUCCESS ? error : ERROR_OPEN_FAILED);
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

void SetMessage(std::wstring* message, std::wstring text) {
  if (message) *message = std::move(text);
}

}  // namespace

// --- element table ---------------------------------------------------------

void CXmlDocument::ElementTable::Clear() {
  blocks_.clear();
  capacity_ = 0;
  count_ = 0;
}

void CXmlDocument::ElementTable::Reserve(int capacity) {
  while (capacity_ < capacity) {
    const int block = capacity_ >> kBlockShift;
    const int used = capacity_ & kBlockMask;  // records already in the last, partial block
    const int size = std::min(kBlockRecords, used + (capacity - capacity_));
    std::unique_ptr<ElementRecord[]> grown(new ElementRecord[size]);
    if (used) {
      std::copy(blocks_[block].get(), blocks_[block].get() + used, grown.get());
      blocks_[block] = std::move(grown);
    } else {
      blocks_.push_back(std::move(grown));
    }
    capacity_ += size - used;
  }
}

int CXmlDocument::ElementTable::Add() {
  if (count_ == capacity_) Reserve(count_ + std::max(1, count_ / 2));
  (*this)[count_] = ElementRecord();
  return count_++;
}

// --- parsing ---------------------------------------------------------------

CXmlDocument::CXmlDocument() { Parse(); }

CXmlDocument::CXmlDocument(const std::wstring& text) : text_(text) { Parse(); }

bool CXmlDocument::SetText(const std::wstring& text) {
  message_.clear();
  text_ = text;
  return Parse();
}

void CXmlDocument::RecordError(const std::wstring& message) {
  ElementRecord& root = elements_[0];
  if (!(root.flags & kDocumentHasErrors)) message_ = message;
  root.flags |= kDocumentHasErrors;
}

// Appends a chain of siblings (first .. first's previous-sibling) as the
// last children of parent. The caller has set their parent fields.
void CXmlDocument::AppendSiblings(int parent, int firstMoved) {
  const int lastMoved = elements_[firstMoved].previousSibling;
  const int firstChild = elements_[parent].firstChild;
  if (!firstChild) {
    elements_[parent].firstChild = firstMoved;
    elements_[firstMoved].flags |= kFirstSibling;
    return;
  }
  const int lastChild = elements_[firstChild].previousSibling;
  elements_[lastChild].nextSibling = firstMoved;
  elements_[firstMoved].previousSibling = lastChild;
  elements_[firstMoved].flags &= ~kFirstSibling;
  elements_[firstChild].previousSibling = lastMoved;
}

void CXmlDocument::LinkLastChild(int parent, int element) {
  ElementRecord& record = elements_[element];
  record.parent = parent;
  record.nextSibling = 0;
  record.previousSibling = element;
  AppendSiblings(parent, element);
}

void CXmlDocument::LinkAfter(int previous, int element) {
  const int parent = elements_[previous].parent;
  const int next = elements_[previous].nextSibling;
  ElementRecord& record = elements_[element];
  record.parent = parent;
  record.previousSibling = previous;
  record.nextSibling = next;
  if (next) {
    elements_[next].previousSibling = element;
  } else {
    elements_[elements_[parent].firstChild].previousSibling = element;
  }
  elements_[previous].nextSibling = element;
}

// Closes openElements[first..] without end tags: each shrinks to its start
// tag and its children follow it as siblings, so that all of them end up as
// children of target, in document order. An open element is always the last
// child of its parent, which is what lets each step append at the end.
void CXmlDocument::CloseImplicitly(const std::vector<int>& openElements, size_t first, int target) {
  for (size_t i = first; i < openElements.size(); ++i) {
    ElementRecord& record = elements_[openElements[i]];
    record.flags |= kNotEnded | kContainsError;
    record.length = record.startTagLength;
    record.endTagLength = 0;
    const int firstChild = record.firstChild;
    if (!firstChild) continue;
    record.firstChild = 0;
    for (int child = firstChild; child; child = elements_[child].nextSibling) elements_[child].parent = target;
    AppendSiblings(target, firstChild);
  }
}

bool CXmlDocument::Parse() {
  const std::wstring loadMessage = message_;
  message_.clear();
  parent_ = main_ = child_ = 0;
  elements_.Clear();
  const int length = static_cast<int>(text_.size());
  elements_.Reserve(length / 64 + 8);
  elements_.Add();
  elements_[0].length = length;

  const std::wstring_view text(text_);
  auto nameOf = [&](int element) {
    const int start = elements_[element].start + 1;
    return text.substr(start, NameEndIn(text, start) - start);
  };

  std::vector<int> open;
  open.reserve(kOpenElementsRoom);
  // How many open elements carry each name: an end tag that matches none of
  // them is known at once, without a walk down a deep stack.
  std::unordered_map<std::wstring_view, int> openNames;
  auto closeDownTo = [&](size_t keep) {
    for (size_t i = keep; i < open.size(); ++i) {
      auto counted = openNames.find(nameOf(open[i]));
      if (--counted->second == 0) openNames.erase(counted);
    }
    open.resize(keep);
  };

  int offset = 0;
  for (;;) {
    const Node node = ScanNode(text, offset);
    if (node.type == kNodeEndOfDocument) break;
    if (node.problem) {
      elements_[open.empty() ? 0 : open.back()].flags |= kContainsError;
      if (node.unterminated) {
        RecordError(node.problem + std::wstring(L" at offset ") + std::to_wstring(node.start) + L" unterminated");
        break;
      }
      RecordError(L"Incorrect " + std::wstring(node.problem) + L" at offset " + std::to_wstring(node.start));
    }
    offset = node.end;

    if (node.type == kNodeElement) {
      const int element = elements_.Add();
      ElementRecord& record = elements_[element];
      record.start = node.start;
      record.startTagLength = record.length = node.end - node.start;
      LinkLastChild(open.empty() ? 0 : open.back(), element);
      if (!node.empty) {
        if (open.size() == open.capacity()) open.reserve(open.size() * 2 + kOpenElementsRoom);
        open.push_back(element);
        ++openNames[nameOf(element)];
      }
    } else if (node.type == kNodeEndTag) {
      const std::wstring_view name = text.substr(node.start + 2, node.nameEnd - node.start - 2);
      if (openNames.find(name) == openNames.end()) {
        elements_[open.empty() ? 0 : open.back()].flags |= kContainsError;
        RecordError(L"No start tag for end tag '" + std::wstring(name) + L"' at offset " +
                    std::to_wstring(node.start));
        continue;
      }
      size_t match = open.size() - 1;
      while (nameOf(open[match]) != name) --match;
      if (match + 1 < open.size()) {
        const int innermost = open.back();
        RecordError(L"End tag '" + std::wstring(name) + L"' at offset " + std::to_wstring(node.start) +
                    L" does not match start tag '" + std::wstring(nameOf(innermost)) + L"' at offset " +
                    std::to_wstring(elements_[innermost].start));
        CloseImplicitly(open, match + 1, open[match]);
        closeDownTo(match + 1);
      }
      ElementRecord& record = elements_[open[match]];
      record.length = node.end - record.start;
      record.endTagLength = node.end - node.start;
      closeDownTo(match);
    }
  }

  if (!open.empty()) {
    const int innermost = open.back();
    RecordError(L"Element '" + std::wstring(nameOf(innermost)) + L"' at offset " +
                std::to_wstring(elements_[innermost].start) + L" not ended");
    CloseImplicitly(open, 0, 0);
    closeDownTo(0);
  }

  // Levels are settled once the tree is final: implicit closes move whole
  // subtrees up, and adjusting them on every move could cost a pass per move.
  // A parent always has a lower index than its children.
  for (int i = 1; i < elements_.Count(); ++i) elements_[i].level = elements_[elements_[i].parent].level + 1;

  int topLevel = 0;
  for (int e = elements_[0].firstChild; e && topLevel < 2; e = elements_[e].nextSibling) ++topLevel;
  if (length == 0) {
    message_ = L"Empty document";
  } else if (topLevel == 0) {
    message_ = L"No root element";
  } else if (topLevel > 1) {
    message_ = L"Root element has sibling";
  }
  if (!loadMessage.empty()) message_ = message_.empty() ? loadMessage : loadMessage + L", " + message_;
  return topLevel == 1 && !(elements_[0].flags & kDocumentHasErrors);
}

// --- cursor ----------------------------------------------------------------

std::wstring CXmlDocument::ElementName(int element) const {
  const std::wstring_view text(text_);
  const int start = elements_[element].start + 1;
  return std::wstring(text.substr(start, NameEndIn(text, start) - start));
}

bool CXmlDocument::ElementNameMatches(int element, const std::wstring& name) const {
  if (name.empty()) return true;
  const std::wstring_view text(text_);
  const int start = elements_[element].start + 1;
  return NameMatches(text.substr(start, NameEndIn(text, start) - start), name);
}

bool CXmlDocument::IsEmptyElement(int element) const {
  const ElementRecord& record = elements_[element];
  return element != 0 && record.endTagLength == 0 && !(record.flags & kNotEnded);
}

bool CXmlDocument::FindElement(const std::wstring& name) {
  int candidate = main_ ? elements_[main_].nextSibling : elements_[parent_].firstChild;
  for (; candidate; candidate = elements_[candidate].nextSibling) {
    if (ElementNameMatches(candidate, name)) {
      main_ = candidate;
      child_ = 0;
      return true;
    }
  }
  return false;
}

bool CXmlDocument::FindChildElement(const std::wstring& name) {
  if (!main_ && !FindElement()) return false;
  int candidate = child_ ? elements_[child_].nextSibling : elements_[main_].firstChild;
  for (; candidate; candidate = elements_[candidate].nextSibling) {
    if (ElementNameMatches(candidate, name)) {
      child_ = candidate;
      return true;
    }
  }
  return false;
}

bool CXmlDocument::EnterElement() {
  if (!main_) return false;
  parent_ = main_;
  main_ = child_;
  child_ = 0;
  return true;
}

bool CXmlDocument::LeaveElement() {
  if (!parent_) return false;
  child_ = main_;
  main_ = parent_;
  parent_ = elements_[parent_].parent;
  return true;
}

std::wstring CXmlDocument::GetElementData() const {
  if (!main_) return {};
  const ElementRecord& record = elements_[main_];
  if (record.firstChild || record.endTagLength == 0) return {};
  const int contentStart = record.start + record.startTagLength;
  const int contentEnd = std::min(record.start + record.length - record.endTagLength, static_cast<int>(text_.size()));
  if (contentEnd <= contentStart) return {};
  const std::wstring_view content(text_.data() + contentStart, contentEnd - contentStart);

  std::wstring data;
  if (content.find(L'<') == std::wstring_view::npos) {
    AppendDecoded(content, &data);
    return data;
  }
  // Markup inside: text runs decoded, CDATA sections raw, white space
  // between them and comments or instructions dropped.
  for (int offset = 0;;) {
    const Node node = ScanNode(content, offset);
    if (node.type == kNodeEndOfDocument) break;
    if (node.type == kNodeText) {
      AppendDecoded(content.substr(node.start, node.end - node.start), &data);
    } else if (node.type == kNodeCData && !node.unterminated) {
      const int innerStart = node.start + kCDataOpenLength;
      const int innerEnd = node.end - kCDataCloseLength;
      if (innerEnd > innerStart) data.append(content.data() + innerStart, innerEnd - innerStart);
    }
    offset = node.end;
  }
  return data;
}

std::wstring CXmlDocument::GetAttribute(const std::wstring& name) const {
  if (!main_) return {};
  const ElementRecord& record = elements_[main_];
  const std::wstring_view tag(text_.data() + record.start, record.startTagLength);
  const size_t end = tag.size();
  size_t i = NameEndIn(tag, 1);
  while (i < end) {
    if (IsBlank(tag[i])) {
      ++i;
      continue;
    }
    if (tag[i] == L'>') break;
    const size_t nameStart = i;
    while (i < end && !IsNameEndChar(tag[i])) ++i;
    if (i == nameStart) {  // a stray "/", "=" or the like
      ++i;
      continue;
    }
    const std::wstring_view attributeName = tag.substr(nameStart, i - nameStart);
    std::wstring_view value;  // a name without "=" has the empty value
    size_t j = i;
    while (j < end && IsBlank(tag[j])) ++j;
    if (j < end && tag[j] == L'=') {
      ++j;
      while (j < end && IsBlank(tag[j])) ++j;
      if (j < end && (tag[j] == L'"' || tag[j] == L'\'')) {
        const size_t close = std::min(tag.find(tag[j], j + 1), end);
        value = tag.substr(j + 1, close - j - 1);
        i = std::min(close + 1, end);
      } else {
        const size_t valueStart = j;
        while (j < end && !IsBlank(tag[j]) && tag[j] != L'>') ++j;
        value = tag.substr(valueStart, j - valueStart);
        i = j;
      }
    }
    if (NameMatches(attributeName, name)) {
      std::wstring decoded;
      AppendDecoded(value, &decoded);
      return decoded;
    }
  }
  return {};
}

// --- editing ---------------------------------------------------------------

void CXmlDocument::EnsureTextRoom(size_t extra) {
  const size_t needed = text_.size() + extra;
  if (needed > text_.capacity()) text_.reserve(needed + needed / 2 + 128);
}

// Moves every record that starts at or after point and lengthens parent and
// its ancestors, whose spans hold the inserted text.
void CXmlDocument::ShiftAfterInsertion(int point, int delta, int parent) {
  for (int i = 1; i < elements_.Count(); ++i) {
    if (elements_[i].start >= point) elements_[i].start += delta;
  }
  for (int ancestor = parent; ancestor; ancestor = elements_[ancestor].parent) elements_[ancestor].length += delta;
  elements_[0].length = static_cast<int>(text_.size());
}

bool CXmlDocument::AddElement(const std::wstring& name, const std::wstring& data) {
  if (!IsWritableName(name)) return false;
  std::wstring element = L"<" + name;
  int startTagLength = 0;
  int endTagLength = 0;
  if (data.empty()) {
    element += L"/>";
    startTagLength = static_cast<int>(element.size());
  } else {
    element += L'>';
    startTagLength = static_cast<int>(element.size());
    AppendEscaped(data, &element);
    element += L"</" + name + L">";
    endTagLength = static_cast<int>(name.size()) + 3;
  }
  const int elementLength = static_cast<int>(element.size());
  element += L"\r\n";

  const int parent = parent_;
  const ElementRecord& parentRecord = elements_[parent];
  const bool parentIsEmpty = IsEmptyElement(parent);
  std::wstring insertion;
  std::wstring parentName;
  int point = 0;
  int replaced = 0;      // characters of the old text that the insertion replaces
  int elementAt = 0;     // where the new element starts within the insertion
  if (parentIsEmpty) {
    // "<p/>" becomes "<p>" CR LF, the element, "</p>": only the "/" is
    // replaced. A stray "/" before it would leave the tag reading as empty,
    // so a whole run of them goes.
    const int tagEnd = parentRecord.start + parentRecord.startTagLength - 1;
    point = tagEnd - 1;
    while (point > parentRecord.start + 1 && text_[point - 1] == L'/') --point;
    replaced = tagEnd - point;
    parentName = ElementName(parent);
    insertion = L">\r\n" + element + L"</" + parentName;
    elementAt = 3;
  } else if (parent && !main_ && parentRecord.length == parentRecord.startTagLength + parentRecord.endTagLength) {
    point = parentRecord.start + parentRecord.startTagLength;
    insertion = L"\r\n" + element;
    elementAt = 2;
  } else {
    if (main_) {
      point = elements_[main_].start + elements_[main_].length;
    } else if (parent) {
      point = parentRecord.start + parentRecord.length - parentRecord.endTagLength;
    } else {
      point = static_cast<int>(text_.size());
    }
    // Keep the line break after the previous element with it, so that the
    // new element starts a line of its own.
    if (!(parentRecord.flags & kNotEnded)) {
      size_t after = point;
      while (after < text_.size() && IsBlank(text_[after])) ++after;
      if (after == text_.size() || text_[after] == L'<') point = static_cast<int>(after);
    }
    insertion = element;
  }

  const int delta = static_cast<int>(insertion.size()) - replaced;
  EnsureTextRoom(delta);
  text_.replace(point, replaced, insertion);
  ShiftAfterInsertion(point, delta, parent);
  if (parentIsEmpty) {
    ElementRecord& changed = elements_[parent];
    changed.startTagLength -= replaced;
    changed.endTagLength = static_cast<int>(parentName.size()) + 3;
  }

  const int added = elements_.Add();
  ElementRecord& record = elements_[added];
  record.start = point + elementAt;
  record.length = elementLength;
  record.startTagLength = startTagLength;
  record.endTagLength = endTagLength;
  record.level = elements_[parent].level + 1;
  if (main_) {
    LinkAfter(main_, added);
  } else {
    LinkLastChild(parent, added);
  }
  main_ = added;
  child_ = 0;
  return true;
}

// --- files and encodings ---------------------------------------------------

bool CXmlDocument::Load(const std::wstring& path) {
  std::wstring loaded;
  std::wstring message;
  if (!LoadUtf8File(path, &loaded, &message)) {
    message_ = message;
    return false;
  }
  text_.swap(loaded);
  message_ = message;
  return Parse();
}

bool CXmlDocument::Save(const std::wstring& path) { return SaveUtf8File(path, text_, &message_); }

bool CXmlDocument::LoadUtf8File(const std::wstring& path, std::wstring* text, std::wstring* message) {
  if (!text) return false;
  FilePtr file(::_wfopen(path.c_str(), L"rb"));
  if (!file) {
    SetMessage(message, LastErrorText());
    return false;
  }
  try {
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
      SetMessage(message, LastErrorText());
      return false;
    }
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
      SetMessage(message, LastErrorText());
      return false;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    const size_t read = size ? std::fread(&bytes[0], 1, bytes.size(), file.get()) : 0;
    if (read != bytes.size() && std::ferror(file.get())) {
      SetMessage(message, LastErrorText());
      return false;
    }
    bytes.resize(read);
    const int byteCount = static_cast<int>(bytes.size());
    const int count = Utf8ToUtf16(bytes.data(), byteCount, nullptr);
    std::wstring decoded(static_cast<size_t>(count) + 1, L'\0');
    Utf8ToUtf16(bytes.data(), byteCount, &decoded[0]);
    decoded.resize(count);
    *text = std::move(decoded);
    SetMessage(message, std::to_wstring(byteCount) + L" bytes to " + std::to_wstring(count) + L" wide chars");
    return true;
  } catch (const std::bad_alloc&) {
    SetMessage(message, SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
    return false;
  }
}

bool CXmlDocument::SaveUtf8File(const std::wstring& path, const std::wstring& text, std::wstring* message) {
  FilePtr file(::_wfopen(path.c_str(), L"wb"));
  if (!file) {
    SetMessage(message, LastErrorText());
    return false;
  }
  const std::string bytes = Utf16ToUtf8(text);
  SetMessage(message, std::to_wstring(text.size()) + L" wide chars to " + std::to_wstring(bytes.size()) + L" bytes");
  bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  // Buffered bytes reach the disk only when flushed; a full disk shows here.
  written = written && std::fflush(file.get()) == 0;
  written = std::fclose(file.release()) == 0 && written;
  if (!written) {
    SetMessage(message, LastErrorText());
    return false;
  }
  return true;
}

int CXmlDocument::Utf8ToUtf16(const char* bytes, int byteCount, wchar_t* buffer) {
  int units = 0;
  auto put = [&](unsigned unit) {
    if (buffer) buffer[units] = static_cast<wchar_t>(unit);
    ++units;
  };
  int i = 0;
  while (bytes && i < byteCount) {
    const unsigned lead = static_cast<unsigned char>(bytes[i]);
    if (lead == 0) break;
    ++i;
    if (lead < 0x80) {
      put(lead);
      continue;
    }
    int extra = 0;
    unsigned long codePoint = 0;
    if (!(lead & 0x20)) {
      extra = 1;
      codePoint = lead & 0x1F;
    } else if (!(lead & 0x10)) {
      extra = 2;
      codePoint = lead & 0x0F;
    } else if (!(lead & 0x08)) {
      extra = 3;
      codePoint = lead & 0x07;
    } else {
      put(L'?');
      continue;
    }
    bool valid = true;
    for (; extra > 0; --extra) {
      // A byte with its top bit clear is not swallowed: it starts the next
      // character. The data's end cuts the sequence short.
      if (i >= byteCount || !(static_cast<unsigned char>(bytes[i]) & 0x80)) {
        valid = false;
        break;
      }
      codePoint = (codePoint << 6) | (static_cast<unsigned char>(bytes[i]) & 0x3F);
      ++i;
    }
    if (!valid || codePoint > kMaxCodePoint) {
      put(L'?');
    } else if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      put(0xD800 + (codePoint >> 10));
      put(0xDC00 + (codePoint & 0x3FF));
    } else {
      put(codePoint);
    }
  }
  if (buffer) buffer[units] = 0;
  return units;
}

std::string CXmlDocument::Utf16ToUtf8(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned long codePoint = static_cast<unsigned short>(text[i]);
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
      const bool paired = codePoint <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                          text[i + 1] <= 0xDFFF;
      if (!paired) {
        bytes += '?';
        continue;
      }
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (static_cast<unsigned short>(text[++i]) - 0xDC00);
    }
    if (codePoint < 0x80) {
      bytes += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
      bytes += static_cast<char>(0xC0 | (codePoint >> 6));
      bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
      bytes += static_cast<char>(0xE0 | (codePoint >> 12));
      bytes += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (codePoint >> 18));
      bytes += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
  }
  return bytes;
}
