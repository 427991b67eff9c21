#include "foundation/md5.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "foundation/text_convert.h"
#include "foundation/win_handles.h"

namespace {

// Packages are hashed in pieces this large so that even a multi-gigabyte
// file takes only a handful of reads.
constexpr DWORD kFileReadSize = 67108864;

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

inline void Step(uint32_t (*f)(uint32_t, uint32_t, uint32_t), uint32_t& a, uint32_t b, uint32_t c,
                 uint32_t d, uint32_t x, int s, uint32_t t) {
  a = b + RotateLeft(a + f(b, c, d) + x + t, s);
}

void Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = static_cast<uint32_t>(block[i * 4]) | (static_cast<uint32_t>(block[i * 4 + 1]) << 8) |
           (static_cast<uint32_t>(block[i * 4 + 2]) << 16) | (static_cast<uint32_t>(block[i * 4 + 3]) << 24);
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  Step(F, a, b, c, d, x[0], 7, 0xd76aa478);
  Step(F, d, a, b, c, x[1], 12, 0xe8c7b756);
  Step(F, c, d, a, b, x[2], 17, 0x242070db);
  Step(F, b, c, d, a, x[3], 22, 0xc1bdceee);
  Step(F, a, b, c, d, x[4], 7, 0xf57c0faf);
  Step(F, d, a, b, c, x[5], 12, 0x4787c62a);
  Step(F, c, d, a, b, x[6], 17, 0xa8304613);
  Step(F, b, c, d, a, x[7], 22, 0xfd469501);
  Step(F, a, b, c, d, x[8], 7, 0x698098d8);
  Step(F, d, a, b, c, x[9], 12, 0x8b44f7af);
  Step(F, c, d, a, b, x[10], 17, 0xffff5bb1);
  Step(F, b, c, d, a, x[11], 22, 0x895cd7be);
  Step(F, a, b, c, d, x[12], 7, 0x6b901122);
  Step(F, d, a, b, c, x[13], 12, 0xfd987193);
  Step(F, c, d, a, b, x[14], 17, 0xa679438e);
  Step(F, b, c, d, a, x[15], 22, 0x49b40821);

  Step(G, a, b, c, d, x[1], 5, 0xf61e2562);
  Step(G, d, a, b, c, x[6], 9, 0xc040b340);
  Step(G, c, d, a, b, x[11], 14, 0x265e5a51);
  Step(G, b, c, d, a, x[0], 20, 0xe9b6c7aa);
  Step(G, a, b, c, d, x[5], 5, 0xd62f105d);
  Step(G, d, a, b, c, x[10], 9, 0x02441453);
  Step(G, c, d, a, b, x[15], 14, 0xd8a1e681);
  Step(G, b, c, d, a, x[4], 20, 0xe7d3fbc8);
  Step(G, a, b, c, d, x[9], 5, 0x21e1cde6);
  Step(G, d, a, b, c, x[14], 9, 0xc33707d6);
  Step(G, c, d, a, b, x[3], 14, 0xf4d50d87);
  Step(G, b, c, d, a, x[8], 20, 0x455a14ed);
  Step(G, a, b, c, d, x[13], 5, 0xa9e3e905);
  Step(G, d, a, b, c, x[2], 9, 0xfcefa3f8);
  Step(G, c, d, a, b, x[7], 14, 0x676f02d9);
  Step(G, b, c, d, a, x[12], 20, 0x8d2a4c8a);

  Step(H, a, b, c, d, x[5], 4, 0xfffa3942);
  Step(H, d, a, b, c, x[8], 11, 0x8771f681);
  Step(H, c, d, a, b, x[11], 16, 0x6d9d6122);
  Step(H, b, c, d, a, x[14], 23, 0xfde5380c);
  Step(H, a, b, c, d, x[1], 4, 0xa4beea44);
  Step(H, d, a, b, c, x[4], 11, 0x4bdecfa9);
  Step(H, c, d, a, b, x[7], 16, 0xf6bb4b60);
  Step(H, b, c, d, a, x[10], 23, 0xbebfbc70);
  Step(H, a, b, c, d, x[13], 4, 0x289b7ec6);
  Step(H, d, a, b, c, x[0], 11, 0xeaa127fa);
  Step(H, c, d, a, b, x[3], 16, 0xd4ef3085);
  Step(H, b, c, d, a, x[6], 23, 0x04881d05);
  Step(H, a, b, c, d, x[9], 4, 0xd9d4d039);
  Step(H, d, a, b, c, x[12], 11, 0xe6db99e5);
  Step(H, c, d, a, b, x[15], 16, 0x1fa27cf8);
  Step(H, b, c, d, a, x[2], 23, 0xc4ac5665);

  Step(I, a, b, c, d, x[0], 6, 0xf4292244);
  Step(I, d, a, b, c, x[7], 10, 0x432aff97);
  Step(I, c, d, a, b, x[14], 15, 0xab9423a7);
  Step(I, b, c, d, a, x[5], 21, 0xfc93a039);
  Step(I, a, b, c, d, x[12], 6, 0x655b59c3);
  Step(I, d, a, b, c, x[3], 10, 0x8f0ccc92);
  Step(I, c, d, a, b, x[10], 15, 0xffeff47d);
  Step(I, b, c, d, a, x[1], 21, 0x85845dd1);
  Step(I, a, b, c, d, x[8], 6, 0x6fa87e4f);
  Step(I, d, a, b, c, x[15], 10, 0xfe2ce6e0);
  Step(I, c, d, a, b, x[6], 15, 0xa3014314);
  Step(I, b, c, d, a, x[13], 21, 0x4e0811a1);
  Step(I, a, b, c, d, x[4], 6, 0xf7537e82);
  Step(I, d, a, b, c, x[11], 10, 0xbd3af235);
  Step(I, c, d, a, b, x[2], 15, 0x2ad7d2bb);
  Step(I, b, c, d, a, x[9], 21, 0xeb86d391);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  SecureZeroMemory(x, sizeof(x));
}

void StoreLittleEndian(uint8_t* out, const uint32_t* words, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out[i * 4] = static_cast<uint8_t>(words[i]);
    out[i * 4 + 1] = static_cast<uint8_t>(words[i] >> 8);
    out[i * 4 + 2] = static_cast<uint8_t>(words[i] >> 16);
    out[i * 4 + 3] = static_cast<uint8_t>(words[i] >> 24);
  }
}

// The read buffer comes straight from VirtualAlloc: its pages arrive zeroed
// and untouched pages cost nothing, so a small file does not pay for
// clearing 64 MiB.
struct VirtualMemory {
  explicit VirtualMemory(SIZE_T size)
      : data(static_cast<uint8_t*>(::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
  ~VirtualMemory() {
    if (data) ::VirtualFree(data, 0, MEM_RELEASE);
  }
  VirtualMemory(const VirtualMemory&) = delete;
  VirtualMemory& operator=(const VirtualMemory&) = delete;
  uint8_t* data;
};

}  // namespace

MD5::MD5() {
  std::memset(padding_, 0, sizeof(padding_));
  padding_[0] = 0x80;
  std::memset(result_, 0, sizeof(result_));
  Init();
}

MD5::~MD5() = default;

void MD5::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  count_[0] = 0;
  count_[1] = 0;
  std::memset(buffer_, 0, sizeof(buffer_));
}

void MD5::Update(const void* data, size_t size) {
  const uint8_t* input = static_cast<const uint8_t*>(data);
  size_t used = (count_[0] >> 3) & 0x3F;

  // The bit count is 64 bits wide in two words; size_t is only 32 bits here,
  // so its top three bits go straight into the high word.
  uint32_t lowBits = static_cast<uint32_t>(size) << 3;
  count_[0] += lowBits;
  if (count_[0] < lowBits) ++count_[1];
  count_[1] += static_cast<uint32_t>(static_cast<uint64_t>(size) >> 29);

  size_t free = 64 - used;
  size_t done = 0;
  if (size >= free) {
    std::memcpy(buffer_ + used, input, free);
    Transform(state_, buffer_);
    for (done = free; done + 64 <= size; done += 64) Transform(state_, input + done);
    used = 0;
  }
  if (size > done) std::memcpy(buffer_ + used, input + done, size - done);
}

void MD5::Final(uint8_t digest[16]) {
  uint8_t bits[8];
  StoreLittleEndian(bits, count_, 2);

  size_t used = (count_[0] >> 3) & 0x3F;
  size_t padLength = used < 56 ? 56 - used : 120 - used;
  Update(padding_, padLength);
  Update(bits, sizeof(bits));

  StoreLittleEndian(result_, state_, 4);
  std::memcpy(digest, result_, sizeof(result_));

  // Nothing of the message stays behind; Init makes the object usable again.
  SecureZeroMemory(state_, sizeof(state_));
  SecureZeroMemory(count_, sizeof(count_));
  SecureZeroMemory(buffer_, sizeof(buffer_));
}

std::string Md5Hex(const uint8_t digest[16]) {
  char text[33];
  for (int i = 0; i < 16; ++i) std::snprintf(text + i * 2, 3, "%02X", digest[i]);
  return std::string(text, 32);
}

std::wstring FileMd5(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return L"";
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) return L"";

  VirtualMemory buffer(kFileReadSize);
  if (!buffer.data) return L"";

  MD5 md5;
  long long offset = 0;
  while (offset < size.QuadPart) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) break;
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data, kFileReadSize, &read, nullptr) || read == 0) break;
    md5.Update(buffer.data, read);
    offset += read;
  }
  // A file that shrank or grew while it was read does not match any digest
  // the server could have sent for it.
  if (offset != size.QuadPart) return L"";

  uint8_t digest[16];
  md5.Final(digest);
  return AnsiToWide(Md5Hex(digest));
}
