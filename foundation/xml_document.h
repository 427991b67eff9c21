// A small, lenient XML reader and editor for the product file, the server's
// runtime configuration, the language file and the run-state file.
//
// The whole document stays one UTF-16 text; parsing builds an index of
// element records (offsets into that text) and never a tree of strings.
// Nothing is ever rejected outright: whatever can be recognised is indexed,
// the first problem is kept as the last message, and SetText reports whether
// the document is well formed. Data and attributes are decoded only when
// asked for, and AddElement edits the text in place.
//
// Cursor: the parent position is the element whose children are walked (0 is
// the virtual root above the top-level elements), the main position is the
// selected element among them (0: before the first), the child position is
// the selected child of the main element (0: none). Positions are record
// indexes and stay valid until the next SetText or Load.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CXmlDocument {
 public:
  CXmlDocument();
  explicit CXmlDocument(const std::wstring& text);
  CXmlDocument(const CXmlDocument&) = delete;
  CXmlDocument& operator=(const CXmlDocument&) = delete;

  // Replaces and parses the text, clears the last message first and resets
  // the cursor. Returns whether the document is well formed: exactly one
  // top-level element and no error.
  bool SetText(const std::wstring& text);
  const std::wstring& GetText() const { return text_; }
  const std::wstring& LastMessage() const { return message_; }

  // Next sibling after the main position (or the parent's first child when
  // the main position is 0) whose name matches; an empty name matches any
  // element. On failure the cursor stays where it was.
  bool FindElement(const std::wstring& name = std::wstring());
  // Next child of the main element after the child position. Selects the
  // first element of the level first when the main position is 0.
  bool FindChildElement(const std::wstring& name = std::wstring());
  // Main element becomes the parent, the child position becomes the main one.
  bool EnterElement();
  // The reverse of EnterElement; false at the top level.
  bool LeaveElement();
  void ResetChildPosition() { child_ = 0; }

  // Text content of the main element, references decoded, CDATA raw; empty
  // for an element with child elements, an empty element or no selection.
  std::wstring GetElementData() const;
  // Decoded value of the main element's attribute; empty when absent.
  std::wstring GetAttribute(const std::wstring& name) const;

  // Writes "<name>data</name>" (or "<name/>" for empty data) and CR LF after
  // the main position, or as the parent's last child, and selects it. A name
  // that would not read back as one element name (empty, or holding blanks or
  // markup characters) is refused with false and nothing changes.
  bool AddElement(const std::wstring& name, const std::wstring& data);

  // Loads a UTF-8 file into this document and parses it; the load message
  // leads the parse message. On a load failure the text stays as it was and
  // the last message is the system's error text.
  bool Load(const std::wstring& path);
  // Saves the text as UTF-8; the last message tells what was written.
  bool Save(const std::wstring& path);

  // Whole-file read with UTF-8 decoding. On failure *text is untouched and
  // *message is the system's error text (first line only).
  static bool LoadUtf8File(const std::wstring& path, std::wstring* text, std::wstring* message);
  // Whole-file write as UTF-8 without a byte-order mark.
  static bool SaveUtf8File(const std::wstring& path, const std::wstring& text, std::wstring* message);

  // Lenient UTF-8 decoding: call with a null buffer to count the UTF-16
  // units, then with a buffer of count + 1 units (a terminating zero is
  // written). Every invalid sequence becomes one "?"; decoding stops at a
  // zero byte and never reads beyond byteCount.
  static int Utf8ToUtf16(const char* bytes, int byteCount, wchar_t* buffer);
  // UTF-8 encoding; a surrogate that is not part of a pair becomes "?".
  static std::string Utf16ToUtf8(const std::wstring& text);

 private:
  struct ElementRecord {
    int start = 0;           // offset of the "<"
    int length = 0;          // start tag to the end of the end tag
    int startTagLength = 0;  // equal to length for an empty element
    int endTagLength = 0;    // 0 for an empty or implicitly closed element
    int level = 0;           // top-level elements have level 1
    int flags = 0;
    int parent = 0;
    int firstChild = 0;
    int nextSibling = 0;
    // The first child's previous-sibling is the last child, so that
    // appending a child needs no walk along the siblings.
    int previousSibling = 0;
  };

  // Records in fixed blocks, so that growing a large index copies at most
  // one partial block instead of the whole table.
  class ElementTable {
   public:
    void Clear();
    void Reserve(int capacity);
    int Add();  // index of a new, zeroed record
    int Count() const { return count_; }
    ElementRecord& operator[](int index) { return blocks_[index >> kBlockShift][index & kBlockMask]; }
    const ElementRecord& operator[](int index) const {
      return blocks_[index >> kBlockShift][index & kBlockMask];
    }

   private:
    static constexpr int kBlockShift = 16;
    static constexpr int kBlockRecords = 1 << kBlockShift;  // 65,536
    static constexpr int kBlockMask = kBlockRecords - 1;
    std::vector<std::unique_ptr<ElementRecord[]>> blocks_;
    int capacity_ = 0;
    int count_ = 0;
  };

  bool Parse();
  void RecordError(const std::wstring& message);
  void LinkLastChild(int parent, int element);
  void AppendSiblings(int parent, int firstMoved);
  void LinkAfter(int previous, int element);
  void CloseImplicitly(const std::vector<int>& openElements, size_t first, int target);
  std::wstring ElementName(int element) const;
  bool ElementNameMatches(int element, const std::wstring& name) const;
  bool IsEmptyElement(int element) const;
  void EnsureTextRoom(size_t extra);
  void ShiftAfterInsertion(int point, int delta, int parent);

  std::wstring text_;
  std::wstring message_;
  ElementTable elements_;  // record 0 is the virtual root
  int parent_ = 0;
  int main_ = 0;
  int child_ = 0;
};
