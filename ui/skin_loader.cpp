#include "ui/skin_loader.h"

#include "resources/resource_ids.h"
#include "toolkit/skin_resources.h"

void LoadSkinPackage(HINSTANCE instance) {
  kxui::SkinResources::SetInstance(instance);
  kxui::SkinResources::SetMode(kxui::ResourceMode::kZipInMemory);
  HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(IDR_SKIN_PACKAGE), L"ZIPRES");
  if (!found) return;
  // Loaded and locked for the life of the process: the toolkit reads the
  // archive in place and never copies it.
  HGLOBAL loaded = ::LoadResource(instance, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = ::SizeofResource(instance, found);
  if (!data || size == 0) return;
  kxui::SkinResources::SetZip(data, size);
}
