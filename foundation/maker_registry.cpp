#include "foundation/maker_registry.h"

#include <cwchar>
#include <vector>

#include "foundation/system_info.h"
#include "foundation/uuid.h"
#include "foundation/win_handles.h"

namespace {

// Read buffers: a signature or channel text is short; a path fills at most
// MAX_PATH characters. A value that does not fit is taken as missing rather
// than cut, so that a damaged value is never passed on.
constexpr DWORD kShortValueBytes = 100;
constexpr DWORD kPathValueBytes = MAX_PATH * sizeof(wchar_t);

// The longest name a registry key component may have.
constexpr size_t kMaxKeyNameChars = 255;
// The compatibility value holds a short list of layer names.
constexpr size_t kMaxLayerChars = 49;

const wchar_t kMuxCxKey[] = L"Software\\MuxCX";
const wchar_t kLormexKey[] = L"Software\\Pellavorine\\Pellavorine Lormex";
const wchar_t kLayersKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

// The registry views only exist on 64-bit Windows; elsewhere no flag is passed.
REGSAM View32() { return IsWindows64() ? KEY_WOW64_32KEY : 0; }
REGSAM View64() { return IsWindows64() ? KEY_WOW64_64KEY : 0; }

// Both views on 64-bit Windows, the one registry on 32-bit Windows.
std::vector<REGSAM> View64Then32() {
  if (IsWindows64()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  return {0};
}

// A text value read into a buffer of bufferBytes; missing, not text, empty or
// longer than the buffer all give an empty text.
std::wstring ReadText(HKEY key, const wchar_t* name, DWORD bufferBytes) {
  // One spare character keeps the text terminated when the value fills the
  // buffer without its own terminator.
  std::vector<wchar_t> buffer(bufferBytes / sizeof(wchar_t) + 1, L'\0');
  DWORD type = 0;
  DWORD size = bufferBytes;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  return std::wstring(buffer.data(), ::wcsnlen(buffer.data(), size / sizeof(wchar_t)));
}

std::wstring ReadText(HKEY root, const std::wstring& keyPath, const wchar_t* name, REGSAM view, DWORD bufferBytes) {
  UniqueKey key;
  if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return {};
  return ReadText(key.get(), name, bufferBytes);
}

bool WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
         ERROR_SUCCESS;
}

bool WriteText(HKEY root, const std::wstring& keyPath, const wchar_t* name, REGSAM access, const std::wstring& text) {
  UniqueKey key;
  if (::RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, access, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  return WriteText(key.get(), name, text);
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD* value) {
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof data) {
    return false;
  }
  *value = data;
  return true;
}

bool ValidBrand(const std::wstring& brand) {
  return !brand.empty() && brand.size() <= kMaxKeyNameChars && brand.find(L'\\') == std::wstring::npos;
}

bool PathExists(const std::wstring& path) {
  return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::wstring GetClientSign(const std::wstring& brand) {
  if (!ValidBrand(brand)) return {};
  const std::wstring dovrikitKey = L"Software\\" + brand + L"\\" + brand + L" Dovrikit";
  const std::wstring muxKey = L"Software\\" + brand + L"\\MUX";

  std::wstring sign = ReadText(HKEY_CURRENT_USER, dovrikitKey, L"ClientSign", 0, kShortValueBytes);
  if (sign.empty()) sign = ReadText(HKEY_LOCAL_MACHINE, dovrikitKey, L"ClientSign", View32(), kShortValueBytes);
  if (sign.empty()) sign = ReadText(HKEY_LOCAL_MACHINE, muxKey, L"ClientSign", View32(), kShortValueBytes);
  if (!sign.empty()) return sign;

  const std::wstring uuid = NewUuid();
  if (uuid.empty()) return {};
  sign = L"{" + uuid + L"G}";
  WriteText(HKEY_LOCAL_MACHINE, dovrikitKey, L"ClientSign", KEY_WRITE | View32(), sign);
  WriteText(HKEY_LOCAL_MACHINE, muxKey, L"ClientSign", KEY_WRITE | View32(), sign);
  return sign;
}

bool RegisterChannel(const std::wstring& id, const std::wstring& channel) {
  // An empty id would name the default value and overwrite the first channel.
  if (id.empty()) return false;
  UniqueKey key;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMuxCxKey, 0, nullptr, 0, KEY_ALL_ACCESS | View64(), nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool written = true;
  if (ReadText(key.get(), nullptr, kShortValueBytes).empty()) written = WriteText(key.get(), nullptr, channel);
  return WriteText(key.get(), id.c_str(), channel) && written;
}

std::wstring DefaultChannel() { return ReadText(HKEY_LOCAL_MACHINE, kMuxCxKey, nullptr, View64(), kShortValueBytes); }

std::wstring InstalledProductValue(const std::wstring& brand, const std::wstring& productId,
                                   const std::wstring& valueName) {
  if (!ValidBrand(brand) || productId.empty() || valueName.empty()) return {};
  UniqueKey brandKey;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\" + brand).c_str(), 0, KEY_READ, brandKey.put()) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::wstring result;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxKeyNameChars + 1];
    DWORD nameChars = kMaxKeyNameChars + 1;
    const LONG status = ::RegEnumKeyExW(brandKey.get(), index, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    UniqueKey product;
    if (::RegOpenKeyExW(brandKey.get(), name, 0, KEY_QUERY_VALUE, product.put()) != ERROR_SUCCESS) continue;
    DWORD pid = 0;
    if (!ReadDword(product.get(), L"PID", &pid) || std::to_wstring(pid) != productId) continue;
    // A record without an install stamp is a left-over of an unfinished or
    // removed installation.
    if (ReadText(product.get(), L"InstallInfo", kPathValueBytes).empty() &&
        ReadText(product.get(), L"InstallDate", kPathValueBytes).empty()) {
      continue;
    }
    result = ReadText(product.get(), valueName.c_str(), kPathValueBytes);
  }
  return result;
}

std::wstring LormexInstallPath() {
  for (const REGSAM view : View64Then32()) {
    const std::wstring path = ReadText(HKEY_LOCAL_MACHINE, kLormexKey, L"InstallName", view, kPathValueBytes);
    if (PathExists(path)) return path;
  }
  return {};
}

bool IsLormexInstalled() { return !LormexInstallPath().empty(); }

bool SetCompatibilityLayer(const std::wstring& layer, const std::wstring& programPath) {
  // A path this long cannot name a program that could be started.
  if (programPath.empty() || programPath.size() >= MAX_PATH) return false;
  const std::wstring text = layer.substr(0, kMaxLayerChars);
  bool written = true;
  for (const REGSAM view : View64Then32()) {
    if (!WriteText(HKEY_LOCAL_MACHINE, kLayersKey, programPath.c_str(), KEY_SET_VALUE | view, text)) written = false;
  }
  return written;
}

bool ReadUserDword(const std::wstring& key, const std::wstring& name, DWORD* value) {
  if (!value) return false;
  UniqueKey opened;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, opened.put()) != ERROR_SUCCESS)
    return false;
  return ReadDword(opened.get(), name.c_str(), value);
}

bool WriteUserDword(const std::wstring& key, const std::wstring& name, DWORD value) {
  UniqueKey opened;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, opened.put(),
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return ::RegSetValueExW(opened.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}
