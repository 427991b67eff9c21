#include "toolkit/skin_resources.h"

#include "foundation/text_convert.h"
#include "foundation/win_handles.h"
#include "toolkit/toolkit_log.h"
#include "toolkit/zip_archive.h"

namespace kxui {
namespace {

struct ResourceState {
  HINSTANCE instance = nullptr;
  ResourceMode mode = ResourceMode::kFiles;
  std::wstring folder;
  ZipArchive zip;
};

ResourceState& State() {
  static ResourceState state;
  return state;
}

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  const size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

}  // namespace

void SkinResources::SetInstance(HINSTANCE instance) { State().instance = instance; }
HINSTANCE SkinResources::Instance() {
  return State().instance ? State().instance : ::GetModuleHandleW(nullptr);
}

void SkinResources::SetMode(ResourceMode mode) { State().mode = mode; }
ResourceMode SkinResources::Mode() { return State().mode; }

void SkinResources::SetFolder(const std::wstring& folder) {
  State().folder = folder;
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') State().folder += L'\\';
}
std::wstring SkinResources::Folder() { return State().folder.empty() ? ExecutableFolder() : State().folder; }

bool SkinResources::SetZip(const void* data, size_t size) {
  if (State().zip.Open(data, size)) return true;
  KXUI_ERROR("skin archive of %u bytes is unusable", static_cast<unsigned>(size));
  return false;
}

bool SkinResources::HasZip() { return State().zip.IsOpen(); }

bool SkinResources::ReadFile(const std::wstring& name, std::vector<unsigned char>* bytes) {
  if (State().mode == ResourceMode::kZipInMemory) {
    if (State().zip.Read(name, bytes)) return true;
    KXUI_WARN("skin file %s not found in the archive", WideToAnsi(name).c_str());
    return false;
  }
  const std::wstring path = Folder() + name;
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > 64 * 1024 * 1024) {
    KXUI_WARN("skin file %s cannot be read, err=[%d]", WideToAnsi(path).c_str(), static_cast<int>(::GetLastError()));
    return false;
  }
  std::vector<unsigned char> data(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!data.empty() && (!::ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr) ||
                        read != data.size())) {
    KXUI_WARN("skin file %s cannot be read, err=[%d]", WideToAnsi(path).c_str(), static_cast<int>(::GetLastError()));
    return false;
  }
  *bytes = std::move(data);
  return true;
}

bool SkinResources::ReadResource(const std::wstring& type, UINT id, std::vector<unsigned char>* bytes) {
  HMODULE module = Instance();
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type.c_str());
  HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = found ? ::SizeofResource(module, found) : 0;
  if (!data || size == 0) {
    KXUI_WARN("resource %s %u not found", WideToAnsi(type).c_str(), id);
    return false;
  }
  const unsigned char* begin = static_cast<const unsigned char*>(data);
  bytes->assign(begin, begin + size);
  return true;
}

}  // namespace kxui
