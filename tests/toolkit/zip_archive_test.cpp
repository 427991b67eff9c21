#include "toolkit/zip_archive.h"

#include <gtest/gtest.h>

#include "tests/toolkit/zip_builder.h"

namespace {

std::string Text(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

const std::string kLayout = "<Window size=\"10,20\"><Label name=\"a\"/></Window>";

TEST(ZipArchive, ReadsStoredAndDeflatedEntriesInPlace) {
  const std::string big(5000, 'x');
  const std::string archive = ZipBuilder()
                                  .Add("stored.xml", kLayout, ZipBuilder::kStored)
                                  .Add("deflated.xml", big, ZipBuilder::kDeflated)
                                  .Add("empty.txt", "", ZipBuilder::kDeflated)
                                  .Add("folder/", "", ZipBuilder::kStored)
                                  .Build();
  kxui::ZipArchive zip;
  ASSERT_TRUE(zip.Open(archive.data(), archive.size()));
  EXPECT_EQ(3u, zip.EntryCount());  // the folder entry holds nothing to read
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(zip.Read(L"stored.xml", &bytes));
  EXPECT_EQ(kLayout, Text(bytes));
  ASSERT_TRUE(zip.Read(L"DEFLATED.XML", &bytes));
  EXPECT_EQ(big, Text(bytes));
  ASSERT_TRUE(zip.Read(L"empty.txt", &bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(zip.Read(L"missing.png", &bytes));
  EXPECT_FALSE(zip.Contains(L"folder/"));
}

// Each case damages a good archive in one way; the reader must refuse it,
// at Open or at Read, without reading outside the bytes.
TEST(ZipArchive, RefusesCorruptArchives) {
  const std::string good = ZipBuilder().Add("a.xml", kLayout).Build();
  const size_t end = good.size() - 22;
  struct Case {
    const char* what;
    std::string bytes;
    bool opens;
  };
  auto patched = [&](size_t at, char value) {
    std::string copy = good;
    copy[at] = value;
    return copy;
  };
  const Case cases[] = {
      {"empty", "", false},
      {"not a zip", std::string(100, 'z'), false},
      {"truncated end record", good.substr(0, good.size() - 5), false},
      {"directory offset past the end", patched(end + 19, '\x7f'), false},
      {"entry count beyond the directory", patched(end + 10, 9), false},
      {"damaged data", patched(38, static_cast<char>(good[38] ^ 0x55)), true},
      {"bad local header", patched(0, 'Q'), true},
  };
  for (const Case& c : cases) {
    kxui::ZipArchive zip;
    const bool opened = zip.Open(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(c.opens, opened) << c.what;
    std::vector<unsigned char> bytes;
    if (opened) {
      EXPECT_FALSE(zip.Read(L"a.xml", &bytes)) << c.what;
    }
  }
}

TEST(ZipArchive, RefusesEncryptedAndUnknownMethodEntries) {
  std::string archive = ZipBuilder().Add("secret.xml", kLayout, ZipBuilder::kStored, 1).Build();
  kxui::ZipArchive zip;
  ASSERT_TRUE(zip.Open(archive.data(), archive.size()));
  std::vector<unsigned char> bytes;
  EXPECT_FALSE(zip.Read(L"secret.xml", &bytes));

  // Method 12 (bzip2) in the central directory.
  archive = ZipBuilder().Add("b.xml", kLayout, ZipBuilder::kStored).Build();
  archive[archive.size() - 22 - 46 - 5 + 10] = 12;
  ASSERT_TRUE(zip.Open(archive.data(), archive.size()));
  EXPECT_FALSE(zip.Read(L"b.xml", &bytes));
}

}  // namespace
