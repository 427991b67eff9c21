// Reader of a zip archive held in memory: the central directory is indexed
// once, and an entry (stored or deflated) is unpacked on request. The bytes
// are read in place, so they must outlive the archive object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kxui {

class ZipArchive {
 public:
  ZipArchive() = default;
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Indexes the archive; false (and an empty index) when the bytes are not a
  // zip archive this reader can use.
  bool Open(const void* data, size_t size);
  void Close();
  bool IsOpen() const { return data_ != nullptr; }
  size_t EntryCount() const { return entries_.size(); }

  // Names compare without regard to ASCII case and with "\\" read as "/".
  bool Contains(const std::wstring& name) const;
  // Unpacks one entry; false when it is missing, encrypted, of an unknown
  // method, or its bytes do not match their recorded size and checksum.
  bool Read(const std::wstring& name, std::vector<unsigned char>* bytes) const;

 private:
  struct Entry {
    std::string name;  // folded for lookup
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t size = 0;
    uint32_t localHeaderOffset = 0;
  };

  const Entry* Find(const std::wstring& name) const;

  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace kxui
