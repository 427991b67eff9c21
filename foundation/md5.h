// MD5 (RFC 1321): the integrity check of downloaded packages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class MD5 {
 public:
  MD5();
  virtual ~MD5();
  void Init();
  void Update(const void* data, size_t size);
  // Pads, appends the bit count and writes the 16-byte digest; the state is
  // cleared afterwards.
  void Final(uint8_t digest[16]);

 private:
  uint32_t state_[4];
  uint32_t count_[2];  // bit count, low word first
  uint8_t buffer_[64];
  uint8_t padding_[64];
  uint8_t result_[16];
};

// 32 upper-case hexadecimal digits.
std::string Md5Hex(const uint8_t digest[16]);

// Digest of a file's bytes as 32 upper-case hexadecimal digits, or "" when
// the file cannot be read whole.
std::wstring FileMd5(const std::wstring& path);
