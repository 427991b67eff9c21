// SHA-256 (FIPS 180-4): the signature of HTTP-DNS requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Sha256 {
 public:
  Sha256();
  virtual ~Sha256();
  std::vector<uint8_t> Digest(const void* data, size_t size) const;
};

// 64 lower-case hexadecimal digits; "" for an empty text.
std::string Sha256Hex(const std::string& text);
