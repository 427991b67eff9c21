#include "foundation/base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Six-bit value of every byte; bytes outside the alphabet read as 0.
std::array<uint8_t, 256> MakeReverseTable() {
  std::array<uint8_t, 256> table{};
  for (uint8_t value = 0; value < 64; ++value) table[static_cast<uint8_t>(kAlphabet[value])] = value;
  return table;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t group = (static_cast<uint8_t>(bytes[i]) << 16) | (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                     static_cast<uint8_t>(bytes[i + 2]);
    text += kAlphabet[(group >> 18) & 0x3F];
    text += kAlphabet[(group >> 12) & 0x3F];
    text += kAlphabet[(group >> 6) & 0x3F];
    text += kAlphabet[group & 0x3F];
  }
  size_t rest = bytes.size() - i;
  if (rest) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    text += kAlphabet[(group >> 18) & 0x3F];
    text += kAlphabet[(group >> 12) & 0x3F];
    text += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    text += '=';
  }
  return text;
}

std::string Base64Decode(const std::string& text) {
  static const std::array<uint8_t, 256> kReverse = MakeReverseTable();
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3 + 2);
  for (size_t i = 0; i < text.size(); i += 4) {
    // A last group cut short (no padding sent) yields the whole bytes its
    // characters hold: two characters one byte, three characters two.
    size_t count = text.size() - i < 4 ? text.size() - i : 4;
    if (count > 2 && text[i + 2] == '=') count = 2;
    bool padded = count < 4 || text[i + 3] == '=';
    if (padded && count == 4) count = 3;

    uint32_t group = 0;
    for (size_t k = 0; k < 4; ++k) {
      uint32_t value = k < count ? kReverse[static_cast<uint8_t>(text[i + k])] : 0;
      group = (group << 6) | value;
    }
    if (count >= 2) bytes += static_cast<char>(group >> 16);
    if (count >= 3) bytes += static_cast<char>((group >> 8) & 0xFF);
    if (count == 4) bytes += static_cast<char>(group & 0xFF);
    if (padded) break;
  }
  return bytes;
}
