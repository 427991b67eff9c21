// Where the toolkit finds layouts and images: files in a folder on disk, or
// entries of one zip archive held in memory (the skin package). Process-wide
// and set up once on the UI thread before the first window is created.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kxui {

enum class ResourceMode { kFiles, kZipInMemory };

class SkinResources {
 public:
  static void SetInstance(HINSTANCE instance);
  static HINSTANCE Instance();

  static void SetMode(ResourceMode mode);
  static ResourceMode Mode();

  // The folder of file mode (ends with "\\"); defaults to the executable's folder.
  static void SetFolder(const std::wstring& folder);
  static std::wstring Folder();

  // The skin package: read in place, so the bytes must stay valid (a locked
  // resource does). Returns whether they form a usable archive; an unusable
  // one leaves no archive, and every later read fails quietly.
  static bool SetZip(const void* data, size_t size);
  static bool HasZip();

  // One file of the skin by its name (relative to the window's skin folder).
  static bool ReadFile(const std::wstring& name, std::vector<unsigned char>* bytes);
  // A resource of the executable, such as the background picture ("PNG", 136).
  static bool ReadResource(const std::wstring& type, UINT id, std::vector<unsigned char>* bytes);
};

}  // namespace kxui
