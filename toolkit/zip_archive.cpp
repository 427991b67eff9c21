#include "toolkit/zip_archive.h"

#include <zlib.h>

#include <algorithm>

#include "foundation/text_convert.h"
#include "toolkit/toolkit_log.h"

namespace kxui {
namespace {

constexpr uint32_t kEndOfDirectorySignature = 0x06054b50;
constexpr uint32_t kDirectoryEntrySignature = 0x02014b50;
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr size_t kEndOfDirectorySize = 22;
constexpr size_t kDirectoryEntrySize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kFlagEncrypted = 0x0001;
// A skin entry is an image or a layout; anything claiming more is corrupt
// and would only make us allocate for it.
constexpr uint32_t kMaxEntrySize = 64u * 1024u * 1024u;

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

std::string FoldName(std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

bool Inflate(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize) {
  z_stream stream = {};
  // Negative window bits: zip entries are raw deflate streams without a header.
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(in);
  stream.avail_in = static_cast<uInt>(inSize);
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(outSize);
  const int result = inflate(&stream, Z_FINISH);
  const bool complete = result == Z_STREAM_END && stream.total_out == outSize;
  inflateEnd(&stream);
  return complete;
}

}  // namespace

bool ZipArchive::Open(const void* data, size_t size) {
  Close();
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (!bytes || size < kEndOfDirectorySize) {
    KXUI_ERROR("zip: archive of %u bytes is too small", static_cast<unsigned>(size));
    return false;
  }
  // The end record sits before an optional comment of up to 64 KB.
  const size_t lowest = size > kEndOfDirectorySize + kMaxCommentSize ? size - kEndOfDirectorySize - kMaxCommentSize : 0;
  size_t end = size - kEndOfDirectorySize + 1;
  bool found = false;
  while (end-- > lowest) {
    if (Read32(bytes + end) == kEndOfDirectorySignature) {
      found = true;
      break;
    }
  }
  if (!found) {
    KXUI_ERROR("zip: no end of central directory");
    return false;
  }
  const unsigned count = Read16(bytes + end + 10);
  const uint32_t directorySize = Read32(bytes + end + 12);
  const uint32_t directoryOffset = Read32(bytes + end + 16);
  if (directoryOffset > end || directorySize > end - directoryOffset) {
    KXUI_ERROR("zip: central directory lies outside the archive");
    return false;
  }
  std::vector<Entry> entries;
  size_t at = directoryOffset;
  const size_t directoryEnd = directoryOffset + directorySize;
  for (unsigned i = 0; i < count; ++i) {
    if (directoryEnd - at < kDirectoryEntrySize || Read32(bytes + at) != kDirectoryEntrySignature) {
      KXUI_ERROR("zip: central directory entry %u is damaged", i);
      return false;
    }
    const unsigned char* record = bytes + at;
    const size_t nameLength = Read16(record + 28);
    const size_t recordLength = kDirectoryEntrySize + nameLength + Read16(record + 30) + Read16(record + 32);
    if (directoryEnd - at < recordLength) {
      KXUI_ERROR("zip: central directory entry %u is damaged", i);
      return false;
    }
    Entry entry;
    entry.flags = Read16(record + 8);
    entry.method = Read16(record + 10);
    entry.crc = Read32(record + 16);
    entry.compressedSize = Read32(record + 20);
    entry.size = Read32(record + 24);
    entry.localHeaderOffset = Read32(record + 42);
    entry.name = FoldName(std::string(reinterpret_cast<const char*>(record + kDirectoryEntrySize), nameLength));
    at += recordLength;
    if (entry.name.empty() || entry.name.back() == '/') continue;  // folders hold nothing to read
    entries.push_back(std::move(entry));
  }
  data_ = bytes;
  size_ = size;
  entries_ = std::move(entries);
  return true;
}

void ZipArchive::Close() {
  data_ = nullptr;
  size_ = 0;
  entries_.clear();
}

const ZipArchive::Entry* ZipArchive::Find(const std::wstring& name) const {
  const std::string folded = FoldName(WideToUtf8(name));
  for (const Entry& entry : entries_) {
    if (entry.name == folded) return &entry;
  }
  return nullptr;
}

bool ZipArchive::Contains(const std::wstring& name) const { return Find(name) != nullptr; }

bool ZipArchive::Read(const std::wstring& name, std::vector<unsigned char>* bytes) const {
  const Entry* entry = Find(name);
  if (!entry) return false;
  const std::string narrowName = WideToAnsi(name);
  if (entry->flags & kFlagEncrypted) {
    KXUI_ERROR("zip: entry %s is encrypted", narrowName.c_str());
    return false;
  }
  if (entry->size > kMaxEntrySize || entry->localHeaderOffset > size_ ||
      size_ - entry->localHeaderOffset < kLocalHeaderSize ||
      Read32(data_ + entry->localHeaderOffset) != kLocalHeaderSignature) {
    KXUI_ERROR("zip: entry %s has a damaged header", narrowName.c_str());
    return false;
  }
  const unsigned char* local = data_ + entry->localHeaderOffset;
  const size_t dataOffset =
      static_cast<size_t>(entry->localHeaderOffset) + kLocalHeaderSize + Read16(local + 26) + Read16(local + 28);
  if (dataOffset > size_ || size_ - dataOffset < entry->compressedSize) {
    KXUI_ERROR("zip: entry %s runs past the end of the archive", narrowName.c_str());
    return false;
  }
  const unsigned char* packed = data_ + dataOffset;
  std::vector<unsigned char> out(entry->size);
  bool ok = false;
  if (entry->method == kMethodStored) {
    ok = entry->compressedSize == entry->size;
    if (ok) std::copy(packed, packed + entry->size, out.begin());
  } else if (entry->method == kMethodDeflated) {
    // An empty deflated entry still has a stream; the output buffer may be empty.
    unsigned char none = 0;
    ok = Inflate(packed, entry->compressedSize, out.empty() ? &none : out.data(), out.size());
  } else {
    KXUI_ERROR("zip: entry %s uses compression method %d", narrowName.c_str(), entry->method);
    return false;
  }
  if (!ok || crc32(0L, out.data(), static_cast<uInt>(out.size())) != entry->crc) {
    KXUI_ERROR("zip: entry %s is corrupt", narrowName.c_str());
    return false;
  }
  *bytes = std::move(out);
  return true;
}

}  // namespace kxui
