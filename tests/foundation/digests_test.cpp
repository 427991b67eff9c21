#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/base64.h"
#include "foundation/md5.h"
#include "foundation/sha256.h"
#include "foundation/uuid.h"
#include "foundation/win_handles.h"

namespace {

std::string Md5Of(const std::string& bytes) {
  MD5 md5;
  md5.Update(bytes.data(), bytes.size());
  uint8_t digest[16];
  md5.Final(digest);
  return Md5Hex(digest);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

struct DigestCase {
  std::string message;
  const char* expected;
};

TEST(DigestMd5, MatchesKnownVectorsInUpperCase) {
  const DigestCase cases[] = {
      // The RFC 1321 test suite.
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
      // Lengths around the point where the bit count no longer fits the last block.
      {std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
      {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
      {std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
      {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
      {std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
  };
  for (const DigestCase& c : cases) {
    EXPECT_EQ(c.expected, Md5Of(c.message)) << "length " << c.message.size();
  }
}

TEST(DigestMd5, PiecesAcrossBlockBoundariesGiveTheWholeDigest) {
  const std::string million(1000000, 'a');
  const size_t pieceSizes[] = {1, 55, 56, 63, 64, 65, 127, 1000, 4093};
  MD5 md5;
  // Twice: the second round shows that Init after Final starts afresh.
  for (int round = 0; round < 2; ++round) {
    md5.Init();
    size_t offset = 0;
    for (size_t k = 0; offset < million.size(); ++k) {
      size_t size = std::min(pieceSizes[k % (sizeof(pieceSizes) / sizeof(pieceSizes[0]))], million.size() - offset);
      md5.Update(million.data() + offset, size);
      offset += size;
    }
    uint8_t digest[16];
    md5.Final(digest);
    EXPECT_EQ("7707D6AE4E027C70EEA2A935C2296F21", Md5Hex(digest)) << "round " << round;
  }
}

TEST(DigestSha256, MatchesKnownVectorsInLowerCase) {
  const DigestCase cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
       "rstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const DigestCase& c : cases) {
    EXPECT_EQ(c.expected, Sha256Hex(c.message)) << "length " << c.message.size();
  }
}

TEST(DigestSha256, EmptyTextGivesEmptyHexNotTheDigestOfNoBytes) {
  EXPECT_EQ("", Sha256Hex(""));
  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", Hex(Sha256().Digest(nullptr, 0)));
}

class DigestFileMd5 : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    ASSERT_GT(length, 0u);
    folder_ = std::wstring(temp, length) + L"qiv_digests_" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  }

  void TearDown() override {
    for (const std::wstring& file : files_) ::DeleteFileW(file.c_str());
    EXPECT_TRUE(::RemoveDirectoryW(folder_.c_str()));
  }

  std::wstring WriteFile(const std::wstring& name, const std::string& bytes) {
    std::wstring path = folder_ + L"\\" + name;
    files_.push_back(path);
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    EXPECT_TRUE(file.valid());
    DWORD written = 0;
    if (!bytes.empty()) {
      EXPECT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    EXPECT_EQ(bytes.size(), written);
    return path;
  }

  std::wstring folder_;
  std::vector<std::wstring> files_;
};

TEST_F(DigestFileMd5, MissingFileGivesEmptyText) {
  EXPECT_EQ(L"", FileMd5(folder_ + L"\\absent.bin"));
}

TEST_F(DigestFileMd5, EmptyFileGivesTheDigestOfNoBytes) {
  EXPECT_EQ(L"D41D8CD98F00B204E9800998ECF8427E", FileMd5(WriteFile(L"empty.bin", "")));
}

TEST_F(DigestFileMd5, FileOfSeveralMegabytesMatchesItsBytes) {
  std::string bytes(3 * 1048576 + 17, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  EXPECT_EQ(L"7114D559FFDA7029526064BAA992A30D", FileMd5(WriteFile(L"package.bin", bytes)));
}

TEST_F(DigestFileMd5, FileAnotherReaderHoldsOpenIsStillHashed) {
  std::wstring path = WriteFile(L"shared.bin", "held open");
  UniqueFile reader(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(reader.valid());
  EXPECT_EQ(L"78EA553CB98D3CE8AE7FFBCA11EB7AC7", FileMd5(path));
}

TEST(Base64, KnownVectorsBothWays) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.second, Base64Encode(c.first)) << c.first;
    EXPECT_EQ(c.first, Base64Decode(c.second)) << c.second;
  }
}

TEST(Base64, RoundTripsBinaryOfEveryLengthModuloThree) {
  for (size_t length = 0; length <= 258; ++length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 37 + length) & 0xFF);
    std::string text = Base64Encode(bytes);
    EXPECT_EQ((length + 2) / 3 * 4, text.size());
    EXPECT_EQ(bytes, Base64Decode(text)) << "length " << length;
  }
}

TEST(Base64, DecodeToleratesMissingPaddingAndStopsAtPadding) {
  const std::pair<std::string, std::string> cases[] = {
      {"Zm9vYg", "foob"},   {"Zm9vYmE", "fooba"}, {"Zm9vY", "foo"},  {"Zg==Zm9v", "f"},
      {"Zm8=Zm9v", "fo"}, {"Zm=v", "f"},          {"Z", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, Base64Decode(c.first)) << c.first;
}

TEST(Base64, DecodeOfArbitraryBytesStaysInBounds) {
  const char kPool[] = {'=', 'A', '/', '+', '\0', '\x80', '\xff', '\n', '-', 'z'};
  uint32_t seed = 12345;
  for (size_t length = 0; length <= 40; ++length) {
    for (int trial = 0; trial < 25; ++trial) {
      std::string text(length, '\0');
      for (char& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = kPool[(seed >> 16) % sizeof(kPool)];
      }
      EXPECT_LE(Base64Decode(text).size(), (length + 3) / 4 * 3);
    }
  }
}

TEST(Uuid, HasTheVersionFourLayoutInLowerCase) {
  std::set<std::wstring> seen;
  for (int i = 0; i < 50; ++i) {
    std::wstring id = NewUuid();
    ASSERT_EQ(36u, id.size()) << i;
    for (size_t pos = 0; pos < id.size(); ++pos) {
      if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
        EXPECT_EQ(L'-', id[pos]) << id;
      } else {
        EXPECT_NE(std::wstring::npos, std::wstring(L"0123456789abcdef").find(id[pos])) << id;
      }
    }
    EXPECT_EQ(L'4', id[14]) << id;
    EXPECT_NE(std::wstring::npos, std::wstring(L"89ab").find(id[19])) << id;
    seen.insert(id);
  }
  EXPECT_EQ(50u, seen.size());
}

}  // namespace
