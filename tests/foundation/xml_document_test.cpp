#include "foundation/xml_document.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "foundation/folders.h"
#include "foundation/win_handles.h"

namespace {

std::wstring DecodeUtf8(const std::string& bytes) {
  const int count = CXmlDocument::Utf8ToUtf16(bytes.data(), static_cast<int>(bytes.size()), nullptr);
  std::wstring text(static_cast<size_t>(count) + 1, L'\0');
  CXmlDocument::Utf8ToUtf16(bytes.data(), static_cast<int>(bytes.size()), &text[0]);
  text.resize(count);
  return text;
}

// Visits every element depth first with the cursor alone (no recursion, so
// deep documents cannot exhaust the test's stack). Returns the number seen.
template <typename Visit>
int WalkAllElements(CXmlDocument& doc, Visit visit) {
  int visited = 0;
  for (;;) {
    if (doc.FindElement()) {
      ++visited;
      visit(doc);
      doc.ResetChildPosition();
      doc.EnterElement();
    } else if (!doc.LeaveElement()) {
      return visited;
    }
  }
}

// The callers' way of reading one value: a missing child keeps the default.
std::wstring ReadChild(CXmlDocument& doc, const std::wstring& name, const std::wstring& fallback) {
  doc.ResetChildPosition();
  if (!doc.FindChildElement(name)) return fallback;
  doc.EnterElement();
  std::wstring value = doc.GetElementData();
  doc.LeaveElement();
  return value;
}

// --- parsing -----------------------------------------------------------------

struct ParseCase {
  const wchar_t* text;
  bool wellFormed;
  const wchar_t* message;
};

class XmlParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(XmlParseTest, ReportsWellFormednessAndTheFirstProblem) {
  const ParseCase& c = GetParam();
  SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
  CXmlDocument doc;
  EXPECT_EQ(doc.SetText(c.text), c.wellFormed);
  EXPECT_EQ(doc.LastMessage(), c.message);
  EXPECT_EQ(doc.GetText(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    XmlDocuments, XmlParseTest,
    testing::Values(
        ParseCase{L"", false, L"Empty document"},
        ParseCase{L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", false, L"No root element"},
        ParseCase{L" \r\n\t", false, L"No root element"},
        ParseCase{L"<a/><b/>", false, L"Root element has sibling"},
        ParseCase{L"<a><b></a>", false, L"End tag 'a' at offset 6 does not match start tag 'b' at offset 3"},
        ParseCase{L"<a></b></a>", false, L"No start tag for end tag 'b' at offset 3"},
        ParseCase{L"<a></b></c>", false, L"No start tag for end tag 'b' at offset 3"},
        ParseCase{L"<a></A>", false, L"No start tag for end tag 'A' at offset 3"},
        ParseCase{L"<a>", false, L"Element 'a' at offset 0 not ended"},
        // The unended b moves up beside a, and the sibling message wins.
        ParseCase{L"<a><b>", false, L"Root element has sibling"},
        ParseCase{L"<a><1/></a>", false, L"Incorrect tag name character at offset 3"},
        ParseCase{L"<a><!x></a>", false, L"Incorrect ! tag at offset 3"},
        ParseCase{L"<a><!-x--></a>", false, L"Incorrect comment tag at offset 3"},
        ParseCase{L"<a><![X[]]></a>", false, L"Incorrect tag at offset 3"},
        ParseCase{L"<a><b c='x></a>", false, L"Element tag at offset 3 unterminated"},
        ParseCase{L"<a></a", false, L"Element end tag at offset 3 unterminated"},
        ParseCase{L"<a><![CDATA[x", false, L"CDATA Section at offset 3 unterminated"},
        ParseCase{L"<a><?pi", false, L"Processing instruction at offset 3 unterminated"},
        ParseCase{L"<a><!-- c", false, L"Comment at offset 3 unterminated"},
        ParseCase{L"<a><!DOCTYPE", false, L"Doctype at offset 3 unterminated"},
        ParseCase{L"<a><", false, L"tag at offset 3 unterminated"},
        ParseCase{L"<a><b/></a>", true, L""},
        // The "/" belongs to the unquoted value, so a is not empty.
        ParseCase{L"<a b=x/></a>", true, L""},
        ParseCase{L"<?xml version=\"1.0\"?>\r\n<!DOCTYPE a [<!ELEMENT a (#PCDATA)> <!-- ] > -->]>\r\n"
                  L"<!-- note -->\r\n<a x=\"1>2\" y='</a>'>t<![CDATA[</a>]]></a>\r\n",
                  true, L""}));

TEST(XmlParseStructureTest, MismatchedEndTagLeavesInnerElementEmpty) {
  CXmlDocument doc;
  EXPECT_FALSE(doc.SetText(L"<a><b>x</a>"));
  ASSERT_TRUE(doc.FindElement(L"a"));
  EXPECT_EQ(doc.GetElementData(), L"");  // a still has the child b
  ASSERT_TRUE(doc.FindChildElement(L"b"));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(doc.GetElementData(), L"");  // b is indexed as an empty element
  EXPECT_FALSE(doc.FindChildElement());
}

TEST(XmlParseStructureTest, ChildrenOfImplicitlyClosedElementsBecomeSiblings) {
  auto childNames = [](CXmlDocument& doc) {
    std::vector<std::wstring> names;
    while (doc.FindElement()) names.push_back(doc.GetAttribute(L"n"));
    return names;
  };
  CXmlDocument doc;
  // a is never ended; b, closed properly inside it, keeps its own child.
  EXPECT_FALSE(doc.SetText(L"<r><a n='a'><b n='b'><c n='c'/></b></r>"));
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(childNames(doc), (std::vector<std::wstring>{L"a", L"b"}));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(childNames(doc), (std::vector<std::wstring>{L"c"}));

  EXPECT_FALSE(doc.SetText(L"<r><a n='a'><b n='b'/><c n='c'></r>"));
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(childNames(doc), (std::vector<std::wstring>{L"a", L"b", L"c"}));
}

// --- cursor ------------------------------------------------------------------

TEST(XmlCursorTest, FindsTheSiblingOfTheRootElement) {
  CXmlDocument doc;
  EXPECT_FALSE(doc.SetText(L"<a/><b x=\"2\"/>"));
  ASSERT_TRUE(doc.FindElement(L"b"));
  EXPECT_EQ(doc.GetAttribute(L"x"), L"2");
}

struct NameCase {
  const wchar_t* requested;
  const wchar_t* found;  // attribute v of the element found, empty for none
};

class XmlNameMatchTest : public testing::TestWithParam<NameCase> {};

TEST_P(XmlNameMatchTest, MatchesWholeNamesOnly) {
  const NameCase& c = GetParam();
  SCOPED_TRACE(testing::PrintToString(std::wstring(c.requested)));
  CXmlDocument doc(L"<r><ProductSkin v=\"skin\"/><Product v=\"product\"/></r>");
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.EnterElement());
  const bool found = doc.FindElement(c.requested);
  EXPECT_EQ(found, *c.found != L'\0');
  EXPECT_EQ(found ? doc.GetAttribute(L"v") : L"", c.found);
}

INSTANTIATE_TEST_SUITE_P(XmlNames, XmlNameMatchTest,
                         testing::Values(NameCase{L"Product", L"product"}, NameCase{L"ProductSkin", L"skin"},
                                         NameCase{L"Prod", L""}, NameCase{L"product", L""},
                                         NameCase{L"ProductSkinX", L""}, NameCase{L"Product/x", L"product"},
                                         NameCase{L"Product[1]", L"product"}, NameCase{L"", L"skin"}));

TEST(XmlCursorTest, ReadsValuesTheWayTheConfigurationReadersDo) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.SetText(
      L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Product>\r\n"
      L"  <ProductName>Vantrel</ProductName>\r\n  <Empty></Empty>\r\n"
      L"  <Downurl><OnlyUseLocalUrl>1</OnlyUseLocalUrl><Url_Down><![CDATA[http://h/a.exe?x=1&y=2]]></Url_Down>"
      L"</Downurl>\r\n"
      L"  <Dependent><item><ProductID>7</ProductID></item><other/><item><ProductID>8</ProductID></item>"
      L"</Dependent>\r\n</Product>\r\n"));
  ASSERT_TRUE(doc.FindElement(L"Product"));
  EXPECT_EQ(ReadChild(doc, L"ProductName", L"default"), L"Vantrel");
  EXPECT_EQ(ReadChild(doc, L"Missing", L"default"), L"default");
  EXPECT_EQ(ReadChild(doc, L"Empty", L"default"), L"");

  doc.ResetChildPosition();
  ASSERT_TRUE(doc.FindChildElement(L"Downurl"));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(ReadChild(doc, L"OnlyUseLocalUrl", L""), L"1");
  EXPECT_EQ(ReadChild(doc, L"Url_Down", L""), L"http://h/a.exe?x=1&y=2");
  ASSERT_TRUE(doc.LeaveElement());

  doc.ResetChildPosition();
  ASSERT_TRUE(doc.FindChildElement(L"Dependent"));
  ASSERT_TRUE(doc.EnterElement());
  std::vector<std::wstring> ids;
  while (doc.FindChildElement(L"item")) {
    doc.EnterElement();
    ids.push_back(ReadChild(doc, L"ProductID", L""));
    doc.LeaveElement();
  }
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"7", L"8"}));
  ASSERT_TRUE(doc.LeaveElement());
  EXPECT_FALSE(doc.LeaveElement());
  EXPECT_EQ(doc.GetElementData(), L"");  // Product has children
}

TEST(XmlCursorTest, ChildSearchGoesForwardFromTheLastFound) {
  CXmlDocument doc(L"<r><b/><a/></r>");
  EXPECT_TRUE(doc.FindChildElement(L"a"));  // selects r first
  EXPECT_FALSE(doc.FindChildElement(L"b"));
  doc.ResetChildPosition();
  EXPECT_TRUE(doc.FindChildElement(L"b"));
}

TEST(XmlCursorTest, FailedMovesLeaveTheCursorWhereItWas) {
  CXmlDocument doc(L"<r v=\"1\"><c/></r>");
  EXPECT_FALSE(doc.EnterElement());
  EXPECT_FALSE(doc.LeaveElement());
  EXPECT_EQ(doc.GetAttribute(L"v"), L"");
  EXPECT_EQ(doc.GetElementData(), L"");
  ASSERT_TRUE(doc.FindElement(L"r"));
  EXPECT_FALSE(doc.FindElement(L"r"));
  EXPECT_FALSE(doc.FindChildElement(L"zzz"));
  EXPECT_EQ(doc.GetAttribute(L"v"), L"1");
  EXPECT_TRUE(doc.FindChildElement(L"c"));
}

// --- data and attributes -------------------------------------------------------

struct ValueCase {
  const wchar_t* text;
  const wchar_t* expected;
};

class XmlElementDataTest : public testing::TestWithParam<ValueCase> {};

TEST_P(XmlElementDataTest, DecodesTheContent) {
  const ValueCase& c = GetParam();
  SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
  CXmlDocument doc(c.text);
  ASSERT_TRUE(doc.FindElement(L"e"));
  EXPECT_EQ(doc.GetElementData(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    XmlContents, XmlElementDataTest,
    testing::Values(ValueCase{L"<e> 1 &amp; 2 </e>", L" 1 & 2 "}, ValueCase{L"<e> <![CDATA[x]]> </e>", L"x"},
                    ValueCase{L"<e><![CDATA[C:\\dir\\&amp;<b>]]></e>", L"C:\\dir\\&amp;<b>"},
                    ValueCase{L"<e> a <![CDATA[b]]> c </e>", L" a b c "},
                    ValueCase{L"<e>a<!-- c -->b<?p?>c</e>", L"abc"},
                    ValueCase{L"<e>&lt;&gt;&apos;&quot;&#65;&#x42;&#x6a;</e>", L"<>'\"ABj"},
                    ValueCase{L"<e>&#128512;</e>", L"\xD83D\xDE00"},
                    ValueCase{L"<e>&#0; &#X41; &#12345678; &#x110000; &#x; &#; &amp &bogus; & x</e>",
                              L"&#0; &#X41; &#12345678; &#x110000; &#x; &#; &amp &bogus; & x"},
                    ValueCase{L"<e></e>", L""}, ValueCase{L"<e/>", L""}, ValueCase{L"<e>x<c/>y</e>", L""}));

struct AttributeCase {
  const wchar_t* text;
  const wchar_t* name;
  const wchar_t* expected;
};

class XmlAttributeTest : public testing::TestWithParam<AttributeCase> {};

TEST_P(XmlAttributeTest, ReadsTheNamedValue) {
  const AttributeCase& c = GetParam();
  SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
  CXmlDocument doc(c.text);
  ASSERT_TRUE(doc.FindElement(L"e"));
  EXPECT_EQ(doc.GetAttribute(c.name), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    XmlAttributes, XmlAttributeTest,
    testing::Values(AttributeCase{L"<e x=\"1\" y='2'/>", L"y", L"2"}, AttributeCase{L"<e x = \"1\"/>", L"x", L"1"},
                    AttributeCase{L"<e x=1 y=2></e>", L"y", L"2"}, AttributeCase{L"<e flag y=\"2\"/>", L"flag", L""},
                    AttributeCase{L"<e flag y=\"2\"/>", L"y", L"2"}, AttributeCase{L"<e xy=\"1\" x=\"2\"/>", L"x", L"2"},
                    AttributeCase{L"<e x=\"1\" x=\"2\"/>", L"x", L"1"},
                    AttributeCase{L"<e x=\"&lt;&amp;&#65;& \"/>", L"x", L"<&A& "},
                    AttributeCase{L"<e x=\"a>b\"/>", L"x", L"a>b"},
                    AttributeCase{L"<e x='say \"hi\"'/>", L"x", L"say \"hi\""},
                    AttributeCase{L"<e b=x/></e>", L"b", L"x/"}, AttributeCase{L"<e x=\"1\"/>", L"z", L""},
                    AttributeCase{L"<e x=\"1\"/>", L"", L""}));

// --- editing -------------------------------------------------------------------

TEST(XmlAddElementTest, WritesTheRunStateLayoutByteForByte) {
  CXmlDocument doc(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  EXPECT_TRUE(doc.AddElement(L"config", L""));
  EXPECT_TRUE(doc.EnterElement());
  EXPECT_TRUE(doc.AddElement(L"Status", L"1"));
  EXPECT_TRUE(doc.AddElement(L"JoinExp", L""));
  EXPECT_EQ(doc.GetText(),
            L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\r\n<Status>1</Status>\r\n<JoinExp/>\r\n"
            L"</config>\r\n");
}

TEST(XmlAddElementTest, EditedIndexReadsLikeAFreshParse) {
  const std::vector<std::pair<std::wstring, std::wstring>> fields = {
      {L"Status", L"1"},
      {L"JoinExp", L""},
      {L"SelectLang", L"\u65E5\u672C\u8A9E"},
      {L"InstallPath", L"C:\\Program Files\\A&B <x>"},
      {L"AgreeExtInstall", L"1"},
      {L"TmpPackagePath", L""}};
  CXmlDocument edited(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  edited.AddElement(L"config", L"");
  edited.EnterElement();
  for (const auto& field : fields) ASSERT_TRUE(edited.AddElement(field.first, field.second));
  ASSERT_TRUE(edited.LeaveElement());  // config is the main element again

  CXmlDocument parsed;
  ASSERT_TRUE(parsed.SetText(edited.GetText()));
  ASSERT_TRUE(parsed.FindElement(L"config"));
  for (CXmlDocument* doc : {&edited, &parsed}) {
    for (const auto& field : fields) EXPECT_EQ(ReadChild(*doc, field.first, L"missing"), field.second);
  }
}

TEST(XmlAddElementTest, InsertsAfterTheMainElementAndShiftsTheRest) {
  CXmlDocument doc(L"<r>\r\n<a>1</a>\r\n<c k=\"v\">3</c>\r\n</r>");
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement(L"a"));
  ASSERT_TRUE(doc.AddElement(L"b", L"2"));
  EXPECT_EQ(doc.GetText(), L"<r>\r\n<a>1</a>\r\n<b>2</b>\r\n<c k=\"v\">3</c>\r\n</r>");
  EXPECT_EQ(doc.GetElementData(), L"2");
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetElementData(), L"3");
  EXPECT_EQ(doc.GetAttribute(L"k"), L"v");
  EXPECT_FALSE(doc.FindElement());
}

TEST(XmlAddElementTest, OpensAnEmptyParentAndKeepsLaterElementsReadable) {
  CXmlDocument doc(L"<r><p x=\"1\"/><q>x</q></r>");
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement(L"p"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddElement(L"n", L"1"));
  ASSERT_TRUE(doc.AddElement(L"m", L""));
  EXPECT_EQ(doc.GetText(), L"<r><p x=\"1\">\r\n<n>1</n>\r\n<m/>\r\n</p><q>x</q></r>");
  ASSERT_TRUE(doc.LeaveElement());
  EXPECT_EQ(doc.GetAttribute(L"x"), L"1");
  ASSERT_TRUE(doc.FindElement(L"q"));
  EXPECT_EQ(doc.GetElementData(), L"x");
  CXmlDocument reparsed;
  EXPECT_TRUE(reparsed.SetText(doc.GetText()));
}

TEST(XmlAddElementTest, EnclosingElementsGrowWithANestedAddition) {
  CXmlDocument doc(L"<r><p></p></r>");
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement(L"p"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddElement(L"x", L"1"));
  ASSERT_TRUE(doc.LeaveElement());
  ASSERT_TRUE(doc.LeaveElement());
  doc.ResetChildPosition();
  ASSERT_TRUE(doc.EnterElement());  // inside r, before its first child
  ASSERT_TRUE(doc.AddElement(L"y", L"2"));  // lands before r's end tag
  EXPECT_EQ(doc.GetText(), L"<r><p>\r\n<x>1</x>\r\n</p><y>2</y>\r\n</r>");
}

TEST(XmlAddElementTest, FillsAParentWithoutContent) {
  CXmlDocument doc(L"<r></r>");
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddElement(L"x", L"1"));
  EXPECT_EQ(doc.GetText(), L"<r>\r\n<x>1</x>\r\n</r>");
}

TEST(XmlAddElementTest, EscapesMarkupInData) {
  const ValueCase cases[] = {{L"a<b", L"<x>a&lt;b</x>"},
                             {L"a&b>c", L"<x>a&amp;b&gt;c</x>"},
                             {L"'\"&amp;", L"<x>'\"&amp;amp;</x>"},
                             {L"", L"<x/>"}};
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    CXmlDocument doc(L"<r/>");
    ASSERT_TRUE(doc.FindElement(L"r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(L"x", c.text));
    EXPECT_EQ(doc.GetText(), std::wstring(L"<r>\r\n") + c.expected + L"\r\n</r>");
    EXPECT_EQ(doc.GetElementData(), c.text);
  }
}

TEST(XmlAddElementTest, RefusesNamesThatWouldNotReadBack) {
  for (const wchar_t* name : {L"", L"1a", L"a b", L"a/b", L"a>", L"<a"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    CXmlDocument doc(L"<r/>");
    EXPECT_FALSE(doc.AddElement(name, L"v"));
    EXPECT_EQ(doc.GetText(), L"<r/>");
  }
}

// --- encodings -----------------------------------------------------------------

struct Utf8Case {
  std::string bytes;
  std::wstring units;
};

class XmlUtf8DecodeTest : public testing::TestWithParam<Utf8Case> {};

TEST_P(XmlUtf8DecodeTest, CountsThenConverts) {
  const Utf8Case& c = GetParam();
  const int count = CXmlDocument::Utf8ToUtf16(c.bytes.data(), static_cast<int>(c.bytes.size()), nullptr);
  ASSERT_EQ(count, static_cast<int>(c.units.size()));
  std::vector<wchar_t> buffer(count + 2, L'\xFFFF');
  EXPECT_EQ(CXmlDocument::Utf8ToUtf16(c.bytes.data(), static_cast<int>(c.bytes.size()), buffer.data()), count);
  EXPECT_EQ(std::wstring(buffer.data(), count), c.units);
  EXPECT_EQ(buffer[count], L'\0');
  EXPECT_EQ(buffer[count + 1], L'\xFFFF');  // nothing written past count + 1
}

INSTANTIATE_TEST_SUITE_P(
    XmlSequences, XmlUtf8DecodeTest,
    testing::Values(Utf8Case{"\xC3\xA9", L"\u00E9"}, Utf8Case{"\xE9" "a", L"?a"},
                    Utf8Case{"\xE2\x82\xAC", L"\u20AC"}, Utf8Case{"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
                    Utf8Case{std::string("a\0b", 3), L"a"}, Utf8Case{"\xE2\x82", L"?"},
                    Utf8Case{"\xE2\x82" "A", L"?A"}, Utf8Case{"\xF8" "A", L"?A"},
                    Utf8Case{"\xF4\x90\x80\x80", L"?"}, Utf8Case{"", L""}, Utf8Case{"plain", L"plain"}));

TEST(XmlUtf8Test, NeverReadsBeyondTheByteCount) {
  wchar_t buffer[4] = {};
  EXPECT_EQ(CXmlDocument::Utf8ToUtf16("\xC3\xA9", 1, buffer), 1);
  EXPECT_EQ(buffer[0], L'?');
  EXPECT_EQ(CXmlDocument::Utf8ToUtf16("abc", 2, buffer), 2);
  EXPECT_EQ(std::wstring(buffer), L"ab");
  EXPECT_EQ(CXmlDocument::Utf8ToUtf16(nullptr, 5, buffer), 0);
}

TEST(XmlUtf8Test, EncodesAndReplacesUnpairedSurrogates) {
  const std::pair<std::wstring, std::string> cases[] = {
      {L"\u00E9", "\xC3\xA9"},          {L"\u65E5", "\xE6\x97\xA5"},
      {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"}, {L"a\xD83D", "a?"},
      {L"\xD83D" L"A", "?A"},           {L"\xDE00" L"x", "?x"},
      {std::wstring(L"a\0b", 3), std::string("a\0b", 3)}};
  for (const auto& c : cases) EXPECT_EQ(CXmlDocument::Utf16ToUtf8(c.first), c.second);
}

// --- files ---------------------------------------------------------------------

class XmlFileTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = TempFolder() + L"qiv_xml_test_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(CreateFolderTree(folder_));
  }
  void TearDown() override {
    WIN32_FIND_DATAW found;
    UniqueFind find(::FindFirstFileW((folder_ + L"*").c_str(), &found));
    if (find) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((folder_ + found.cFileName).c_str());
      } while (::FindNextFileW(find.get(), &found));
    }
    find.reset();
    ::RemoveDirectoryW(folder_.c_str());
  }

  std::string ReadBytes(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<unreadable>";
    std::string bytes(::GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
  }
  void WriteBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  }

  std::wstring folder_;
};

TEST_F(XmlFileTest, SavesAndLoadsNonAsciiTextUnchanged) {
  const std::wstring path = folder_ + L"\u65E5\u672C.xml";
  const std::wstring text = L"<r a=\"\u00E9\">\u65E5\u672C\u8A9E \xD83D\xDE00</r>\r\n";
  std::wstring message;
  ASSERT_TRUE(CXmlDocument::SaveUtf8File(path, text, &message));
  const std::string expected =
      "<r a=\"\xC3\xA9\">\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80</r>\r\n";  // no byte-order mark
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_EQ(message, L"21 wide chars to 30 bytes");

  std::wstring loaded;
  ASSERT_TRUE(CXmlDocument::LoadUtf8File(path, &loaded, &message));
  EXPECT_EQ(loaded, text);
  EXPECT_EQ(message, L"30 bytes to 21 wide chars");
}

TEST_F(XmlFileTest, LoadDecodesTheBytesOfTheFile) {
  const std::pair<std::string, std::wstring> cases[] = {{"\xC3\xA9", L"\u00E9"}, {"\xE9" "x", L"?x"}};
  for (const auto& c : cases) {
    WriteBytes(folder_ + L"bytes.xml", c.first);
    std::wstring loaded;
    std::wstring message;
    ASSERT_TRUE(CXmlDocument::LoadUtf8File(folder_ + L"bytes.xml", &loaded, &message));
    EXPECT_EQ(loaded, c.second);
    EXPECT_EQ(message, L"2 bytes to " + std::to_wstring(c.second.size()) + L" wide chars");
  }
}

TEST_F(XmlFileTest, MissingFileLeavesTheTextAndReportsTheSystemError) {
  std::wstring text = L"keep";
  std::wstring message;
  EXPECT_FALSE(CXmlDocument::LoadUtf8File(folder_ + L"missing.xml", &text, &message));
  EXPECT_EQ(text, L"keep");
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(message.find_first_of(L"\r\n"), std::wstring::npos);

  CXmlDocument doc(L"<r>1</r>");
  ASSERT_TRUE(doc.FindElement(L"r"));
  EXPECT_FALSE(doc.Load(folder_ + L"missing.xml"));
  EXPECT_EQ(doc.GetText(), L"<r>1</r>");
  EXPECT_EQ(doc.LastMessage(), message);
  EXPECT_EQ(doc.GetElementData(), L"1");
}

TEST_F(XmlFileTest, SaveIntoAMissingFolderFails) {
  std::wstring message;
  EXPECT_FALSE(CXmlDocument::SaveUtf8File(folder_ + L"no\\such\\a.xml", L"<r/>", &message));
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(message.find_first_of(L"\r\n"), std::wstring::npos);
}

TEST_F(XmlFileTest, EmptyTextWritesAnEmptyFile) {
  std::wstring message;
  ASSERT_TRUE(CXmlDocument::SaveUtf8File(folder_ + L"empty.xml", L"", &message));
  EXPECT_EQ(message, L"0 wide chars to 0 bytes");
  EXPECT_EQ(ReadBytes(folder_ + L"empty.xml"), "");
}

TEST_F(XmlFileTest, LoadMessageLeadsTheParseMessage) {
  CXmlDocument doc;
  WriteBytes(folder_ + L"two.xml", "<a/><b/>");
  EXPECT_FALSE(doc.Load(folder_ + L"two.xml"));
  EXPECT_EQ(doc.LastMessage(), L"8 bytes to 8 wide chars, Root element has sibling");
  WriteBytes(folder_ + L"one.xml", "<a>\xC3\xA9</a>");
  EXPECT_TRUE(doc.Load(folder_ + L"one.xml"));
  EXPECT_EQ(doc.LastMessage(), L"9 bytes to 8 wide chars");
  ASSERT_TRUE(doc.FindElement(L"a"));
  EXPECT_EQ(doc.GetElementData(), L"\u00E9");
  EXPECT_TRUE(doc.SetText(doc.GetText()));
  EXPECT_EQ(doc.LastMessage(), L"");  // SetText starts without the load message

  ASSERT_TRUE(doc.Save(folder_ + L"saved.xml"));
  EXPECT_EQ(doc.LastMessage(), L"8 wide chars to 9 bytes");
  EXPECT_EQ(ReadBytes(folder_ + L"saved.xml"), "<a>\xC3\xA9</a>");
}

// --- hostile input -------------------------------------------------------------

TEST(XmlRobustnessTest, RandomBytesNeverBreakTheReader) {
  static const char* const kPieces[] = {
      "<", ">", "</", "/>", "<a", "<b ", "</a>", "</b>", "<a>", "<b/>", "<![CDATA[", "]]>", "<!--", "-->",
      "<?", "?>", "<!DOCTYPE", "<!", "<![", "[", "]", "=", "\"", "'", "&", "&amp;", "&#", "&#x", ";", "9",
      " ", "\r\n", "x", "a=", "b='", "\xC3", "\xA9", "\xF0\x9F", "\xE9", "\xFF", ""};
  std::mt19937 random(20261211);
  int wellFormedCount = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    const int pieces = random() % 60;
    for (int i = 0; i < pieces; ++i) {
      if (random() % 4 == 0) {
        bytes += static_cast<char>(random() % 256);
      } else {
        const char* piece = kPieces[random() % (sizeof(kPieces) / sizeof(kPieces[0]))];
        bytes += *piece ? std::string(piece) : std::string(1, '\0');  // "" stands for a zero byte
      }
    }
    const std::wstring text = DecodeUtf8(bytes);
    SCOPED_TRACE(testing::PrintToString(text));
    CXmlDocument doc;
    const bool wellFormed = doc.SetText(text);
    EXPECT_EQ(wellFormed, doc.LastMessage().empty());
    EXPECT_EQ(doc.GetText(), text);
    const int visited = WalkAllElements(doc, [](CXmlDocument& d) {
      d.GetElementData();
      d.GetAttribute(L"a");
      d.GetAttribute(L"b");
      while (d.FindChildElement(L"a")) {
      }
    });
    EXPECT_LE(visited, static_cast<int>(std::count(text.begin(), text.end(), L'<')));

    if (!wellFormed) continue;
    ++wellFormedCount;
    // A well-formed document stays well formed when an element is added to its
    // root, and the data reads back as given.
    std::wstring data;
    for (int i = random() % 8; i > 0; --i) data += static_cast<wchar_t>(random() % 0xD800);
    CXmlDocument edited(text);
    ASSERT_TRUE(edited.FindElement());
    ASSERT_TRUE(edited.EnterElement());
    ASSERT_TRUE(edited.AddElement(L"qivAdded", data));
    CXmlDocument reparsed;
    EXPECT_TRUE(reparsed.SetText(edited.GetText())) << reparsed.LastMessage();
    ASSERT_TRUE(reparsed.FindElement());
    ASSERT_TRUE(reparsed.EnterElement());
    ASSERT_TRUE(reparsed.FindElement(L"qivAdded"));
    EXPECT_EQ(reparsed.GetElementData(), data);
  }
  EXPECT_GT(wellFormedCount, 0);  // the mix does produce documents worth editing
}

TEST(XmlRobustnessTest, DeepAndBrokenNestingIsIndexedInOnePass) {
  const int depth = 100000;
  std::wstring opens;
  for (int i = 0; i < depth; ++i) opens += L"<a>";
  std::wstring closes;
  for (int i = 0; i < depth; ++i) closes += L"</a>";

  CXmlDocument doc;
  ASSERT_TRUE(doc.SetText(opens + L"x" + closes));
  int deepest = 0;
  int level = 0;
  for (;;) {
    if (doc.FindElement()) {
      deepest = std::max(deepest, ++level);
      doc.EnterElement();
    } else if (doc.LeaveElement()) {
      --level;
    } else {
      break;
    }
  }
  EXPECT_EQ(deepest, depth);

  // Each stray end tag matches none of the open elements.
  std::wstring stray;
  for (int i = 0; i < depth; ++i) stray += L"</b>";
  EXPECT_FALSE(doc.SetText(opens + stray + closes));
  EXPECT_EQ(doc.LastMessage(), L"No start tag for end tag 'b' at offset " + std::to_wstring(3 * depth));

  // One end tag of the outermost element closes all the others implicitly:
  // they all become its children.
  EXPECT_FALSE(doc.SetText(L"<r>" + opens + L"</r>"));
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(WalkAllElements(doc, [](CXmlDocument&) {}), depth);

  // Unterminated to the end: everything ends up at the top level.
  EXPECT_FALSE(doc.SetText(opens));
  EXPECT_EQ(doc.LastMessage(), L"Root element has sibling");
}

TEST(XmlRobustnessTest, HugeTextAndLooseMarkupStayReadable) {
  const std::wstring huge(4 * 1024 * 1024, L'&');
  CXmlDocument doc;
  ASSERT_TRUE(doc.SetText(L"<e a b = c d='>' e>" + huge + L"</e>"));
  ASSERT_TRUE(doc.FindElement(L"e"));
  EXPECT_EQ(doc.GetElementData(), huge);
  EXPECT_EQ(doc.GetAttribute(L"a"), L"");
  EXPECT_EQ(doc.GetAttribute(L"b"), L"c");
  EXPECT_EQ(doc.GetAttribute(L"d"), L">");
  EXPECT_EQ(doc.GetAttribute(L"e"), L"");

  for (const wchar_t* text : {L"<", L"<!", L"<!-", L"<![", L"<a", L"<a b='", L"</", L"<?", L"&", L"&#", L"&#x1"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
    EXPECT_FALSE(doc.SetText(text));
    EXPECT_FALSE(doc.LastMessage().empty());
    EXPECT_FALSE(doc.FindElement());
  }
}

}  // namespace
