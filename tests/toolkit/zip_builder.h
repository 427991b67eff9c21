// Builds small zip archives in memory for the tests: stored or deflated
// entries, and the raw bytes so that a test can damage them.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

class ZipBuilder {
 public:
  enum Method { kStored = 0, kDeflated = 8 };

  ZipBuilder& Add(const std::string& name, const std::string& data, Method method = kDeflated,
                  uint16_t flags = 0) {
    std::string packed = data;
    if (method == kDeflated) packed = Deflate(data);
    Entry entry{name, static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(crc32(0, Bytes(data), Size(data))),
                static_cast<uint32_t>(data.size()), static_cast<uint32_t>(packed.size()), static_cast<uint16_t>(method),
                flags};
    Put32(0x04034b50);
    Put16(20);
    Put16(flags);
    Put16(entry.method);
    Put16(0);
    Put16(0);
    Put32(entry.crc);
    Put32(entry.packed);
    Put32(entry.size);
    Put16(static_cast<uint16_t>(name.size()));
    Put16(0);
    bytes_ += name;
    bytes_ += packed;
    entries_.push_back(entry);
    return *this;
  }

  std::string Build() {
    std::string out = bytes_;
    const uint32_t directory = static_cast<uint32_t>(out.size());
    std::string central;
    for (const Entry& e : entries_) {
      Put32(&central, 0x02014b50);
      Put16(&central, 20);
      Put16(&central, 20);
      Put16(&central, e.flags);
      Put16(&central, e.method);
      Put16(&central, 0);
      Put16(&central, 0);
      Put32(&central, e.crc);
      Put32(&central, e.packed);
      Put32(&central, e.size);
      Put16(&central, static_cast<uint16_t>(e.name.size()));
      Put16(&central, 0);
      Put16(&central, 0);
      Put16(&central, 0);
      Put16(&central, 0);
      Put32(&central, 0);
      Put32(&central, e.offset);
      central += e.name;
    }
    out += central;
    Put32(&out, 0x06054b50);
    Put16(&out, 0);
    Put16(&out, 0);
    Put16(&out, static_cast<uint16_t>(entries_.size()));
    Put16(&out, static_cast<uint16_t>(entries_.size()));
    Put32(&out, static_cast<uint32_t>(central.size()));
    Put32(&out, directory);
    Put16(&out, 0);
    return out;
  }

 private:
  struct Entry {
    std::string name;
    uint32_t offset, crc, size, packed;
    uint16_t method, flags;
  };

  static const Bytef* Bytes(const std::string& s) { return reinterpret_cast<const Bytef*>(s.data()); }
  static uInt Size(const std::string& s) { return static_cast<uInt>(s.size()); }

  static std::string Deflate(const std::string& data) {
    z_stream stream = {};
    deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, Size(data)), '\0');
    stream.next_in = const_cast<Bytef*>(Bytes(data));
    stream.avail_in = Size(data);
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
  }

  void Put16(uint16_t v) { Put16(&bytes_, v); }
  void Put32(uint32_t v) { Put32(&bytes_, v); }
  static void Put16(std::string* s, uint16_t v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>(v >> 8));
  }
  static void Put32(std::string* s, uint32_t v) {
    Put16(s, static_cast<uint16_t>(v & 0xFFFF));
    Put16(s, static_cast<uint16_t>(v >> 16));
  }

  std::string bytes_;
  std::vector<Entry> entries_;
};

// A PNG of one colour (8-bit RGBA), small enough to build in a test.
inline std::string SolidPng(int width, int height, uint32_t argb) {
  std::string rows;
  for (int y = 0; y < height; ++y) {
    rows.push_back('\0');
    for (int x = 0; x < width; ++x) {
      rows.push_back(static_cast<char>((argb >> 16) & 0xFF));
      rows.push_back(static_cast<char>((argb >> 8) & 0xFF));
      rows.push_back(static_cast<char>(argb & 0xFF));
      rows.push_back(static_cast<char>(argb >> 24));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
  std::string packed(packedSize, '\0');
  compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(rows.data()),
           static_cast<uLong>(rows.size()));
  packed.resize(packedSize);
  auto be32 = [](uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  auto chunk = [&](const std::string& kind, const std::string& data) {
    const std::string body = kind + data;
    return be32(static_cast<uint32_t>(data.size())) + body +
           be32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  };
  const std::string header = be32(static_cast<uint32_t>(width)) + be32(static_cast<uint32_t>(height)) +
                             std::string{8, 6, 0, 0, 0};
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
}
